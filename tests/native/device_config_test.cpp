// Device configuration: defaults, corrections, word rules, read order and derived commands.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "so/device_config.h"
#include "util/config_rules.h"

namespace {

// A device key held in memory: texts are REG_SZ values, numbers REG_DWORD values. The reads
// follow the registry utility's rules and are recorded in order.
class FakeKey : public ConfigSource {
public:
    std::map<std::string, std::string> texts;
    std::map<std::string, int32_t> numbers;
    mutable std::vector<std::string> reads;

    BOOL GetBoolDefFalse(const char* name) const override { return Bool(name, 0); }
    BOOL GetBoolDefTrue(const char* name) const override { return Bool(name, 1); }
    LONG GetLongDefZero(const char* name) const override { return Long(name, 0); }
    LONG GetLongDefMinusOne(const char* name) const override { return Long(name, -1); }
    char* GetString(const char* name) const override {
        reads.push_back(name);
        auto it = texts.find(name);
        if (it == texts.end()) return nullptr;
        char* copy = new char[it->second.size() + 1];
        memcpy(copy, it->second.c_str(), it->second.size() + 1);
        return copy;
    }

private:
    BOOL Bool(const char* name, BOOL fallback) const {
        reads.push_back(name);
        auto it = texts.find(name);
        return it == texts.end() ? fallback : BoolFromText(it->second.c_str());
    }
    LONG Long(const char* name, LONG fallback) const {
        reads.push_back(name);
        if (auto n = numbers.find(name); n != numbers.end()) return n->second;
        auto t = texts.find(name);
        return t == texts.end() ? fallback : LongFromText(t->second.c_str());
    }
};

TEST(DeviceConfig, EmptyKeyGivesEveryDefaultInTheDocumentedOrder) {
    FakeKey key;
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
    const std::vector<std::string> order = {"PortDll",
                                            "Port",
                                            "Port_Initialize_String",
                                            "EventLogPortName",
                                            "EventLog",
                                            "DllMode",
                                            "NoDwOpenAtChkExt",
                                            "Trace_Enable",
                                            "Trace_Tick",
                                            "Command_Timeout",
                                            "OpenDrawer_Timeout",
                                            "DrawerNo",
                                            "DetectDelay_Time",
                                            "SendReady_Timeout",
                                            "SendDone_Timeout",
                                            "CommandType",
                                            "PulseWidthTime",
                                            "RestartHardwareID",
                                            "RestartCount",
                                            "RestartTimeout",
                                            "Status_Mode"};
    EXPECT_EQ(order, key.reads);
}

struct Correction {
    const char* name;
    int32_t stored;
    int32_t expected;
    int32_t DeviceConfig::*field;
};

class Corrections : public ::testing::TestWithParam<Correction> {};

TEST_P(Corrections, ApplyAtTheirBoundaries) {
    FakeKey key;
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
    FakeKey key;
    key.texts["CommandType"] = "  solenoid \t";
    key.texts["Status_Mode"] = "invert";
    key.texts["EventLog"] = " enable ";
    key.texts["RestartHardwareID"] = "  USB\\VID_1234 ";
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
    FakeKey key;
    key.texts["PortDll"] = "";
    key.texts["Trace_Enable"] = "False";
    key.texts["Command_Timeout"] = "  250 ms";
    DeviceConfig c = ReadDeviceConfig(key);
    EXPECT_EQ("", c.portDll);
    EXPECT_FALSE(c.traceEnable);
    EXPECT_EQ(250, c.commandTimeout);
}

TEST(DrawerCommands, NormalAndSolenoidForBothDrawers) {
    DrawerCommand open1 = BuildOpenCommand(1, CommandType::Normal, 9);
    EXPECT_EQ(3, open1.length);
    EXPECT_EQ(std::vector<uint8_t>({0x1B, 0x01, 0x00}),
              std::vector<uint8_t>(open1.bytes, open1.bytes + open1.length));
    DrawerCommand open2 = BuildOpenCommand(2, CommandType::Solenoid, 9);
    EXPECT_EQ(std::vector<uint8_t>({0x1B, 0x01, 0x01, 0x09}),
              std::vector<uint8_t>(open2.bytes, open2.bytes + open2.length));
    DrawerCommand status = BuildStatusCommand(CommandType::Normal);
    EXPECT_EQ(std::vector<uint8_t>({0x1B, 0x02, 0x01}),
              std::vector<uint8_t>(status.bytes, status.bytes + status.length));
    DrawerCommand solenoidStatus = BuildStatusCommand(CommandType::Solenoid);
    EXPECT_EQ(
        std::vector<uint8_t>({0x1B, 0x02, 0x01, 0x00}),
        std::vector<uint8_t>(solenoidStatus.bytes, solenoidStatus.bytes + solenoidStatus.length));
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
