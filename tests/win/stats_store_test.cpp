// CDevStat under Wine: the named block shared by two stores, the first user's registry load,
// the saves at each change and at the last close, the open/closed rules, SetText in the store,
// and the registry view that holds the statistics of a device set up for 32- and 64-bit
// applications. Then the statistics method frames on a real store: the order of the refusals,
// how request and application results combine into ResultCode and ResultCodeExtended, and the
// retrieve frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <tuple>

#include "framework/handles.h"
#include "stats/cash_drawer_stats.h"
#include "stats/dev_stat.h"
#include "stats/statistics_methods.h"
#include "tests/win/test_util.h"
#include "util/opos_constants.h"

namespace {

constexpr char kClass[] = "BramwickTestStat";
constexpr char kClassKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\BramwickTestStat";

class StatsStoreTest : public ::testing::Test {
protected:
    // One device per test, so that a block left by a failed test cannot leak into another.
    void SetUp() override {
        m_device = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey);
        fw::UniqueHKey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, StatKey().c_str(), 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
    }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey); }
    std::string StatKey() const { return StatRegistryKey(kClass, m_device); }
    const char* Device() const { return m_device.c_str(); }
    LONG Open(CDevStat& stats) const {
        return stats.Open(kClass, m_device.c_str(), kCashDrawerStatTables);
    }
    void Put(const char* name, const std::string& text) {
        ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, StatKey(), name, text));
    }
    // A REG_SZ value of the Stat key; nothing when absent.
    std::optional<std::string> Saved(const char* name) const {
        const testutil::RegValue v = testutil::ReadRegValue(HKEY_LOCAL_MACHINE, StatKey(), name);
        return v.type == REG_SZ ? std::optional<std::string>(v.text) : std::nullopt;
    }

    std::string m_device;
};

// The device's block mapped on its own, outside any CDevStat.
struct RawBlock {
    explicit RawBlock(const std::string& device)
        : mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE,
                                   StatMappingName(kClass, device).c_str())),
          view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr),
          block(static_cast<uint8_t*>(view.get()), kCashDrawerStatLayout) {}
    bool exists() const { return block.IsBound(); }
    std::string Value(const std::string& name) const {
        int32_t table, row;
        STATSLOT slot;
        return block.FindName(name, &table, &row, &slot) ? block.ValueText(slot) : "<none>";
    }

    fw::UniqueKernel mapping;
    fw::UniqueMappedView view;
    StatBlock block;
};

std::string TodayText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return FormatStatDate(now.wYear, now.wMonth, now.wDay);
}

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
    EXPECT_EQ(OPOS_E_CLOSED, first.IncrementCounter(1, 1));

    Put("DrawerGoodOpenCount", "0");  // the key again
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
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueA(HKEY_LOCAL_MACHINE, StatKey().c_str(), "DrawerFailedOpenCount",
                              REG_BINARY, binary, sizeof(binary)));
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
        RemoveClass();
    }
    void TearDown() override {
        StatsStoreTest::TearDown();
        RemoveClass();
    }
    void RemoveClass() const {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            fw::UniqueHKey parent(
                OpenIn(view, KEY_ALL_ACCESS, false, "SOFTWARE\\OLEforRetail\\ServiceOPOS"));
            if (parent) RegDeleteTreeA(parent.get(), kClass);
        }
    }
    // The device's Stat key in the view, created with DrawerGoodOpenCount when given.
    void CreateIn(REGSAM view, const char* goodOpens) {
        fw::UniqueHKey key(OpenIn(view, KEY_ALL_ACCESS, true));
        ASSERT_TRUE(key);
        if (goodOpens) {
            RegSetValueExA(key.get(), "DrawerGoodOpenCount", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(goodOpens),
                           static_cast<DWORD>(strlen(goodOpens) + 1));
        }
    }
    HKEY OpenIn(REGSAM view, REGSAM access, bool create, const std::string& key = "") const {
        const std::string path = key.empty() ? StatKey() : key;
        HKEY h = nullptr;
        const LONG r = create
                           ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             access | view, nullptr, &h, nullptr)
                           : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | view, &h);
        return r == ERROR_SUCCESS ? h : nullptr;
    }
    // A REG_SZ value of the Stat key in the view; "<absent>" when there is none.
    std::string SavedIn(REGSAM view, const char* name) const {
        fw::UniqueHKey key(OpenIn(view, KEY_READ, false));
        const testutil::RegValue v = testutil::ReadRegValue(key.get(), "", name);
        return key && v.type == REG_SZ ? v.text : "<absent>";
    }
    std::string DeviceKey() const { return StatKey().substr(0, StatKey().rfind('\\')); }
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
    fw::UniqueHKey device(OpenIn(KEY_WOW64_32KEY, KEY_ALL_ACCESS, false, DeviceKey()));
    ASSERT_TRUE(device);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(device.get(), "Stat"));
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
    EXPECT_FALSE(fw::UniqueHKey(OpenIn(KEY_WOW64_32KEY, KEY_READ, false, DeviceKey())))
        << "the save created the device in the 32-bit view";
}

// --- The statistics method frames ----------------------------------------------------------

constexpr StatMethodState kReady = {true, false, true, true, true};

class StatsMethodsTest : public StatsStoreTest {
protected:
    void SetUp() override {
        StatsStoreTest::SetUp();
        Put("DrawerGoodOpenCount", "8");
        Put("ModelName", "CD-1");
        Put("InstallationDate", "2001-02-03");
        ASSERT_EQ(OPOS_SUCCESS, Open(m_stats));
    }
    void TearDown() override {
        m_stats.Close();
        StatsStoreTest::TearDown();
    }
    StatMethodOutcome Update(const char* request, const StatMethodState& state = kReady) {
        return UpdateStatisticsFrame(m_stats, kCashDrawerStatTables, state, request);
    }
    StatMethodOutcome Reset(const char* request, const StatMethodState& state = kReady) {
        return ResetStatisticsFrame(m_stats, kCashDrawerStatTables, state, request);
    }
    std::string Value(const char* name) { return RawBlock(Device()).Value(name); }

    CDevStat m_stats;
};

// ResultCode, ResultCodeExtended and the exit point of a method frame.
void ExpectOutcome(LONG result, LONG extended, LONG exitPoint, const StatMethodOutcome& o) {
    EXPECT_EQ(std::make_tuple(result, extended, exitPoint),
              std::make_tuple(o.result, o.resultCodeExtended, o.exitPoint));
}

TEST_F(StatsMethodsTest, RefusalsComeInOrderAndChangeNothing) {
    StatMethodState s = kReady;
    s.opened = false;
    s.claimedByOther = true;
    s.enabled = false;
    ExpectOutcome(OPOS_E_CLOSED, 0, 1, Update("DrawerGoodOpenCount=1", s));
    s.opened = true;
    ExpectOutcome(OPOS_E_CLAIMED, 0, 1, Reset("", s));
    s.claimedByOther = false;
    ExpectOutcome(OPOS_E_DISABLED, 0, 1, Update("DrawerGoodOpenCount=1", s));
    s.enabled = true;
    s.capUpdateStatistics = false;
    ExpectOutcome(OPOS_E_ILLEGAL, 0, 1, Update("DrawerGoodOpenCount=1", s));
    s = kReady;
    s.capStatisticsReporting = false;
    ExpectOutcome(OPOS_E_ILLEGAL, 0, 1, Reset("", s));
    EXPECT_EQ("8", Value("DrawerGoodOpenCount"));
}

TEST_F(StatsMethodsTest, UpdateCombinesRequestAndApplicationResults) {
    ExpectOutcome(OPOS_SUCCESS, 0, 3, Update("DrawerGoodOpenCount=10"));
    EXPECT_EQ("10", Value("DrawerGoodOpenCount"));
    ExpectOutcome(OPOS_E_EXTENDED, OPOS_ESTATS_ERROR, 3,
                  Update("DrawerGoodOpenCount=11,HoursPoweredCount=1"));
    EXPECT_EQ("11", Value("DrawerGoodOpenCount"));
    ExpectOutcome(OPOS_E_ILLEGAL, 0, 2, Update("HoursPoweredCount=1"));
    ExpectOutcome(OPOS_E_ILLEGAL, 0, 2, Update(""));
    ExpectOutcome(OPOS_E_ILLEGAL, 0, 2, Update(nullptr));
    // Every record fails to apply: 282; some do: 280.
    ExpectOutcome(OPOS_E_EXTENDED, OPOS_ESTATS_DEPENDENCY, 3,
                  Update("InstallationDate=2011-02-30"));
    ExpectOutcome(OPOS_E_EXTENDED, OPOS_ESTATS_ERROR, 3,
                  Update("ModelName=,InstallationDate=yesterday"));
    EXPECT_EQ("", Value("ModelName"));
    EXPECT_EQ("2001-02-03", Value("InstallationDate"));
}

TEST_F(StatsMethodsTest, ResetRestoresDefaultsAndDatesBecomeToday) {
    ExpectOutcome(OPOS_E_ILLEGAL, 0, 2, Reset("ModelName="));
    ExpectOutcome(OPOS_SUCCESS, 0, 3, Reset("InstallationDate"));
    EXPECT_EQ(TodayText(), Value("InstallationDate"));
    ASSERT_EQ(OPOS_SUCCESS, m_stats.SetCounter(kStatTableUpos, kStatRowHoursPoweredCount, 5));
    ExpectOutcome(OPOS_E_EXTENDED, OPOS_ESTATS_ERROR, 3, Reset(""));
    EXPECT_EQ("0", Value("DrawerGoodOpenCount"));
    EXPECT_EQ("", Value("ModelName"));
    EXPECT_EQ(TodayText(), Value("ManufactureDate"));
    EXPECT_EQ("5", Value("HoursPoweredCount"));
    EXPECT_EQ("USB", Value("Interface"));
}

TEST_F(StatsMethodsTest, RetrieveNeedsOnlyAnOpenServiceAndReplacesTheRequest) {
    StatMethodState s = {true, true, false, false, false};  // claimed elsewhere, disabled
    std::string buffer = "DrawerGoodOpenCount";
    ExpectOutcome(OPOS_SUCCESS, 400, 5, RetrieveStatisticsFrame(m_stats, s, &buffer));
    EXPECT_EQ(0u, buffer.find("<?xml version= '1.0' ?>\r\n"));
    EXPECT_NE(std::string::npos, buffer.find("\t\t\t<Value>8</Value>\r\n"));
    EXPECT_EQ(std::string::npos, buffer.find("HoursPoweredCount"));
    buffer = "U_";
    ExpectOutcome(OPOS_SUCCESS, 0, 5, RetrieveStatisticsFrame(m_stats, kReady, &buffer));
    EXPECT_NE(std::string::npos, buffer.find("HoursPoweredCount"));

    buffer = "NoSuchStatistic";
    ExpectOutcome(OPOS_E_ILLEGAL, 0, 2, RetrieveStatisticsFrame(m_stats, kReady, &buffer));
    EXPECT_EQ("NoSuchStatistic", buffer);
    s.opened = false;
    ExpectOutcome(OPOS_E_CLOSED, 0, 1, RetrieveStatisticsFrame(m_stats, s, &buffer));
}

TEST_F(StatsMethodsTest, InstallationDateIsStampedOnlyWhenEmpty) {
    EXPECT_EQ(OPOS_SUCCESS, StampInstallationDate(m_stats));
    EXPECT_EQ("2001-02-03", Value("InstallationDate"));
    RawBlock raw(Device());  // the store itself never leaves the date empty
    int32_t table, row;
    STATSLOT slot;
    ASSERT_TRUE(raw.block.FindName("InstallationDate", &table, &row, &slot));
    raw.block.PutText(slot, "");
    EXPECT_EQ(OPOS_SUCCESS, StampInstallationDate(m_stats));
    EXPECT_EQ(TodayText(), Value("InstallationDate"));
}

}  // namespace
