// Settings of a device entry: names, how arguments are stored, effective values.
#include "tools/cdctl/setup_values.h"

#include <cstring>
#include <memory>

#include "ras/counter_path.h"
#include "ras/ras_rules.h"
#include "so/device_config.h"
#include "tools/cdctl/cdctl_text.h"
#include "tools/cdctl/session_script.h"

namespace cdctl {

// What the service makes of a device key: its configuration and the reliability settings.
struct ServiceReading {
    DeviceConfig c;
    int32_t verboseLimit = 0;
    int32_t eventLogLevel = 0;
    int32_t statisticsMode = 0;
    std::string counterPath;
};

namespace {

using K = SettingKind;
using P = SettingPlace;
using R = ServiceReading;

std::string Ms(int32_t value) {
    return std::to_string(value) + " ms";
}

std::string Bool(bool value) {
    return value ? "TRUE" : "FALSE";
}

}  // namespace

const std::vector<SettingInfo>& AllSettings() {
    static const std::vector<SettingInfo> kSettings = {
        {"PortDll", K::Text, P::DeviceKey, [](const R& r) { return Quoted(r.c.portDll); }},
        {"Port", K::Text, P::DeviceKey, [](const R& r) { return Quoted(r.c.port); }},
        {"Port_Initialize_String", K::Text, P::DeviceKey,
         [](const R& r) { return Quoted(r.c.portInitializeString); }},
        {"EventLogPortName", K::Text, P::DeviceKey,
         [](const R& r) { return Quoted(r.c.eventLogPortName); }},
        {"EventLog", K::Word, P::DeviceKey,
         [](const R& r) {
             const char* const modes[] = {"0 (Disable)", "1 (Enable)", "2 (other text)"};
             return "event-log level " + DescribeEventLogLevel(r.eventLogLevel) +
                    "; port library mode " + modes[r.c.eventLogMode];
         }},
        {"DllMode", K::Number, P::DeviceKey,
         [](const R& r) { return std::to_string(r.c.dllMode); }},
        {"NoDwOpenAtChkExt", K::Boolean, P::DeviceKey,
         [](const R& r) { return Bool(r.c.noDwOpenAtChkExt); }},
        {"Trace_Enable", K::Boolean, P::DeviceKey,
         [](const R& r) { return Bool(r.c.traceEnable); }},
        {"Trace_Tick", K::Boolean, P::DeviceKey, [](const R& r) { return Bool(r.c.traceTick); }},
        {"Command_Timeout", K::Number, P::DeviceKey,
         [](const R& r) { return Ms(r.c.commandTimeout); }},
        {"OpenDrawer_Timeout", K::Number, P::DeviceKey,
         [](const R& r) { return Ms(r.c.openDrawerTimeout); }},
        {"DrawerNo", K::Number, P::DeviceKey,
         [](const R& r) { return std::to_string(r.c.drawerNo); }},
        {"DetectDelay_Time", K::Number, P::DeviceKey,
         [](const R& r) { return Ms(r.c.detectDelayTime); }},
        {"SendReady_Timeout", K::Number, P::DeviceKey,
         [](const R& r) { return Ms(r.c.sendReadyTimeout); }},
        {"SendDone_Timeout", K::Number, P::DeviceKey,
         [](const R& r) { return Ms(r.c.sendDoneTimeout); }},
        {"CommandType", K::Word, P::DeviceKey,
         [](const R& r) {
             return std::string(r.c.commandType == CommandType::Solenoid ? "Solenoid" : "Normal");
         }},
        {"PulseWidthTime", K::Number, P::DeviceKey,
         [](const R& r) { return std::to_string(r.c.pulseWidthTime); }},
        {"RestartHardwareID", K::Text, P::DeviceKey,
         [](const R& r) { return Quoted(r.c.restartHardwareId); }},
        {"RestartCount", K::Number, P::DeviceKey,
         [](const R& r) { return std::to_string(r.c.restartCount); }},
        {"RestartTimeout", K::Number, P::DeviceKey,
         [](const R& r) { return Ms(r.c.restartTimeout); }},
        {"Status_Mode", K::Word, P::DeviceKey,
         [](const R& r) { return std::string(r.c.statusInvert ? "Invert" : "Normal"); }},
        {"VerboseLimit", K::Number, P::DeviceKey,
         [](const R& r) { return std::to_string(r.verboseLimit); }},
        {"Statistics", K::Word, P::DeviceKey,
         [](const R& r) { return DescribeCounterMode(r.statisticsMode); }},
        {"StatFileName", K::Text, P::DeviceKey,
         [](const R& r) { return r.counterPath.empty() ? std::string("(none)") : r.counterPath; }},
        {"Path", K::Text, P::MakerKey, nullptr},
    };
    return kSettings;
}

const SettingInfo* FindSetting(const std::string& name) {
    for (const SettingInfo& s : AllSettings()) {
        if (Lower(s.name) == Lower(name)) return &s;
    }
    return nullptr;
}

bool ParseSettingWrite(const std::string& arg, SettingWrite* out, std::string* error) {
    const size_t eq = arg.find('=');
    const SettingInfo* setting =
        eq == 0 || eq == std::string::npos ? nullptr : FindSetting(arg.substr(0, eq));
    if (setting == nullptr) {
        *error =
            (eq == 0 || eq == std::string::npos ? "'" + arg + "' is not KEY=VALUE"
                                                : "unknown setting '" + arg.substr(0, eq) + "'") +
            ". Valid settings:";
        for (const SettingInfo& s : AllSettings()) *error += std::string(" ") + s.name;
        return false;
    }
    SettingWrite w;
    w.setting = setting;
    w.text = arg.substr(eq + 1);
    int32_t number = 0;
    const size_t digits = w.text.size() - (w.text[0] == '-');
    if (w.text.empty()) {
        w.type = SettingWrite::Type::Remove;
    } else if (setting->kind == SettingKind::Number && digits <= 10 &&
               ParseInt32(w.text, &number)) {
        w.type = SettingWrite::Type::Dword;
        w.number = static_cast<uint32_t>(number);
    } else if (setting->place == SettingPlace::MakerKey && w.text.back() != '\\') {
        w.text += '\\';
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
           "  add     creates the entry (ProgID, Stat subkey, the maker's key with Path) or\n"
           "          changes the given values; plain numbers of numeric settings are REG_DWORD,\n"
           "          all else REG_SZ; KEY= removes a value. Path defaults to cdctl's folder.\n"
           "          --force takes over a device of another service object.\n"
           "  list    lists the cash drawers of the registry\n"
           "  show    prints every setting as stored and as the service reads it\n"
           "  remove  deletes the entry with its statistics; --keep-stats keeps the Stat\n"
           "          subkey, --purge deletes the counter file as well\n"
           "  --32, --64, --both  the 32-bit registry view, the native 64-bit one, or both\n"
           "          (default: the view of cdctl.exe itself)\n"
           "Exit status: 0 done, 1 the registry could not be read or written, 2 bad usage,\n"
           "3 refused (another service object's device, a port library of the other bitness).\n";
}

SetupParse ParseSetupArgs(int argc, const char* const* argv, SetupArgs* out, std::string* error) {
    std::vector<std::string> words;
    SetupArgs args;
    auto fail = [&](const std::string& why) {
        *error = why;
        return SetupParse::Error;
    };
    const std::pair<const char*, SetupArgs::View> views[] = {{"--32", SetupArgs::View::Bits32},
                                                             {"--64", SetupArgs::View::Bits64},
                                                             {"--both", SetupArgs::View::Both}};
    const std::pair<const char*, SetupArgs::Data> data[] = {
        {"--keep-stats", SetupArgs::Data::KeepStatistics}, {"--purge", SetupArgs::Data::Purge}};
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return SetupParse::Help;
        bool option = strcmp(argv[i], "--force") == 0;
        args.force = args.force || option;
        for (const auto& [name, view] : views) {
            if (strcmp(argv[i], name) != 0) continue;
            if (args.view != SetupArgs::View::Own && args.view != view) {
                return fail("give only one of --32, --64 and --both");
            }
            args.view = view;
            option = true;
        }
        for (const auto& [name, kind] : data) {
            if (strcmp(argv[i], name) != 0) continue;
            if (args.data != SetupArgs::Data::Delete && args.data != kind) {
                return fail("give only one of --keep-stats and --purge");
            }
            args.data = kind;
            option = true;
        }
        if (!option) words.push_back(argv[i]);
    }
    const std::string verb = words.empty() ? "" : words[0];
    const char* const verbs[] = {"add", "list", "show", "remove"};
    int found = -1;
    for (int v = 0; v < 4; ++v) found = verb == verbs[v] ? v : found;
    if (found < 0) return fail("unknown command '" + verb + "' (add, list, show or remove)");
    args.verb = static_cast<SetupArgs::Verb>(found);
    if (args.force && args.verb != SetupArgs::Verb::Add) return fail("--force belongs to add");
    if (args.data != SetupArgs::Data::Delete && args.verb != SetupArgs::Verb::Remove) {
        return fail("--keep-stats and --purge belong to remove");
    }
    if (args.verb == SetupArgs::Verb::List) {
        if (words.size() != 1) return fail("list takes no argument");
        *out = std::move(args);
        return SetupParse::Ok;
    }
    if (words.size() < 2) return fail(verb + " needs the device NAME");
    args.device = words[1];
    if (!ValidDeviceName(args.device, error)) return SetupParse::Error;
    if (args.device.find('=') != std::string::npos) {
        return fail("the device NAME comes before the settings: setup add NAME KEY=VALUE ...");
    }
    if (args.verb != SetupArgs::Verb::Add && words.size() > 2) {
        return fail(verb + " takes only the device NAME");
    }
    for (size_t i = 2; i < words.size(); ++i) {
        SettingWrite w;
        if (!ParseSettingWrite(words[i], &w, error)) return SetupParse::Error;
        for (const SettingWrite& earlier : args.writes) {
            if (earlier.setting == w.setting)
                return fail(std::string(w.setting->name) + " is given twice");
        }
        args.writes.push_back(std::move(w));
    }
    *out = std::move(args);
    return SetupParse::Ok;
}

std::vector<EffectiveSetting> EffectiveSettings(const ConfigSource& key,
                                                const std::string& deviceName,
                                                const std::string& counterFolder) {
    ServiceReading r;
    r.c = ReadDeviceConfig(key);
    r.verboseLimit = VerboseLimitFromValue(key.GetLongDefZero("VerboseLimit"));
    const std::unique_ptr<char[]> eventLog(key.GetString("EventLog"));
    const std::unique_ptr<char[]> statistics(key.GetString("Statistics"));
    const std::unique_ptr<char[]> statFile(key.GetPathString("StatFileName"));
    r.eventLogLevel = EventLogLevelFromText(eventLog.get(), r.verboseLimit);
    r.statisticsMode = StatisticsModeFromText(statistics.get());
    r.counterPath = ResolveCounterFilePath(statFile.get(), deviceName, counterFolder);

    std::vector<EffectiveSetting> lines;
    for (const SettingInfo& s : AllSettings()) {
        if (s.describe == nullptr) continue;
        std::string value = s.describe(r);
        for (const ConfigCorrection& k : r.c.corrections) {
            if (strcmp(s.name, k.name) == 0) value += std::string(" (") + k.reason + ")";
        }
        lines.push_back({s.name, value});
    }
    return lines;
}

}  // namespace cdctl
