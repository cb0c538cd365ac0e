#include "terminal/expectations.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(Expectations, EscapesAndTimeOuts) {
    const struct { const char* typed; bool valid; std::string bytes; } texts[] = {
        {"PASS", true, "PASS"}, {"a\\nb\\r\\tc", true, "a\nb\r\tc"}, {"\\\\n", true, "\\n"},
        {"\\x41\\x7e\\xC3\\xa9", true, "A~\xC3\xA9"}, {"\\x00", true, "\0"s}, {"%s", true, "%s"},
        {"", false, ""}, {"\\q", false, ""}, {"end\\", false, ""}, {"\\x4", false, ""}, {"\\xg1", false, ""},
    };
    for (const auto& t : texts) {
        std::string bytes = "left over";
        EXPECT_EQ(decode_text_escapes(t.typed, bytes), t.valid) << t.typed;
        if (t.valid) {
            EXPECT_EQ(bytes, t.bytes) << t.typed;
        }
    }
    const struct { const char* typed; int tenths; } times[] = {
        {"20", 200}, {"2.5", 25}, {"0.1", 1}, {"007", 70}, {"1000000", 10'000'000}, {"0", 0}, {"0.0", 0},
        {"1.25", 0}, {"1.", 0}, {".5", 0}, {"-3", 0}, {"+3", 0}, {" 3", 0}, {"3s", 0}, {"", 0},
        {"1000000.1", 0}, {"99999999999999999999", 0},
    };
    for (const auto& t : times) {
        int tenths = -1;
        EXPECT_EQ(read_timeout_tenths(t.typed, tenths), t.tenths > 0) << t.typed;
        EXPECT_EQ(tenths, t.tenths > 0 ? t.tenths : -1) << t.typed;
    }
}

namespace {

// The verdict after each batch: p (pending), a (all seen), e (error).
std::string verdicts(OutputMatcher& matcher, const std::vector<std::string>& batches) {
    std::string out;
    for (const std::string& batch : batches) {
        const Verdict v = matcher.feed(batch.data(), batch.size());
        out += v == Verdict::pending ? 'p' : v == Verdict::all_seen ? 'a' : 'e';
    }
    return out;
}

}  // namespace

TEST(Expectations, ExpectedTextsSpanBatches) {
    const struct { std::vector<const char*> expected; std::vector<std::string> batches; std::string verdicts;
    } cases[] = {
        {{"PASS"}, {"boot\r\nPA", "S", "S\r\n"}, "ppa"},
        {{"PASS"}, {"P", "A", "P", "A", "S", "S"}, "pppppa"},
        {{"PASS"}, {"PAPAS", "S"}, "pa"},
        {{"PASS"}, {"PAS", "\r\nS"}, "pp"},
        {{"A\\r\\nB"}, {"xA\r", "\nB"}, "pa"},
        {{"READY", "PASS"}, {"PASS\r\n", "..", "READY"}, "ppa"},
        {{"READY", "PASS"}, {"READY PASS"}, "a"},
        {{"AA", "A"}, {"A", "A"}, "pa"},
        {{"long text"}, {"long", " ", "text"}, "ppa"},
    };
    for (const auto& c : cases) {
        OutputMatcher matcher;
        for (const char* text : c.expected) matcher.expect(text);
        EXPECT_EQ(verdicts(matcher, c.batches), c.verdicts) << c.expected[0] << ' ' << c.batches[0];
    }
}

// The first to appear decides, within one batch too; a verdict stays.
TEST(Expectations, ErrorTextsEndTheWatchAtOnce) {
    const struct { std::vector<const char*> expected, errors; std::vector<std::string> batches; std::string verdicts;
                   const char* error; } cases[] = {
        {{"PASS"}, {"FAIL"}, {"FA", "IL PASS"}, "pe", "FAIL"},
        {{"PASS"}, {"FAIL"}, {"PASS FAIL"}, "a", nullptr},
        {{"PASS"}, {"FAIL"}, {"PASS", "FAIL"}, "aa", nullptr},
        {{"PASS", "DONE"}, {"FAIL"}, {"PASS", "FAIL DONE"}, "pe", "FAIL"},
        {{"PASS"}, {"FAIL", "ERR"}, {"ERR FAIL"}, "e", "ERR"},
        {{"PASS"}, {"PASS"}, {"PASS"}, "e", "PASS"},
        {{}, {"FAIL"}, {"PASS", "FAIL", "PASS"}, "pee", "FAIL"},
    };
    for (const auto& c : cases) {
        OutputMatcher matcher;
        for (const char* text : c.expected) matcher.expect(text);
        for (const char* text : c.errors) matcher.error_on(text);
        EXPECT_EQ(verdicts(matcher, c.batches), c.verdicts) << c.batches[0];
        ASSERT_EQ(matcher.error_seen != nullptr, c.error != nullptr) << c.batches[0];
        if (c.error) {
            EXPECT_STREQ(matcher.error_seen->typed, c.error);
        }
    }
    // Texts after the error still count as missing.
    OutputMatcher matcher;
    matcher.expect("ONE"), matcher.expect("TWO"), matcher.error_on("FAIL");
    EXPECT_EQ(verdicts(matcher, {"ONE FAIL TWO"}), "e");
    EXPECT_TRUE(matcher.expected[0].seen);
    EXPECT_FALSE(matcher.expected[1].seen);
    EXPECT_TRUE(matcher.expecting());
}
