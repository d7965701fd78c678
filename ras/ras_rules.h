// Rules of the reliability settings that need no Windows: how the registry texts map to the
// event-log level and the counter mode, the texts written back, the insertion strings of
// event-log records, the names of the shared objects and the classification of file errors.
#pragma once

#include <cstdint>
#include <string>

// Event-log records written by the service: type error, one of these identifiers.
constexpr uint16_t kRasEventTypeError = 1;
constexpr uint32_t kRasMsgNoResponse = 0xC000006B;       // no answer from the controller
constexpr uint32_t kRasMsgOperationFailed = 0xC000006F;  // "%3 failed on %2 connected to %1."
constexpr uint32_t kRasMsgOperationTimeout = 0xC0000070;
// Records about the counter file, required level 1: a damaged one kept under another name
// (type warning), and one not replaced because it is not a counter file (type error).
constexpr uint16_t kRasEventTypeWarning = 2;
constexpr uint32_t kRasMsgCounterFileSetAside = 0x800003EF;
constexpr uint32_t kRasMsgCounterFileRefused = 0xC0000071;
// Required levels of a report: 1 needs "Enable" or a verbose setting, 2 a verbose setting.
constexpr int32_t kRasReportNormal = 1;
constexpr int32_t kRasReportVerbose = 2;

// DirectIO commands of the reliability records.
constexpr int32_t kRasCmdSetEventLogLevel = 110;
constexpr int32_t kRasCmdGetEventLogLevel = 111;
constexpr int32_t kRasCmdSetStatisticsMode = 112;
constexpr int32_t kRasCmdGetStatisticsMode = 113;
constexpr int32_t kRasCmdLoadCounters = 114;
constexpr int32_t kRasCmdSaveCounters = 115;
// Bit 31 of the data argument of 110 and 112: also store the setting in the registry.
constexpr uint32_t kRasStoreInRegistry = 0x80000000u;

constexpr bool IsRasCommand(int32_t command) {
    return command >= kRasCmdSetEventLogLevel && command <= kRasCmdSaveCounters;
}

// VerboseLimit as stored: the registry number, raised to 1 when below 1.
int32_t VerboseLimitFromValue(int32_t raw);

// The level an "EventLog" text selects: "Disable" 0, "Enable" 1, "Verbose" followed by a
// decimal n from 1 to verboseLimit gives n + 1 (blanks between the word and the number are
// allowed). Blanks around the text are ignored, letter case is not significant; anything else,
// including a null text, "Verbose" alone, 0 or a level above the limit, gives 0.
int32_t EventLogLevelFromText(const char* text, int32_t verboseLimit);
// The "EventLog" text that selects level n: "Disable", "Enable", "Verbose<n-1>".
std::string EventLogTextForLevel(uint32_t level);
// Whether a report of the required level is written at the block's level.
constexpr bool RasReportAllowed(int32_t blockLevel, int32_t requiredLevel) {
    return blockLevel >= requiredLevel;
}

// The counter mode a "Statistics" text selects: "Disable" 0, "Memory" 1, "File" 2, anything
// else (or null) 0; trimmed, letter case not significant.
int32_t StatisticsModeFromText(const char* text);
// The "Statistics" text stored for a mode; the two file modes are both "File".
const char* StatisticsModeText(int32_t mode);

// Insertion string %1: the port name without a leading "\\.\".
std::string PortInsert(const std::string& portName);
// Insertion string %2: the device name directly followed by the description.
std::string DeviceInsert(const std::string& deviceName, const std::string& description);

// Registry key of a device under HKEY_LOCAL_MACHINE.
std::string RasDeviceKeyPath(const std::string& deviceClass, const std::string& deviceName);

// OPOS result of a failed file operation from its system error code: OPOS_E_NOEXIST (109)
// when the file, its folder, drive or share does not exist, the name is not a valid path, or
// the device reports a hardware fault; OPOS_E_FAILURE (111) for anything else (access denied,
// sharing violation, disk full and so on).
int32_t FileErrorToResult(uint32_t systemError);
