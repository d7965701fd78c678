// cdctl setup: accepted settings, how KEY=VALUE is stored, the command line, and the
// effective values `setup show` prints.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/cdctl/setup_values.h"
#include "util/config_rules.h"

namespace {

using cdctl::SettingWrite;
using cdctl::SetupArgs;
using cdctl::SetupParse;

// A device key in memory with the registry utility's reading rules: texts are REG_SZ
// values, numbers REG_DWORD values.
class MemoryKey : public ConfigSource {
public:
    std::map<std::string, std::string> texts;
    std::map<std::string, int32_t> numbers;

    // Stores what `setup add` would write for one argument.
    void Apply(const SettingWrite& w) {
        texts.erase(w.setting->name);
        numbers.erase(w.setting->name);
        if (w.type == SettingWrite::Type::Text) texts[w.setting->name] = w.text;
        if (w.type == SettingWrite::Type::Dword) {
            numbers[w.setting->name] = static_cast<int32_t>(w.number);
        }
    }
    BOOL GetBoolDefFalse(const char* name) const override { return Bool(name, 0); }
    BOOL GetBoolDefTrue(const char* name) const override { return Bool(name, 1); }
    LONG GetLongDefZero(const char* name) const override { return Long(name, 0); }
    LONG GetLongDefMinusOne(const char* name) const override { return Long(name, -1); }
    char* GetString(const char* name) const override {
        auto it = texts.find(name);
        if (it == texts.end()) return nullptr;
        char* copy = new char[it->second.size() + 1];
        memcpy(copy, it->second.c_str(), it->second.size() + 1);
        return copy;
    }

private:
    BOOL Bool(const char* name, BOOL fallback) const {
        auto it = texts.find(name);
        return it == texts.end() ? fallback : BoolFromText(it->second.c_str());
    }
    LONG Long(const char* name, LONG fallback) const {
        if (auto n = numbers.find(name); n != numbers.end()) return n->second;
        auto t = texts.find(name);
        return t == texts.end() ? fallback : LongFromText(t->second.c_str());
    }
};

SettingWrite Write(const std::string& arg) {
    SettingWrite w;
    std::string error;
    EXPECT_TRUE(cdctl::ParseSettingWrite(arg, &w, &error)) << arg << ": " << error;
    return w;
}

std::map<std::string, std::string> Effective(const MemoryKey& key,
                                             const std::string& device = "Demo",
                                             const std::string& dll = "C:\\OPOS\\Bramwick.dll") {
    std::map<std::string, std::string> values;
    for (const cdctl::EffectiveSetting& s : cdctl::EffectiveSettings(key, device, dll)) {
        values[s.name] = s.value;
    }
    return values;
}

// --- Which settings exist ----------------------------------------------------------------

TEST(SetupSettings, NamesAreFoundWithoutRegardToCase) {
    ASSERT_NE(nullptr, cdctl::FindSetting("port"));
    EXPECT_STREQ("Port", cdctl::FindSetting("PORT")->name);
    EXPECT_STREQ("OpenDrawer_Timeout", cdctl::FindSetting("opendrawer_timeout")->name);
    EXPECT_EQ(nullptr, cdctl::FindSetting("Prot"));
    EXPECT_EQ(nullptr, cdctl::FindSetting("Port "));
    EXPECT_EQ(nullptr, cdctl::FindSetting(""));
    EXPECT_EQ(cdctl::SettingPlace::MakerKey, cdctl::FindSetting("path")->place);
    EXPECT_EQ(cdctl::SettingKind::Boolean, cdctl::FindSetting("Trace_Enable")->kind);
}

TEST(SetupSettings, EveryDeviceSettingHasAnEffectiveValue) {
    MemoryKey empty;
    auto values = Effective(empty);
    size_t deviceSettings = 0;
    for (const cdctl::SettingInfo& s : cdctl::AllSettings()) {
        if (s.place != cdctl::SettingPlace::DeviceKey) continue;
        ++deviceSettings;
        ASSERT_EQ(1u, values.count(s.name)) << s.name;
        EXPECT_NE("", values[s.name]) << s.name;
    }
    EXPECT_EQ(deviceSettings, values.size());
    EXPECT_EQ(24u, deviceSettings);  // 21 configuration values and 3 reliability settings
}

// --- How arguments are stored ------------------------------------------------------------

TEST(SetupWrite, PlainNumbersOfNumericSettingsBecomeDwords) {
    SettingWrite w = Write("DrawerNo=2");
    EXPECT_EQ(SettingWrite::Type::Dword, w.type);
    EXPECT_EQ(2u, w.number);
    SettingWrite negative = Write("DetectDelay_Time=-1");
    EXPECT_EQ(SettingWrite::Type::Dword, negative.type);
    EXPECT_EQ(0xFFFFFFFFu, negative.number);
    EXPECT_EQ(SettingWrite::Type::Dword, Write("command_timeout=0100").type);
    EXPECT_STREQ("Command_Timeout", Write("command_timeout=0100").setting->name);
}

TEST(SetupWrite, EverythingElseIsTextAsGiven) {
    // Text settings keep digits as text.
    SettingWrite port = Write("Port=1");
    EXPECT_EQ(SettingWrite::Type::Text, port.type);
    EXPECT_EQ("1", port.text);
    // Numbers that are not plain stay text, for the service to read by its own rules.
    for (const char* arg : {"DrawerNo= 2", "DrawerNo=2ms", "DrawerNo=+2", "DrawerNo=0x2",
                            "DrawerNo=4294967296", "DrawerNo=-"}) {
        EXPECT_EQ(SettingWrite::Type::Text, Write(arg).type) << arg;
    }
    EXPECT_EQ(SettingWrite::Type::Text, Write("Trace_Enable=1").type);
    EXPECT_EQ("Verbose 1", Write("EventLog=Verbose 1").text);
    EXPECT_EQ("19200,N,8,1=x", Write("Port_Initialize_String=19200,N,8,1=x").text);
}

TEST(SetupWrite, EmptyValueRemovesTheSetting) {
    EXPECT_EQ(SettingWrite::Type::Remove, Write("Port=").type);
    EXPECT_EQ(SettingWrite::Type::Remove, Write("DrawerNo=").type);
    EXPECT_EQ(SettingWrite::Type::Remove, Write("Path=").type);
}

TEST(SetupWrite, PathEndsWithABackslash) {
    EXPECT_EQ("C:\\OPOS\\", Write("Path=C:\\OPOS").text);
    EXPECT_EQ("C:\\OPOS\\", Write("Path=C:\\OPOS\\").text);
    // Other texts are never changed.
    EXPECT_EQ("C:\\logs", Write("StatFileName=C:\\logs").text);
}

TEST(SetupWrite, UnknownOrMalformedArguments) {
    SettingWrite w;
    std::string error;
    EXPECT_FALSE(cdctl::ParseSettingWrite("Prot=COM1", &w, &error));
    EXPECT_EQ(0u, error.find("unknown setting 'Prot'. Valid settings: PortDll, Port, "));
    EXPECT_NE(std::string::npos, error.find("StatFileName, Path"));
    EXPECT_FALSE(cdctl::ParseSettingWrite("Port", &w, &error));
    EXPECT_EQ("'Port' is not KEY=VALUE", error);
    EXPECT_FALSE(cdctl::ParseSettingWrite("=COM1", &w, &error));
}

TEST(SetupWrite, PlainNumbersAndFolders) {
    int32_t v = 0;
    EXPECT_TRUE(cdctl::IsPlainNumber("2147483647", &v));
    EXPECT_FALSE(cdctl::IsPlainNumber("2147483648", &v));
    EXPECT_TRUE(cdctl::IsPlainNumber("-2147483648", &v));
    EXPECT_EQ(INT32_MIN, v);
    EXPECT_FALSE(cdctl::IsPlainNumber("-", &v));
    EXPECT_FALSE(cdctl::IsPlainNumber("", &v));
    EXPECT_FALSE(cdctl::IsPlainNumber("00000000001", &v));  // more than ten digits
    EXPECT_EQ("C:\\a\\", cdctl::FolderOf("C:\\a\\cdctl.exe"));
    EXPECT_EQ("Z:\\", cdctl::FolderOf("Z:\\cdctl.exe"));
    EXPECT_EQ("", cdctl::FolderOf("cdctl.exe"));
}

// --- Command line ------------------------------------------------------------------------

SetupParse ParseSetup(std::initializer_list<const char*> argv, SetupArgs* out, std::string* error) {
    std::vector<const char*> v(argv);
    return cdctl::ParseSetupArgs(static_cast<int>(v.size()), v.data(), out, error);
}

TEST(SetupArgs, AddWithSettingsAndTheRegistryView) {
    SetupArgs args;
    std::string error;
    ASSERT_EQ(
        SetupParse::Ok,
        ParseSetup({"setup", "add", "Demo", "Port=SIMDEMO", "DrawerNo=2", "--32"}, &args, &error))
        << error;
    EXPECT_EQ(SetupArgs::Verb::Add, args.verb);
    EXPECT_EQ("Demo", args.device);
    EXPECT_TRUE(args.registry32);
    ASSERT_EQ(2u, args.writes.size());
    EXPECT_STREQ("Port", args.writes[0].setting->name);
    EXPECT_STREQ("DrawerNo", args.writes[1].setting->name);
    ASSERT_EQ(SetupParse::Ok, ParseSetup({"setup", "add", "Demo"}, &args, &error));
    EXPECT_TRUE(args.writes.empty());
    EXPECT_FALSE(args.registry32);
}

TEST(SetupArgs, BadInputIsRefusedWithAReason) {
    SetupArgs args;
    std::string error;
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup"}, &args, &error));
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup", "create", "Demo"}, &args, &error));
    EXPECT_NE(std::string::npos, error.find("unknown command 'create'"));
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup", "add"}, &args, &error));
    EXPECT_EQ("add needs the device NAME", error);
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup", "add", "Port=COM1"}, &args, &error));
    EXPECT_NE(std::string::npos, error.find("NAME comes before"));
    EXPECT_EQ(SetupParse::Error,
              ParseSetup({"setup", "add", "Demo", "Port=A", "port=B"}, &args, &error));
    EXPECT_EQ("Port is given twice", error);
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup", "add", "Demo", "Colour=red"}, &args, &error));
    EXPECT_NE(std::string::npos, error.find("Valid settings"));
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup", "show", "Demo", "Port=1"}, &args, &error));
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup", "list", "Demo"}, &args, &error));
    EXPECT_EQ(SetupParse::Error, ParseSetup({"setup", "remove", "A\\B"}, &args, &error));
    EXPECT_EQ(SetupParse::Help, ParseSetup({"setup", "add", "--help"}, &args, &error));
}

// --- Effective values --------------------------------------------------------------------

TEST(SetupEffective, EmptyKeyShowsEveryDefault) {
    auto v = Effective(MemoryKey());
    EXPECT_EQ("\"ZeZAZ.dll\"", v["PortDll"]);
    EXPECT_EQ("\"\"", v["Port"]);
    EXPECT_EQ("\"19200,N,8,1\"", v["Port_Initialize_String"]);
    EXPECT_EQ("event-log level 0 (Disable); port library mode 0 (Disable)", v["EventLog"]);
    EXPECT_EQ("TRUE", v["Trace_Enable"]);
    EXPECT_EQ("FALSE", v["Trace_Tick"]);
    EXPECT_EQ("6000 ms", v["Command_Timeout"]);
    EXPECT_EQ("3000 ms", v["OpenDrawer_Timeout"]);
    EXPECT_EQ("1", v["DrawerNo"]);
    EXPECT_EQ("300 ms", v["DetectDelay_Time"]);
    EXPECT_EQ("3000 ms", v["SendReady_Timeout"]);
    EXPECT_EQ("6000 ms", v["SendDone_Timeout"]);
    EXPECT_EQ("Normal", v["CommandType"]);
    EXPECT_EQ("3", v["RestartCount"]);
    EXPECT_EQ("3000 ms", v["RestartTimeout"]);
    EXPECT_EQ("Normal", v["Status_Mode"]);
    EXPECT_EQ("1", v["VerboseLimit"]);
    EXPECT_EQ("0 (Disable)", v["Statistics"]);
    EXPECT_EQ("C:\\OPOS\\RASDemo.LOG", v["StatFileName"]);
}

TEST(SetupEffective, CorrectionsApplyToWhatSetupWrites) {
    MemoryKey key;
    for (const char* arg : {"OpenDrawer_Timeout=100", "Command_Timeout=99", "DrawerNo=3",
                            "DetectDelay_Time=-5", "PulseWidthTime=300", "RestartCount=-1"}) {
        key.Apply(Write(arg));
    }
    auto v = Effective(key);
    EXPECT_EQ("3000 ms", v["OpenDrawer_Timeout"]);
    EXPECT_EQ("6000 ms", v["Command_Timeout"]);
    EXPECT_EQ("1", v["DrawerNo"]);
    EXPECT_EQ("300 ms", v["DetectDelay_Time"]);
    EXPECT_EQ("44", v["PulseWidthTime"]);  // the low 8 bits of 300
    EXPECT_EQ("3", v["RestartCount"]);

    key.Apply(Write("OpenDrawer_Timeout=101"));
    key.Apply(Write("DrawerNo=2"));
    EXPECT_EQ("101 ms", Effective(key)["OpenDrawer_Timeout"]);
    EXPECT_EQ("2", Effective(key)["DrawerNo"]);
}

TEST(SetupEffective, TextNumbersReadLikeTheirDwords) {
    // A number stored as text (not plain) is read by the service's own text rules.
    MemoryKey key;
    key.Apply(Write("SendReady_Timeout=5000ms"));
    key.Apply(Write("SendDone_Timeout= 7000"));
    auto v = Effective(key);
    EXPECT_EQ("5000 ms", v["SendReady_Timeout"]);
    EXPECT_EQ("7000 ms", v["SendDone_Timeout"]);
}

TEST(SetupEffective, BooleansAreTrueOnlyForTextStartingWithT) {
    MemoryKey key;
    key.Apply(Write("Trace_Enable=1"));
    key.Apply(Write("Trace_Tick=true"));
    key.Apply(Write("NoDwOpenAtChkExt=Yes"));
    auto v = Effective(key);
    EXPECT_EQ("FALSE", v["Trace_Enable"]);
    EXPECT_EQ("TRUE", v["Trace_Tick"]);
    EXPECT_EQ("FALSE", v["NoDwOpenAtChkExt"]);
}

TEST(SetupEffective, WordsAndTheReliabilitySettings) {
    MemoryKey key;
    key.Apply(Write("CommandType= solenoid "));
    key.Apply(Write("Status_Mode=invert"));
    key.Apply(Write("EventLog=Verbose2"));
    key.Apply(Write("VerboseLimit=3"));
    key.Apply(Write("Statistics=file"));
    key.Apply(Write("StatFileName=counters.txt"));
    auto v = Effective(key, "Drawer1", "C:\\Program Files\\OPOS\\Bramwick.dll");
    EXPECT_EQ("Solenoid", v["CommandType"]);
    EXPECT_EQ("Invert", v["Status_Mode"]);
    EXPECT_EQ("event-log level 3 (Verbose2); port library mode 2 (other text)", v["EventLog"]);
    EXPECT_EQ("3", v["VerboseLimit"]);
    EXPECT_EQ("2 (File)", v["Statistics"]);
    EXPECT_EQ("C:\\Program Files\\OPOS\\counters.txt", v["StatFileName"]);

    // Above the limit the level is off, while the port library still sees "other text".
    key.Apply(Write("VerboseLimit="));
    EXPECT_EQ("event-log level 0 (Disable); port library mode 2 (other text)",
              Effective(key)["EventLog"]);
    // A blank before the word means normal status.
    key.Apply(Write("Status_Mode= Invert"));
    EXPECT_EQ("Normal", Effective(key)["Status_Mode"]);
    key.Apply(Write("StatFileName=D:\\pos\\c.cnt"));
    EXPECT_EQ("D:\\pos\\c.cnt", Effective(key)["StatFileName"]);
}

}  // namespace
