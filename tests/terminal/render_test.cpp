#include "terminal/render.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(Render, BatchesAsTheConsoleShowsThem) {
    std::string crlfs;
    for (int i = 0; i < RX_BATCH_MAX; ++i) crlfs += "\r\n";
    const struct Case { std::string in, out; bool crlf, oem; int enquiries; } cases[] = {
        {"AB\r\n", "AB\r\n", false, false, 0}, {"AB\r\n", "AB\r\n", true, false, 0},
        {"AB\nC", "ABC", false, false, 0}, {"AB\n", "AB\n", true, false, 0},
        {"A\rB\r", "A\r\nB\r\n", false, false, 0}, {"A\rB\r", "A\rB\r", true, false, 0},
        {"a\5b\5\5", "ab", false, false, 3}, {"\x1b[2J a\bb\tc", "[2J a\bb\tc", false, false, 0},
        {"<\0\1\2\3\4\6\a\v\f\16\17\20\21\22\23\24\25\26\27\30\31\32\33\34\35\36\37>"s, "<>", false, false, 0},
        {"100% %s %n", "100% %s %n", false, false, 0}, {"\xC0\xDF\xE0\xFF\xA8\xB8", "АЯаяЁё", false, false, 0},
        {"\x80\xA7\xBF", "...", false, false, 0}, {"\x80\xA8\xC0\xFF", "\x80\xA8\xC0\xFF", false, true, 0},
        {std::string(RX_BATCH_MAX, '\r'), crlfs, false, false, 0},  // the worst case fills the console's buffer exactly
    };
    for (const auto& c : cases) {
        struct { char buf[RENDER_BUF_SIZE], guard[8]; } area{};  // the console's buffer and a guard
        const RenderResult r = render_batch(reinterpret_cast<const unsigned char*>(c.in.data()),
                                            static_cast<int>(c.in.size()), {c.crlf, c.oem}, area.buf);
        EXPECT_EQ(std::string(area.buf, static_cast<std::size_t>(r.length)) + std::string(area.guard, 8),
                  c.out + std::string(8, '\0')) << c.in;
        EXPECT_EQ(r.enquiries, c.enquiries) << c.in;
    }
}
