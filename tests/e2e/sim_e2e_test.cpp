// The built program against the simulated adapter: a whole programming run, with the console's
// text compared byte for byte and the read-out compared with the image.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim/memory_image.h"
#include "sim/scratch_files.h"
#include "support/capture.h"

namespace {

const std::string BANNER = "KESTO 1.0  MSP430 programmer and serial terminal\n";

class SimE2E : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(KESTO_SOURCE_DIR) + "/examples/blink_g2553.hex",
                                   scratch.path("blink.hex"));
    }

    // Runs kesto in the scratch folder (image names may not begin with "/"), with no library
    // path, so that only what lies beside the program could be loaded.
    Captured kesto(const std::vector<std::string>& args) {
        return capture_output([&] {
            if (chdir(scratch.folder().c_str()) != 0) _exit(126);
            std::vector<std::string> words = {KESTO_BINARY};
            words.insert(words.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            char path[] = "PATH=/usr/bin:/bin";
            char* env[] = {path, nullptr};
            execve(KESTO_BINARY, argv.data(), env);
            _exit(127);
        });
    }

    MemoryImage image(const std::string& name) {
        MemoryImage read;
        std::string error;
        EXPECT_EQ(read_image_file(scratch.path(name).c_str(), read, error), 0) << error;
        return read;
    }

    ScratchFolder scratch;
};

}  // namespace

TEST_F(SimE2E, ProgramsVerifiesAndReadsOutInOneRun) {
    const Captured run = kesto({"-FET", "SIM", "-a", "0", "+ebpv", "blink.hex", "+r", "out.hex"});
    EXPECT_EQ(run.text, BANNER +
                            "\t   FET Port name: SIM\n"
                            "\t        Filename:`blink.hex`\n"
                            "\t    Out Filename:`out.hex`\n"
                            "Identifed: MSP430G2553 ID:9\n"
                            "Programm & Verify...wait... -OK\n"
                            "Read. Wait... -OK\n");
    EXPECT_EQ(run.status, 0);
    const MemoryImage written = image("blink.hex");
    const MemoryImage read = image("out.hex");
    ASSERT_EQ(read.size(), 0x4000u);
    EXPECT_EQ(read.lowest(), 0xC000u);
    for (std::uint32_t at = 0xC000; at <= 0xFFFF; ++at)
        ASSERT_EQ(read.at(at), written.has(at) ? written.at(at) : 0xFF) << std::hex << at;
}

TEST_F(SimE2E, APartWithFlashAbove64KAtTraceLevel) {
    scratch.write("wide.txt", "@5C00\n01 02\n@FFFE\n00 5C\n@10000\nA5 5A\n@45BFF\nEE\nq\n");
    const Captured run = kesto({"-FET", "SIM:f5438a", "-a", "0", "-d", "3", "+ebpv", "wide.txt", "+r", "out.hex"});
    EXPECT_EQ(run.text, BANNER +
                            "\t   FET Port name: SIM:f5438a\n"
                            "\t     Debug level: 03\n"
                            "\t        Filename:`wide.txt`\n"
                            "\t    Out Filename:`out.hex`\n"
                            "Initializing FET -OK. DLL Version:100\n"
                            "Set Vcc -OK\n"
                            "Identifed: MSP430F5438A ID:13\n"
                            "Configure verification -OK\n"
                            "Erase All -OK\n"
                            "Blank Check -OK\n"
                            "Programm & Verify...wait... -OK\n"
                            "Read. Wait... -OK\n"
                            "Reset/Start device -OK\n"
                            "Closing Interface -OK\n");
    EXPECT_EQ(run.status, 0);
    const MemoryImage written = image("wide.txt");
    const MemoryImage read = image("out.hex");
    ASSERT_EQ(read.size(), 0x40000u);
    for (std::uint32_t at = 0x5C00; at <= 0x45BFF; ++at)
        ASSERT_EQ(read.at(at), written.has(at) ? written.at(at) : 0xFF) << std::hex << at;
}

TEST_F(SimE2E, TheDeviceReportOfTheDefaultPart) {
    const Captured run = kesto({"-FET", "SIM", "-a", "0", "-info", "-detect"});
    EXPECT_NE(run.text.find("     Device: MSP430G2553 ID:9\n"
                            "      Flash: 16K \t(C000..FFFF)\n"
                            "       Info: 256B \t(1000..10FF)\n"
                            "        RAM: 0K \t(0200..03FF)\n"
                            "        BSL: 1K \t(0C00..0FFF)\n"
                            "    Ext RAM: None\n"
                            "Breakpoints: 2\n"
                            "  Emulation: 0\n"
                            "CLK Control: 2\n"
                            "        LCD: None\n"
                            "        Vcc: 1.8V...3.6V\n"
                            "   Test Vpp: 1\n\n"),
              std::string::npos)
        << run.text;
}

TEST_F(SimE2E, AfterTheFuseTheFailedResetCountsAsDone) {
    const Captured run = kesto({"-FET", "SIM", "-a", "0", "-d", "3", "+ebpv", "blink.hex", "+fuse"});
    const std::string tail = "Programm & Verify...wait... -OK\n"
                             "Blowing the device security fuse -OK\n"
                             "Reset/Start device -OK\n"
                             "Closing Interface -OK\n";
    ASSERT_GE(run.text.size(), tail.size());
    EXPECT_EQ(run.text.substr(run.text.size() - tail.size()), tail);
    EXPECT_EQ(run.status, 0);
}

TEST_F(SimE2E, AnUnknownPartEndsWithStatusOne) {
    const Captured run = kesto({"-FET", "SIM:G9999", "-a", "0", "+ebpv", "blink.hex"});
    EXPECT_EQ(run.text, BANNER +
                            "\t   FET Port name: SIM:G9999\n"
                            "\t        Filename:`blink.hex`\n"
                            "Initializing FET -Unknown simulated part \"G9999\"; -list shows the parts the simulator "
                            "knows\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(SimE2E, WithoutTheVendorLibraryARealAdapterFailsCleanly) {
    const Captured run = kesto({"-FET", "TIUSB", "-a", "0", "+ebpv", "blink.hex"});
    EXPECT_EQ(run.text, BANNER +
                            "\t   FET Port name: TIUSB\n"
                            "\t        Filename:`blink.hex`\n"
                            "Initializing FET -Cannot load the FET library libmsp430.so: libmsp430.so: cannot open "
                            "shared object file: No such file or directory. Put the vendor's libmsp430.so beside kesto "
                            "or on the library path, or use -FET SIM for the simulated adapter\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(SimE2E, ABadImageNamesItsLineAndTheTargetKeepsItsFlash) {
    scratch.write("bad.hex", ":01C000007FC0\n:01C0010042XX\n:00000001FF\n");
    const Captured run = kesto({"-FET", "SIM", "-a", "0", "+pv", "bad.hex"});
    EXPECT_EQ(run.text, BANNER +
                            "\t   FET Port name: SIM\n"
                            "\t        Filename:`bad.hex`\n"
                            "Identifed: MSP430G2553 ID:9\n"
                            "Programm & Verify...wait... -bad.hex line 2: 'X' in column 12 is not a hex digit\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(SimE2E, AReadOutThatCannotBeWrittenLeavesNoFile) {
    const Captured run = kesto({"-FET", "SIM", "-a", "0", "+r", "gone/out.hex"});
    EXPECT_EQ(run.text, BANNER +
                            "\t   FET Port name: SIM\n"
                            "\t    Out Filename:`gone/out.hex`\n"
                            "Identifed: MSP430G2553 ID:9\n"
                            "Read. Wait... -Cannot write gone/out.hex: No such file or directory\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(SimE2E, TheDeviceListEndsWithTheLastPart) {
    const Captured run = kesto({"-list"});
    EXPECT_NE(run.text.find("\nThe devices supported by the driver:\n"
                            "ID:1   MSP430F1232              ID:2   MSP430F149               \n"),
              std::string::npos)
        << run.text;
    EXPECT_NE(run.text.find("ID:15  MSP430F6638              "), std::string::npos) << run.text;
    EXPECT_EQ(run.text.find("End_of_devices"), std::string::npos);
}
