// Device configuration: defaults, read order, corrections, word rules, derived commands and the
// operation texts.
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

// Each number setting just inside and just outside the range it accepts: below it the default
// applies, above it the limit that keeps the service usable.
TEST(DeviceConfig, CorrectionsApplyAtTheirBoundaries) {
    using D = DeviceConfig;
    const struct {
        const char* name;
        int32_t stored;
        int32_t expected;
        int32_t D::*field;
    } cases[] = {
        {"Command_Timeout", 99, 6000, &D::commandTimeout},
        {"Command_Timeout", 100, 100, &D::commandTimeout},
        {"Command_Timeout", 60000, 60000, &D::commandTimeout},
        {"Command_Timeout", 0x7FFFFFFF, 60000, &D::commandTimeout},
        {"OpenDrawer_Timeout", 60001, 60000, &D::openDrawerTimeout},
        {"SendReady_Timeout", 60001, 60000, &D::sendReadyTimeout},
        {"SendDone_Timeout", 1000000, 60000, &D::sendDoneTimeout},
        {"DllMode", 1, 100, &D::dllMode},
        {"DllMode", 99, 100, &D::dllMode},
        {"DllMode", 100, 100, &D::dllMode},
        {"DllMode", -1, -1, &D::dllMode},
        {"OpenDrawer_Timeout", 100, 3000, &D::openDrawerTimeout},
        {"OpenDrawer_Timeout", 101, 101, &D::openDrawerTimeout},
        {"DrawerNo", 2, 2, &D::drawerNo},
        {"DrawerNo", 3, 1, &D::drawerNo},
        {"DrawerNo", 0, 1, &D::drawerNo},
        {"DetectDelay_Time", 0, 0, &D::detectDelayTime},
        {"DetectDelay_Time", -5, 300, &D::detectDelayTime},
        {"DetectDelay_Time", 2900, 2900, &D::detectDelayTime},  // OpenDrawer_Timeout 3000
        {"DetectDelay_Time", 20000, 2900, &D::detectDelayTime},
        {"SendReady_Timeout", 99, 3000, &D::sendReadyTimeout},
        {"SendDone_Timeout", 100, 100, &D::sendDoneTimeout},
        {"SendDone_Timeout", -1, 6000, &D::sendDoneTimeout},
        {"RestartCount", 0, 0, &D::restartCount},
        {"RestartCount", -2, 3, &D::restartCount},
        {"RestartTimeout", -1, 3000, &D::restartTimeout},
    };
    for (const auto& c : cases) {
        MemoryKey key;
        key.numbers[c.name] = c.stored;
        EXPECT_EQ(c.expected, ReadDeviceConfig(key).*(c.field)) << c.name << " = " << c.stored;
    }
}

// The corrections of stored values are listed for `cdctl setup show`; a missing value that
// takes its default is not a correction, while a default cut to fit another setting is.
TEST(DeviceConfig, CorrectionsAreListedWithTheValueStoredAndUsed) {
    EXPECT_TRUE(ReadDeviceConfig(MemoryKey()).corrections.empty());
    MemoryKey key;
    key.numbers["Command_Timeout"] = 50;
    key.numbers["OpenDrawer_Timeout"] = 250;
    key.numbers["DllMode"] = 1;
    const DeviceConfig c = ReadDeviceConfig(key);
    EXPECT_EQ(6000, c.commandTimeout);
    EXPECT_EQ(150, c.detectDelayTime);  // the default 300 does not fit OpenDrawer_Timeout 250
    std::string listed;
    for (const ConfigCorrection& k : c.corrections) {
        EXPECT_NE(nullptr, k.reason);
        listed += std::string(k.name) + " " + std::to_string(k.stored) + ">" +
                  std::to_string(k.used) + "; ";
    }
    EXPECT_EQ("DllMode 1>100; Command_Timeout 50>6000; DetectDelay_Time -1>150; ", listed);
}

// Words are trimmed and compared without regard to case; an empty text is a value of its own,
// not an absent one.
TEST(DeviceConfig, WordsAndTextsAreReadByTheirRules) {
    MemoryKey key({{"PortDll", ""},
                   {"Trace_Enable", "False"},
                   {"Command_Timeout", "  250 ms"},
                   {"CommandType", "  solenoid \t"},
                   {"Status_Mode", "invert"},
                   {"EventLog", " enable "},
                   {"RestartHardwareID", "  USB\\VID_1234 "}});
    key.numbers["PulseWidthTime"] = 0x1234;
    DeviceConfig c = ReadDeviceConfig(key);
    EXPECT_EQ("", c.portDll);
    EXPECT_FALSE(c.traceEnable);
    EXPECT_EQ(250, c.commandTimeout);
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
