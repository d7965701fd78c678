// Wording of cdctl's output.
#include "tools/cdctl/cdctl_text.h"

#include <cstdio>

#include "util/opos_constants.h"

namespace cdctl {

std::string DescribeResult(int32_t code) {
    const char* name = OposResultName(code);
    return name ? std::to_string(code) + " " + name : std::to_string(code);
}

std::string DescribeStatusUpdate(int32_t value) {
    const char* name = nullptr;
    switch (value) {
        case CASH_SUE_DRAWERCLOSED:
            name = "CASH_SUE_DRAWERCLOSED";
            break;
        case CASH_SUE_DRAWEROPEN:
            name = "CASH_SUE_DRAWEROPEN";
            break;
        case OPOS_SUE_POWER_ONLINE:
            name = "OPOS_SUE_POWER_ONLINE";
            break;
        case 2002:
            name = "OPOS_SUE_POWER_OFF";
            break;
        case 2003:
            name = "OPOS_SUE_POWER_OFFLINE";
            break;
        case OPOS_SUE_POWER_OFF_OFFLINE:
            name = "OPOS_SUE_POWER_OFF_OFFLINE";
            break;
        default:
            break;
    }
    return name ? std::to_string(value) + " (" + name + ")" : std::to_string(value);
}

std::string Seconds(uint64_t ms) {
    char text[40];
    snprintf(text, sizeof(text), "%llu.%03llus", static_cast<unsigned long long>(ms / 1000),
             static_cast<unsigned long long>(ms % 1000));
    return text;
}

std::string Timestamp(uint64_t elapsedMs) {
    return "[+" + Seconds(elapsedMs) + "]";
}

const char* OpenResultMeaning(int32_t openResult) {
    switch (openResult) {
        case OPOS_ORS_CONFIG:
            return "the device key or the maker's key HKLM\\SOFTWARE\\Velmora\\Vantrel cannot be "
                   "opened (cdctl setup show NAME)";
        case kOpenResultAlreadyOpen:
            return "the service was already open";
        case kOpenResultNoControlObject:
            return "the service could not connect to the control object (its SODirectIO "
                   "callback did not resolve)";
        case kOpenResultNoThread:
            return "a worker thread of the service could not be started";
        case kOpenResultNoReliability:
            return "the reliability records did not start (device key not readable, or their "
                   "shared block or mutex not available)";
        case kOpenResultNoStatistics:
            return "the statistics did not start; most often the device key has no Stat subkey "
                   "(cdctl setup add NAME creates it)";
        case kOpenResultNoPort:
            return "the port could not be opened (Port, PortDll, Path), or the drawer did not "
                   "answer the status command within Command_Timeout";
        default:
            return "";
    }
}

std::string DescribeEventLogLevel(int32_t level) {
    std::string text = std::to_string(level);
    if (level == 0) return text + " (Disable)";
    if (level == 1) return text + " (Enable)";
    if (level > 1) return text + " (Verbose" + std::to_string(level - 1) + ")";
    return text;
}

std::string DescribeCounterMode(int32_t mode) {
    static const char* const kNames[] = {"Disable", "Memory", "File",
                                         "File, named through DirectIO 112"};
    std::string text = std::to_string(mode);
    if (mode >= 0 && mode <= 3) text += std::string(" (") + kNames[mode] + ")";
    return text;
}

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SplitCounterText(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> lines;
    for (size_t at = 0; at + 40 <= text.size(); at += 40) {
        if (text[at + 38] != '\r' || text[at + 39] != '\n') continue;
        lines.emplace_back(Trim(text.substr(at, 28)), Trim(text.substr(at + 28, 10)));
    }
    return lines;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '"':
                out += "\\\"";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char hex[8];
                    snprintf(hex, sizeof(hex), "\\x%02X", static_cast<unsigned char>(c));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

const std::vector<PropertyName>& NumericProperties() {
    static const std::vector<PropertyName> kList = {
        {PIDX_Claimed, "Claimed"},
        {PIDX_DeviceEnabled, "DeviceEnabled"},
        {PIDX_FreezeEvents, "FreezeEvents"},
        {PIDX_State, "State"},
        {PIDX_ResultCode, "ResultCode"},
        {PIDX_ResultCodeExtended, "ResultCodeExtended"},
        {PIDX_ServiceObjectVersion, "ServiceObjectVersion"},
        {PIDX_BinaryConversion, "BinaryConversion"},
        {PIDX_PowerNotify, "PowerNotify"},
        {PIDX_PowerState, "PowerState"},
        {PIDX_CapPowerReporting, "CapPowerReporting"},
        {PIDX_CapStatisticsReporting, "CapStatisticsReporting"},
        {PIDX_CapUpdateStatistics, "CapUpdateStatistics"},
        {PIDX_CapCompareFirmwareVersion, "CapCompareFirmwareVersion"},
        {PIDX_CapUpdateFirmware, "CapUpdateFirmware"},
        {PIDXCash_DrawerOpened, "DrawerOpened"},
        {PIDXCash_CapStatus, "CapStatus"},
        {PIDXCash_CapStatusMultiDrawerDetect, "CapStatusMultiDrawerDetect"},
    };
    return kList;
}

const std::vector<PropertyName>& StringProperties() {
    static const std::vector<PropertyName> kList = {
        {PIDX_CheckHealthText, "CheckHealthText"},
        {PIDX_DeviceDescription, "DeviceDescription"},
        {PIDX_DeviceName, "DeviceName"},
        {PIDX_ServiceObjectDescription, "ServiceObjectDescription"},
    };
    return kList;
}

}  // namespace cdctl
