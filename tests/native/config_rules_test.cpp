// Configuration text rules: Booleans by first letter, numbers by atol, words by case.
#include <gtest/gtest.h>

#include "util/config_rules.h"

namespace {

TEST(BoolFromText, OnlyALeadingTIsTrue) {
    for (const char* t : {"T", "t", "TRUE", "true", "Tomato", "t0"})
        EXPECT_EQ(1, BoolFromText(t)) << t;
    for (const char* f : {"", "F", "false", " TRUE", "1", "yes", "\tT"}) {
        EXPECT_EQ(0, BoolFromText(f)) << f;
    }
    EXPECT_EQ(0, BoolFromText(nullptr));
}

struct LongCase {
    const char* text;
    int32_t value;
};

class LongFromTextCases : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongFromTextCases, FollowsAtol) {
    EXPECT_EQ(GetParam().value, LongFromText(GetParam().text)) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, LongFromTextCases,
                         ::testing::Values(LongCase{"42", 42}, LongCase{"   42abc", 42},
                                           LongCase{"\t-17", -17}, LongCase{"+8", 8},
                                           LongCase{"abc", 0}, LongCase{"", 0}, LongCase{"- 5", 0},
                                           LongCase{"0x10", 0}, LongCase{"3000ms", 3000},
                                           LongCase{"2147483647", 2147483647},
                                           LongCase{"99999999999", 2147483647},
                                           LongCase{"-2147483648", -2147483647 - 1},
                                           LongCase{"-99999999999", -2147483647 - 1}));

TEST(TrimBlanks, RemovesSurroundingBlanksOnly) {
    EXPECT_EQ("Solenoid", TrimBlanks("  Solenoid\t "));
    EXPECT_EQ("a b", TrimBlanks(" a b "));
    EXPECT_EQ("", TrimBlanks("   "));
    EXPECT_EQ("", TrimBlanks(""));
}

TEST(EqualsNoCase, IgnoresCaseButNotLength) {
    EXPECT_TRUE(EqualsNoCase("sOLENOID", "Solenoid"));
    EXPECT_FALSE(EqualsNoCase("Solenoids", "Solenoid"));
    EXPECT_FALSE(EqualsNoCase(" Invert", "Invert"));
    EXPECT_TRUE(EqualsNoCase("", ""));
}

}  // namespace
