// Malformed images, Intel HEX and TI-TXT: each is refused with the line at fault, before the
// target's flash is touched, and the program ends with status 1.
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "e2e/pty_harness.h"
#include "sim/scratch_files.h"
#include "sim/sim_library.h"
#include "support/capture.h"

namespace {

struct BadImage {
    const char* name;
    std::string content;
    const char* error;  // what follows the file's name in the message
};

const std::vector<BadImage>& bad_images() {
    static const std::vector<BadImage> images = {
        // Intel HEX
        {"no_colon.hex", "01C000007FC0\n", " line 1: neither Intel HEX (':' first) nor TI-TXT ('@' first); it begins with '0'"},
        {"later_no_colon.hex", ":01C000007FC0\n01C0010042FC\n:00000001FF\n", " line 2: a record must begin with ':', not '0'"},
        {"letter.hex", ":01C00000ZFC0\n:00000001FF\n", " line 1: 'Z' in column 10 is not a hex digit"},
        {"odd.hex", ":01C000007FC\n:00000001FF\n", " line 1: the record has an odd number of hex digits (11); it is cut short"},
        {"short.hex", ":00000001\n", " line 1: the record is cut short: 4 bytes, fewer than the 5 every record needs"},
        {"count.hex", ":02C000007FC0\n:00000001FF\n", " line 1: the record announces 2 data bytes but holds 1"},
        {"checksum.hex", ":01C000007FC1\n:00000001FF\n", " line 1: bad checksum C1, the record's bytes ask for C0"},
        {"type.hex", ":00000006FA\n:00000001FF\n", " line 1: unknown record type 06"},
        {"end_data.hex", ":01000001AA54\n", " line 1: an end of file record must hold 0 data bytes, not 1"},
        {"linear.hex", ":0100000401FA\n:00000001FF\n", " line 1: an extended linear address record must hold 2 data bytes, not 1"},
        {"segment.hex", ":03000002000000FB\n:00000001FF\n",
         " line 1: an extended segment address record must hold 2 data bytes, not 3"},
        {"start_segment.hex", ":020000030000FB\n:00000001FF\n",
         " line 1: a start segment address record must hold 4 data bytes, not 2"},
        {"start_linear.hex", ":00000005FB\n:00000001FF\n",
         " line 1: a start linear address record must hold 4 data bytes, not 0"},
        {"no_end.hex", ":01C000007FC0\n", " line 1: the file ends without an end of file record (:00000001FF); it may be cut short"},
        {"no_end_blanks.hex", ":01C000007FC0\n\n\n",
         " line 3: the file ends without an end of file record (:00000001FF); it may be cut short"},
        {"conflict.hex", ":01C000007FC0\n:01C000003F00\n:00000001FF\n",
         " line 2: address 0xC000 is given 3F here but 7F earlier in the file"},
        {"beyond_linear.hex", ":020000040010EA\n:01000000AA55\n:00000001FF\n",
         " line 2: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {"beyond_segment.hex", ":02000002FFFFFE\n:01FFFF00AA57\n:00000001FF\n",
         " line 2: address 0x10FFEF lies beyond the 1 MB an MSP430 can address"},
        {"endless.hex", ":" + std::string(5000, '0') + "\n", " line 1: the line is longer than 4096 characters"},
        {"empty.hex", "", ": the file is empty"},
        {"blank.hex", "\n\n   \n", ": the file is empty"},
        {"nul.hex", std::string(":01C0\0" "007FC0\n", 13), " line 1: \\x00 in column 6 is not a hex digit"},
        {"blank_inside.hex", ":01 C000007FC0\n", " line 1: ' ' in column 4 is not a hex digit"},
        {"oversize.hex", ":FF" + std::string(2 * 260, '0') + "\n", " line 1: the record holds 261 bytes, more than any record can"},
        {"cr_only.hex", ":01C000007FC0\r:01C001003FFF\r:01C00200XX\r", " line 3: 'X' in column 10 is not a hex digit"},
        {"binary.hex", "\x7f" "ELF\x02\x01\x01", " line 1: neither Intel HEX (':' first) nor TI-TXT ('@' first); it begins with \\x7F"},
        {"second_bom.hex", "\xEF\xBB\xBF:01C000007FC0\r\n\xEF\xBB\xBF:00000001FF\r\n",
         " line 2: a record must begin with ':', not \\xEF"},
        {"mixed.hex", ":01C000007FC0\n@C000\n31\nq\n", " line 2: a record must begin with ':', not '@'"},
        // TI-TXT
        {"no_address.txt", "@\n31 40\nq\n", " line 1: an @ line needs an address in hex"},
        {"address_letter.txt", "@C0G0\n31\nq\n", " line 1: 'G' in the address \"@C0G0\" is not a hex digit"},
        {"address_long.txt", "@000000C000\n31\nq\n", " line 1: the address \"@000000C000\" has more than 8 digits"},
        {"address_beyond.txt", "@100000\n31\nq\n", " line 1: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {"address_blank.txt", "@ C000\n31\nq\n", " line 1: ' ' in the address \"@ C000\" is not a hex digit"},
        {"three_digits.txt", "@C000\n31 ABC\nq\n", " line 2: \"ABC\" is not a byte: a byte is two hex digits"},
        {"one_digit.txt", "@C000\n3 40\nq\n", " line 2: \"3\" is not a byte: a byte is two hex digits"},
        {"long_token.txt", "@C000\n0123456789ABCDEF\nq\n", " line 2: \"0123456789AB...\" is not a byte: a byte is two hex digits"},
        {"letters.txt", "@C000\n31 ZZ\nq\n", " line 2: 'Z' in \"ZZ\" is not a hex digit"},
        {"commas.txt", "@C000\n01,02\nq\n", " line 2: ',' in \"01,02\" is not a hex digit"},
        {"no_q.txt", "@C000\n31 40\n", " line 2: the file ends without its closing \"q\"; it may be cut short"},
        {"cut.txt", "@C000\n31 4", " line 2: \"4\" is not a byte: a byte is two hex digits"},
        {"qq.txt", "@C000\n31\nqq\n", " line 3: 'q' in \"qq\" is not a hex digit"},
        {"conflict.txt", "@C000\nAA\n@C000\nBB\nq\n", " line 4: address 0xC000 is given BB here but AA earlier in the file"},
        {"past_the_end.txt", "@FFFFF\n01 02\nq\n", " line 2: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {"hex_inside.txt", "@C000\n:01C000007FC0\nq\n", " line 2: ':' in \":01C000007FC...\" is not a hex digit"},
        {"cr_only.txt", "@C000\r31 40\rXY\rq\r", " line 3: 'X' in \"XY\" is not a hex digit"},
    };
    return images;
}

class BadImages : public ::testing::Test {
protected:
    void SetUp() override {
        good = std::string(KESTO_SOURCE_DIR) + "/examples/blink_g2553.hex";
        for (const BadImage& image : bad_images()) scratch.write(image.name, image.content);
    }

    std::string good;
    ScratchFolder scratch;
};

TEST_F(BadImages, TheCorpusIsLargeAndEachNameIsItsOwn) {
    std::set<std::string> names;
    for (const BadImage& image : bad_images()) names.insert(image.name);
    EXPECT_EQ(names.size(), bad_images().size());
    EXPECT_GE(names.size(), 30u);
}

// In one process, so the simulated target can be read back after every refusal.
TEST_F(BadImages, EachIsRefusedWithItsLineAndTheFlashKeepsTheGoodImage) {
    reset_simulator();
    const FetLibrary& sim = *simulator_library();
    auto error = [&sim] { return std::string(sim.MSP430_Error_String(sim.MSP430_Error_Number())); };
    fet_int version = 0;
    ASSERT_EQ(sim.MSP430_Initialize("SIM", &version), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(good.c_str(), 1, 1), 0) << error();
    const std::string readout = scratch.path("readout.hex");
    ASSERT_EQ(sim.MSP430_ReadOutFile(0xC000, 0x4000, readout.c_str(), FILE_INTEL_HEX), 0) << error();
    const std::string programmed = scratch.read("readout.hex");

    for (const BadImage& image : bad_images()) {
        SCOPED_TRACE(image.name);
        const std::string path = scratch.path(image.name);
        EXPECT_NE(sim.MSP430_ProgramFile(path.c_str(), 1, 1), 0);
        EXPECT_EQ(error(), path + image.error);
        EXPECT_NE(sim.MSP430_ProgramFile(path.c_str(), 0, 0), 0);
        EXPECT_NE(sim.MSP430_VerifyFile(path.c_str()), 0);
        EXPECT_EQ(error(), path + image.error);
        ASSERT_EQ(sim.MSP430_ReadOutFile(0xC000, 0x4000, readout.c_str(), FILE_INTEL_HEX), 0) << error();
        EXPECT_EQ(scratch.read("readout.hex"), programmed);
    }
    reset_simulator();
}

TEST_F(BadImages, TheProgramNamesTheLineAndEndsWithStatusOne) {
    // Under valgrind every run takes a second or more; a sample of the corpus shows the path.
    const std::size_t step = under_valgrind() ? 7 : 1;
    for (std::size_t i = 0; i < bad_images().size(); i += step) {
        const BadImage& image = bad_images()[i];
        SCOPED_TRACE(image.name);
        const Captured run = capture_output([&] {
            if (chdir(scratch.folder().c_str()) != 0) _exit(126);
            execl(KESTO_BINARY, KESTO_BINARY, "-FET", "SIM", "-a", "0", "+pv", image.name, nullptr);
            _exit(127);
        });
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.text, std::string("KESTO 1.0  MSP430 programmer and serial terminal\n") +
                                "\t   FET Port name: SIM\n"
                                "\t        Filename:`" + image.name + "`\n" +
                                "Identifed: MSP430G2553 ID:9\n"
                                "Programm & Verify...wait... -" + image.name + image.error + "\n");
    }
}

}  // namespace
