// The built program against the simulated adapter: the console's text compared byte for byte,
// the exit status, and the read-out compared with the image.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "image/image_file.h"
#include "support/scratch_folder.h"
#include "support/capture.h"

namespace {

const std::string BANNER = "KESTO 1.0  MSP430 programmer and serial terminal\n";

class SimE2E : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(KESTO_SOURCE_DIR) + "/examples/blink_g2553.hex",
                                   scratch.path("blink.hex"));
    }

    // Runs kesto -FET port -a 0 +ebpv image [+r out] in the scratch folder with an empty
    // environment, so that only a library beside the program could be loaded.
    Captured kesto(const std::string& port, const std::string& image, const std::string& out = "") {
        return capture_output([&] {
            if (chdir(scratch.folder().c_str()) != 0) _exit(126);
            const char* argv[] = {KESTO_BINARY, "-FET", port.c_str(), "-a", "0",
                                  "+ebpv", image.c_str(), "+r", out.c_str(), nullptr};
            if (out.empty()) argv[7] = nullptr;
            char* env[] = {nullptr};
            execve(KESTO_BINARY, const_cast<char* const*>(argv), env);
            _exit(127);
        });
    }

    ScratchFolder scratch;
};

}  // namespace

// A part below 64K and one above: the whole image goes in and reads back, with erased flash
// (FF) where the image has nothing. Names may be absolute, relative to "." and in UTF-8.
TEST_F(SimE2E, ProgramsVerifiesAndReadsOutInOneRun) {
    scratch.write("wide.txt", "@5C00\n01 02\n@FFFE\n00 5C\n@10000\nA5 5A\n@45BFF\nEE\nq\n");
    std::filesystem::copy_file(scratch.path("blink.hex"), scratch.path("прошивка.hex"));
    const struct {
        std::string port, image, out, part;
        std::uint32_t first, last;
    } cases[] = {
        {"SIM", "blink.hex", "out.hex", "MSP430G2553 ID:9", 0xC000, 0xFFFF},
        {"SIM", "./прошивка.hex", "выход.hex", "MSP430G2553 ID:9", 0xC000, 0xFFFF},
        {"SIM:f5438a", scratch.path("wide.txt"), scratch.path("out.hex"), "MSP430F5438A ID:13", 0x5C00, 0x45BFF},
    };
    const auto in_scratch = [this](const std::string& name) { return name[0] == '/' ? name : scratch.path(name); };
    for (const auto& c : cases) {
        const Captured run = kesto(c.port, c.image, c.out);
        EXPECT_EQ(run.text, BANNER + "\t   FET Port name: " + c.port + "\n\t        Filename:`" + c.image +
                                "`\n\t    Out Filename:`" + c.out + "`\nIdentifed: " + c.part +
                                "\nProgramm & Verify...wait... -OK\nRead. Wait... -OK\n");
        EXPECT_EQ(run.status, 0);
        MemoryImage written, read;
        std::string error;
        ASSERT_EQ(read_image_file(in_scratch(c.image).c_str(), written, error), 0) << error;
        ASSERT_EQ(read_image_file(in_scratch(c.out).c_str(), read, error), 0) << error;
        ASSERT_EQ(read.size(), c.last - c.first + 1);
        for (std::uint32_t at = c.first; at <= c.last; ++at)
            ASSERT_EQ(read.at(at), written.has(at) ? written.at(at) : 0xFF) << std::hex << at;
    }
}

// Each failure is named on the line of the step that failed, and the program ends with status 1.
TEST_F(SimE2E, FailuresEndWithStatusOne) {
    scratch.write("bad.hex", ":01C000007FC0\n:01C0010042XX\n:00000001FF\n");
    scratch.write("bad.txt", "@C000\n31 40\n");
    const std::string identified = "Identifed: MSP430G2553 ID:9\nProgramm & Verify...wait... -";
    const struct {
        std::string port, image, tail;
    } cases[] = {
        {"SIM:G9999", "blink.hex",
         "Initializing FET -Unknown simulated part \"G9999\"; -list shows the parts the simulator knows\n"},
        {"TIUSB", "blink.hex",
         "Initializing FET -Cannot load the FET library libmsp430.so: libmsp430.so: cannot open shared object file: "
         "No such file or directory. Put the vendor's libmsp430.so beside kesto or on the library path, or use "
         "-FET SIM for the simulated adapter\n"},
        {"SIM", "bad.hex", identified + "bad.hex line 2: 'X' in column 12 is not a hex digit\n"},
        {"SIM", "bad.txt", identified + "bad.txt line 2: the file ends without its closing \"q\"; it may be cut short\n"},
    };
    for (const auto& c : cases) {
        const Captured run = kesto(c.port, c.image);
        EXPECT_EQ(run.text, BANNER + "\t   FET Port name: " + c.port + "\n\t        Filename:`" + c.image + "`\n" + c.tail);
        EXPECT_EQ(run.status, 1) << c.image;
    }
}
