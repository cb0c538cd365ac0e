// The built program against the simulated adapter.
#include <gtest/gtest.h>

#include "chip/parts.h"
#include "e2e/beside_library.h"
#include "support/blink_example.h"
#include "support/image_bytes.h"

// Parts below 64K and above, flash and FRAM. The loaded library gets the ELF as a temporary
// Intel HEX file, gone again at the end.
TEST(SimE2E, ProgramsVerifiesAndReadsOutInOneRun) {
    const BesideLibrary vendor(KESTO_SIM_LIBRARY);
    const ScratchFolder& scratch = vendor.folder;
    for (const std::string kind : {"hex", "elf"})
        std::filesystem::copy_file(blink_example(kind), scratch.path("blink." + kind),
                                   std::filesystem::copy_options::overwrite_existing);
    std::filesystem::create_directories(scratch.path("tmp"));
    scratch.write("wide.txt", "@5C00\n01 02\n@FFFE\n00 5C\n@10000\nA5 5A\n@45BFF\nEE\nq\n");
    scratch.write("fram.txt", "@4000\n01 02\n@FFFE\n00 40\n@10000\nA5 5A\n@43FFF\nEE\nq\n");
    const auto in_scratch = [&](const std::string& name) { return name[0] == '/' ? name : scratch.path(name); };
    const struct {
        std::string port, image, out, part;
        std::uint32_t first, last;
        std::string reference;
    } cases[] = {
        {"SIM", "./blink.hex", "out.hex", "MSP430G2553 ID:9", 0xC000, 0xFFFF, "blink.hex"},
        {"SIM:f5438a", scratch.path("wide.txt"), scratch.path("out.hex"), "MSP430F5438A ID:13", 0x5C00, 0x45BFF,
         "wide.txt"},
        {"SIM:FR5994", "fram.txt", "out.txt", "MSP430FR5994 ID:20", 0x4000, 0x43FFF, "fram.txt"},
        {"SIM", "blink.elf", "out.hex", "MSP430G2553 ID:9", 0xC000, 0xFFFF, "blink.hex"},
        // Today's library numbers the parts from 0.
        {"TIUSB", "blink.elf", "out.hex", "MSP430G2553 ID:8", 0xC000, 0xFFFF, "blink.hex"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port + " " + c.image);
        const ProcessRun run = vendor.run({"-FET", c.port, "-a", "0", "+ebpv", c.image, "+r", c.out},
                                          {"TMPDIR=" + scratch.path("tmp")});
        EXPECT_TRUE(std::filesystem::is_empty(scratch.path("tmp")));
        EXPECT_EQ(run.text, KESTO_BANNER + "\t   FET Port name: " + c.port + "\n\t        Filename:`" + c.image +
                                "`\n\t    Out Filename:`" + c.out + "`\nIdentifed: " + c.part +
                                "\nProgramm & Verify...wait... -OK\nRead. Wait... -OK\n");
        EXPECT_EQ(run.status, 0);
        expect_read_back(scratch.path(c.reference), in_scratch(c.out), c.first, c.last);
    }
    // Nothing may come after the last part: the listing stops at the simulator's end mark.
    std::string listed;
    for (const Part& part : all_parts()) {
        char entry[48];
        std::snprintf(entry, sizeof entry, "ID:%-4d%-25s%s", part_id(part), part.name, part_id(part) % 2 ? "" : "\n");
        listed += entry;
    }
    // Without a library beside it: a library's own listing would take its place.
    const ProcessRun list = run_process(
        [] { exec_program({KESTO_BINARY, "-list", "-FET", "SIM", "-a", "0"}, std::vector<std::string>{}); });
    EXPECT_TRUE(list.text.ends_with(listed)) << list.text;
}
