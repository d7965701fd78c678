// Device configuration: corrections at their limits and word rules.
#include <gtest/gtest.h>

#include <string>

#include "so/device_config.h"
#include "tests/native/memory_key.h"

namespace {

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
        {"Command_Timeout", 0x7FFFFFFF, 60000, &D::commandTimeout},
        {"OpenDrawer_Timeout", 60001, 60000, &D::openDrawerTimeout},
        {"SendReady_Timeout", 60001, 60000, &D::sendReadyTimeout},
        {"SendDone_Timeout", 1000000, 60000, &D::sendDoneTimeout},
        {"DllMode", 99, 100, &D::dllMode},
        {"DllMode", 100, 100, &D::dllMode},
        {"DllMode", -1, -1, &D::dllMode},
        {"OpenDrawer_Timeout", 100, 3000, &D::openDrawerTimeout},
        {"OpenDrawer_Timeout", 101, 101, &D::openDrawerTimeout},
        {"DrawerNo", 2, 2, &D::drawerNo},
        {"DrawerNo", 3, 1, &D::drawerNo},
        {"DrawerNo", 0, 1, &D::drawerNo},
        {"DetectDelay_Time", -5, 300, &D::detectDelayTime},
        {"DetectDelay_Time", 2900, 2900, &D::detectDelayTime},  // OpenDrawer_Timeout 3000
        {"DetectDelay_Time", 20000, 2900, &D::detectDelayTime},
        {"OpenDrawer_Timeout", 250, 150, &D::detectDelayTime},  // the default 300 no longer fits
        {"SendReady_Timeout", 99, 3000, &D::sendReadyTimeout},
        {"SendDone_Timeout", 100, 100, &D::sendDoneTimeout},
        {"SendDone_Timeout", -1, 6000, &D::sendDoneTimeout},
        {"RestartCount", -2, 3, &D::restartCount},
        {"RestartTimeout", -1, 3000, &D::restartTimeout},
    };
    for (const auto& c : cases) {
        MemoryKey key;
        key.numbers[c.name] = c.stored;
        EXPECT_EQ(c.expected, ReadDeviceConfig(key).*(c.field)) << c.name << " = " << c.stored;
    }
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

}  // namespace
