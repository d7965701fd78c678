// Configuration text rules: Booleans by first letter, numbers by atol, words by case.
#include <gtest/gtest.h>

#include "util/config_rules.h"

namespace {

TEST(BoolFromText, OnlyALeadingTIsTrue) {
    for (const char* t : {"T", "true", "Tomato"}) EXPECT_EQ(1, BoolFromText(t)) << t;
    for (const char* f : {"", "false", " TRUE", "1"}) EXPECT_EQ(0, BoolFromText(f)) << f;
    EXPECT_EQ(0, BoolFromText(nullptr));
}

TEST(LongFromText, FollowsAtolAndSaturates) {
    const std::pair<const char*, int32_t> cases[] = {{"   42abc", 42},
                                                     {"\t-17", -17},
                                                     {"+8", 8},
                                                     {"- 5", 0},
                                                     {"0x10", 0},
                                                     {"2147483647", INT32_MAX},
                                                     {"99999999999", INT32_MAX},
                                                     {"-99999999999", INT32_MIN}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(value, LongFromText(text)) << '"' << text << '"';
}

}  // namespace
