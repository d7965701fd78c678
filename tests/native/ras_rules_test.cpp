// Reliability settings: registry texts, counter file paths, and the counter text of 40-byte
// lines with its all-or-nothing parser. The block layout is checked where it is declared.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ras/counter_path.h"
#include "ras/counter_text.h"
#include "ras/ras_data.h"
#include "ras/ras_rules.h"
#include "util/opos_constants.h"

namespace {

TEST(RasEventLogLevel, WordsAndVerboseLevelsWithinTheLimit) {
    EXPECT_EQ(1, VerboseLimitFromValue(0));  // what an absent value reads as
    EXPECT_EQ(3, VerboseLimitFromValue(3));

    EXPECT_EQ(0, EventLogLevelFromText(nullptr, 1));
    EXPECT_EQ(0, EventLogLevelFromText("Disable", 1));
    EXPECT_EQ(1, EventLogLevelFromText("  eNaBlE\t", 1));
    EXPECT_EQ(0, EventLogLevelFromText("Enabled", 1));
    EXPECT_EQ(2, EventLogLevelFromText(" verbose 1 ", 1));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose0", 1));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose2", 1));
    EXPECT_EQ(3, EventLogLevelFromText("Verbose2", 3));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose4", 3));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose1x", 3));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose99999999999999999999", INT32_MAX));
    EXPECT_EQ(INT32_MAX, EventLogLevelFromText("Verbose2147483646", INT32_MAX));
}

TEST(RasCounterPath, NoNameFullPathsAndRelativeNames) {
    const std::string folder = "C:\\ProgramData\\Bramwick";
    for (const char* none : {static_cast<const char*>(nullptr), "", ":\\:\\"}) {
        EXPECT_EQ(folder + "\\RASDrawer1.LOG", ResolveCounterFilePath(none, "Drawer1", folder));
    }
    EXPECT_EQ("C:\\logs\\ras.txt", ResolveCounterFilePath("C:\\logs\\ras.txt", "D", folder));
    EXPECT_EQ("\\\\srv\\s\\c.txt", ResolveCounterFilePath("\\\\srv\\s\\c.txt", "D", folder));
    EXPECT_EQ(folder + "\\counters.txt", ResolveCounterFilePath("counters.txt", "D", folder));
    EXPECT_EQ(folder + "\\1:c.txt", ResolveCounterFilePath("1:c.txt", "D", folder));
    // Without a folder the name stands alone.
    EXPECT_EQ("counters.txt", ResolveCounterFilePath("counters.txt", "D", ""));
    EXPECT_EQ("RASD.LOG", ResolveCounterFilePath(nullptr, "D", ""));
    // The folder takes one separator, and is never the path of a file whose name is dropped.
    EXPECT_EQ("C:\\Data\\RASD.LOG", ResolveCounterFilePath(nullptr, "D", "C:\\Data\\"));
    EXPECT_EQ("C:\\Data\\RASD.LOG", ResolveCounterFilePath(nullptr, "D", "C:\\Data"));
    EXPECT_EQ("Data\\c.txt", ResolveCounterFilePath("c.txt", "D", "Data"));
    EXPECT_EQ("C:\\OPOS\\Bramwick.dll\\c.txt",
              ResolveCounterFilePath("c.txt", "D", "C:\\OPOS\\Bramwick.dll"));
    // Paths are cut to 271 bytes.
    const std::string deep = "C:\\" + std::string(260, 'm');
    EXPECT_EQ(deep + "\\counter", ResolveCounterFilePath("counters.txt", "D", deep));
    const std::string full = "C:\\" + std::string(300, 'f');
    EXPECT_EQ(full.substr(0, kRasCounterPathMax), ResolveCounterFilePath(full.c_str(), "D", ""));
    // A UTF-8 path is cut before the character the limit falls in, not inside it.
    std::string katakana = "C:\\";  // 3 + 90 * 3 bytes: the limit falls in the 90th character
    for (int i = 0; i < 90; ++i) katakana += "\xE3\x83\x89";
    EXPECT_EQ(katakana.substr(0, 3 + 89 * 3), ResolveCounterFilePath(katakana.c_str(), "D", ""));
}

const char kAlpha[] = "Alpha                       ";
const char kBeta[] = "Beta                        ";
const char kGamma[] = "Gamma                       ";

std::string Line(const std::string& name, const std::string& value) {
    return name + std::string(10 - value.size(), ' ') + value + "\r\n";
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
    // Any letter case; unnamed counters keep their values; the later of two lines wins.
    EXPECT_EQ(OPOS_SUCCESS, Parse(Line("gAMMA                       ", "5") + Line(kAlpha, "1") +
                                  Line(kAlpha, "0000000003")));
    EXPECT_EQ((std::vector<uint32_t>{3, 8, 5}), Values());

    EXPECT_EQ(OPOS_SUCCESS, Parse(std::string(kBeta) + "9999999999\r\n"));
    EXPECT_EQ(4294967295u, m_values[1]);  // saturates
}

TEST_F(RasParse, ABadLineAnywhereChangesNothing) {
    const std::string good = Line(kAlpha, "1") + Line(kBeta, "2");
    for (const char* value : {"5         ", "   1 2    ", "          ", "      -5  "}) {
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
