// "cdctl setup": the OPOS registry entry of a cash drawer, the maker's key and the Stat
// subkey, written and read the way the service reads them.
#include "tools/cdctl/commands.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "framework/module.h"
#include "framework/wide_text.h"
#include "ras/counter_file.h"
#include "ras/counter_path.h"
#include "server/server_registry.h"
#include "so/device_config.h"
#include "tools/cdctl/cdctl_text.h"
#include "tools/cdctl/setup_system.h"
#include "tools/cdctl/port_check.h"
#include "tools/cdctl/setup_values.h"
#include "util/reg_uty.h"

using namespace cdctl;

namespace {

constexpr int kExitRegistry = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;

using Key = fw::UniqueHKey;

int RegistryFailure(const std::string& what, LONG error) {
    const std::string text = SystemText(static_cast<DWORD>(error));
    std::cerr << "cdctl setup: " << what << ": error " << error
              << (text.empty() ? "" : " (" + text + ")") << "\n";
    if (error == ERROR_ACCESS_DENIED) {
        std::cerr << "cdctl setup: writing HKEY_LOCAL_MACHINE needs an administrator\n";
    }
    return kExitRegistry;
}

struct Stored {
    bool present = false;
    DWORD type = 0;
    std::string text;  // REG_SZ
    DWORD number = 0;  // REG_DWORD
};

// Names and texts in UTF-8 (through the wide calls): a device name, a path or a text in any
// script is written and shown as it is.
Stored ReadStored(HKEY key, const char* name) {
    Stored s;
    DWORD type = 0, size = 0;
    const std::wstring wideName = name ? fw::Utf8ToWide(name) : std::wstring();
    const wchar_t* valueName = name ? wideName.c_str() : nullptr;
    if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return s;
    std::vector<BYTE> data(size + sizeof(wchar_t), 0);
    DWORD got = size;
    if (RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) {
        return s;
    }
    s.present = true;
    s.type = type;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        s.text = fw::WideToUtf8(reinterpret_cast<const wchar_t*>(data.data()));
    } else if (type == REG_DWORD && got >= sizeof(DWORD)) {
        memcpy(&s.number, data.data(), sizeof(DWORD));
    }
    return s;
}

std::string DescribeStored(const Stored& s) {
    if (!s.present) return "(not set)";
    switch (s.type) {
        case REG_SZ:
            return Quoted(s.text);
        case REG_DWORD:
            return std::to_string(static_cast<LONG>(s.number)) + " (REG_DWORD)";
        case REG_EXPAND_SZ:
            return Quoted(s.text) + " (REG_EXPAND_SZ: not read)";
        default:
            return "(type " + std::to_string(s.type) + ": not read)";
    }
}

// The service DLL registered for the ProgID, through its class registration.
std::string RegisteredModule(const std::string& progId, REGSAM view) {
    Key progKey;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (progId + "\\CLSID").c_str(), 0, KEY_READ | view,
                      progKey.put()) != ERROR_SUCCESS) {
        return "";
    }
    Stored clsid = ReadStored(progKey.get(), nullptr);
    if (!clsid.present || clsid.type != REG_SZ) return "";
    Key server;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid.text + "\\InprocServer32").c_str(), 0,
                      KEY_READ | view, server.put()) != ERROR_SUCCESS) {
        return "";
    }
    Stored path = ReadStored(server.get(), nullptr);
    return path.present ? path.text : "";
}

// The folder of cdctl.exe, with its trailing backslash, as Path holds a folder.
std::string OwnFolder() {
    const std::string file = fw::WideToUtf8(fw::ModulePath(nullptr));
    return file.substr(0, file.rfind('\\') + 1);
}

std::string TypeName(const SettingWrite& w) {
    return w.type == SettingWrite::Type::Dword ? "REG_DWORD" : "REG_SZ";
}

std::string WrittenValue(const SettingWrite& w) {
    return w.type == SettingWrite::Type::Dword ? std::to_string(static_cast<LONG>(w.number))
                                               : Quoted(w.text);
}

LONG WriteValue(HKEY key, const SettingWrite& w) {
    switch (w.type) {
        case SettingWrite::Type::Remove: {
            LONG error = RegDeleteValueA(key, w.setting->name);
            return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
        }
        case SettingWrite::Type::Dword:
            return RegSetValueExA(key, w.setting->name, 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&w.number), sizeof(w.number));
        case SettingWrite::Type::Text:
            break;
    }
    const std::wstring text = fw::Utf8ToWide(w.text);
    return RegSetValueExW(key, fw::Utf8ToWide(w.setting->name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The folder Path holds in a view after `add`: the Path given (none when it is removed), else
// the one kept in the maker's key, else the folder of cdctl.exe.
struct PathChoice {
    std::string folder;
    const char* source;
    const SettingWrite* given;  // the Path argument, if any
    bool kept;                  // the maker's key has a Path, which stays
};

PathChoice ChoosePath(const SetupArgs& args, REGSAM view) {
    PathChoice c{OwnFolder(), "the folder of cdctl.exe", nullptr, false};
    for (const SettingWrite& w : args.writes) {
        if (w.setting->place == SettingPlace::MakerKey) c.given = &w;
    }
    Key maker;
    const Stored current = !c.given && RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0,
                                                     KEY_READ | view, maker.put()) == ERROR_SUCCESS
                               ? ReadStored(maker.get(), "Path")
                               : Stored();
    if (c.given) {
        c.folder = c.given->type == SettingWrite::Type::Remove ? "" : c.given->text;
        c.source = "the Path given";
    } else if (current.present) {
        c.folder = current.type == REG_SZ ? current.text : std::string();
        c.source = "the Path kept in the maker's key";
        c.kept = true;
    }
    return c;
}

// What `add` would leave in a view that the view's service could not work with: a device key
// that names another service object, or a port library of the other bitness. Checked in every
// view before anything is written.
int CheckAdd(const SetupArgs& args, REGSAM view) {
    const std::string path = DeviceKeyPath(args.device);
    Key device;
    const bool exists = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view,
                                      device.put()) == ERROR_SUCCESS;
    const Stored progId = exists ? ReadStored(device.get(), nullptr) : Stored();
    if (progId.present && progId.type == REG_SZ && !progId.text.empty() &&
        _stricmp(progId.text.c_str(), kProgId) != 0 && !args.force) {
        std::cerr << "cdctl setup: " << args.device << " belongs to another service object: HKLM\\"
                  << path << " names the ProgID " << Quoted(progId.text)
                  << ". Nothing was written; --force makes it a device of " << kProgId
                  << " (its other values stay).\n";
        return kExitRefused;
    }

    // The port library the service will load: Path followed by PortDll.
    const PathChoice choice = ChoosePath(args, view);
    std::string portDll = kDefaultPortDll;
    if (exists) {
        Stored stored = ReadStored(device.get(), "PortDll");
        if (stored.present && stored.type == REG_SZ) portDll = stored.text;
    }
    for (const SettingWrite& w : args.writes) {
        if (std::string(w.setting->name) != "PortDll") continue;
        portDll = w.type == SettingWrite::Type::Text ? w.text : kDefaultPortDll;
    }
    const std::string& folder = choice.folder;
    const char* source = choice.source;
    if (folder.empty()) return 0;
    const int bits = ViewBits(view);
    const ModuleBits library = FileBits(folder + portDll);
    if (library == ModuleBits::Unknown ||
        library == (bits == 32 ? ModuleBits::Bits32 : ModuleBits::Bits64)) {
        return 0;
    }
    std::cerr << "cdctl setup: " << folder << portDll << " is a " << (bits == 32 ? 64 : 32)
              << "-bit DLL (" << source << "): the " << bits
              << "-bit service that reads this registry view cannot load it. Nothing was "
              << "written; give Path=FOLDER of the " << (bits == 32 ? "x86" : "x64") << " build.\n";
    return kExitRefused;
}

int Add(const SetupArgs& args, REGSAM view) {
    const std::string key = DeviceKeyPath(args.device);
    Key device;
    DWORD disposition = 0;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(key).c_str(), 0, nullptr, 0,
                                 KEY_READ | KEY_WRITE | view, nullptr, device.put(), &disposition);
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot create HKLM\\" + key, error);
    error = RegSetValueExA(device.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kProgId),
                           sizeof(kProgId));
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot write the ProgID", error);
    printf("HKLM\\%s (%s)\n", key.c_str(),
           disposition == REG_CREATED_NEW_KEY ? "created" : "updated");
    printf("  %-24s %s\n", "(default)", Quoted(kProgId).c_str());

    for (const SettingWrite& w : args.writes) {
        if (w.setting->place != SettingPlace::DeviceKey) continue;
        error = WriteValue(device.get(), w);
        if (error != ERROR_SUCCESS) {
            return RegistryFailure(std::string("cannot write ") + w.setting->name, error);
        }
        if (w.type == SettingWrite::Type::Remove) {
            printf("  %-24s removed (the default applies)\n", w.setting->name);
        } else {
            printf("  %-24s %s (%s)\n", w.setting->name, WrittenValue(w).c_str(),
                   TypeName(w).c_str());
        }
    }

    // The statistics store refuses to start without this subkey.
    Key stat;
    error = RegCreateKeyExA(device.get(), "Stat", 0, nullptr, 0, KEY_READ | view, nullptr,
                            stat.put(), &disposition);
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot create the Stat subkey", error);
    printf("  %-24s %s\n", "Stat",
           disposition == REG_CREATED_NEW_KEY ? "subkey created" : "subkey present");

    Key maker;
    error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, nullptr, 0,
                            KEY_READ | KEY_WRITE | view, nullptr, maker.put(), nullptr);
    if (error != ERROR_SUCCESS) {
        return RegistryFailure(std::string("cannot create HKLM\\") + kMakerKey, error);
    }
    printf("HKLM\\%s\n", kMakerKey);
    const PathChoice path = ChoosePath(args, view);
    SettingWrite written{FindSetting("Path"), SettingWrite::Type::Text, path.folder};
    if (path.given) written = *path.given;
    error = path.kept ? ERROR_SUCCESS : WriteValue(maker.get(), written);
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot write Path", error);
    if (written.type == SettingWrite::Type::Remove) {
        printf("  %-24s removed (the port library is then searched for by name)\n", "Path");
    } else {
        printf("  %-24s %s (%s)\n", "Path", Quoted(path.folder).c_str(),
               path.kept    ? "kept"
               : path.given ? "REG_SZ"
                            : "REG_SZ, the folder of cdctl.exe");
    }

    // How the service reads what was written.
    bool header = false;
    CRegUty reader;
    if (reader.OpenKey(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ | view) == ERROR_SUCCESS) {
        const auto effective = EffectiveSettings(
            reader, args.device, CounterDataFolderFor(RegisteredModule(kProgId, view)));
        for (const SettingWrite& w : args.writes) {
            for (const EffectiveSetting& e : effective) {
                if (e.name != w.setting->name) continue;
                if (!header) printf("The service reads:\n");
                header = true;
                printf("  %-24s %s\n", e.name.c_str(), e.value.c_str());
            }
            if (w.setting->kind == SettingKind::Boolean && w.type == SettingWrite::Type::Text &&
                w.text[0] != 'T' && w.text[0] != 't' && w.text[0] != 'F' && w.text[0] != 'f') {
                printf("  note: %s is TRUE only when its text starts with T\n", w.setting->name);
            }
        }
    }
    return 0;
}

int List(REGSAM view) {
    Key root;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceKeyRoot, 0, KEY_READ | view, root.put());
    if (error == ERROR_FILE_NOT_FOUND) {
        printf("no cash drawers: HKLM\\%s does not exist\n", kDeviceKeyRoot);
        return 0;
    }
    if (error != ERROR_SUCCESS)
        return RegistryFailure("cannot open HKLM\\" + std::string(kDeviceKeyRoot), error);
    int count = 0;
    for (DWORD i = 0;; ++i) {
        wchar_t wideName[256];
        DWORD length = 256;
        error = RegEnumKeyExW(root.get(), i, wideName, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) break;
        if (error != ERROR_SUCCESS) return RegistryFailure("cannot list the cash drawers", error);
        const std::string name = fw::WideToUtf8(std::wstring(wideName, length));
        Key device;
        std::string progId = "(unreadable)", port;
        if (RegOpenKeyExW(root.get(), wideName, 0, KEY_READ | view, device.put()) ==
            ERROR_SUCCESS) {
            progId = DescribeStored(ReadStored(device.get(), nullptr));
            Stored p = ReadStored(device.get(), "Port");
            port = p.present ? "Port " + DescribeStored(p) : "no Port";
        }
        printf("%-20s %-32s %s\n", name.c_str(), progId.c_str(), port.c_str());
        ++count;
    }
    if (count == 0) printf("no cash drawers under HKLM\\%s\n", kDeviceKeyRoot);
    return 0;
}

int Show(const SetupArgs& args, REGSAM view) {
    const std::string path = DeviceKeyPath(args.device);
    Key device;
    LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(path).c_str(), 0, KEY_READ | view,
                               device.put());
    if (error == ERROR_FILE_NOT_FOUND) {
        std::cerr << "cdctl setup: no device " << args.device << " (HKLM\\" << path
                  << " does not exist; see cdctl setup list)\n";
        return kExitRegistry;
    }
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot open HKLM\\" + path, error);

    const Stored progId = ReadStored(device.get(), nullptr);
    const std::string module = progId.present ? RegisteredModule(progId.text, view) : "";
    printf("HKLM\\%s\n", path.c_str());
    printf("  %-24s %s\n", "ProgID", DescribeStored(progId).c_str());
    printf("  %-24s %s\n", "service DLL",
           module.empty()
               ? ("(the ProgID is not registered in this view: run " + Regsvr32For(view) +
                  " with the " + (ViewBits(view) == 32 ? "x86" : "x64") + " Bramwick.dll)")
                     .c_str()
               : module.c_str());
    {
        Key stat;
        LONG statError = RegOpenKeyExA(device.get(), "Stat", 0, KEY_READ | view, stat.put());
        DWORD values = 0;
        if (statError == ERROR_SUCCESS) {
            RegQueryInfoKeyA(stat.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr);
        }
        printf("  %-24s %s\n", "Stat subkey",
               statError == ERROR_SUCCESS
                   ? ("present, " + std::to_string(values) + " saved statistics").c_str()
                   : "MISSING: OpenService fails with 109 and OpenResult 455");
    }
    {
        Key maker;
        LONG makerError =
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_READ | view, maker.put());
        std::string text = makerError == ERROR_SUCCESS
                               ? DescribeStored(ReadStored(maker.get(), "Path"))
                               : std::string("MISSING: HKLM\\") + kMakerKey +
                                     " does not exist; OpenService fails with 109 and "
                                     "OpenResult 403";
        printf("  %-24s %s\n", "Path (maker's key)", text.c_str());
    }

    for (const CheckLine& line : CheckPort(args.device, view, false)) {
        printf("  %-24s %s\n", line.label.c_str(), line.text.c_str());
    }

    CRegUty reader;
    error = reader.OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | view);
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot read HKLM\\" + path, error);
    printf("\n  %-24s %-28s %s\n", "Setting", "Stored", "The service reads");
    for (const EffectiveSetting& e :
         EffectiveSettings(reader, args.device, CounterDataFolderFor(module))) {
        printf("  %-24s %-28s %s\n", e.name.c_str(),
               DescribeStored(ReadStored(device.get(), e.name.c_str())).c_str(), e.value.c_str());
    }

    // Values the service does not read are most often misspelt settings.
    for (DWORD i = 0;; ++i) {
        wchar_t wideName[256];
        DWORD length = 256;
        if (RegEnumValueW(device.get(), i, wideName, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (length == 0) continue;
        const std::string utf8Name = fw::WideToUtf8(std::wstring(wideName, length));
        const char* name = utf8Name.c_str();
        // Value names are not case-sensitive, so "port" is Port.
        const SettingInfo* known = FindSetting(name);
        if (known != nullptr && known->place == SettingPlace::DeviceKey) continue;
        printf("  %-24s %-28s not read by the service%s\n", name,
               DescribeStored(ReadStored(device.get(), name)).c_str(),
               known ? (std::string(" (it belongs in HKLM\\") + kMakerKey + ")").c_str() : "");
    }
    return 0;
}

bool DeviceExists(const std::string& device, REGSAM view);

// The device's counter file as the service names it. The counter settings of a device that
// 32- and 64-bit applications share are read from the 32-bit view.
std::string CounterFileOf(const std::string& device, REGSAM view) {
    const REGSAM settings = DeviceExists(device, KEY_WOW64_32KEY) ? KEY_WOW64_32KEY : view;
    CRegUty reader;
    if (reader.OpenKey(HKEY_LOCAL_MACHINE, DeviceKeyPath(device).c_str(), KEY_READ | settings) !=
        ERROR_SUCCESS) {
        return "";
    }
    for (const EffectiveSetting& e :
         EffectiveSettings(reader, device, CounterDataFolderFor(RegisteredModule(kProgId, view)))) {
        if (e.name == "StatFileName" && e.value != "(none)") return e.value;
    }
    return "";
}

int Remove(const SetupArgs& args, REGSAM view) {
    const std::string path = DeviceKeyPath(args.device);
    Key device;
    LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(path).c_str(), 0,
                               KEY_ALL_ACCESS | view, device.put());
    if (error == ERROR_FILE_NOT_FOUND) {
        std::cerr << "cdctl setup: no device " << args.device << " (HKLM\\" << path
                  << " does not exist)\n";
        return kExitRegistry;
    }
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot open HKLM\\" + path, error);
    if (DeviceIsOpen(args.device)) {
        std::cerr << "cdctl setup: warning: " << args.device
                  << " is open in an application; it works on with the settings it has read "
                     "until it closes\n";
    }
    const std::string counterFile =
        args.data == SetupArgs::Data::Purge ? CounterFileOf(args.device, view) : std::string();

    if (args.data == SetupArgs::Data::KeepStatistics) {
        error = KeepOnlyStatistics(device.get());
        if (error != ERROR_SUCCESS) return RegistryFailure("cannot empty HKLM\\" + path, error);
        printf("removed the settings of HKLM\\%s; its statistics stay in its Stat subkey\n",
               path.c_str());
        return 0;
    }
    error = RegDeleteTreeA(device.get(), nullptr);
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot empty HKLM\\" + path, error);
    error = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(path).c_str(), view, 0);
    if (error != ERROR_SUCCESS) return RegistryFailure("cannot delete HKLM\\" + path, error);
    printf("removed HKLM\\%s with its statistics (HKLM\\%s stays for the other devices)\n",
           path.c_str(), kMakerKey);
    if (!counterFile.empty() && DeleteFileW(fw::Utf8ToWide(counterFile).c_str())) {
        printf("deleted the counter file %s\n", counterFile.c_str());
        // Our data folder goes with its last file; a folder the file was named in stays.
        const std::string dataFolder = CounterDataFolderFor(RegisteredModule(kProgId, view));
        if (IsInFolder(counterFile, dataFolder)) {
            RemoveDirectoryW(fw::Utf8ToWide(dataFolder).c_str());
        }
    }
    return 0;
}

// A registry view as a flag for the key opens, with its name for the headings of --both.
struct RegistryView {
    REGSAM flag;
    const char* name;
};

std::vector<RegistryView> ViewsOf(SetupArgs::View view) {
    const RegistryView bits32 = {KEY_WOW64_32KEY, "32-bit"};
    const RegistryView bits64 = {KEY_WOW64_64KEY, "64-bit"};
    switch (view) {
        case SetupArgs::View::Bits32:
            return {bits32};
        case SetupArgs::View::Bits64:
            return {bits64};
        case SetupArgs::View::Both:
            return {bits32, bits64};
        case SetupArgs::View::Own:
            break;
    }
    return {{0, "own"}};
}

bool DeviceExists(const std::string& device, REGSAM view) {
    Key key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, fw::Utf8ToWide(DeviceKeyPath(device)).c_str(), 0,
                         KEY_QUERY_VALUE | view, key.put()) == ERROR_SUCCESS;
}

}  // namespace

int RunSetupCommand(int argc, char** argv) {
    SetupArgs args;
    std::string error;
    switch (ParseSetupArgs(argc, argv, &args, &error)) {
        case SetupParse::Help:
            std::cout << SetupUsage();
            return 0;
        case SetupParse::Error:
            std::cerr << "cdctl setup: " << error << "\n";
            return kExitUsage;
        case SetupParse::Ok:
            break;
    }
    const std::vector<RegistryView> views = ViewsOf(args.view);
    const bool needsDevice =
        args.verb == SetupArgs::Verb::Show || args.verb == SetupArgs::Verb::Remove;
    // With both views, show and remove pass over a view without the device; only a device in
    // neither view is an error, reported by the first.
    bool deviceAnywhere = false;
    for (const RegistryView& v : views) {
        deviceAnywhere = deviceAnywhere || (needsDevice && DeviceExists(args.device, v.flag));
    }
    // Nothing is written unless every view can take the device.
    for (const RegistryView& v : views) {
        if (args.verb != SetupArgs::Verb::Add) break;
        const int refused = CheckAdd(args, v.flag);
        if (refused != 0) return refused;
    }
    std::cout.flush();
    int code = 0;
    for (size_t i = 0; i < views.size() && code == 0; ++i) {
        const REGSAM view = views[i].flag;
        if (views.size() > 1) printf("%s%s registry view:\n", i > 0 ? "\n" : "", views[i].name);
        if (views.size() > 1 && deviceAnywhere && !DeviceExists(args.device, view)) {
            printf("no device %s in this view\n", args.device.c_str());
            continue;
        }
        switch (args.verb) {
            case SetupArgs::Verb::Add:
                code = Add(args, view);
                break;
            case SetupArgs::Verb::List:
                code = List(view);
                break;
            case SetupArgs::Verb::Show:
                code = Show(args, view);
                break;
            case SetupArgs::Verb::Remove:
                code = Remove(args, view);
                break;
        }
    }
    fflush(stdout);
    return code;
}
