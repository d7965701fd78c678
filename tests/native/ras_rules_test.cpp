// Reliability settings: block layout, registry texts, insertion strings and counter file paths.
#include <gtest/gtest.h>

#include <cstring>

#include "ras/counter_path.h"
#include "ras/ras_data.h"
#include "ras/ras_rules.h"

namespace {

TEST(RasBlockLayout, FieldsSitAtTheirLittleEndianOffsets) {
    RASDATA block;
    std::memset(&block, 0, sizeof(block));
    block.nEventLogLevel = 0x01020304;
    block.nCounters = 32;
    block.adwCounters[31] = 0xA1B2C3D4;
    std::strcpy(block.szCounterFile, "C:\\x");
    const auto* bytes = reinterpret_cast<const uint8_t*>(&block);
    EXPECT_EQ(0, std::memcmp(bytes + 4, "\x04\x03\x02\x01", 4));
    EXPECT_EQ(32, bytes[16]);
    EXPECT_STREQ("C:\\x", reinterpret_cast<const char*>(bytes + 32));
    EXPECT_EQ(0, std::memcmp(bytes + 428, "\xD4\xC3\xB2\xA1", 4));  // the block's last word
}

TEST(RasEventLogLevel, WordsAndVerboseLevelsWithinTheLimit) {
    EXPECT_EQ(1, VerboseLimitFromValue(0));  // what an absent value reads as
    EXPECT_EQ(1, VerboseLimitFromValue(-5));
    EXPECT_EQ(3, VerboseLimitFromValue(3));

    EXPECT_EQ(0, EventLogLevelFromText(nullptr, 1));
    EXPECT_EQ(0, EventLogLevelFromText("Disable", 1));
    EXPECT_EQ(1, EventLogLevelFromText("  eNaBlE\t", 1));
    EXPECT_EQ(0, EventLogLevelFromText("Enabled", 1));
    EXPECT_EQ(2, EventLogLevelFromText(" verbose 1 ", 1));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose", 1));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose0", 1));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose2", 1));
    EXPECT_EQ(3, EventLogLevelFromText("Verbose2", 3));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose4", 3));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose1x", 3));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose-1", 3));
    EXPECT_EQ(0, EventLogLevelFromText("Verbose99999999999999999999", INT32_MAX));
    EXPECT_EQ(INT32_MAX, EventLogLevelFromText("Verbose2147483646", INT32_MAX));
}

TEST(RasEventLogLevel, TextWrittenForALevelReadsBackAsThatLevel) {
    EXPECT_EQ("Disable", EventLogTextForLevel(0));
    EXPECT_EQ("Enable", EventLogTextForLevel(1));
    EXPECT_EQ("Verbose1", EventLogTextForLevel(2));
    for (uint32_t level = 0; level <= 10; ++level) {
        EXPECT_EQ(static_cast<int32_t>(level),
                  EventLogLevelFromText(EventLogTextForLevel(level).c_str(), 9));
    }
}

TEST(RasStatisticsMode, WordsSelectTheMode) {
    EXPECT_EQ(kRasModeDisable, StatisticsModeFromText(nullptr));
    EXPECT_EQ(kRasModeMemory, StatisticsModeFromText(" memory "));
    EXPECT_EQ(kRasModeFile, StatisticsModeFromText("FILE"));
    EXPECT_EQ(kRasModeDisable, StatisticsModeFromText("Files"));
    EXPECT_STREQ("File", StatisticsModeText(kRasModeNamedFile));
}

TEST(RasInserts, PortLosesTheDevicePrefixOnly) {
    EXPECT_EQ("COM3", PortInsert("\\\\.\\COM3"));
    EXPECT_EQ("COM3", PortInsert("COM3"));
    EXPECT_EQ("\\\\?\\COM3", PortInsert("\\\\?\\COM3"));
    EXPECT_EQ("", PortInsert("\\\\.\\"));
    EXPECT_EQ("Drawer1Cash Drawer", DeviceInsert("Drawer1", "Cash Drawer"));
}

TEST(RasCounterPath, NoNameFullPathsAndRelativeNames) {
    const std::string module = "C:\\OPOS\\Bramwick.dll";
    for (const char* none : {static_cast<const char*>(nullptr), "", ":", "\\", ":\\:\\"}) {
        EXPECT_EQ("C:\\OPOS\\RASDrawer1.LOG", ResolveCounterFilePath(none, "Drawer1", module));
    }
    EXPECT_EQ("C:\\logs\\ras.txt", ResolveCounterFilePath("C:\\logs\\ras.txt", "D", module));
    EXPECT_EQ("d:ras.txt", ResolveCounterFilePath("d:ras.txt", "D", module));
    EXPECT_EQ("\\\\srv\\s\\c.txt", ResolveCounterFilePath("\\\\srv\\s\\c.txt", "D", module));
    EXPECT_EQ("C:\\OPOS\\counters.txt", ResolveCounterFilePath("counters.txt", "D", module));
    EXPECT_EQ("C:\\OPOS\\1:c.txt", ResolveCounterFilePath("1:c.txt", "D", module));
    EXPECT_EQ("C:\\OPOS\\ x", ResolveCounterFilePath(" x", "D", module));
    // Without the module's folder the name stands alone.
    EXPECT_EQ("counters.txt", ResolveCounterFilePath("counters.txt", "D", ""));
    EXPECT_EQ("RASD.LOG", ResolveCounterFilePath(nullptr, "D", "nofolder.dll"));
}

TEST(RasCounterPath, PathsAreCutTo271Bytes) {
    const std::string folder = "C:\\" + std::string(260, 'm') + "\\";
    EXPECT_EQ(folder + "counter", ResolveCounterFilePath("counters.txt", "D", folder + "B.dll"));
    const std::string full = "C:\\" + std::string(300, 'f');
    EXPECT_EQ(full.substr(0, kRasCounterPathMax), ResolveCounterFilePath(full.c_str(), "D", ""));
}

}  // namespace
