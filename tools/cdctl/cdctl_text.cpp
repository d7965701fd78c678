// cdctl's shared text helpers and the wording of its output.
#include "tools/cdctl/cdctl_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "util/opos_constants.h"

namespace cdctl {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
        parts.push_back(text.substr(start, comma - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
        at = end + 1;
    }
    return lines;
}

bool IsHelp(const char* arg) {
    return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0;
}

bool ParseInt32(std::string_view text, int32_t* value, bool hex) {
    const char* end = text.data() + text.size();
    if (hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint32_t bits = 0;
        const auto r = std::from_chars(text.data() + 2, end, bits, 16);
        if (r.ec != std::errc() || r.ptr != end) return false;
        *value = static_cast<int32_t>(bits);
        return true;
    }
    int32_t v = 0;
    const auto r = std::from_chars(text.data(), end, v);
    if (text.empty() || r.ec != std::errc() || r.ptr != end) return false;
    *value = v;
    return true;
}

std::string DescribeResult(int32_t code) {
    const char* name = OposResultName(code);
    return name ? std::to_string(code) + " " + name : std::to_string(code);
}

std::string DescribeStatusUpdate(int32_t value) {
    static const std::pair<int32_t, const char*> kNames[] = {
        {CASH_SUE_DRAWERCLOSED, "CASH_SUE_DRAWERCLOSED"},
        {CASH_SUE_DRAWEROPEN, "CASH_SUE_DRAWEROPEN"},
        {OPOS_SUE_POWER_ONLINE, "OPOS_SUE_POWER_ONLINE"},
        {2002, "OPOS_SUE_POWER_OFF"},
        {2003, "OPOS_SUE_POWER_OFFLINE"},
        {OPOS_SUE_POWER_OFF_OFFLINE, "OPOS_SUE_POWER_OFF_OFFLINE"},
    };
    for (const auto& [number, name] : kNames) {
        if (number == value) return std::to_string(value) + " (" + name + ")";
    }
    return std::to_string(value);
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

std::vector<std::pair<std::string, std::string>> SplitCounterText(const std::string& text) {
    auto trim = [](const std::string& part) {
        const size_t first = part.find_first_not_of(' ');
        return first == std::string::npos
                   ? std::string()
                   : part.substr(first, part.find_last_not_of(' ') - first + 1);
    };
    std::vector<std::pair<std::string, std::string>> lines;
    for (size_t at = 0; at + 40 <= text.size(); at += 40) {
        if (text[at + 38] != '\r' || text[at + 39] != '\n') continue;
        lines.emplace_back(trim(text.substr(at, 28)), trim(text.substr(at + 28, 10)));
    }
    return lines;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const char* escape = c == '\r'   ? "\\r"
                             : c == '\n' ? "\\n"
                             : c == '\t' ? "\\t"
                             : c == '"'  ? "\\\""
                                         : nullptr;
        if (escape) {
            out += escape;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const std::vector<PropertyName>& Properties() {
    static const std::vector<PropertyName> kList = {
        {PIDX_Claimed, "Claimed", false},
        {PIDX_DeviceEnabled, "DeviceEnabled", false},
        {PIDX_FreezeEvents, "FreezeEvents", false},
        {PIDX_State, "State", false},
        {PIDX_ResultCode, "ResultCode", false},
        {PIDX_ResultCodeExtended, "ResultCodeExtended", false},
        {PIDX_ServiceObjectVersion, "ServiceObjectVersion", false},
        {PIDX_BinaryConversion, "BinaryConversion", false},
        {PIDX_PowerNotify, "PowerNotify", false},
        {PIDX_PowerState, "PowerState", false},
        {PIDX_CapPowerReporting, "CapPowerReporting", false},
        {PIDX_CapStatisticsReporting, "CapStatisticsReporting", false},
        {PIDX_CapUpdateStatistics, "CapUpdateStatistics", false},
        {PIDX_CapCompareFirmwareVersion, "CapCompareFirmwareVersion", false},
        {PIDX_CapUpdateFirmware, "CapUpdateFirmware", false},
        {PIDXCash_DrawerOpened, "DrawerOpened", false},
        {PIDXCash_CapStatus, "CapStatus", false},
        {PIDXCash_CapStatusMultiDrawerDetect, "CapStatusMultiDrawerDetect", false},
        {PIDX_CheckHealthText, "CheckHealthText", true},
        {PIDX_DeviceDescription, "DeviceDescription", true},
        {PIDX_DeviceName, "DeviceName", true},
        {PIDX_ServiceObjectDescription, "ServiceObjectDescription", true},
    };
    return kList;
}

}  // namespace cdctl
