// The shared statistics block byte by byte, as other processes read it; loading from the
// registry values; the single-statistic operations and the text rules of the store.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stats/stat_block.h"
#include "stats_test_util.h"
#include "util/opos_constants.h"

namespace {

using statstest::TestBlock;

int64_t Le(const std::vector<uint8_t>& b, size_t at, int bytes = 4) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
    return bytes == 4 ? static_cast<int32_t>(v) : static_cast<int64_t>(v);
}

std::string CText(const std::vector<uint8_t>& b, size_t at) {
    return reinterpret_cast<const char*>(&b[at]);
}

constexpr size_t Slot(int index) {
    return 4 + 89 * static_cast<size_t>(index);
}

TEST(StatsBlock, CashDrawerBlockIsLaidOutByteForByte) {
    TestBlock t({{"DrawerFailedOpenCount", "-3"}, {"SerialNumber", "SN-1"}});
    const std::vector<uint8_t>& b = t.bytes;
    ASSERT_EQ(2572u, b.size());
    EXPECT_EQ(0, Le(b, 0)) << "no users before the first attaches";
    for (int i = 0; i < 14; ++i) {
        const bool text = i < 10;
        const STATDEF& def = text ? kCashDrawerEquipmentStats[i] : kCashDrawerUposStats[i - 10];
        SCOPED_TRACE(def.szName);
        EXPECT_EQ(def.szName, CText(b, Slot(i)));
        EXPECT_EQ(0, b[Slot(i) + 64]);
        EXPECT_EQ(def.nType, Le(b, Slot(i) + 65));
        EXPECT_EQ(def.bPersistent, Le(b, Slot(i) + 69));
        EXPECT_EQ(def.nAccess, Le(b, Slot(i) + 73));
        EXPECT_EQ(text ? 129 * i : 0, Le(b, Slot(i) + 77));
        EXPECT_EQ(text ? 0 : 8 * (i - 10), Le(b, Slot(i) + 81));
        EXPECT_EQ(text ? 0 : -1, Le(b, Slot(i) + 85));
    }
    EXPECT_EQ(-3, Le(b, 1250 + 24, 8));
    EXPECT_EQ("1.13", CText(b, 1282));
    EXPECT_EQ("SN-1", CText(b, 1282 + 4 * 129));
    EXPECT_EQ("USB", CText(b, 1282 + 8 * 129));
    EXPECT_EQ(0, b[2571]);
}

TEST(StatsBlock, LoadTrimsValuesAndFallsBackToDefaults) {
    TestBlock t({{"DrawerGoodOpenCount", "  42\t"},
                 {"CommunicationErrorCount", "abc"},
                 {"HoursPoweredCount", "77"},
                 {"DrawerFailedOpenCount", "99999999999999999999x"},
                 {"ModelName", "  CD-7  "},
                 {"Interface", ""},
                 {"FirmwareRevision", std::string(140, 'f')}});
    EXPECT_EQ("42", t.Value("DrawerGoodOpenCount"));
    EXPECT_EQ("0", t.Value("CommunicationErrorCount"));
    EXPECT_EQ("77", t.Value("HoursPoweredCount"));
    EXPECT_EQ("9223372036854775807", t.Value("DrawerFailedOpenCount"));
    EXPECT_EQ("CD-7", t.Value("ModelName"));
    EXPECT_EQ("", t.Value("Interface")) << "an empty text is a value, not a missing one";
    EXPECT_EQ(std::string(128, 'f'), t.Value("FirmwareRevision"));
    EXPECT_EQ("Velmora", t.Value("ManufacturerName"));
}

TEST(StatsBlock, OperationsCheckTypeAndIndex) {
    TestBlock t(statstest::Values{{"ModelName", "ABCDEFG"}});
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

    const std::string split = std::string(127, 'm') + "\x82\xA0";
    ASSERT_EQ(OPOS_SUCCESS, t.block.StoreText(0, 3, split, statstest::Cp932LeadBytes()));
    EXPECT_EQ(std::string(127, 'm'), t.Value("ModelName"));
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
    for (const char* name :
         {"RS232", "RS485", "Parallel", "USB", "1394", "Network", "Bluetooth", "Other"}) {
        EXPECT_EQ(OPOS_SUCCESS, PrepareStatText(0, kStatRowInterface, name, "", &stored));
    }
    EXPECT_EQ(OPOS_E_ILLEGAL, PrepareStatText(0, kStatRowInterface, "usb", "", &stored));
    // Rows are told by table and number: the same row of table 1 takes any text.
    EXPECT_EQ(OPOS_SUCCESS, PrepareStatText(1, kStatRowInstallationDate, "", "x", &stored));
    EXPECT_EQ("", stored);
}

}  // namespace
