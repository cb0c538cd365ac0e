#include "driver/ascii_text.h"

#include <gtest/gtest.h>

TEST(AsciiText, CaseIsFoldedForAsciiLettersOnly) {
    EXPECT_TRUE(ascii_equal("-LIST", "-list"));
    EXPECT_FALSE(ascii_equal("-lis", "-list"));
    EXPECT_FALSE(ascii_equal("-listx", "-list"));
    EXPECT_TRUE(ascii_starts_with("-Detect", "-det"));
    EXPECT_FALSE(ascii_starts_with("-de", "-det"));
    EXPECT_FALSE(ascii_equal("\xc4", "\xe4"));
    EXPECT_FALSE(ascii_equal("[", "{"));  // '[' + 32 is '{': only letters fold
}

TEST(AsciiText, IntegerReadingFollowsAtol) {
    EXPECT_EQ(read_integer("  42x"), 42);
    EXPECT_EQ(read_integer("-7"), -7);
    EXPECT_EQ(read_integer("+3"), 3);
    EXPECT_EQ(read_integer("abc"), 0);
    EXPECT_EQ(read_integer(""), 0);
    EXPECT_EQ(read_integer("115200x"), 115200);
    EXPECT_EQ(read_integer("- 5"), 0);
    // An endless digit string must not be undefined behaviour.
    (void)read_integer("99999999999999999999999999999999999999");
}
