// The kernel-object names of a device and the table of the processes that share its blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "stats/cash_drawer_stats.h"
#include "stats/device_sharing.h"
#include "stats/stat_block.h"

namespace {

TEST(DeviceObjectNames, EveryLetterCaseOfClassAndNameGivesOneName) {
    EXPECT_EQ("RiVORI_RASData_CASHDRAWER_DRAWER1",
              DeviceObjectName("RiVORI_RASData_", "CashDrawer", "Drawer1"))
        << "the prefix keeps its case";
    EXPECT_EQ(DeviceObjectName("P_", "CASHDRAWER", "DRAWER1"),
              DeviceObjectName("P_", "cashdrawer", "dRAWER1"));
    // Only a to z change: digits, punctuation, '@' '[' '`' '{' next to the letters, and bytes
    // of other characters stay as they are (the Windows side upper-cases other letters).
    EXPECT_EQ("AZ09_@[`{ -.\xE4\xC4\x82\xA0", CanonicalDeviceName("az09_@[`{ -.\xE4\xC4\x82\xA0"));
    // The separator keeps class and name apart.
    EXPECT_NE(DeviceObjectName("P_", "A_B", "C"), DeviceObjectName("P_", "A", "B_C_"));
}

ProcessIdentity Process(uint32_t id, uint64_t started) {
    ProcessIdentity p;
    p.id = id;
    p.started = started;
    return p;
}

// Which processes the test takes for running: those started at an even time.
bool StartedEven(const ProcessIdentity& p) {
    return p.started % 2 == 0;
}

TEST(UserTable, CountsOpensPerProcessAndDropsEndedProcesses) {
    USERTABLE table = {};
    const ProcessIdentity a = Process(100, 0x1'0000'0002);
    const ProcessIdentity b = Process(200, 4);
    const ProcessIdentity killed = Process(300, 7);
    ASSERT_TRUE(AddUserOpen(&table, a));
    ASSERT_TRUE(AddUserOpen(&table, a));
    ASSERT_TRUE(AddUserOpen(&table, killed));
    ASSERT_TRUE(AddUserOpen(&table, b));
    EXPECT_EQ(4, CountUserOpens(table));
    EXPECT_EQ(2u, table.aEntries[0].nOpens) << "one entry per process";
    EXPECT_EQ(0x2u, table.aEntries[0].dwStartedLow);
    EXPECT_EQ(0x1u, table.aEntries[0].dwStartedHigh);

    DropEndedUsers(&table, StartedEven);
    EXPECT_EQ(3, CountUserOpens(table)) << "the killed process's open no longer counts";
    RemoveUserOpen(&table, a);
    RemoveUserOpen(&table, b);
    EXPECT_EQ(1, CountUserOpens(table));
    RemoveUserOpen(&table, b);  // not open any more: nothing changes
    RemoveUserOpen(&table, a);
    EXPECT_EQ(0, CountUserOpens(table));
    for (const USERPROCESS& entry : table.aEntries) EXPECT_EQ(0u, entry.dwProcessId);
}

// An id the system gave to a new process is not the process that had it before.
TEST(UserTable, ARecycledProcessIdIsAnotherProcess) {
    USERTABLE table = {};
    const ProcessIdentity old = Process(100, 3);
    const ProcessIdentity recycled = Process(100, 8);
    ASSERT_TRUE(AddUserOpen(&table, old));
    ASSERT_TRUE(AddUserOpen(&table, recycled));
    RemoveUserOpen(&table, recycled);
    EXPECT_EQ(1, CountUserOpens(table)) << "the close of the new process took the old one's open";
    DropEndedUsers(&table, StartedEven);
    EXPECT_EQ(0, CountUserOpens(table));
}

TEST(UserTable, AFullTableRefusesNewProcessesOnlyAndReusesFreedEntries) {
    USERTABLE table = {};
    for (uint32_t id = 1; id <= kMaxUserProcesses; ++id) {
        ASSERT_TRUE(AddUserOpen(&table, Process(id, 2 * id + 1)));
    }
    EXPECT_FALSE(AddUserOpen(&table, Process(99, 2)));
    EXPECT_TRUE(AddUserOpen(&table, Process(5, 11))) << "a recorded process opens once more";
    EXPECT_EQ(kMaxUserProcesses + 1, CountUserOpens(table));
    DropEndedUsers(&table, StartedEven);  // all of them ended
    EXPECT_TRUE(AddUserOpen(&table, Process(99, 2)));
    EXPECT_EQ(1, CountUserOpens(table));
    EXPECT_FALSE(AddUserOpen(&table, Process(0, 2))) << "0 marks a free entry";
}

// Other processes, of either build, find the table at the end of the block.
TEST(UserTable, TheStatisticsBlockKeepsItAfterItsValues) {
    std::vector<uint8_t> bytes(kCashDrawerStatLayout.size, 0xCC);
    StatBlock block(bytes.data(), kCashDrawerStatLayout);
    block.Format(kCashDrawerStatTables);
    USERTABLE table = block.UserTable();
    EXPECT_EQ(0, CountUserOpens(table)) << "a new block has no users";
    AddUserOpen(&table, Process(0x01020304, 6));
    AddUserOpen(&table, Process(0x01020304, 6));
    block.PutUserTable(table);
    EXPECT_EQ(2, block.Users());
    int32_t users;
    memcpy(&users, bytes.data(), 4);
    EXPECT_EQ(2, users);
    const uint8_t entry[16] = {4, 3, 2, 1, 2, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(entry, bytes.data() + 2572, sizeof(entry)));
    EXPECT_EQ(3084u, bytes.size());
}

}  // namespace
