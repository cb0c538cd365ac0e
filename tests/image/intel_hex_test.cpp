// The Intel HEX reader and the read-out writer.
#include "image/intel_hex.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/image_bytes.h"

TEST(IntelHex, EachRecordTypePlacesItsBytes) {
    const std::pair<std::string, ImageBytes> cases[] = {
        {":02C000003140CD\n:01FFFF00C041\n:00000001FF\n", {{0xC000, 0x31}, {0xC001, 0x40}, {0xFFFF, 0xC0}}},
        {":020000040001F9\n:02100000AA55EF\n:00000001FF\n", {{0x11000, 0xAA}, {0x11001, 0x55}}},  // linear
        {":020000021000EC\n:01002000429D\n:00000001FF\n", {{0x10020, 0x42}}},  // segment: 16 bytes a unit
        // Inside a segment the offset wraps at 64K; a linear address carries into the next 64K.
        {":020000021000EC\n:02FFFF00AA5501\n:00000001FF\n", {{0x1FFFF, 0xAA}, {0x10000, 0x55}}},
        {":020000040001F9\n:02FFFF00AA5501\n:00000001FF\n", {{0x1FFFF, 0xAA}, {0x20000, 0x55}}},
        // What other tools write: lower case, blanks around records, blank lines.
        {"  :01c000007fc0 \t\r\n\r\n\t\n:00000001ff  \r\n", {{0xC000, 0x7F}}},
        // A byte order mark, start addresses ignored, any line end, a byte twice alike, the end record.
        {"\xEF\xBB\xBF:0400000300003800C1\r\n:04000005000000CD2A\r:01C000007FC0\n:01C000007FC0\n\n:00000001FF\nno",
         {{0xC000, 0x7F}}},
    };
    for (const auto& [text, bytes] : cases) expect_read_as(text, bytes);
    // The longest record, 260 bytes (255 of data); the 261 below are refused.
    ImageBytes zeros;
    for (std::uint32_t at = 0xC000; at < 0xC0FF; ++at) zeros[at] = 0;
    expect_read_as(":FFC00000" + std::string(2 * 255, '0') + "41\n:00000001FF\n", zeros);
}

TEST(IntelHex, EachMalformedRecordIsRefusedWithItsLine) {
    const std::pair<std::string, std::string> cases[] = {
        {":01C000007FC0\n\n:01C000007FC\n", " line 3: the record has an odd number of hex digits (11); it is cut short"},
        {":00000001\n", " line 1: the record is cut short: 4 bytes, fewer than the 5 every record needs"},
        {":02C000007FC0\n", " line 1: the record announces 2 data bytes but holds 1"},
        {":FF" + std::string(2 * 260, '0') + "\n", " line 1: the record holds 261 bytes, more than any record can"},
        // The checksum counts in every record, not only in those with data.
        {":01C000007FC0\n:01C001008EB1\n:00000001FF\n", " line 2: bad checksum B1, the record's bytes ask for B0"},
        {":020000040001F8\n:01C000007FC0\n:00000001FF\n", " line 1: bad checksum F8, the record's bytes ask for F9"},
        {":020000021000ED\n:00000001FF\n", " line 1: bad checksum ED, the record's bytes ask for EC"},
        {":04000005000000CD2B\n:00000001FF\n", " line 1: bad checksum 2B, the record's bytes ask for 2A"},
        {":01C000007FC0\n:00000001FE\n", " line 2: bad checksum FE, the record's bytes ask for FF"},
        {":00000006FA\n:00000001FF\n", " line 1: unknown record type 06"},
        {":01000001AA54\n", " line 1: an end of file record must hold 0 data bytes, not 1"},
        {":0100000401FA\n", " line 1: an extended linear address record must hold 2 data bytes, not 1"},
        {":01C000007FC0\n\n\n", " line 3: the file ends without an end of file record (:00000001FF); it may be cut short"},
        {":01C000007FC0\n:01C000003F00\n:00000001FF\n", " line 2: address 0xC000 is given 3F here but 7F earlier in the file"},
        {":02000002FFFFFE\n:01FFFF00AA57\n", " line 2: address 0x10FFEF lies beyond the 1 MB an MSP430 can address"},
        {std::string(":01C0\0" "007FC0\n", 13), " line 1: \\x00 in column 6 is not a hex digit"},
        {":01C000007FC0\r:01C001003FFF\r:01C00200XX\r", " line 3: 'X' in column 10 is not a hex digit"},
        {":01C000007FC0\r\n\r\n:01C001008E B0\r\n", " line 3: ' ' in column 12 is not a hex digit"},
        {"\xEF\xBB\xBF:01C000007FC0\r\n\xEF\xBB\xBF:00000001FF\r\n", " line 2: a record must begin with ':', not \\xEF"},
        {":01C000007FC0\n@C000\n31\nq\n", " line 2: a record must begin with ':', not '@'"},
    };
    for (const auto& [text, why] : cases) expect_refused(text, why);
}

TEST(IntelHex, WriterSplitsAt64KAndSixteenBytesALine) {
    const std::string written = written_image(true, 0xFFF0, 40);
    EXPECT_EQ(written, ":10FFF00000070E151C232A31383F464D545B6269B9\n:020000040001F9\n"
                       ":1000000070777E858C939AA1A8AFB6BDC4CBD2D9A8\n:08001000E0E7EEF5FC030A1124\n:00000001FF\n");
    EXPECT_EQ(read_image_text(written).bytes.size(), 40u);
}
