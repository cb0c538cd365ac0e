#include "terminal/render.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Shown {
    std::string text;
    int enquiries;
};

Shown render(const std::string& received, bool crlf = false, bool pass_high = false) {
    std::vector<char> out(received.size() * RENDER_MAX_GROWTH + 1, '\x7e');
    RenderOptions options;
    options.crlf = crlf;
    options.pass_high = pass_high;
    const RenderResult result = render_batch(reinterpret_cast<const unsigned char*>(received.data()),
                                             static_cast<int>(received.size()), options, out.data());
    return {std::string(out.data(), static_cast<std::size_t>(result.length)), result.enquiries};
}

TEST(Render, LineEnds) {
    EXPECT_EQ(render("AB\r\n").text, "AB\r\n");
    EXPECT_EQ(render("AB\r\n", true).text, "AB\r\n");
    EXPECT_EQ(render("AB\n").text, "AB");
    EXPECT_EQ(render("AB\n", true).text, "AB\n");
    EXPECT_EQ(render("A\rB\r").text, "A\r\nB\r\n");
    EXPECT_EQ(render("A\rB\r", true).text, "A\rB\r");
    EXPECT_EQ(render("\r\n\r\n").text, "\r\n\r\n");
}

TEST(Render, ControlBytesDroppedButBackspaceAndTabKept) {
    EXPECT_EQ(render("\x1b[2J").text, "[2J");
    EXPECT_EQ(render("a\bb\tc").text, "a\bb\tc");
    std::string controls;
    for (int c = 0; c < 0x20; ++c) {
        if (c != '\b' && c != '\t' && c != '\r' && c != '\n' && c != 0x05) controls += static_cast<char>(c);
    }
    EXPECT_EQ(render("<" + controls + ">").text, "<>");
    EXPECT_EQ(render(std::string("x\0y", 3)).text, "xy");
}

TEST(Render, EnquiryCountedAndNotShown) {
    const Shown shown = render("a\x05" "b\x05\x05");
    EXPECT_EQ(shown.text, "ab");
    EXPECT_EQ(shown.enquiries, 3);
    EXPECT_EQ(render("ab").enquiries, 0);
}

TEST(Render, PrintableBytesAsTheyAre) {
    std::string all;
    for (int c = 0x20; c <= 0x7F; ++c) all += static_cast<char>(c);
    EXPECT_EQ(render(all).text, all);
    EXPECT_EQ(render("100% %s %n").text, "100% %s %n");
}

TEST(Render, UpperHalfAsCyrillicInUtf8) {
    EXPECT_EQ(render("\xC0\xDF\xE0\xFF").text, "\xD0\x90\xD0\xAF\xD0\xB0\xD1\x8F");  // А Я а я
    EXPECT_EQ(render("\xCF\xF0\xE8\xE2\xE5\xF2").text, "Привет");
    EXPECT_EQ(render("\xA8\xB8").text, "Ёё");
    EXPECT_EQ(render("\x80\xA7\xA9\xB7\xB9\xBF").text, "......");
}

TEST(Render, EveryUpperByteDecodesAsOneCharacter) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string shown = render(std::string(1, static_cast<char>(byte))).text;
        SCOPED_TRACE(byte);
        if (byte >= 0xC0 || byte == 0xA8 || byte == 0xB8) {
            ASSERT_EQ(shown.size(), 2u);
            const unsigned lead = static_cast<unsigned char>(shown[0]);
            const unsigned tail = static_cast<unsigned char>(shown[1]);
            EXPECT_TRUE(lead == 0xD0 || lead == 0xD1);
            EXPECT_EQ(tail & 0xC0, 0x80u);
        } else {
            EXPECT_EQ(shown, ".");
        }
    }
}

TEST(Render, UpperHalfPassesUnchangedWithOem) {
    std::string all;
    for (int c = 0x80; c <= 0xFF; ++c) all += static_cast<char>(c);
    EXPECT_EQ(render(all, false, true).text, all);
    EXPECT_EQ(render("\xD0\x9F\xD1\x80", false, true).text, "\xD0\x9F\xD1\x80");
}

TEST(Render, FullBatchOfWorstCasesFitsTheBuffer) {
    static_assert(RENDER_BUF_SIZE >= RX_BATCH_MAX * 2);
    const std::string crs(RX_BATCH_MAX, '\r');
    std::string expected;
    for (int i = 0; i < RX_BATCH_MAX; ++i) expected += "\r\n";
    EXPECT_EQ(render(crs).text, expected);

    // The exact buffer the terminal uses, with a guard after it.
    struct {
        char buf[RENDER_BUF_SIZE];
        char guard[16];
    } area{};
    std::memset(area.guard, 0x5A, sizeof area.guard);
    const std::string letters(RX_BATCH_MAX, '\xFF');
    const RenderResult result = render_batch(reinterpret_cast<const unsigned char*>(letters.data()), RX_BATCH_MAX,
                                             RenderOptions{}, area.buf);
    EXPECT_EQ(result.length, RENDER_BUF_SIZE);
    for (char g : area.guard) EXPECT_EQ(g, 0x5A);
}

}  // namespace
