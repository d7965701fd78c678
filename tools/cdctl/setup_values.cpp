// Settings of a device entry: names, how arguments are stored, effective values.
#include "tools/cdctl/setup_values.h"

#include <cctype>
#include <cstring>
#include <memory>

#include "ras/counter_path.h"
#include "ras/ras_rules.h"
#include "so/device_config.h"
#include "tools/cdctl/cdctl_text.h"
#include "tools/cdctl/session_script.h"

namespace cdctl {

namespace {

using K = SettingKind;
using P = SettingPlace;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

const std::vector<SettingInfo>& AllSettings() {
    static const std::vector<SettingInfo> kSettings = {
        {"PortDll", K::Text, P::DeviceKey},
        {"Port", K::Text, P::DeviceKey},
        {"Port_Initialize_String", K::Text, P::DeviceKey},
        {"EventLogPortName", K::Text, P::DeviceKey},
        {"EventLog", K::Word, P::DeviceKey},
        {"DllMode", K::Number, P::DeviceKey},
        {"NoDwOpenAtChkExt", K::Boolean, P::DeviceKey},
        {"Trace_Enable", K::Boolean, P::DeviceKey},
        {"Trace_Tick", K::Boolean, P::DeviceKey},
        {"Command_Timeout", K::Number, P::DeviceKey},
        {"OpenDrawer_Timeout", K::Number, P::DeviceKey},
        {"DrawerNo", K::Number, P::DeviceKey},
        {"DetectDelay_Time", K::Number, P::DeviceKey},
        {"SendReady_Timeout", K::Number, P::DeviceKey},
        {"SendDone_Timeout", K::Number, P::DeviceKey},
        {"CommandType", K::Word, P::DeviceKey},
        {"PulseWidthTime", K::Number, P::DeviceKey},
        {"RestartHardwareID", K::Text, P::DeviceKey},
        {"RestartCount", K::Number, P::DeviceKey},
        {"RestartTimeout", K::Number, P::DeviceKey},
        {"Status_Mode", K::Word, P::DeviceKey},
        {"VerboseLimit", K::Number, P::DeviceKey},
        {"Statistics", K::Word, P::DeviceKey},
        {"StatFileName", K::Text, P::DeviceKey},
        {"Path", K::Text, P::MakerKey},
    };
    return kSettings;
}

const SettingInfo* FindSetting(const std::string& name) {
    const std::string wanted = Lower(name);
    for (const SettingInfo& s : AllSettings()) {
        if (Lower(s.name) == wanted) return &s;
    }
    return nullptr;
}

std::string SettingNames() {
    std::string names;
    for (const SettingInfo& s : AllSettings()) {
        if (!names.empty()) names += ", ";
        names += s.name;
    }
    return names;
}

bool IsPlainNumber(const std::string& text, int32_t* value) {
    size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (i == text.size() || text.size() - i > 10) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-') v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool ParseSettingWrite(const std::string& arg, SettingWrite* out, std::string* error) {
    size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) {
        *error = "'" + arg + "' is not KEY=VALUE";
        return false;
    }
    const std::string key = arg.substr(0, eq);
    const SettingInfo* setting = FindSetting(key);
    if (setting == nullptr) {
        *error = "unknown setting '" + key + "'. Valid settings: " + SettingNames();
        return false;
    }
    SettingWrite w;
    w.setting = setting;
    w.text = arg.substr(eq + 1);
    int32_t number = 0;
    if (w.text.empty()) {
        w.type = SettingWrite::Type::Remove;
    } else if (setting->kind == SettingKind::Number && IsPlainNumber(w.text, &number)) {
        w.type = SettingWrite::Type::Dword;
        w.number = static_cast<uint32_t>(number);
    } else {
        w.type = SettingWrite::Type::Text;
        if (setting->place == SettingPlace::MakerKey && w.text.back() != '\\') w.text += '\\';
    }
    *out = std::move(w);
    return true;
}

const char* SetupUsage() {
    return "usage: cdctl setup [--32|--64|--both] add [--force] NAME [KEY=VALUE ...]\n"
           "       cdctl setup [--32|--64|--both] list\n"
           "       cdctl setup [--32|--64|--both] show NAME\n"
           "       cdctl setup [--32|--64|--both] remove [--keep-stats|--purge] NAME\n"
           "Manages the OPOS registry entry of a cash drawer:\n"
           "  HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\NAME\n"
           "  add     creates the entry (ProgID OPOS.CashDrawer.Bramwick.1, the Stat subkey and\n"
           "          the maker's key with Path) or changes the given values of an existing one.\n"
           "          Numeric settings given as plain numbers are stored as REG_DWORD, all\n"
           "          other values as REG_SZ text; KEY= removes a value. Path defaults to the\n"
           "          folder of cdctl.exe and is only replaced when given. Refused when the\n"
           "          entry names another service object's ProgID (--force takes it over), or\n"
           "          when Path holds a port library the view's service cannot load.\n"
           "  list    lists the cash drawers of the registry\n"
           "  show    prints every setting as stored and as the service reads it\n"
           "  remove  deletes the entry with its statistics (the maker's key stays), and warns\n"
           "          when an application has the device open; --keep-stats keeps the Stat\n"
           "          subkey with the statistics, --purge deletes the counter file as well\n"
           "  --32    use the 32-bit registry view, the one a 32-bit service object reads\n"
           "  --64    use the native registry view of 64-bit Windows, read by a 64-bit service\n"
           "  --both  do the same in both views, for 32- and 64-bit applications on one\n"
           "          terminal; show and remove skip a view without the device\n"
           "          (without an option: the view of cdctl.exe itself)\n"
           "Exit status: 0 done, 1 the registry could not be read or written, 2 bad usage,\n"
           "3 refused (another service object's device, a port library of the other bitness).\n";
}

SetupParse ParseSetupArgs(int argc, const char* const* argv, SetupArgs* out, std::string* error) {
    std::vector<std::string> words;
    SetupArgs args;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            return SetupParse::Help;
        }
        if (strcmp(argv[i], "--force") == 0) {
            args.force = true;
            continue;
        }
        const SetupArgs::Data data = strcmp(argv[i], "--keep-stats") == 0
                                         ? SetupArgs::Data::KeepStatistics
                                     : strcmp(argv[i], "--purge") == 0 ? SetupArgs::Data::Purge
                                                                       : SetupArgs::Data::Delete;
        if (data != SetupArgs::Data::Delete) {
            if (args.data != SetupArgs::Data::Delete && args.data != data) {
                *error = "give only one of --keep-stats and --purge";
                return SetupParse::Error;
            }
            args.data = data;
            continue;
        }
        const SetupArgs::View view = strcmp(argv[i], "--32") == 0     ? SetupArgs::View::Bits32
                                     : strcmp(argv[i], "--64") == 0   ? SetupArgs::View::Bits64
                                     : strcmp(argv[i], "--both") == 0 ? SetupArgs::View::Both
                                                                      : SetupArgs::View::Own;
        if (view == SetupArgs::View::Own) {
            words.push_back(argv[i]);
        } else if (args.view != SetupArgs::View::Own && args.view != view) {
            *error = "give only one of --32, --64 and --both";
            return SetupParse::Error;
        } else {
            args.view = view;
        }
    }
    if (words.empty()) {
        *error = "a command is missing (add, list, show or remove)";
        return SetupParse::Error;
    }
    const std::string& verb = words[0];
    if (args.force && verb != "add") {
        *error = "--force belongs to add";
        return SetupParse::Error;
    }
    if (args.data != SetupArgs::Data::Delete && verb != "remove") {
        *error = "--keep-stats and --purge belong to remove";
        return SetupParse::Error;
    }
    if (verb == "list") {
        if (words.size() != 1) {
            *error = "list takes no argument";
            return SetupParse::Error;
        }
        args.verb = SetupArgs::Verb::List;
        *out = std::move(args);
        return SetupParse::Ok;
    }
    if (verb == "add") {
        args.verb = SetupArgs::Verb::Add;
    } else if (verb == "show") {
        args.verb = SetupArgs::Verb::Show;
    } else if (verb == "remove") {
        args.verb = SetupArgs::Verb::Remove;
    } else {
        *error = "unknown command '" + verb + "' (add, list, show or remove)";
        return SetupParse::Error;
    }
    if (words.size() < 2) {
        *error = verb + " needs the device NAME";
        return SetupParse::Error;
    }
    args.device = words[1];
    if (!ValidDeviceName(args.device, error)) return SetupParse::Error;
    if (args.device.find('=') != std::string::npos) {
        *error = "the device NAME comes before the settings: setup add NAME KEY=VALUE ...";
        return SetupParse::Error;
    }
    if (args.verb != SetupArgs::Verb::Add && words.size() > 2) {
        *error = verb + " takes only the device NAME";
        return SetupParse::Error;
    }
    for (size_t i = 2; i < words.size(); ++i) {
        SettingWrite w;
        if (!ParseSettingWrite(words[i], &w, error)) return SetupParse::Error;
        for (const SettingWrite& earlier : args.writes) {
            if (earlier.setting == w.setting) {
                *error = std::string(w.setting->name) + " is given twice";
                return SetupParse::Error;
            }
        }
        args.writes.push_back(std::move(w));
    }
    *out = std::move(args);
    return SetupParse::Ok;
}

namespace {

std::string Ms(int32_t value) {
    return std::to_string(value) + " ms";
}

std::string Bool(bool value) {
    return value ? "TRUE" : "FALSE";
}

}  // namespace

std::vector<EffectiveSetting> EffectiveSettings(const ConfigSource& key,
                                                const std::string& deviceName,
                                                const std::string& counterFolder) {
    const DeviceConfig c = ReadDeviceConfig(key);
    const int32_t verboseLimit = VerboseLimitFromValue(key.GetLongDefZero("VerboseLimit"));
    std::unique_ptr<char[]> eventLog(key.GetString("EventLog"));
    std::unique_ptr<char[]> statistics(key.GetString("Statistics"));
    std::unique_ptr<char[]> statFile(key.GetPathString("StatFileName"));
    const int32_t level = EventLogLevelFromText(eventLog.get(), verboseLimit);
    const char* const libraryModes[] = {"0 (Disable)", "1 (Enable)", "2 (other text)"};
    const std::string counterPath =
        ResolveCounterFilePath(statFile.get(), deviceName, counterFolder);

    std::vector<EffectiveSetting> lines;
    for (const SettingInfo& s : AllSettings()) {
        if (s.place != SettingPlace::DeviceKey) continue;
        const std::string name = s.name;
        std::string v;
        if (name == "PortDll") {
            v = Quoted(c.portDll);
        } else if (name == "Port") {
            v = Quoted(c.port);
        } else if (name == "Port_Initialize_String") {
            v = Quoted(c.portInitializeString);
        } else if (name == "EventLogPortName") {
            v = Quoted(c.eventLogPortName);
        } else if (name == "EventLog") {
            v = "event-log level " + DescribeEventLogLevel(level) + "; port library mode " +
                libraryModes[c.eventLogMode];
        } else if (name == "DllMode") {
            v = std::to_string(c.dllMode);
        } else if (name == "NoDwOpenAtChkExt") {
            v = Bool(c.noDwOpenAtChkExt);
        } else if (name == "Trace_Enable") {
            v = Bool(c.traceEnable);
        } else if (name == "Trace_Tick") {
            v = Bool(c.traceTick);
        } else if (name == "Command_Timeout") {
            v = Ms(c.commandTimeout);
        } else if (name == "OpenDrawer_Timeout") {
            v = Ms(c.openDrawerTimeout);
        } else if (name == "DrawerNo") {
            v = std::to_string(c.drawerNo);
        } else if (name == "DetectDelay_Time") {
            v = Ms(c.detectDelayTime);
        } else if (name == "SendReady_Timeout") {
            v = Ms(c.sendReadyTimeout);
        } else if (name == "SendDone_Timeout") {
            v = Ms(c.sendDoneTimeout);
        } else if (name == "CommandType") {
            v = c.commandType == CommandType::Solenoid ? "Solenoid" : "Normal";
        } else if (name == "PulseWidthTime") {
            v = std::to_string(c.pulseWidthTime);
        } else if (name == "RestartHardwareID") {
            v = Quoted(c.restartHardwareId);
        } else if (name == "RestartCount") {
            v = std::to_string(c.restartCount);
        } else if (name == "RestartTimeout") {
            v = Ms(c.restartTimeout);
        } else if (name == "Status_Mode") {
            v = c.statusInvert ? "Invert" : "Normal";
        } else if (name == "VerboseLimit") {
            v = std::to_string(verboseLimit);
        } else if (name == "Statistics") {
            v = DescribeCounterMode(StatisticsModeFromText(statistics.get()));
        } else if (name == "StatFileName") {
            v = counterPath.empty() ? "(none)" : counterPath;
        }
        for (const ConfigCorrection& k : c.corrections) {
            if (name == k.name) v += std::string(" (") + k.reason + ")";
        }
        lines.push_back({name, v});
    }
    return lines;
}

}  // namespace cdctl
