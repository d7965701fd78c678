// `cdctl setup`: the settings a device entry may hold, how a KEY=VALUE argument is stored,
// and how every setting reads once the service's defaults and corrections are applied.
// Pure C++; the registry itself is reached by cmd_setup.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/config_source.h"

namespace cdctl {

enum class SettingKind {
    Text,     // any text
    Number,   // REG_DWORD, or a decimal REG_SZ
    Boolean,  // REG_SZ; TRUE when it starts with T or t
    Word,     // REG_SZ compared with a few known words
};

enum class SettingPlace {
    DeviceKey,  // HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\NAME
    MakerKey,   // HKLM\SOFTWARE\Velmora\Vantrel
};

struct ServiceReading;

struct SettingInfo {
    const char* name;  // registry value name, in its own spelling
    SettingKind kind;
    SettingPlace place;
    // The value the service works with, as `setup show` prints it (device-key settings only).
    std::string (*describe)(const ServiceReading&);
};

// Every setting cdctl setup accepts, in the order `setup show` lists them: the configuration
// read by OpenService, then the reliability settings, then the maker's Path.
const std::vector<SettingInfo>& AllSettings();
// The setting of that name, compared without regard to letter case; null when unknown.
const SettingInfo* FindSetting(const std::string& name);

// What `setup add` writes for one KEY=VALUE.
struct SettingWrite {
    enum class Type { Text, Dword, Remove };
    const SettingInfo* setting = nullptr;
    Type type = Type::Text;
    std::string text;     // Text
    uint32_t number = 0;  // Dword
};

// Number settings whose value is a plain decimal number (an optional '-' and at most ten
// digits, within 32 bits) are stored as REG_DWORD; every other value is stored as REG_SZ text
// as given. An empty value removes the setting so that its default applies again. Path gets a
// trailing backslash when it has none.
bool ParseSettingWrite(const std::string& arg, SettingWrite* out, std::string* error);

// `cdctl setup [--32|--64|--both] add [--force]|list|show|remove [--keep-stats|--purge] ...`
struct SetupArgs {
    enum class Verb { Add, List, Show, Remove };
    // What `remove` does with the device's data: delete the saved statistics with the entry,
    // keep them (the "Stat" subkey stays), or delete the counter file as well.
    enum class Data { Delete, KeepStatistics, Purge };
    // The registry view worked on: cdctl's own, the 32-bit one (where a 32-bit service reads
    // on 64-bit Windows), the native one of 64-bit Windows, or the 32-bit and then the native.
    enum class View { Own, Bits32, Bits64, Both };
    Verb verb = Verb::List;
    std::string device;
    std::vector<SettingWrite> writes;
    View view = View::Own;
    bool force = false;  // add: take over a device whose ProgID names another service object
    Data data = Data::Delete;
};

enum class SetupParse { Ok, Help, Error };
// argv[0] is "setup". A setting named twice, an unknown setting or a bad device name is an
// error that lists what is accepted.
SetupParse ParseSetupArgs(int argc, const char* const* argv, SetupArgs* out, std::string* error);
const char* SetupUsage();

// One line of `setup show`: the value the service works with.
struct EffectiveSetting {
    std::string name;
    std::string value;
};

// Every device-key setting of AllSettings() as the service reads it from deviceKey, after its
// defaults and corrections. A stored value the service corrects is followed by the reason, in
// brackets. counterFolder is the folder that holds the default and relative counter files.
std::vector<EffectiveSetting> EffectiveSettings(const ConfigSource& deviceKey,
                                                const std::string& deviceName,
                                                const std::string& counterFolder);

}  // namespace cdctl
