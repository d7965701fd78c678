// The device's configuration as OpenService reads it from the device key, with every default
// and correction applied, and the values derived from it: drawer commands, language and the
// operation texts. Pure; the registry is reached through ConfigSource.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/drawer_protocol.h"
#include "util/config_source.h"

constexpr char kDeviceKeyRoot[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";
constexpr char kMakerKey[] = "SOFTWARE\\Velmora\\Vantrel";
constexpr char kDefaultPortDll[] = "ZeZAZ.dll";
constexpr char kDefaultPortSettings[] = "19200,N,8,1";
constexpr char kPhysicalDeviceName[] = "Velmora Cash Drawer";

enum class CommandType : int32_t { Normal = 1, Solenoid = 2 };

// A number setting the service does not use as stored, and why, for `cdctl setup show`.
struct ConfigCorrection {
    const char* name;  // registry value name
    const char* reason;
};

// Longest wait any time-out setting may ask for: beyond it a silent controller or port would
// hold the application's thread for hours.
constexpr int32_t kMaxWaitMs = 60000;
// Shortest period of the port library's status queries (DllMode): a shorter one floods the line
// so that commands no longer get through.
constexpr int32_t kMinStatusQueryPeriodMs = 100;

struct DeviceConfig {
    std::string portDll = kDefaultPortDll;
    std::string port;
    std::string portInitializeString = kDefaultPortSettings;
    std::string eventLogPortName;
    int32_t eventLogMode = 0;  // 0 Disable, 1 Enable, 2 anything else
    int32_t dllMode = 0;
    bool noDwOpenAtChkExt = false;
    bool traceEnable = true;
    bool traceTick = false;
    int32_t commandTimeout = 6000;
    int32_t openDrawerTimeout = 3000;
    int32_t drawerNo = 1;
    int32_t detectDelayTime = 300;
    int32_t sendReadyTimeout = 3000;
    int32_t sendDoneTimeout = 6000;
    CommandType commandType = CommandType::Normal;
    uint8_t pulseWidthTime = 0;
    std::string restartHardwareId;
    int32_t restartCount = 3;
    int32_t restartTimeout = 3000;
    bool statusInvert = false;
    // The settings changed by a correction, in the order they were read. A missing value that
    // takes its default is not listed.
    std::vector<ConfigCorrection> corrections;
};

// Reads every value in the order the configuration lists them, applying each value's rule.
DeviceConfig ReadDeviceConfig(const ConfigSource& deviceKey);

// The device key path for a DeviceName.
std::string DeviceKeyPath(const std::string& deviceName);

// The mode the EventLog text gives the port library: 0 Disable, 1 Enable, 2 any other text.
int32_t EventLogModeFromText(const char* text);  // null: absent

struct DrawerCommand {
    uint8_t bytes[8] = {};
    int32_t length = 0;
};

// The open command for drawer 1 or 2, and the status command (link/drawer_protocol.h).
DrawerCommand BuildOpenCommand(int32_t drawerNo, CommandType type, uint8_t pulseWidth);
DrawerCommand BuildStatusCommand(CommandType type);

// The claim mutex of a drawer: one per drawer number, machine-wide.
const char* ClaimMutexName(int32_t drawerNo);

// 0 (Japanese) for the code page 932, else 1 (English).
int32_t LanguageForCodePage(uint32_t ansiCodePage);

enum OperationText : int {
    kOpCashDrawer = 0,
    kOpOpeningDrawer = 1,
    kOpOpeningDrawerPowerFail = 2,
    kOpCreateInputThread = 3,
    kOpCreateEventThread = 4,
    kOpCreatePowerFailThread = 5,
    kOpSendStatusCommand = 6,
    kOpCreateOutputThread = 7,
    kOpInitializePort = 8,
    kOpSendOpenCommand = 9,
    kOperationTextCount = 10,
};

// The operation text in the language (0 Japanese in code page 932, 1 English).
const char* OperationTextFor(int index, int32_t language);
