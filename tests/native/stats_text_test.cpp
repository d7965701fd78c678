// Text rules of the statistics: the 128-byte cut in a double-byte code page,
// date values, and the normal form of counter values in update requests.
#include <gtest/gtest.h>

#include <string>

#include "stats/stat_text.h"
#include "stats_test_util.h"

namespace {

TEST(StatsText, FitTextLengthNeverSplitsADoubleByteCharacter) {
    const LeadByteSet sjis = statstest::Cp932LeadBytes();
    EXPECT_EQ(128u, FitTextLength(std::string(130, 'a'), 128, sjis));
    // Hiragana A (82 A0) with its lead byte as byte 128 goes whole; without lead bytes it
    // is split like any other text.
    const std::string split = std::string(127, 'a') + "\x82\xA0" + "b";
    EXPECT_EQ(127u, FitTextLength(split, 128, sjis));
    EXPECT_EQ(128u, FitTextLength(split, 128, LeadByteSet()));
    // 81 81 (full-width equals): byte 128 is a trail byte from the lead range, so it stays.
    const std::string trail = std::string(126, 'a') + "\x81\x81" + "\x81\x81";
    EXPECT_EQ(128u, FitTextLength(trail, 128, sjis));
}

TEST(StatsText, ParseStatDateAcceptsOnlyRealDatesOfTheFixedForm) {
    std::string stored;
    for (const char* good : {"2012-02-29", "2000-02-29", "9999-12-31", "1000-01-01"}) {
        EXPECT_TRUE(ParseStatDate(good, &stored)) << good;
        EXPECT_EQ(good, stored);
    }
    for (const char* bad :
         {"2011-02-30", "1900-02-29", "2011-04-31", "2011-13-01", "2011-00-10", "2011-01-00",
          "0999-01-01", "2011-1-1", "2011/01/01", "2011-01-01 ", "2011-0a-01", "+011-01-01", ""}) {
        EXPECT_FALSE(ParseStatDate(bad, &stored)) << bad;
    }
}

TEST(StatsText, NormaliseCounterValueGivesThePlainDecimalOrRefuses) {
    const std::pair<const char*, const char*> accepted[] = {
        {"+0012", "12"},
        {"-007", "-7"},
        {"-0", "0"},
        {"000", "0"},
        {"99999999999999999999", "9223372036854775807"},
        {"-9223372036854775808", "-9223372036854775808"},
    };
    for (const auto& [value, expected] : accepted) {
        std::string out;
        EXPECT_TRUE(NormaliseCounterValue(value, &out)) << value;
        EXPECT_EQ(expected, out) << value;
    }
    for (const char* value :
         {"", "+", "-", "12a", "1.5", "1 2", "0x10", "+-1", "-9223372036854775809"}) {
        std::string out = "untouched";
        EXPECT_FALSE(NormaliseCounterValue(value, &out)) << value;
        EXPECT_EQ("untouched", out) << value;
    }
}

}  // namespace
