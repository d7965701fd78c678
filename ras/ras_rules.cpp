// Reliability setting rules, insertion strings, shared object names, file error classes.
#include "ras/ras_rules.h"

#include <cstring>

#include "ras/ras_data.h"
#include "util/config_rules.h"
#include "util/opos_constants.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return text.size() >= n && EqualsNoCase(text.substr(0, n), prefix);
}

}  // namespace

int32_t VerboseLimitFromValue(int32_t raw) {
    return raw < 1 ? 1 : raw;
}

int32_t EventLogLevelFromText(const char* text, int32_t verboseLimit) {
    if (text == nullptr) return kRasLevelDisabled;
    const std::string word = TrimBlanks(text);
    if (EqualsNoCase(word, "Enable")) return kRasLevelEnabled;
    if (!StartsWithNoCase(word, "Verbose")) return kRasLevelDisabled;  // also "Disable"

    size_t i = std::strlen("Verbose");
    while (i < word.size() && (word[i] == ' ' || word[i] == '\t')) ++i;
    if (i == word.size()) return kRasLevelDisabled;  // "Verbose" without a number
    int64_t n = 0;
    for (; i < word.size(); ++i) {
        if (!IsDigit(word[i])) return kRasLevelDisabled;
        n = n * 10 + (word[i] - '0');
        // Above the limit, or too large for the level n + 1 to be held in 32 bits.
        if (n > verboseLimit || n >= INT32_MAX) return kRasLevelDisabled;
    }
    if (n < 1) return kRasLevelDisabled;
    return static_cast<int32_t>(n + 1);
}

std::string EventLogTextForLevel(uint32_t level) {
    if (level == 0) return "Disable";
    if (level == 1) return "Enable";
    return "Verbose" + std::to_string(level - 1);
}

int32_t StatisticsModeFromText(const char* text) {
    if (text == nullptr) return kRasModeDisable;
    const std::string word = TrimBlanks(text);
    if (EqualsNoCase(word, "Memory")) return kRasModeMemory;
    if (EqualsNoCase(word, "File")) return kRasModeFile;
    return kRasModeDisable;  // "Disable" and every unrecognised text
}

const char* StatisticsModeText(int32_t mode) {
    switch (mode) {
        case kRasModeMemory:
            return "Memory";
        case kRasModeFile:
        case kRasModeNamedFile:
            return "File";
        default:
            return "Disable";
    }
}

std::string PortInsert(const std::string& portName) {
    static const char kDevicePrefix[] = "\\\\.\\";
    if (StartsWithNoCase(portName, kDevicePrefix)) return portName.substr(4);
    return portName;
}

std::string DeviceInsert(const std::string& deviceName, const std::string& description) {
    return deviceName + description;
}

std::string RasDeviceKeyPath(const std::string& deviceClass, const std::string& deviceName) {
    return "SOFTWARE\\OLEforRetail\\ServiceOPOS\\" + deviceClass + "\\" + deviceName;
}

int32_t FileErrorToResult(uint32_t systemError) {
    switch (systemError) {
        // The file or the way to it does not exist.
        case 2:    // ERROR_FILE_NOT_FOUND
        case 3:    // ERROR_PATH_NOT_FOUND
        case 15:   // ERROR_INVALID_DRIVE
        case 53:   // ERROR_BAD_NETPATH
        case 55:   // ERROR_DEV_NOT_EXIST
        case 67:   // ERROR_BAD_NET_NAME
        case 123:  // ERROR_INVALID_NAME
        case 161:  // ERROR_BAD_PATHNAME
        // The device failed.
        case 20:    // ERROR_BAD_UNIT
        case 21:    // ERROR_NOT_READY
        case 23:    // ERROR_CRC
        case 27:    // ERROR_SECTOR_NOT_FOUND
        case 29:    // ERROR_WRITE_FAULT
        case 30:    // ERROR_READ_FAULT
        case 31:    // ERROR_GEN_FAILURE
        case 57:    // ERROR_ADAP_HDW_ERR
        case 1117:  // ERROR_IO_DEVICE
            return OPOS_E_NOEXIST;
        default:
            return OPOS_E_FAILURE;
    }
}
