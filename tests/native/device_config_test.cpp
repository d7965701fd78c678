// Device configuration: defaults, corrections, word rules, read order and derived commands.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "so/device_config.h"
#include "tests/native/memory_key.h"

namespace {

TEST(DeviceConfig, EmptyKeyGivesEveryDefaultInTheDocumentedOrder) {
    MemoryKey key;
    DeviceConfig c = ReadDeviceConfig(key);
    EXPECT_EQ("ZeZAZ.dll", c.portDll);
    EXPECT_EQ("", c.port);
    EXPECT_EQ("19200,N,8,1", c.portInitializeString);
    EXPECT_EQ(0, c.eventLogMode);
    EXPECT_EQ(0, c.dllMode);
    EXPECT_FALSE(c.noDwOpenAtChkExt);
    EXPECT_TRUE(c.traceEnable);
    EXPECT_FALSE(c.traceTick);
    EXPECT_EQ(6000, c.commandTimeout);
    EXPECT_EQ(3000, c.openDrawerTimeout);
    EXPECT_EQ(1, c.drawerNo);
    EXPECT_EQ(300, c.detectDelayTime);
    EXPECT_EQ(3000, c.sendReadyTimeout);
    EXPECT_EQ(6000, c.sendDoneTimeout);
    EXPECT_EQ(CommandType::Normal, c.commandType);
    EXPECT_EQ(0, c.pulseWidthTime);
    EXPECT_EQ(3, c.restartCount);
    EXPECT_EQ(3000, c.restartTimeout);
    EXPECT_FALSE(c.statusInvert);
    std::string reads;
    for (const std::string& name : key.reads) reads += name + " ";
    EXPECT_EQ(
        "PortDll Port Port_Initialize_String EventLogPortName EventLog DllMode NoDwOpenAtChkExt "
        "Trace_Enable Trace_Tick Command_Timeout OpenDrawer_Timeout DrawerNo DetectDelay_Time "
        "SendReady_Timeout SendDone_Timeout CommandType PulseWidthTime RestartHardwareID "
        "RestartCount RestartTimeout Status_Mode ",
        reads);
}

struct Correction {
    const char* name;
    int32_t stored;
    int32_t expected;
    int32_t DeviceConfig::*field;
};

class Corrections : public ::testing::TestWithParam<Correction> {};

TEST_P(Corrections, ApplyAtTheirBoundaries) {
    MemoryKey key;
    key.numbers[GetParam().name] = GetParam().stored;
    DeviceConfig c = ReadDeviceConfig(key);
    EXPECT_EQ(GetParam().expected, c.*(GetParam().field))
        << GetParam().name << " = " << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, Corrections,
    ::testing::Values(Correction{"Command_Timeout", 99, 6000, &DeviceConfig::commandTimeout},
                      Correction{"Command_Timeout", 100, 100, &DeviceConfig::commandTimeout},
                      Correction{"OpenDrawer_Timeout", 100, 3000, &DeviceConfig::openDrawerTimeout},
                      Correction{"OpenDrawer_Timeout", 101, 101, &DeviceConfig::openDrawerTimeout},
                      Correction{"DrawerNo", 2, 2, &DeviceConfig::drawerNo},
                      Correction{"DrawerNo", 3, 1, &DeviceConfig::drawerNo},
                      Correction{"DrawerNo", 0, 1, &DeviceConfig::drawerNo},
                      Correction{"DetectDelay_Time", 0, 0, &DeviceConfig::detectDelayTime},
                      Correction{"DetectDelay_Time", -5, 300, &DeviceConfig::detectDelayTime},
                      Correction{"SendReady_Timeout", 99, 3000, &DeviceConfig::sendReadyTimeout},
                      Correction{"SendDone_Timeout", 100, 100, &DeviceConfig::sendDoneTimeout},
                      Correction{"SendDone_Timeout", -1, 6000, &DeviceConfig::sendDoneTimeout},
                      Correction{"RestartCount", 0, 0, &DeviceConfig::restartCount},
                      Correction{"RestartCount", -2, 3, &DeviceConfig::restartCount},
                      Correction{"RestartTimeout", -1, 3000, &DeviceConfig::restartTimeout}));

TEST(DeviceConfig, WordsAreComparedAsDocumented) {
    MemoryKey key({{"CommandType", "  solenoid \t"},
                   {"Status_Mode", "invert"},
                   {"EventLog", " enable "},
                   {"RestartHardwareID", "  USB\\VID_1234 "}});
    key.numbers["PulseWidthTime"] = 0x1234;
    DeviceConfig c = ReadDeviceConfig(key);
    EXPECT_EQ(CommandType::Solenoid, c.commandType);
    EXPECT_TRUE(c.statusInvert);
    EXPECT_EQ(1, c.eventLogMode);
    EXPECT_EQ("USB\\VID_1234", c.restartHardwareId);
    EXPECT_EQ(0x34, c.pulseWidthTime);

    key.texts["Status_Mode"] = " Invert";  // not trimmed
    key.texts["EventLog"] = "Verbose";
    key.texts["CommandType"] = "Solenoids";
    c = ReadDeviceConfig(key);
    EXPECT_FALSE(c.statusInvert);
    EXPECT_EQ(2, c.eventLogMode);
    EXPECT_EQ(CommandType::Normal, c.commandType);
    EXPECT_EQ(0, EventLogModeFromText("DISABLE"));
}

TEST(DeviceConfig, EmptyTextsArePresentNotAbsent) {
    MemoryKey key({{"PortDll", ""}, {"Trace_Enable", "False"}, {"Command_Timeout", "  250 ms"}});
    DeviceConfig c = ReadDeviceConfig(key);
    EXPECT_EQ("", c.portDll);
    EXPECT_FALSE(c.traceEnable);
    EXPECT_EQ(250, c.commandTimeout);
}

TEST(DrawerCommands, NormalAndSolenoidForBothDrawers) {
    using Bytes = std::vector<uint8_t>;
    auto bytes = [](const DrawerCommand& c) { return Bytes(c.bytes, c.bytes + c.length); };
    EXPECT_EQ((Bytes{0x1B, 0x01, 0x00}), bytes(BuildOpenCommand(1, CommandType::Normal, 9)));
    EXPECT_EQ((Bytes{0x1B, 0x01, 0x01, 0x09}),
              bytes(BuildOpenCommand(2, CommandType::Solenoid, 9)));
    EXPECT_EQ((Bytes{0x1B, 0x02, 0x01}), bytes(BuildStatusCommand(CommandType::Normal)));
    EXPECT_EQ((Bytes{0x1B, 0x02, 0x01, 0x00}), bytes(BuildStatusCommand(CommandType::Solenoid)));
    EXPECT_STREQ("Vantrel CashDrawer Claimed", ClaimMutexName(1));
    EXPECT_STREQ("Vantrel CashDrawer2 Claimed", ClaimMutexName(2));
}

TEST(OperationTexts, LanguageFollowsTheCodePage) {
    EXPECT_EQ(0, LanguageForCodePage(932));
    EXPECT_EQ(1, LanguageForCodePage(1252));
    EXPECT_EQ(1, LanguageForCodePage(65001));
    EXPECT_STREQ("Cash Drawer", OperationTextFor(kOpCashDrawer, 1));
    EXPECT_STREQ("to sned command for drawer open", OperationTextFor(kOpSendOpenCommand, 1));
    // Japanese texts are stored in code page 932: キャッシュドロワ is 16 bytes, lead 0x83.
    const char* japanese = OperationTextFor(kOpCashDrawer, 0);
    EXPECT_EQ(16u, strlen(japanese));
    EXPECT_EQ(0x83, static_cast<unsigned char>(japanese[0]));
    EXPECT_EQ(0x4C, static_cast<unsigned char>(japanese[1]));
    EXPECT_STREQ("", OperationTextFor(10, 1));
    for (int i = 0; i < kOperationTextCount; ++i) {
        EXPECT_GT(strlen(OperationTextFor(i, 0)), 0u) << i;
        EXPECT_GT(strlen(OperationTextFor(i, 1)), 0u) << i;
    }
}

}  // namespace
