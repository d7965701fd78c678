// CDevStat under Wine: the named block shared by two stores, the first user's registry load,
// the saves at each change and at the last close, the open/closed rules, SetText in the store,
// and the registry view that holds the statistics of a device set up for 32- and 64-bit
// applications.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "stats_test_util.h"
#include "util/opos_constants.h"

namespace {

using statstest::RawBlock;

class StatsStoreTest : public statstest::StatsRegistryTest {};

std::string Text(CDevStat& stats, LONG row) {
    char buffer[kStatTextSize] = {};
    EXPECT_EQ(OPOS_SUCCESS, stats.GetText(kStatTableEquipment, row, buffer, sizeof(buffer)));
    return buffer;
}

TEST_F(StatsStoreTest, OpenRulesAndAMissingStatKeyFailingTheFirstOpenOnly) {
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, StatKey().c_str()));
    CDevStat first, second;
    EXPECT_EQ(OPOS_E_NOEXIST, Open(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_FALSE(RawBlock(Device()).exists()) << "the failed open left its block behind";
    const STATREQ* records = nullptr;
    LONG count = 0;
    EXPECT_EQ(OPOS_E_CLOSED, first.Close());
    EXPECT_EQ(OPOS_E_CLOSED, first.IncrementCounter(1, 1));
    EXPECT_EQ(OPOS_E_CLOSED, first.PrepareRequest(kStatModeRetrieve, "", &records, &count));

    RecreateStatKey();
    ASSERT_EQ(OPOS_SUCCESS, Open(first));
    EXPECT_EQ(OPOS_E_ILLEGAL, Open(first));
    EXPECT_EQ(1, RawBlock(Device()).block.Users()) << "a refused open attached again";
    // A store attaching to the existing block does not need the key.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, StatKey().c_str()));
    EXPECT_EQ(OPOS_SUCCESS, Open(second));
    EXPECT_EQ(OPOS_SUCCESS, second.Close());
    EXPECT_EQ(OPOS_SUCCESS, first.Close()) << "nothing to write without the key";
}

TEST_F(StatsStoreTest, TwoStoresShareOneBlockLoadedByTheFirst) {
    Put("DrawerGoodOpenCount", " 42 ");
    Put("HoursPoweredCount", "7");
    CDevStat first, second;
    ASSERT_EQ(OPOS_SUCCESS, Open(first));
    RawBlock raw(Device());
    ASSERT_TRUE(raw.exists());
    EXPECT_EQ(1, raw.block.Users());
    EXPECT_EQ("42", raw.Value("DrawerGoodOpenCount"));
    EXPECT_EQ("7", raw.Value("HoursPoweredCount"));

    Put("DrawerGoodOpenCount", "100");  // too late: the block is loaded
    ASSERT_EQ(OPOS_SUCCESS, Open(second));
    EXPECT_EQ(2, raw.block.Users());
    EXPECT_EQ(OPOS_SUCCESS, second.IncrementCounter(kStatTableUpos, kStatRowDrawerGoodOpenCount));
    EXPECT_EQ(OPOS_SUCCESS, first.SetText(kStatTableEquipment, kStatRowModelName, "CD-2"));
    EXPECT_EQ("CD-2", Text(second, kStatRowModelName));
    // The bytes where the layout (stats_block_test.cpp) puts them, for other processes.
    int64_t value;
    memcpy(&value, raw.bytes() + 1250 + 16, 8);
    EXPECT_EQ(43, value);
    EXPECT_STREQ("CD-2", reinterpret_cast<const char*>(raw.bytes() + 1282 + 3 * 129));
}

// A change to a persistent statistic is in the registry before the call returns, so a
// process killed right after loses nothing; the last close saves them all once more.
TEST_F(StatsStoreTest, PersistentChangesAreSavedAtOnceAndAtTheLastClose) {
    Put("DrawerGoodOpenCount", "5");
    Put("HoursPoweredCount", "7");
    {
        CDevStat first, second;
        ASSERT_EQ(OPOS_SUCCESS, Open(first));
        ASSERT_EQ(OPOS_SUCCESS, Open(second));
        EXPECT_EQ(OPOS_SUCCESS, second.SetCounter(kStatTableUpos, kStatRowHoursPoweredCount, 99));
        EXPECT_EQ("7", Saved("HoursPoweredCount")) << "not persistent: never written back";
        EXPECT_FALSE(Saved("ModelName").has_value()) << "nothing persistent changed yet";
        EXPECT_EQ(OPOS_SUCCESS, first.SetCounter(kStatTableUpos, kStatRowDrawerGoodOpenCount, -6));
        EXPECT_EQ("-6", Saved("DrawerGoodOpenCount"));
        EXPECT_EQ("", Saved("ModelName")) << "a save writes every persistent statistic";
        EXPECT_EQ(OPOS_SUCCESS,
                  second.IncrementCounter(kStatTableUpos, kStatRowDrawerGoodOpenCount));
        EXPECT_EQ("-5", Saved("DrawerGoodOpenCount"));
        EXPECT_EQ(OPOS_SUCCESS, first.SetText(kStatTableEquipment, kStatRowModelName, "CD-9"));
        EXPECT_EQ("CD-9", Saved("ModelName"));
        EXPECT_EQ(OPOS_SUCCESS, first.Close());
        Put("DrawerGoodOpenCount", "0");  // edited while a user is left: the last close wins
    }                                     // the second store closes in its destructor
    EXPECT_EQ("-5", Saved("DrawerGoodOpenCount"));
    EXPECT_EQ("7", Saved("HoursPoweredCount"));
    EXPECT_EQ("USB", Saved("Interface"));
    EXPECT_FALSE(RawBlock(Device()).exists()) << "the block outlived its last user";

    CDevStat again;
    ASSERT_EQ(OPOS_SUCCESS, Open(again));
    EXPECT_EQ("-5", RawBlock(Device()).Value("DrawerGoodOpenCount"));
}

TEST_F(StatsStoreTest, AFailedLastWriteIsReportedButTheStoreCloses) {
    // DrawerFailedOpenCount is written last; as a binary value it refuses the text.
    const BYTE binary[] = {1, 0};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key, "DrawerFailedOpenCount", 0, REG_BINARY, binary,
                                            sizeof(binary)));
    CDevStat stats;
    ASSERT_EQ(OPOS_SUCCESS, Open(stats));
    EXPECT_EQ(OPOS_E_FAILURE, stats.Close());
    EXPECT_FALSE(stats.IsOpen());
    EXPECT_EQ("0", Saved("DrawerGoodOpenCount")) << "the other statistics are still written";
}

// The text rules are stats_block_test.cpp's; here the lead bytes come from the code page.
TEST_F(StatsStoreTest, SetTextChecksBeforeStoringAndCutsDoubleByteText) {
    CDevStat stats;
    ASSERT_EQ(OPOS_SUCCESS, Open(stats));
    ASSERT_EQ(OPOS_SUCCESS, stats.SetText(0, kStatRowInstallationDate, ""));
    EXPECT_EQ(statstest::TodayText(), Text(stats, kStatRowInstallationDate));
    EXPECT_EQ(OPOS_E_ILLEGAL, stats.SetText(0, kStatRowInstallationDate, "2011-02-30"));
    EXPECT_EQ(OPOS_E_ILLEGAL, stats.SetText(0, kStatRowModelName, nullptr));
    // Shift JIS: hiragana A (82 A0) whose lead byte would be byte 128 is dropped whole.
    stats.SetCodePage(932);
    const std::string sjis = std::string(127, 'k') + "\x82\xA0\x82\xA0";
    ASSERT_EQ(OPOS_SUCCESS, stats.SetText(0, kStatRowModelName, sjis.c_str()));
    EXPECT_EQ(std::string(127, 'k'), Text(stats, kStatRowModelName));
    ASSERT_EQ(OPOS_SUCCESS, stats.SetText(0, kStatRowModelName, sjis.substr(1).c_str()));
    EXPECT_EQ(sjis.substr(1, 128), Text(stats, kStatRowModelName));
}

// --- One store for the 32- and 64-bit builds ---------------------------------------------------

// The device written in each registry view by name: KEY_WOW64_32KEY and KEY_WOW64_64KEY mean
// the same keys in a 32-bit and a 64-bit test program.
class StatsViewTest : public StatsStoreTest {
protected:
    void SetUp() override {
        StatsStoreTest::SetUp();
        RemoveClass(KEY_WOW64_32KEY);
        RemoveClass(KEY_WOW64_64KEY);
    }
    void TearDown() override {
        StatsStoreTest::TearDown();
        RemoveClass(KEY_WOW64_32KEY);
        RemoveClass(KEY_WOW64_64KEY);
    }
    static void RemoveClass(REGSAM view) {
        HKEY parent = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail\\ServiceOPOS", 0,
                          KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS) {
            return;
        }
        RegDeleteTreeA(parent, statstest::kClass);
        RegCloseKey(parent);
    }
    // Creates the device's Stat key in the view, with DrawerGoodOpenCount when given.
    void CreateIn(REGSAM view, const char* goodOpens) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, StatKey().c_str(), 0, nullptr,
                                                 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
        if (goodOpens != nullptr) {
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "DrawerGoodOpenCount", 0, REG_SZ,
                                                    reinterpret_cast<const BYTE*>(goodOpens),
                                                    static_cast<DWORD>(strlen(goodOpens) + 1)));
        }
        RegCloseKey(key);
    }
    // A REG_SZ value of the Stat key in the view; "<absent>" when there is none.
    std::string SavedIn(REGSAM view, const char* name) const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, StatKey().c_str(), 0, KEY_READ | view, &key) !=
            ERROR_SUCCESS) {
            return "<no key>";
        }
        const testutil::RegValue v = testutil::ReadRegValue(key, "", name);
        RegCloseKey(key);
        return v.type == REG_SZ ? v.text : "<absent>";
    }
    std::string DeviceKey() const { return StatKey().substr(0, StatKey().rfind('\\')); }
    bool DeviceIn(REGSAM view) const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DeviceKey().c_str(), 0, KEY_READ | view, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
};

TEST_F(StatsViewTest, ADeviceInBothViewsKeepsItsStatisticsInThe32BitView) {
    CreateIn(KEY_WOW64_64KEY, "64");
    CreateIn(KEY_WOW64_32KEY, "32");
    {
        CDevStat stats;
        ASSERT_EQ(OPOS_SUCCESS, Open(stats));
        EXPECT_EQ("32", RawBlock(Device()).Value("DrawerGoodOpenCount"));
        EXPECT_EQ(OPOS_SUCCESS,
                  stats.IncrementCounter(kStatTableUpos, kStatRowDrawerGoodOpenCount));
        EXPECT_EQ(OPOS_SUCCESS, stats.Close());
    }
    EXPECT_EQ("33", SavedIn(KEY_WOW64_32KEY, "DrawerGoodOpenCount"));
    EXPECT_EQ("USB", SavedIn(KEY_WOW64_32KEY, "Interface"));
    EXPECT_EQ("64", SavedIn(KEY_WOW64_64KEY, "DrawerGoodOpenCount"));
    EXPECT_EQ("<absent>", SavedIn(KEY_WOW64_64KEY, "Interface"));

    // The device key decides, not its Stat subkey: without it the first open fails rather
    // than starting a second set of statistics in the other view.
    HKEY device = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, DeviceKey().c_str(), 0,
                                           KEY_ALL_ACCESS | KEY_WOW64_32KEY, &device));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(device, "Stat"));
    RegCloseKey(device);
    CDevStat stats;
    EXPECT_EQ(OPOS_E_NOEXIST, Open(stats));
}

TEST_F(StatsViewTest, ADeviceOnlyInThe64BitViewKeepsItsStatisticsThere) {
    if (sizeof(void*) != 8) GTEST_SKIP() << "a 32-bit program does not see such a device";
    CreateIn(KEY_WOW64_64KEY, "64");
    {
        CDevStat stats;
        ASSERT_EQ(OPOS_SUCCESS, Open(stats));
        EXPECT_EQ("64", RawBlock(Device()).Value("DrawerGoodOpenCount"));
        EXPECT_EQ(OPOS_SUCCESS, stats.SetCounter(kStatTableUpos, kStatRowDrawerGoodOpenCount, 65));
        EXPECT_EQ(OPOS_SUCCESS, stats.Close());
    }
    EXPECT_EQ("65", SavedIn(KEY_WOW64_64KEY, "DrawerGoodOpenCount"));
    EXPECT_FALSE(DeviceIn(KEY_WOW64_32KEY)) << "the save created the device in the 32-bit view";
}

}  // namespace
