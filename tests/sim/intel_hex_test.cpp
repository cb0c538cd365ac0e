#include "sim/intel_hex.h"

#include <gtest/gtest.h>

#include "sim/sim_errors.h"
#include "sim/scratch_files.h"

namespace {

struct Read {
    int result;
    std::string error;
    MemoryImage image;
};

Read read_text(const ScratchFolder& scratch, const std::string& text) {
    Read read;
    const std::string path = scratch.write("image.hex", text);
    read.result = read_image_file(path.c_str(), read.image, read.error);
    // The folder differs from run to run; the texts are compared from the file's name on.
    const std::size_t at = read.error.find("image.hex");
    if (at != std::string::npos) read.error.erase(0, at);
    return read;
}

class IntelHex : public ::testing::Test {
protected:
    ScratchFolder scratch;
};

}  // namespace

TEST_F(IntelHex, DataRecordsPlaceTheirBytes) {
    const Read read = read_text(scratch, ":04C0000031400004C7\n:02FFFE0000C041\n:00000001FF\n");
    ASSERT_EQ(read.result, SIM_OK) << read.error;
    EXPECT_EQ(read.image.size(), 6u);
    EXPECT_EQ(read.image.at(0xC000), 0x31);
    EXPECT_EQ(read.image.at(0xC003), 0x04);
    EXPECT_EQ(read.image.at(0xFFFF), 0xC0);
    EXPECT_FALSE(read.image.has(0xC004));
    EXPECT_EQ(read.image.lowest(), 0xC000u);
    EXPECT_EQ(read.image.highest(), 0xFFFFu);
}

TEST_F(IntelHex, ExtendedLinearAddressMovesAbove64K) {
    const Read read = read_text(scratch, ":020000040001F9\n:02100000AA55EF\n:00000001FF\n");
    ASSERT_EQ(read.result, SIM_OK) << read.error;
    EXPECT_EQ(read.image.at(0x11000), 0xAA);
    EXPECT_EQ(read.image.at(0x11001), 0x55);
    EXPECT_FALSE(read.image.has(0x1000));
}

TEST_F(IntelHex, ExtendedSegmentAddressCountsSixteenBytesAUnit) {
    // Segment 0x1000 is 0x10000.
    const Read read = read_text(scratch, ":020000021000EC\n:01002000429D\n:00000001FF\n");
    ASSERT_EQ(read.result, SIM_OK) << read.error;
    EXPECT_EQ(read.image.at(0x10020), 0x42);
    EXPECT_FALSE(read.image.has(0x0020));
}

TEST_F(IntelHex, StartAddressRecordsAreIgnored) {
    const Read read = read_text(scratch, ":0400000300003800C1\n:04000005000000CD2A\n:01C000007FC0\n:00000001FF\n");
    ASSERT_EQ(read.result, SIM_OK) << read.error;
    EXPECT_EQ(read.image.size(), 1u);
}

TEST_F(IntelHex, EveryLineEndIsALineEnd) {
    for (const char* end : {"\n", "\r\n", "\r"}) {
        const std::string text = std::string(":01C000007FC0") + end + end + ":01C001008E B0" + end;
        const Read read = read_text(scratch, text);
        // The blank makes line 3 bad: the number shows the ends were all counted.
        EXPECT_EQ(read.error, "image.hex line 3: ' ' in column 12 is not a hex digit") << "end " << int(end[0]);
    }
    const Read read = read_text(scratch, ":01C000007FC0\r\n\r\n:00000001FF");  // no end after the last line
    EXPECT_EQ(read.result, SIM_OK) << read.error;
}

TEST_F(IntelHex, AByteOrderMarkIsSkipped) {
    const Read read = read_text(scratch, "\xEF\xBB\xBF:01C000007FC0\n:00000001FF\n");
    EXPECT_EQ(read.result, SIM_OK) << read.error;
    const Read late = read_text(scratch, ":01C000007FC0\n\xEF\xBB\xBF:00000001FF\n");
    EXPECT_EQ(late.error, "image.hex line 2: a record must begin with ':', not \\xEF");
}

TEST_F(IntelHex, LinesAfterTheEndRecordAreNotRead) {
    const Read read = read_text(scratch, ":00000001FF\nthis is not a record\n");
    EXPECT_EQ(read.result, SIM_OK) << read.error;
}

TEST_F(IntelHex, EachFaultIsNamedWithItsLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {":01C000007FC0\n:01C00Z007FC0\n", "image.hex line 2: 'Z' in column 7 is not a hex digit"},
        {":01C000007FC0\n\n:01C000007FC\n", "image.hex line 3: the record has an odd number of hex digits (11); it is cut short"},
        {":01C0007F\n", "image.hex line 1: the record is cut short: 4 bytes, fewer than the 5 every record needs"},
        {":02C000007FC0\n", "image.hex line 1: the record announces 2 data bytes but holds 1"},
        {":01C000007F7FC0\n", "image.hex line 1: the record announces 1 data bytes but holds 2"},
        {":01C000007FC1\n", "image.hex line 1: bad checksum C1, the record's bytes ask for C0"},
        {":01C000067FBA\n", "image.hex line 1: unknown record type 06"},
        {"\n:01C000007FC0\n:01C000007EC1\n", "image.hex line 3: address 0xC000 is given 7E here but 7F earlier in the file"},
        {":0100000401FA\n", "image.hex line 1: an extended linear address record must hold 2 data bytes, not 1"},
        {":020000040010EA\n:01000000FF00\n", "image.hex line 2: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {":01000001FFFF\n", "image.hex line 1: an end of file record must hold 0 data bytes, not 1"},
        {":01C000007FC0\n:01C001008EB0\n", "image.hex line 2: the file ends without an end of file record (:00000001FF); it may be cut short"},
        {"01C000007FC0\n", "image.hex line 1: neither Intel HEX (':' first) nor TI-TXT ('@' first); it begins with '0'"},
        {":01C000007FC0\n01C001008EB0\n", "image.hex line 2: a record must begin with ':', not '0'"},
        {":01C000007FC0\n:01C001\x01" "08EB0\n", "image.hex line 2: \\x01 in column 8 is not a hex digit"},
        {"", "image.hex: the file is empty"},
        {"  \n\t\n", "image.hex: the file is empty"},
    };
    for (const auto& c : cases) {
        const Read read = read_text(scratch, c.text);
        EXPECT_EQ(read.result, SIM_FILE_FORMAT) << c.text;
        EXPECT_EQ(read.error, c.error) << c.text;
        EXPECT_TRUE(read.image.empty() || read.result != SIM_OK);
    }
}

TEST_F(IntelHex, TheSameValueTwiceIsNoConflict) {
    const Read read = read_text(scratch, ":01C000007FC0\n:01C000007FC0\n:00000001FF\n");
    EXPECT_EQ(read.result, SIM_OK) << read.error;
}

TEST_F(IntelHex, AMissingFileGivesTheSystemsReason) {
    MemoryImage image;
    std::string error;
    const std::string path = scratch.path("absent.hex");
    EXPECT_EQ(read_image_file(path.c_str(), image, error), SIM_FILE_UNREADABLE);
    EXPECT_EQ(error, "Cannot open " + path + ": No such file or directory");
    EXPECT_EQ(read_image_file(scratch.folder().c_str(), image, error), SIM_FILE_UNREADABLE);
    EXPECT_EQ(error, scratch.folder() + " line 1: read error: Is a directory");
}

TEST_F(IntelHex, AnEndlessLineStopsAtTheLimit) {
    std::string text = ":01C000007FC0\n:";
    text.append(LineReader::MAX_LINE + 100, '0');
    const Read read = read_text(scratch, text);
    EXPECT_EQ(read.result, SIM_FILE_FORMAT);
    EXPECT_EQ(read.error, "image.hex line 2: the line is longer than 4096 characters");
}

TEST_F(IntelHex, AHugeFileStopsAtTheLimit) {
    // Valid records that repeat the same byte forever: only the size limit can stop them.
    {
        std::ofstream file(scratch.path("image.hex"), std::ios::binary);
        const std::string line = ":10C00000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF40\n";
        for (long long written = 0; written <= LineReader::MAX_FILE; written += static_cast<long long>(line.size()))
            file << line;
    }
    MemoryImage image;
    std::string error;
    EXPECT_EQ(read_image_file(scratch.path("image.hex").c_str(), image, error), SIM_FILE_FORMAT);
    EXPECT_NE(error.find(" line 381301: the file is larger than 16 MB, more than any MSP430 image can be"),
              std::string::npos)
        << error;
}

TEST_F(IntelHex, WriterSplitsAt64KAndReadsBack) {
    std::vector<std::uint8_t> data(40);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const std::string path = scratch.path("out.hex");
    std::string error;
    ASSERT_TRUE(write_image_file(path.c_str(), true, 0xFFF0, data, error)) << error;
    EXPECT_EQ(scratch.read("out.hex"),
              ":10FFF00000070E151C232A31383F464D545B6269B9\n"
              ":020000040001F9\n"
              ":1000000070777E858C939AA1A8AFB6BDC4CBD2D9A8\n"
              ":08001000E0E7EEF5FC030A1124\n"
              ":00000001FF\n");
    MemoryImage image;
    ASSERT_EQ(read_image_file(path.c_str(), image, error), SIM_OK) << error;
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(image.at(0xFFF0 + static_cast<std::uint32_t>(i)), data[i]);
}

TEST_F(IntelHex, AnUnwritablePathGivesTheSystemsReasonAndLeavesNoFile) {
    const std::string path = scratch.path("missing/out.hex");
    std::string error;
    EXPECT_FALSE(write_image_file(path.c_str(), true, 0xC000, {1, 2, 3}, error));
    EXPECT_EQ(error, "Cannot write " + path + ": No such file or directory");
}
