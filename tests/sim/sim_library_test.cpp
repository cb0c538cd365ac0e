// The simulated adapter, and the image files it reads and writes.
#include "sim/sim_library.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "image/image_file.h"
#include "sim/parts.h"
#include "support/image_bytes.h"
#include "support/scratch_folder.h"

namespace {

using Bytes = ImageBytes;

class SimLibrary : public ::testing::Test {
protected:
    void SetUp() override { reset_simulator(); }
    void TearDown() override { reset_simulator(); }

    fet_int open(const char* port) {
        fet_int version = 0;
        return sim.MSP430_Initialize(port, &version);
    }
    std::string error() { return sim.MSP430_Error_String(sim.MSP430_Error_Number()); }

    const FetLibrary& sim = *simulator_library();
    ScratchFolder scratch;
};

}  // namespace

TEST(ImageFiles, EachRecordTypePlacesItsBytes) {
    const std::pair<std::string, Bytes> cases[] = {
        {":02C000003140CD\n:01FFFF00C041\n:00000001FF\n", {{0xC000, 0x31}, {0xC001, 0x40}, {0xFFFF, 0xC0}}},
        {":020000040001F9\n:02100000AA55EF\n:00000001FF\n", {{0x11000, 0xAA}, {0x11001, 0x55}}},  // linear
        {":020000021000EC\n:01002000429D\n:00000001FF\n", {{0x10020, 0x42}}},  // segment: 16 bytes a unit
        // Inside a segment the offset wraps at 64K; a linear address carries into the next 64K.
        {":020000021000EC\n:02FFFF00AA5501\n:00000001FF\n", {{0x1FFFF, 0xAA}, {0x10000, 0x55}}},
        {":020000040001F9\n:02FFFF00AA5501\n:00000001FF\n", {{0x1FFFF, 0xAA}, {0x20000, 0x55}}},
        // What other tools write: lower case, blanks around records, blank lines, no closing "q".
        {"  :01c000007fc0 \t\r\n\r\n\t\n:00000001ff  \r\n", {{0xC000, 0x7F}}},
        {"\n@c000 \n31 4a \n\n", {{0xC000, 0x31}, {0xC001, 0x4A}}},
        // A byte order mark, start addresses ignored, any line end, a byte twice alike, the end record.
        {"\xEF\xBB\xBF:0400000300003800C1\r\n:04000005000000CD2A\r:01C000007FC0\n:01C000007FC0\n\n:00000001FF\nno",
         {{0xC000, 0x7F}}},
        {"@C000\n31 40\nb2\n@FFFF\nC0\nq\n", {{0xC000, 0x31}, {0xC001, 0x40}, {0xC002, 0xB2}, {0xFFFF, 0xC0}}},
        {"\r\n@10000\r\n11  22\t33 \r@45BFF\rAA\rQ", {{0x10000, 0x11}, {0x10001, 0x22}, {0x10002, 0x33}, {0x45BFF, 0xAA}}},
    };
    ScratchFolder scratch;
    for (const auto& [text, bytes] : cases) {
        MemoryImage image;
        std::string error;
        EXPECT_EQ(read_image_file(scratch.write("image", text).c_str(), image, error), 0) << text << error;
        EXPECT_EQ(bytes_of(image), bytes) << text;
    }
}

TEST(ImageFiles, WritersSplitAt64KAndSixteenBytesALine) {
    std::vector<std::uint8_t> data(40);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    ScratchFolder scratch;
    std::string error;
    ASSERT_TRUE(write_image_file(scratch.path("out.hex").c_str(), true, 0xFFF0, data, error)) << error;
    EXPECT_EQ(scratch.read("out.hex"),
              ":10FFF00000070E151C232A31383F464D545B6269B9\n:020000040001F9\n"
              ":1000000070777E858C939AA1A8AFB6BDC4CBD2D9A8\n:08001000E0E7EEF5FC030A1124\n:00000001FF\n");
    data.resize(18);
    ASSERT_TRUE(write_image_file(scratch.path("out.txt").c_str(), false, 0x1FFF8, data, error)) << error;
    EXPECT_EQ(scratch.read("out.txt"), "@1FFF8\n00 07 0E 15 1C 23 2A 31 38 3F 46 4D 54 5B 62 69\n70 77\nq\n");
}

TEST_F(SimLibrary, PortNamesChooseThePart) {
    const std::pair<const char*, const char*> cases[] = {
        {"SIM", "MSP430G2553"}, {"Sim:msp430f5438a", "MSP430F5438A"}, {"TIUSB", "MSP430G2553"},
        {"TIUSB:fr5994", "MSP430FR5994"}, {"USB:F1", "Unknown simulated part \"F1\"; -list shows the parts the simulator knows"},
        {"SIM:", "Unknown simulated part \"\"; -list shows the parts the simulator knows"},
        {"SIMULATOR", "Unknown simulated adapter \"SIMULATOR\": use SIM, or SIM:<part> as -list shows"},
    };
    for (const auto& [port, part_or_error] : cases) {
        reset_simulator();
        DeviceRecord record{};
        if (open(port) == 0 && sim.MSP430_Identify(record.data(), DEVICE_RECORD_SIZE, 0) == 0)
            EXPECT_EQ(record.name(), part_or_error);
        else
            EXPECT_EQ(error(), part_or_error);
    }
}

// Each is refused with the fault and its line (after the file's name), before the flash is
// touched: the byte at 0xE000 stays, and nothing is erased or ANDed in.
TEST_F(SimLibrary, EachMalformedImageIsRefusedAndTheFlashIsUntouched) {
    const std::string line_16 = ":10C00000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF40\n";
    const std::pair<std::string, std::string> cases[] = {
        {":01C000007FC0\n\n:01C000007FC\n", " line 3: the record has an odd number of hex digits (11); it is cut short"},
        {":00000001\n", " line 1: the record is cut short: 4 bytes, fewer than the 5 every record needs"},
        {":02C000007FC0\n", " line 1: the record announces 2 data bytes but holds 1"},
        {":FF" + std::string(2 * 260, '0') + "\n", " line 1: the record holds 261 bytes, more than any record can"},
        {":01C000007FC0\n:01C001008EB1\n:00000001FF\n", " line 2: bad checksum B1, the record's bytes ask for B0"},
        {":00000006FA\n:00000001FF\n", " line 1: unknown record type 06"},
        {":01000001AA54\n", " line 1: an end of file record must hold 0 data bytes, not 1"},
        {":0100000401FA\n", " line 1: an extended linear address record must hold 2 data bytes, not 1"},
        {":01C000007FC0\n\n\n", " line 3: the file ends without an end of file record (:00000001FF); it may be cut short"},
        {":01C000007FC0\n:01C000003F00\n:00000001FF\n", " line 2: address 0xC000 is given 3F here but 7F earlier in the file"},
        {":02000002FFFFFE\n:01FFFF00AA57\n", " line 2: address 0x10FFEF lies beyond the 1 MB an MSP430 can address"},
        {":" + std::string(5000, '0') + "\n", " line 1: the line is longer than 4096 characters"},
        {[&] { std::string t; while (t.size() <= LineReader::MAX_FILE) t += line_16; return t; }(),
         " line 381301: the file is larger than 16 MB, more than any MSP430 image can be"},
        {"", ": the file is empty"},
        {std::string(":01C0\0" "007FC0\n", 13), " line 1: \\x00 in column 6 is not a hex digit"},
        {":01C000007FC0\r:01C001003FFF\r:01C00200XX\r", " line 3: 'X' in column 10 is not a hex digit"},
        {":01C000007FC0\r\n\r\n:01C001008E B0\r\n", " line 3: ' ' in column 12 is not a hex digit"},
        {"\x1b[2J", " line 1: neither Intel HEX (':' first), TI-TXT ('@' first) nor ELF; it begins with \\x1B"},
        {"\x7f" "ELF\x02\x01\x01", ": a 64-bit ELF file; MSP430 programs are 32-bit ELF"},
        {"\xEF\xBB\xBF:01C000007FC0\r\n\xEF\xBB\xBF:00000001FF\r\n", " line 2: a record must begin with ':', not \\xEF"},
        {":01C000007FC0\n@C000\n31\nq\n", " line 2: a record must begin with ':', not '@'"},
        {"@\n31 40\nq\n", " line 1: an @ line needs an address in hex"},
        {"@C0G0\n31\nq\n", " line 1: 'G' in the address \"@C0G0\" is not a hex digit"},
        {"@000000C000\n31\nq\n", " line 1: the address \"@000000C000\" has more than 8 digits"},
        {"@FFFFF\n01 02\nq\n", " line 2: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {"@C000\n31 4", " line 2: \"4\" is not a byte: a byte is two hex digits"},
        {"@C000\n0123456789ABCDEF\nq\n", " line 2: \"0123456789AB...\" is not a byte: a byte is two hex digits"},
        {"@C000\n31\nqq\n", " line 3: 'q' in \"qq\" is not a hex digit"},
        {"@C000\n31 \x7f\x1b" "c\n", " line 2: \\x7F in \"\\x7F\\x1Bc\" is not a hex digit"},
        // Well formed, but not for this part: refused whole, before the first byte is written.
        {":02FFFF00AA5501\n:00000001FF\n",
         "The image has data at 0x10000, outside the flash and information memory of MSP430G2553"},
        {":0110C00055DA\n:00000001FF\n", "The image has data at 0x10C0 in information segment A, which is locked"},
    };
    ASSERT_EQ(open("SIM"), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(scratch.write("good.hex", ":01E000000A15\n:00000001FF\n").c_str(), 1, 1), 0);
    const std::string readout = scratch.path("readout.hex");
    ASSERT_EQ(sim.MSP430_ReadOutFile(0xC000, 0x4000, readout.c_str(), FILE_INTEL_HEX), 0) << error();
    const std::string programmed = scratch.read("readout.hex");
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        const std::string path = scratch.write("bad", text);
        // Each asks for the erase first: a refused image must not get that far.
        const bool malformed = expected[0] == ' ' || expected[0] == ':';
        EXPECT_NE(sim.MSP430_ProgramFile(path.c_str(), 1, 1), 0);
        EXPECT_EQ(error(), (malformed ? path : "") + expected);
        EXPECT_NE(sim.MSP430_VerifyFile(path.c_str()), 0);
        ASSERT_EQ(sim.MSP430_ReadOutFile(0xC000, 0x4000, readout.c_str(), FILE_INTEL_HEX), 0) << error();
        EXPECT_TRUE(scratch.read("readout.hex") == programmed) << "the flash changed";
    }
    // Files that cannot be opened or written give the system's reason.
    EXPECT_NE(sim.MSP430_ProgramFile(scratch.path("absent.hex").c_str(), 1, 1), 0);
    EXPECT_EQ(error(), "Cannot open " + scratch.path("absent.hex") + ": No such file or directory");
    EXPECT_NE(sim.MSP430_ReadOutFile(0xC000, 2, scratch.path("no/out.hex").c_str(), FILE_INTEL_HEX), 0);
    EXPECT_EQ(error(), "Cannot write " + scratch.path("no/out.hex") + ": No such file or directory");
}

// Flash only clears bits, so a second image without an erase fails its verify; FRAM takes it
// as written, in main and information memory alike, and an erase still leaves it blank.
TEST_F(SimLibrary, ProgrammingTwiceWithoutEraseAndsIntoFlashButOverwritesFram) {
    const std::string first = scratch.write("a.hex", ":01C000000F30\n:011980000F57\n:00000001FF\n");
    const std::string second = scratch.write("b.hex", ":01C00000F04F\n:01198000F076\n:00000001FF\n");
    ASSERT_EQ(open("SIM:F5529"), 0);
    ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 1), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(first.c_str(), 0, 1), 0) << error();
    EXPECT_NE(sim.MSP430_ProgramFile(second.c_str(), 0, 1), 0);
    EXPECT_EQ(error(), "Verification failed at 0x1980: the file has F0, the target 00");
    for (const char* part : {"SIM:FR5969", "SIM:FR2355"}) {
        SCOPED_TRACE(part);
        reset_simulator();
        ASSERT_EQ(open(part), 0);
        ASSERT_EQ(sim.MSP430_ProgramFile(first.c_str(), 0, 1), 0) << error();
        EXPECT_EQ(sim.MSP430_ProgramFile(second.c_str(), 0, 1), 0) << error();
        EXPECT_EQ(sim.MSP430_VerifyFile(second.c_str()), 0) << error();
        EXPECT_EQ(sim.MSP430_Erase(ERASE_SEGMENT, 0xC000, 512), 0) << error();
        EXPECT_EQ(sim.MSP430_EraseCheck(0xC000, 0x200), 0) << error();
        EXPECT_NE(sim.MSP430_EraseCheck(0x1800, 0x200), 0);
        EXPECT_EQ(error(), "Flash not blank at 0x1980: it holds F0");
        EXPECT_EQ(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0) << error();
        EXPECT_EQ(sim.MSP430_EraseCheck(0x1800, 0x200), 0) << error();
    }
}

TEST_F(SimLibrary, SegmentAStaysUntilUnlocked) {
    ASSERT_EQ(open("SIM"), 0);
    const std::string in_a = scratch.write("a.hex", ":0110C00055DA\n:00000001FF\n");
    ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 1), 0);
    ASSERT_EQ(sim.MSP430_ProgramFile(in_a.c_str(), 1, 1), 0) << error();
    ASSERT_EQ(sim.MSP430_Configure(CONFIGURE_INFO_UNLOCK, 0), 0);
    // Locked again: neither a segment erase nor a mass erase touches A; the segment below erases.
    EXPECT_NE(sim.MSP430_Erase(ERASE_SEGMENT, 0x10C0, 128), 0);
    EXPECT_EQ(error(), "Information segment A (10C0..10FF) is locked; unlock the information memory first");
    EXPECT_EQ(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0) << error();
    EXPECT_EQ(sim.MSP430_Erase(ERASE_SEGMENT, 0x1080, 64), 0) << error();
    EXPECT_NE(sim.MSP430_EraseCheck(0x1000, 0x100), 0);
    EXPECT_EQ(error(), "Flash not blank at 0x10C0: it holds 55");
    ASSERT_EQ(open("SIM"), 0);  // a new session starts locked
    EXPECT_NE(sim.MSP430_Erase(ERASE_SEGMENT, 0x10FF, 64), 0);
}

TEST_F(SimLibrary, TheBlownFuseLocksTheTargetButNotClose) {
    ASSERT_EQ(open("SIM"), 0);
    ASSERT_EQ(sim.MSP430_Secure(), 0) << error();
    EXPECT_NE(sim.MSP430_Erase(ERASE_ALL, 0xFFFE, 2), 0);
    EXPECT_NE(sim.MSP430_ReadOutFile(0xC000, 0x4000, scratch.path("x.hex").c_str(), FILE_INTEL_HEX), 0);
    EXPECT_EQ(error(), "The security fuse is blown: JTAG access to the target is locked");
    EXPECT_EQ(sim.MSP430_Close(1), 0);
    ASSERT_EQ(open("SIM"), 0);  // the fuse stays blown for the rest of the run
    EXPECT_NE(sim.MSP430_Reset(7, 1, 0), 0);
}

// Ranges ordered, inside the address space and apart; sizes whole segments.
TEST(Parts, EveryMemoryMapIsSane) {
    std::set<std::string> names;
    for (const Part& p : all_parts()) {
        SCOPED_TRACE(p.name);
        EXPECT_TRUE(names.insert(p.name).second && find_part(p.name) == &p) << "named twice";
        EXPECT_LT(std::string(p.name).size(), static_cast<std::size_t>(DEVICE_NAME_SIZE));
        const std::uint32_t ranges[][2] = {
            {p.flash_start, p.flash_end}, {p.info_start, p.info_end}, {p.ram_start, p.ram_end}, {p.bsl_start, p.bsl_end}};
        for (const auto& a : ranges) {
            EXPECT_TRUE(a[0] <= a[1] && a[1] <= (&a == &ranges[0] ? 0xFFFFFu : 0xFFFFu)) << std::hex << a[0];
            for (const auto& b : ranges)
                EXPECT_TRUE(&a == &b || a[0] == a[1] || b[0] == b[1] || a[1] < b[0] || b[1] < a[0]) << std::hex << a[0];
        }
        EXPECT_TRUE(p.flash_start <= 0xFFFE && p.flash_end >= 0xFFFF) << "the reset vector lies in flash";
        EXPECT_TRUE(p.lcd_end <= 0xFFFF && p.ram_start >= 0x200 && p.ram_end - p.ram_start >= 127);
        EXPECT_TRUE(p.info_segment == 64 || p.info_segment == 128);
        EXPECT_EQ((p.info_end + 1 - p.info_start) % p.info_segment, 0u);
        EXPECT_EQ(p.info_start % p.info_segment, 0u);
        EXPECT_EQ(p.main_segment, 512u);
        EXPECT_EQ((p.flash_end + 1) % p.main_segment, 0u);
        EXPECT_GE(p.flash_end - p.flash_start + 1, 1024u);
        EXPECT_TRUE(1800 <= p.vcc_min_mv && p.vcc_min_mv < p.vcc_max_mv && p.vcc_max_mv <= 3600);
    }
}
