// Configuration text rules: Booleans by first letter, numbers by atol, words by case.
#include <gtest/gtest.h>

#include "util/config_rules.h"

namespace {

TEST(BoolFromText, OnlyALeadingTIsTrue) {
    for (const char* t : {"T", "t", "TRUE", "true", "Tomato", "t0"})
        EXPECT_EQ(1, BoolFromText(t)) << t;
    for (const char* f : {"", "F", "false", " TRUE", "1", "yes", "\tT"})
        EXPECT_EQ(0, BoolFromText(f)) << f;
    EXPECT_EQ(0, BoolFromText(nullptr));
}

TEST(LongFromText, FollowsAtolAndSaturates) {
    const std::pair<const char*, int32_t> cases[] = {{"42", 42},
                                                     {"   42abc", 42},
                                                     {"\t-17", -17},
                                                     {"+8", 8},
                                                     {"abc", 0},
                                                     {"", 0},
                                                     {"- 5", 0},
                                                     {"0x10", 0},
                                                     {"3000ms", 3000},
                                                     {"2147483647", INT32_MAX},
                                                     {"99999999999", INT32_MAX},
                                                     {"-2147483648", INT32_MIN},
                                                     {"-99999999999", INT32_MIN}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(value, LongFromText(text)) << '"' << text << '"';
}

}  // namespace
