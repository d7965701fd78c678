// The statistics method frames on a real store: the order of the refusals, how request and
// application results combine into ResultCode and ResultCodeExtended, and the retrieve frame.
#include <gtest/gtest.h>

#include <string>

#include "stats/cash_drawer_stats.h"
#include "stats/statistics_methods.h"
#include "stats_test_util.h"
#include "util/opos_constants.h"

namespace {

using statstest::RawBlock;

constexpr StatMethodState kReady = {true, false, true, true, true};

class StatsMethodsTest : public statstest::StatsRegistryTest {
protected:
    void SetUp() override {
        StatsRegistryTest::SetUp();
        Put("DrawerGoodOpenCount", "8");
        Put("ModelName", "CD-1");
        Put("InstallationDate", "2001-02-03");
        ASSERT_EQ(OPOS_SUCCESS, Open(m_stats));
    }
    void TearDown() override {
        m_stats.Close();
        StatsRegistryTest::TearDown();
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

void ExpectOutcome(LONG result, LONG extended, LONG exitPoint, const StatMethodOutcome& o) {
    EXPECT_EQ(result, o.result);
    EXPECT_EQ(extended, o.resultCodeExtended);
    EXPECT_EQ(exitPoint, o.exitPoint);
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
    EXPECT_EQ(statstest::TodayText(), Value("InstallationDate"));
    ASSERT_EQ(OPOS_SUCCESS, m_stats.SetCounter(kStatTableUpos, kStatRowHoursPoweredCount, 5));
    ExpectOutcome(OPOS_E_EXTENDED, OPOS_ESTATS_ERROR, 3, Reset(""));
    EXPECT_EQ("0", Value("DrawerGoodOpenCount"));
    EXPECT_EQ("", Value("ModelName"));
    EXPECT_EQ(statstest::TodayText(), Value("ManufactureDate"));
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
    EXPECT_EQ(statstest::TodayText(), Value("InstallationDate"));
}

}  // namespace
