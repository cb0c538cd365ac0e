// The built program against the simulated adapter: the console's text compared byte for byte,
// the exit status, and the read-out compared with the image.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "chip/parts.h"
#include "e2e/pty_harness.h"
#include "support/blink_example.h"
#include "support/image_bytes.h"
#include "support/run_program.h"

namespace {

class SimE2E : public ::testing::Test {
protected:
    // The example as clang and ld.lld built it, with llvm-objcopy's Intel HEX of it: from this
    // build when they were found, else the copies kept in the tree.
    void SetUp() override {
        for (const std::string kind : {"hex", "elf"})
            std::filesystem::copy_file(blink_example(kind), scratch.path("blink." + kind));
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

    ProcessRun kesto_with(std::vector<std::string> args, const std::string& program = KESTO_BINARY) {
        std::filesystem::create_directories(scratch.path("tmp"));
        args.insert(args.begin(), program);
        return run_process([&] {
            if (chdir(scratch.folder().c_str()) != 0) _exit(126);
            exec_program(args, std::vector<std::string>{"TMPDIR=" + scratch.path("tmp")});
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
        expect_read_back(scratch.path(c.reference), in_scratch(c.out), c.first, c.last);
    }
}

// The listing walks the simulator's whole parts table, each part under its ID, and stops at the
// simulator's end mark: nothing comes after the last part.
TEST_F(SimE2E, ListsEveryPartUnderItsId) {
    std::string listed;
    for (const Part& part : all_parts()) {
        char entry[48];
        std::snprintf(entry, sizeof entry, "ID:%-4d%-25s%s", part_id(part), part.name, part_id(part) % 2 ? "" : "\n");
        listed += entry;
    }
    const ProcessRun run = kesto_with({"-list", "-FET", "SIM", "-a", "0"});
    EXPECT_TRUE(run.text.ends_with(listed)) << run.text;
}
