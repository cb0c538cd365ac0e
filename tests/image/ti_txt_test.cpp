// The TI-TXT reader and the read-out writer.
#include "image/ti_txt.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/image_bytes.h"

TEST(TiTxt, AddressLinesPlaceTheBytesAfterThem) {
    const std::pair<std::string, ImageBytes> cases[] = {
        {"\n@c000 \n31 4a \n\n", {{0xC000, 0x31}, {0xC001, 0x4A}}},  // no closing "q"
        {"@C000\n31 40\nb2\n@FFFF\nC0\nq\n", {{0xC000, 0x31}, {0xC001, 0x40}, {0xC002, 0xB2}, {0xFFFF, 0xC0}}},
        {"\r\n@10000\r\n11  22\t33 \r@45BFF\rAA\rQ", {{0x10000, 0x11}, {0x10001, 0x22}, {0x10002, 0x33}, {0x45BFF, 0xAA}}},
        {"@0000C000\n31\n@FFFFF\n01\nq\n", {{0xC000, 0x31}, {0xFFFFF, 0x01}}},  // 8 digits; the last byte there is
    };
    for (const auto& [text, bytes] : cases) expect_read_as(text, bytes);
}

TEST(TiTxt, EachMalformedLineIsRefusedWithItsNumber) {
    const std::pair<std::string, std::string> cases[] = {
        {"@\n31 40\nq\n", " line 1: an @ line needs an address in hex"},
        {"@C0G0\n31\nq\n", " line 1: 'G' in the address \"@C0G0\" is not a hex digit"},
        {"@00000C000\n31\nq\n", " line 1: the address \"@00000C000\" has more than 8 digits"},
        {"@FFFFF\n01 02\nq\n", " line 2: address 0x100000 lies beyond the 1 MB an MSP430 can address"},
        {"@C000\n31 4", " line 2: \"4\" is not a byte: a byte is two hex digits"},
        {"@C000\n0123456789ABCDEF\nq\n", " line 2: \"0123456789AB...\" is not a byte: a byte is two hex digits"},
        {"@C000\n31\nqq\n", " line 3: 'q' in \"qq\" is not a hex digit"},
        {"@C000\n31 \x7f\x1b" "c\n", " line 2: \\x7F in \"\\x7F\\x1Bc\" is not a hex digit"},
    };
    for (const auto& [text, why] : cases) expect_refused(text, why);
}

TEST(TiTxt, WriterPutsSixteenBytesALine) {
    EXPECT_EQ(written_image(false, 0x1FFF8, 18), "@1FFF8\n00 07 0E 15 1C 23 2A 31 38 3F 46 4D 54 5B 62 69\n70 77\nq\n");
}
