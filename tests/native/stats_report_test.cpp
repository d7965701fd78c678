// The statistics document: exact lines and line ends, the order of the Event entries, which
// identification lines appear, escaping, and the DeviceCategory attribute.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stats/stat_report.h"
#include "stats/stat_request.h"
#include "stats_test_util.h"

namespace {

using statstest::TestBlock;
using Lines = std::vector<std::string>;

const Lines kHead = {
    "<?xml version= '1.0' ?>",
    "<UPOSStat version=\"1.13.0\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns=\"http://www.nrf-arts.org/UnifiedPOS/namespace/\" "
    "xsi:schemaLocation=\"http://www.nrf-arts.org/UnifiedPOS/namespace/UPOSStat.xsd\">",
    "\t<Event>",
};

Lines Block(const char* element, const std::string& name, const std::string& value,
            const std::string& unit = "") {
    Lines lines = {"\t\t<" + std::string(element) + ">", "\t\t\t<Name>" + name + "</Name>",
                   "\t\t\t<Value>" + value + "</Value>"};
    if (!unit.empty()) lines.push_back("\t\t\t<unitofmeasure>" + unit + "</unitofmeasure>");
    lines.push_back("\t\t</" + std::string(element) + ">");
    return lines;
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

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
    const Lines expected = Join({
        kHead,
        Block("Parameter", "HoursPoweredCount", "3"),
        Block("Parameter", "CommunicationErrorCount", "0"),
        Block("Parameter", "DrawerGoodOpenCount", "9223372036854775807"),
        Block("Parameter", "DrawerFailedOpenCount", "-5"),
        {"\t</Event>", "\t<Equipment>", "\t\t<UnifiedPOSVersion>1.13</UnifiedPOSVersion>",
         "\t\t<DeviceCategory UPOS=\"CashDrawer\"/>",
         "\t\t<ManufacturerName>Velmora</ManufacturerName>", "\t\t<ModelName></ModelName>",
         "\t\t<Interface>USB</Interface>", "\t\t<InstallationDate>2024-05-06</InstallationDate>",
         "\t</Equipment>", "</UPOSStat>"},
    });
    EXPECT_EQ(expected, Report(t, ""));
    EXPECT_EQ(expected, Report(t, "U_"));
}

TEST(StatsReport, CountersNamedOneByOneComeOutInReverse) {
    const Lines lines = Report(TestBlock(), "DrawerGoodOpenCount,CommunicationErrorCount");
    EXPECT_EQ(Join({Block("Parameter", "CommunicationErrorCount", "0"),
                    Block("Parameter", "DrawerGoodOpenCount", "0"),
                    {"\t</Event>"}}),
              Lines(lines.begin() + 3, lines.begin() + 12));
}

TEST(StatsReport, IdentificationOnlyRequestHasAnEmptyEvent) {
    const Lines lines = Report(TestBlock({{"SerialNumber", "S"}, {"Interface", ""}}), "ModelName");
    ASSERT_EQ(12u, lines.size());
    EXPECT_EQ((Lines{"\t<Event>", "\t</Event>", "\t<Equipment>"}), Lines(&lines[2], &lines[5]));
    EXPECT_EQ("\t\t<SerialNumber>S</SerialNumber>", lines[9]);
    EXPECT_EQ("\t</Equipment>", lines[10]) << "empty Interface and dates are left out";
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

TEST(StatsReport, UnitsAndManufacturerStatisticsHaveTheirOwnBlocks) {
    static constexpr STATDEF equipment[] = {{"UnifiedPOSVersion", kStatTypeText, 1, 0, "1.13", ""}};
    static constexpr STATDEF upos[] = {{"HoursPoweredCount", kStatTypeCounter, 0, 0, "4", "h<"}};
    static constexpr STATDEF maker[] = {{"Motor", kStatTypeCounter, 1, 3, "1", ""},
                                        {"Label", kStatTypeText, 1, 3, "x", "none"}};
    constexpr StatTables tables = {{equipment, upos, maker}, {1, 1, 2}};
    static_assert(ComputeStatLayout(tables).size == 4 + 89 * 4 + 8 * 2 + 129 * 2 + 65 * 2, "");
    TestBlock t({}, tables);
    STATSLOT label;
    ASSERT_TRUE(t.block.FindSlot(kStatTableManufacturer, 1, &label));
    EXPECT_EQ(65, int32_t{label.nUnitOffset}) << "the second unit";
    EXPECT_EQ(129, int32_t{label.nTextOffset}) << "the second text";
    const Lines expected = Join({
        kHead,
        Block("Parameter", "HoursPoweredCount", "4", "h&lt;"),
        Block("ManufacturerSpecific", "Motor", "1"),
        Block("ManufacturerSpecific", "Label", "x", "none"),
        {"\t</Event>", "\t<Equipment>", "\t\t<UnifiedPOSVersion>1.13</UnifiedPOSVersion>",
         "\t</Equipment>", "</UPOSStat>"},
    });
    EXPECT_EQ(expected, Report(t, ""));
}

}  // namespace
