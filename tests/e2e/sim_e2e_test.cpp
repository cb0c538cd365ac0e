// The built program against the simulated adapter: the console's text compared byte for byte,
// the exit status, and the read-out compared with the image.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/pty_harness.h"
#include "image/image_file.h"

namespace {

class SimE2E : public ::testing::Test {
protected:
    // The example as clang and ld.lld built it, with llvm-objcopy's Intel HEX of it: from this
    // build when they were found, else the copies kept in the tree.
    void SetUp() override {
#ifdef KESTO_BLINK_BUILD
        const std::string example = KESTO_BLINK_BUILD;
#else
        const std::string example = std::string(KESTO_SOURCE_DIR) + "/examples/blink";
#endif
        std::filesystem::copy_file(example + "/blink.hex", scratch.path("blink.hex"));
        std::filesystem::copy_file(example + "/blink.elf", scratch.path("blink.elf"));
    }

    // Runs kesto -FET port -a 0 +ebpv image [+r out] in the scratch folder with an empty
    // environment, so that only a library beside the program could be loaded, and the scratch
    // folder's "tmp" as the temporary folder.
    ProcessRun kesto(const std::string& port, const std::string& image, const std::string& out = "",
                     const std::string& program = KESTO_BINARY) {
        std::vector<std::string> args = {"-FET", port, "-a", "0", "+ebpv", image};
        if (!out.empty()) args.insert(args.end(), {"+r", out});
        return kesto_with(args, program);
    }

    ProcessRun kesto_with(const std::vector<std::string>& args, const std::string& program = KESTO_BINARY) {
        std::filesystem::create_directories(scratch.path("tmp"));
        return run_process([&] {
            if (chdir(scratch.folder().c_str()) != 0) _exit(126);
            std::vector<const char*> argv = {program.c_str()};
            for (const std::string& arg : args) argv.push_back(arg.c_str());
            argv.push_back(nullptr);
            std::string tmpdir = "TMPDIR=" + scratch.path("tmp");
            char* env[] = {tmpdir.data(), nullptr};
            execve(program.c_str(), const_cast<char* const*>(argv.data()), env);
            _exit(127);
        });
    }

    ScratchFolder scratch;
};

}  // namespace

// Parts below 64K and above (flash and FRAM): the whole image goes in and reads back, with erased flash
// (FF) where the image has nothing. Names may be absolute or relative to ".". The ELF reads back
// as llvm-objcopy's Intel HEX of it says, also through the loaded library (the simulator, built
// as the vendor's, beside a copy of kesto), which gets it as a temporary Intel HEX file that is
// gone again at the end.
TEST_F(SimE2E, ProgramsVerifiesAndReadsOutInOneRun) {
    scratch.write("wide.txt", "@5C00\n01 02\n@FFFE\n00 5C\n@10000\nA5 5A\n@45BFF\nEE\nq\n");
    scratch.write("fram.txt", "@4000\n01 02\n@FFFE\n00 40\n@10000\nA5 5A\n@43FFF\nEE\nq\n");
    const std::string vendor = scratch.path("vendor/kesto");
    std::filesystem::create_directories(scratch.path("vendor"));
    std::filesystem::copy_file(KESTO_BINARY, vendor);
    std::filesystem::copy_file(KESTO_SIM_LIBRARY, scratch.path("vendor/libmsp430.so"));
    const auto in_scratch = [this](const std::string& name) { return name[0] == '/' ? name : scratch.path(name); };
    const struct {
        std::string port, image, out, part;
        std::uint32_t first, last;
        std::string reference, program = KESTO_BINARY;
    } cases[] = {
        {"SIM", "./blink.hex", "out.hex", "MSP430G2553 ID:9", 0xC000, 0xFFFF, "blink.hex"},
        {"SIM:f5438a", scratch.path("wide.txt"), scratch.path("out.hex"), "MSP430F5438A ID:13", 0x5C00, 0x45BFF,
         "wide.txt"},
        {"SIM:FR5994", "fram.txt", "out.txt", "MSP430FR5994 ID:20", 0x4000, 0x43FFF, "fram.txt"},
        {"SIM", "blink.elf", "out.hex", "MSP430G2553 ID:9", 0xC000, 0xFFFF, "blink.hex"},
        // Today's library numbers the parts from 0.
        {"TIUSB", "blink.elf", "out.hex", "MSP430G2553 ID:8", 0xC000, 0xFFFF, "blink.hex", vendor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port + " " + c.image);
        const ProcessRun run = kesto(c.port, c.image, c.out, c.program);
        EXPECT_TRUE(std::filesystem::is_empty(scratch.path("tmp")));
        EXPECT_EQ(run.text, KESTO_BANNER + "\t   FET Port name: " + c.port + "\n\t        Filename:`" + c.image +
                                "`\n\t    Out Filename:`" + c.out + "`\nIdentifed: " + c.part +
                                "\nProgramm & Verify...wait... -OK\nRead. Wait... -OK\n");
        EXPECT_EQ(run.status, 0);
        MemoryImage written, read;
        std::string error;
        ASSERT_EQ(read_image_file(scratch.path(c.reference).c_str(), written, error), 0) << error;
        ASSERT_EQ(read_image_file(in_scratch(c.out).c_str(), read, error), 0) << error;
        ASSERT_EQ(read.size(), c.last - c.first + 1);
        for (std::uint32_t at = c.first; at <= c.last; ++at)
            ASSERT_EQ(read.at(at), written.has(at) ? written.at(at) : 0xFF) << std::hex << at;
    }
}

// The report of parts whose main memory runs past 64K: five hex digits, the size over all of it.
TEST_F(SimE2E, ReportsMemoryAbove64K) {
    const std::pair<std::string, std::string> cases[] = {
        {"SIM:FR5994", "     Device: MSP430FR5994 ID:20\n      Flash: 256K \t(4000..43FFF)\n       Info: 512B \t"
                       "(1800..19FF)\n        RAM: 8K \t(1C00..3BFF)\n        BSL: 2K \t(1000..17FF)\n"},
        {"SIM:FR6989", "     Device: MSP430FR6989 ID:21\n      Flash: 127K \t(4400..23FFF)\n       Info: 512B \t"
                       "(1800..19FF)\n        RAM: 2K \t(1C00..23FF)\n        BSL: 2K \t(1000..17FF)\n"},
    };
    for (const auto& [port, head] : cases) {
        const ProcessRun run = kesto_with({"-FET", port, "-a", "0", "-info", "-det"});
        EXPECT_NE(run.text.find(" Device Vcc: 3.2V\n" + head + "    Ext RAM: None\n"), std::string::npos) << run.text;
        EXPECT_EQ(run.status, 0);
    }
}

// Each failure is named on the line of the step that failed, and the program ends with status 1.
// An image is read and fitted to the part before anything changes the chip. (The texts of the
// loader's, the readers' and the pass's failures have tests of their own.)
TEST_F(SimE2E, FailuresEndWithStatusOne) {
    scratch.write("bad.hex", ":01C000007FC0\n:01C0010042XX\n:00000001FF\n");
    scratch.write("ram.txt", "@0200\n31 40\n");
    const struct {
        std::string port, image, tail;
    } cases[] = {
        {"SIM:G9999", "blink.hex",
         "Initializing FET -Unknown simulated part \"G9999\"; -list shows the parts the simulator knows\n"},
        {"SIM", "bad.hex", "bad.hex line 2: 'X' in column 12 is not a hex digit\n"},
        {"SIM", "ram.txt", "Identifed: MSP430G2553 ID:9\nram.txt: the image has data at 0x0200, outside the flash "
         "(C000..FFFF) and the information memory (1000..10FF) of MSP430G2553\n"},
    };
    for (const auto& c : cases) {
        const ProcessRun run = kesto(c.port, c.image);
        EXPECT_EQ(run.text, KESTO_BANNER + "\t   FET Port name: " + c.port + "\n\t        Filename:`" + c.image + "`\n" + c.tail);
        EXPECT_EQ(run.status, 1) << c.image;
    }
}
