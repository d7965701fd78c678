// Device statistics: where other processes find the shared block's values, loading from the
// registry values, the single-statistic operations, the text rules (128-byte cut in a
// double-byte code page, dates, counter values), request resolution, the update path, and the
// statistics document.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/stat_block.h"
#include "stats/stat_report.h"
#include "stats/stat_request.h"
#include "stats/stat_text.h"
#include "tests/native/memory_key.h"
#include "util/opos_constants.h"

namespace {

using Values = std::map<std::string, std::string>;

// A block in ordinary memory, laid out and loaded from registry-like values.
struct TestBlock {
    explicit TestBlock(const Values& values = {}, const StatTables& tables = kCashDrawerStatTables)
        : bytes(ComputeStatLayout(tables).size, 0xCC),
          block(bytes.data(), ComputeStatLayout(tables)) {
        block.Format(tables);
        block.Load(tables, MemoryKey(values));
    }
    std::string Value(const std::string& name) const {
        int32_t table, row;
        STATSLOT slot;
        EXPECT_TRUE(block.FindName(name, &table, &row, &slot)) << name;
        return block.ValueText(slot);
    }
    std::vector<uint8_t> bytes;
    StatBlock block;
};

LeadByteSet Cp932LeadBytes() {
    LeadByteSet lead;
    for (int b = 0x81; b <= 0xFC; ++b) lead.set(static_cast<size_t>(b), b <= 0x9F || b >= 0xE0);
    return lead;
}

int64_t Le(const std::vector<uint8_t>& b, size_t at, int bytes = 4) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
    return bytes == 4 ? static_cast<int32_t>(v) : static_cast<int64_t>(v);
}

std::string CText(const std::vector<uint8_t>& b, size_t at) {
    return reinterpret_cast<const char*>(&b[at]);
}

// Other processes, of either build, read the values where the block's layout puts them.
TEST(StatsBlock, LoadedValuesSitWhereOtherProcessesReadThem) {
    TestBlock t({{"DrawerFailedOpenCount", "-3"}, {"SerialNumber", "SN-1"}});
    const std::vector<uint8_t>& b = t.bytes;
    EXPECT_EQ(0, Le(b, 0)) << "no users before the first attaches";
    EXPECT_EQ("DrawerFailedOpenCount", CText(b, 4 + 89 * 13));
    EXPECT_EQ(-3, Le(b, 1250 + 24, 8));
    EXPECT_EQ("1.13", CText(b, 1282));
    EXPECT_EQ("SN-1", CText(b, 1282 + 4 * 129));
    EXPECT_EQ(0, b[2571]);
}

TEST(StatsBlock, LoadTrimsValuesAndFallsBackToDefaults) {
    TestBlock t({{"DrawerGoodOpenCount", "  42\t"},
                 {"CommunicationErrorCount", "abc"},
                 {"DrawerFailedOpenCount", "99999999999999999999x"},
                 {"ModelName", "  CD-7  "},
                 {"Interface", ""},
                 {"FirmwareRevision", std::string(140, 'f')}});
    EXPECT_EQ("42", t.Value("DrawerGoodOpenCount"));
    EXPECT_EQ("0", t.Value("CommunicationErrorCount"));
    EXPECT_EQ("9223372036854775807", t.Value("DrawerFailedOpenCount"));
    EXPECT_EQ("CD-7", t.Value("ModelName"));
    EXPECT_EQ("", t.Value("Interface")) << "an empty text is a value, not a missing one";
    EXPECT_EQ(std::string(128, 'f'), t.Value("FirmwareRevision"));
}

TEST(StatsBlock, OperationsCheckTypeAndIndex) {
    TestBlock t(Values{{"ModelName", "ABCDEFG"}});
    EXPECT_EQ(OPOS_SUCCESS, t.block.SetCounter(1, 2, INT64_MAX));
    EXPECT_EQ(OPOS_SUCCESS, t.block.IncrementCounter(1, 2));
    EXPECT_EQ("0", t.Value("DrawerGoodOpenCount"));
    EXPECT_EQ(OPOS_E_ILLEGAL, t.block.IncrementCounter(0, 3)) << "a text";
    EXPECT_EQ(OPOS_E_ILLEGAL, t.block.SetCounter(1, 4, 1)) << "beyond table 1";
    EXPECT_EQ(OPOS_E_ILLEGAL, t.block.SetCounter(2, 0, 1)) << "table 2 is empty";
    EXPECT_EQ(OPOS_E_ILLEGAL, t.block.SetCounter(-1, 0, 1));
    EXPECT_EQ(OPOS_E_ILLEGAL, t.block.StoreText(1, 1, "x", {})) << "a counter";

    char buffer[6];
    EXPECT_EQ(OPOS_SUCCESS, t.block.GetText(0, 3, buffer, sizeof(buffer)));
    EXPECT_STREQ("ABCDE", buffer);
    EXPECT_EQ(OPOS_E_ILLEGAL, t.block.GetText(0, 3, buffer, 0));
    EXPECT_EQ(OPOS_E_ILLEGAL, t.block.GetText(1, 0, buffer, 6)) << "a counter";
    ASSERT_EQ(OPOS_SUCCESS, t.block.StoreText(0, 3, "ab", {}));
    EXPECT_EQ("ab", t.Value("ModelName")) << "a longer text before leaves nothing behind";
}

TEST(StatsBlock, PrepareStatTextAppliesDateAndInterfaceRules) {
    std::string stored;
    for (int32_t row : {kStatRowInstallationDate, kStatRowManufactureDate}) {
        EXPECT_EQ(OPOS_SUCCESS, PrepareStatText(0, row, "", "2024-05-06", &stored));
        EXPECT_EQ("2024-05-06", stored);
        EXPECT_EQ(OPOS_E_ILLEGAL, PrepareStatText(0, row, "2011-02-30", "", &stored));
    }
    EXPECT_EQ(OPOS_SUCCESS, PrepareStatText(0, kStatRowInterface, "USB", "", &stored));
    EXPECT_EQ(OPOS_E_ILLEGAL, PrepareStatText(0, kStatRowInterface, "usb", "", &stored));
    // Rows are told by table and number: the same row of table 1 takes any text.
    EXPECT_EQ(OPOS_SUCCESS, PrepareStatText(1, kStatRowInstallationDate, "", "x", &stored));
    EXPECT_EQ("", stored);
}

TEST(StatsText, FitTextLengthNeverSplitsADoubleByteCharacter) {
    const LeadByteSet sjis = Cp932LeadBytes();
    EXPECT_EQ(128u, FitTextLength(std::string(130, 'a'), 128, sjis));
    // Hiragana A (82 A0) with its lead byte as byte 128 goes whole; without lead bytes it
    // is split like any other text.
    const std::string split = std::string(127, 'a') + "\x82\xA0" + "b";
    EXPECT_EQ(127u, FitTextLength(split, 128, sjis));
    EXPECT_EQ(128u, FitTextLength(split, 128, LeadByteSet()));
    // A request's value arrives already cut at 128 bytes: a lone lead byte at its end goes too.
    EXPECT_EQ(127u, FitTextLength(split.substr(0, 128), 128, sjis));
    // 81 81 (full-width equals): byte 128 is a trail byte from the lead range, so it stays.
    const std::string trail = std::string(126, 'a') + "\x81\x81" + "\x81\x81";
    EXPECT_EQ(128u, FitTextLength(trail, 128, sjis));
}

TEST(StatsText, ParseStatDateAcceptsOnlyRealDatesOfTheFixedForm) {
    std::string stored;
    for (const char* good : {"2000-02-29", "9999-12-31", "1000-01-01"}) {
        EXPECT_TRUE(ParseStatDate(good, &stored)) << good;
        EXPECT_EQ(good, stored);
    }
    for (const char* bad : {"1900-02-29", "2011-04-31", "2011-13-01", "2011-01-00", "0999-01-01",
                            "2011-1-1", "2011-01-01 ", "+011-01-01"}) {
        EXPECT_FALSE(ParseStatDate(bad, &stored)) << bad;
    }
}

TEST(StatsText, NormaliseCounterValueGivesThePlainDecimalOrRefuses) {
    const std::pair<const char*, const char*> accepted[] = {
        {"+0012", "12"}, {"-0", "0"}, {"-9223372036854775808", "-9223372036854775808"}};
    for (const auto& [value, expected] : accepted) {
        std::string out;
        EXPECT_TRUE(NormaliseCounterValue(value, &out)) << value;
        EXPECT_EQ(expected, out) << value;
    }
    for (const char* value : {"", "-", "12a", "1 2", "+-1", "-9223372036854775809"}) {
        std::string out = "untouched";
        EXPECT_FALSE(NormaliseCounterValue(value, &out)) << value;
        EXPECT_EQ("untouched", out) << value;
    }
}

using Strings = std::vector<std::string>;

// Each record as "table.row", with "=value" when it carries one.
Strings Rows(const StatRequestResult& r) {
    Strings rows;
    for (const STATREQ& q : r.records) {
        std::string row = std::to_string(q.nTable) + "." + std::to_string(q.nRow);
        if (q.llCounter != 0) row += "=" + std::to_string(q.llCounter);
        if (q.szText[0] != '\0') row += "=" + std::string(q.szText);
        rows.push_back(row);
    }
    return rows;
}

const Strings kAllReversed = {"1.3", "1.2", "1.1", "1.0", "0.9", "0.8", "0.7",
                              "0.6", "0.5", "0.4", "0.3", "0.2", "0.1", "0.0"};

class StatsResolveTest : public ::testing::Test {
protected:
    // Rows of the resolved request, after checking its result and extended code.
    Strings Resolve(int32_t mode, const std::string& text, int32_t result = OPOS_SUCCESS,
                    int32_t extended = 0) {
        const StatRequestResult r = ResolveStatRequest(m_block.block, mode, text);
        EXPECT_EQ(result, r.result) << text;
        EXPECT_EQ(extended, r.extended) << text;
        return Rows(r);
    }
    TestBlock m_block;
};

TEST_F(StatsResolveTest, EmptyNamesAndCategoriesExpandInReverseTableOrder) {
    EXPECT_EQ(kAllReversed, Resolve(kStatModeRetrieve, ""));
    EXPECT_EQ((Strings{"1.3", "1.2", "1.1", "1.0"}), Resolve(kStatModeRetrieve, "U_"));
    // A trailing comma is an empty token: everything, and the ModelName before it is a
    // duplicate of the one inside.
    EXPECT_EQ(kAllReversed, Resolve(kStatModeRetrieve, "ModelName,"));
    // "M_" has no rows here; names and categories are case-sensitive.
    for (const char* nothing : {"M_", "u_", "drawergoodopencount"}) {
        EXPECT_EQ(Strings{}, Resolve(kStatModeRetrieve, nothing, OPOS_E_ILLEGAL));
    }
}

TEST_F(StatsResolveTest, NamesKeepTheirOrderAndTheLastDuplicateWins) {
    EXPECT_EQ((Strings{"1.2", "1.1"}),
              Resolve(kStatModeRetrieve, "DrawerGoodOpenCount, CommunicationErrorCount"));
    EXPECT_EQ((Strings{"1.3", "1.1", "1.0", "1.2"}),
              Resolve(kStatModeRetrieve, "U_,DrawerGoodOpenCount"));
    EXPECT_EQ((Strings{"0.3=X", "1.2=2"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=1,ModelName=X,DrawerGoodOpenCount=2"));
    // Unknown names are dropped; retrieve does not call that partial.
    EXPECT_EQ((Strings{"0.3"}), Resolve(kStatModeRetrieve, "Bogus,ModelName"));
    // A megabyte of categories names each statistic once, in the order of the last one.
    std::string many;
    for (int i = 0; i < 1 << 18; ++i) many += i % 2 ? "U_,,ModelName," : ",U_,";
    EXPECT_EQ((Strings{"0.9", "0.8", "0.7", "0.6", "0.5", "0.4", "0.2", "0.1", "0.0", "0.3", "1.3",
                       "1.2", "1.1", "1.0"}),
              Resolve(kStatModeRetrieve, many + "U_"));
}

TEST_F(StatsResolveTest, MalformedRequestsAreIllegalBeforeResolution) {
    for (const char* text : {"ModelName", "ModelName=a=b", "ModelName=a,", ""}) {
        const StatRequestResult r = ResolveStatRequest(m_block.block, kStatModeUpdate, text);
        EXPECT_EQ(OPOS_E_ILLEGAL, r.result) << text;
        EXPECT_FALSE(r.resolved) << text;
    }
    Resolve(kStatModeRetrieve, "DrawerGoodOpenCount=0", OPOS_E_ILLEGAL);
    Resolve(kStatModeReset, "DrawerGoodOpenCount=", OPOS_E_ILLEGAL);
}

TEST_F(StatsResolveTest, UpdateNormalisesCounterValuesAndDropsBadOnes) {
    EXPECT_EQ((Strings{"1.2=12"}), Resolve(kStatModeUpdate, " DrawerGoodOpenCount = +0012 "));
    const std::string nines(20, '9');
    EXPECT_EQ((Strings{"1.2=9223372036854775807"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=" + nines));
    EXPECT_EQ(Strings{}, Resolve(kStatModeUpdate, "DrawerGoodOpenCount=-" + nines, OPOS_E_ILLEGAL));
    EXPECT_EQ((Strings{"1.3=3"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=x,DrawerFailedOpenCount=3",
                      OPOS_E_EXTENDED, OPOS_ESTATS_ERROR));
    // Text values are taken as they are, cut to 128 bytes.
    EXPECT_EQ((Strings{"0.3=" + std::string(128, 'q')}),
              Resolve(kStatModeUpdate, "ModelName=" + std::string(200, 'q')));
}

TEST_F(StatsResolveTest, AccessRulesDropWhatCannotBeChanged) {
    Resolve(kStatModeUpdate, "HoursPoweredCount=1", OPOS_E_ILLEGAL);
    EXPECT_EQ((Strings{"1.2=4"}),
              Resolve(kStatModeUpdate, "DrawerGoodOpenCount=4,HoursPoweredCount=1", OPOS_E_EXTENDED,
                      OPOS_ESTATS_ERROR));
    EXPECT_EQ((Strings{"1.3", "1.2", "1.1", "0.9", "0.7", "0.6", "0.5", "0.4", "0.3"}),
              Resolve(kStatModeReset, "", OPOS_E_EXTENDED, OPOS_ESTATS_ERROR));
    EXPECT_EQ((Strings{"1.3", "1.2", "1.1"}),
              Resolve(kStatModeReset, "U_", OPOS_E_EXTENDED, OPOS_ESTATS_ERROR));
    EXPECT_EQ((Strings{"0.9"}), Resolve(kStatModeReset, "InstallationDate"));
    Resolve(kStatModeReset, "Interface,UnifiedPOSVersion", OPOS_E_ILLEGAL);
}

using Lines = std::vector<std::string>;

const Lines kHead = {
    "<?xml version= '1.0' ?>",
    "<UPOSStat version=\"1.13.0\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns=\"http://www.nrf-arts.org/UnifiedPOS/namespace/\" "
    "xsi:schemaLocation=\"http://www.nrf-arts.org/UnifiedPOS/namespace/UPOSStat.xsd\">",
    "\t<Event>",
};

// The document of a retrieve request, split at CR LF, which must end every line.
Lines Report(const TestBlock& t, const std::string& request) {
    const StatRequestResult r = ResolveStatRequest(t.block, kStatModeRetrieve, request);
    EXPECT_EQ(0, r.result) << request;
    const std::string doc = WriteStatReport(t.block, r.records.data(), r.records.size());
    Lines lines;
    size_t start = 0;
    for (size_t end; (end = doc.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(doc.substr(start, end - start));
        EXPECT_EQ(std::string::npos, lines.back().find_first_of("\r\n")) << lines.back();
    }
    EXPECT_EQ(doc.size(), start) << "text after the last CR LF";
    return lines;
}

TEST(StatsReport, EmptyRequestGivesTheWholeDocument) {
    TestBlock t({{"HoursPoweredCount", "3"},
                 {"DrawerGoodOpenCount", "9223372036854775807"},
                 {"DrawerFailedOpenCount", "-5"},
                 {"InstallationDate", "2024-05-06"}});
    Lines expected = kHead;
    for (const auto& [name, value] : {std::pair<std::string, std::string>{"HoursPoweredCount", "3"},
                                      {"CommunicationErrorCount", "0"},
                                      {"DrawerGoodOpenCount", "9223372036854775807"},
                                      {"DrawerFailedOpenCount", "-5"}}) {
        expected.insert(expected.end(), {"\t\t<Parameter>", "\t\t\t<Name>" + name + "</Name>",
                                         "\t\t\t<Value>" + value + "</Value>", "\t\t</Parameter>"});
    }
    expected.insert(
        expected.end(),
        {"\t</Event>", "\t<Equipment>", "\t\t<UnifiedPOSVersion>1.13</UnifiedPOSVersion>",
         "\t\t<DeviceCategory UPOS=\"CashDrawer\"/>",
         "\t\t<ManufacturerName>Velmora</ManufacturerName>", "\t\t<ModelName></ModelName>",
         "\t\t<Interface>USB</Interface>", "\t\t<InstallationDate>2024-05-06</InstallationDate>",
         "\t</Equipment>", "</UPOSStat>"});
    EXPECT_EQ(expected, Report(t, ""));
}

TEST(StatsReport, ValuesAreEscapedButTheCategoryAttributeIsNot) {
    const Lines lines = Report(TestBlock({{"ModelName", "A&B<C>"},
                                          {"SerialNumber", "\"q\" 'a' &lt;"},
                                          {"DeviceCategory", "Cash&Drawer"}}),
                               "ModelName");
    EXPECT_EQ("\t\t<DeviceCategory UPOS=\"Cash&Drawer\"/>", lines[6]);
    EXPECT_EQ("\t\t<ModelName>A&amp;B&lt;C&gt;</ModelName>", lines[8]);
    EXPECT_EQ("\t\t<SerialNumber>&quot;q&quot; &apos;a&apos; &amp;lt;</SerialNumber>", lines[9]);
}

}  // namespace
