// Counter text: 40-byte lines and the all-or-nothing parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ras/counter_text.h"
#include "util/opos_constants.h"

namespace {

const char kAlpha[] = "Alpha                       ";
const char kBeta[] = "Beta                        ";
const char kGamma[] = "Gamma                       ";

std::string Line(const std::string& name, const std::string& value) {
    return name + std::string(10 - value.size(), ' ') + value + "\r\n";
}

TEST(RasCounterText, NamesMustBe28CharactersAndLinesAre40Bytes) {
    const char* names[] = {"DrawerOpenCount             ", kBeta};
    EXPECT_TRUE(CounterNamesValid(names, 2));
    const char* short27[] = {"DrawerOpenCount            "};
    const char* long29[] = {"DrawerOpenCount              "};
    EXPECT_FALSE(CounterNamesValid(short27, 1));
    EXPECT_FALSE(CounterNamesValid(long29, 1));
    EXPECT_FALSE(CounterNamesValid(nullptr, 1));

    const uint32_t values[] = {5, 4294967295u};
    EXPECT_EQ("DrawerOpenCount" + std::string(13 + 9, ' ') + "5\r\n" + kBeta + "4294967295\r\n",
              BuildCounterText(names, values, 2));
}

class RasParse : public ::testing::Test {
protected:
    int32_t Parse(const std::string& text) {
        return ParseCounterText(text.data(), text.size(), m_names, 3, m_values);
    }
    std::vector<uint32_t> Values() const { return {m_values[0], m_values[1], m_values[2]}; }

    const char* m_names[3] = {kAlpha, kBeta, kGamma};
    uint32_t m_values[3] = {7, 8, 9};
};

TEST_F(RasParse, ValidTextSetsTheNamedCounters) {
    const uint32_t written[] = {0, 4294967295u, 42};
    EXPECT_EQ(OPOS_SUCCESS, Parse(BuildCounterText(m_names, written, 3)));
    EXPECT_EQ((std::vector<uint32_t>{0, 4294967295u, 42}), Values());

    // Any letter case; unnamed counters keep their values; the later of two lines wins.
    EXPECT_EQ(OPOS_SUCCESS, Parse(Line("gAMMA                       ", "5") + Line(kAlpha, "1") +
                                  Line(kAlpha, "0000000003")));
    EXPECT_EQ((std::vector<uint32_t>{3, 4294967295u, 5}), Values());

    EXPECT_EQ(OPOS_SUCCESS, Parse(std::string(kBeta) + "9999999999\r\n"));
    EXPECT_EQ(4294967295u, m_values[1]);  // saturates
}

TEST_F(RasParse, ABadLineAnywhereChangesNothing) {
    const std::string good = Line(kAlpha, "1") + Line(kBeta, "2");
    for (const char* value :
         {"5         ", "   1 2    ", "          ", "      -5  ", "     +5   ", "      0x1F"}) {
        EXPECT_EQ(OPOS_E_ILLEGAL, Parse(good + kGamma + value + "\r\n")) << value;
    }
    EXPECT_EQ(OPOS_E_ILLEGAL, Parse(good + Line("Delta                       ", "3")));
    EXPECT_EQ(OPOS_E_ILLEGAL, Parse(good + kGamma + "         3\n\r"));
    EXPECT_EQ(OPOS_E_ILLEGAL, Parse(""));
    EXPECT_EQ(OPOS_E_ILLEGAL, Parse(good.substr(0, 79)));
    EXPECT_EQ(OPOS_E_ILLEGAL, Parse(good + "\r\n"));
    EXPECT_EQ((std::vector<uint32_t>{7, 8, 9}), Values());
}

TEST(RasParseSearch, EachLineSearchesOnFromThePreviousMatchAndWraps) {
    // With a name used twice, where the search starts decides which counter a line fills.
    const char* names[] = {kAlpha, kAlpha, kBeta};
    uint32_t values[] = {0, 0, 0};
    const std::string text = Line(kAlpha, "1") + Line(kAlpha, "2") + Line(kAlpha, "3");
    ASSERT_EQ(OPOS_SUCCESS, ParseCounterText(text.data(), text.size(), names, 3, values));
    EXPECT_EQ(3u, values[0]);  // the third line wrapped past Beta back to the first Alpha
    EXPECT_EQ(2u, values[1]);
    EXPECT_EQ(0u, values[2]);
}

}  // namespace
