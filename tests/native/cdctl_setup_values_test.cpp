// cdctl setup: accepted settings, how KEY=VALUE is stored, the command line, and the
// effective values `setup show` prints.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/native/memory_key.h"
#include "tools/cdctl/setup_values.h"

namespace {

using cdctl::SettingWrite;
using cdctl::SetupArgs;
using cdctl::SetupParse;
using Type = SettingWrite::Type;

SettingWrite Write(const std::string& arg) {
    SettingWrite w;
    std::string error;
    EXPECT_TRUE(cdctl::ParseSettingWrite(arg, &w, &error)) << arg << ": " << error;
    return w;
}

// Stores in the key what `setup add` would write for one argument.
void Apply(MemoryKey& key, const std::string& arg) {
    const SettingWrite w = Write(arg);
    key.texts.erase(w.setting->name);
    key.numbers.erase(w.setting->name);
    if (w.type == Type::Text) key.texts[w.setting->name] = w.text;
    if (w.type == Type::Dword) key.numbers[w.setting->name] = static_cast<int32_t>(w.number);
}

std::map<std::string, std::string> Effective(
    const MemoryKey& key, const std::string& device = "Demo",
    const std::string& folder = "C:\\ProgramData\\Bramwick") {
    std::map<std::string, std::string> values;
    for (const cdctl::EffectiveSetting& s : cdctl::EffectiveSettings(key, device, folder)) {
        values[s.name] = s.value;
    }
    return values;
}

TEST(SetupSettings, NamesAreFoundWithoutRegardToCase) {
    EXPECT_STREQ("Port", cdctl::FindSetting("PORT")->name);
    EXPECT_STREQ("OpenDrawer_Timeout", cdctl::FindSetting("opendrawer_timeout")->name);
    for (const char* unknown : {"Prot", "Port ", ""})
        EXPECT_EQ(nullptr, cdctl::FindSetting(unknown));
    EXPECT_EQ(cdctl::SettingPlace::MakerKey, cdctl::FindSetting("path")->place);
    EXPECT_EQ(cdctl::SettingKind::Boolean, cdctl::FindSetting("Trace_Enable")->kind);
}

TEST(SetupWrite, PlainNumbersOfNumberSettingsAreDwordsEverythingElseTextAsGiven) {
    const struct {
        const char* arg;
        Type type;
        const char* text;
        uint32_t number = 0;
    } cases[] = {
        {"DrawerNo=2", Type::Dword, "", 2},
        {"DetectDelay_Time=-1", Type::Dword, "", 0xFFFFFFFFu},
        {"command_timeout=0100", Type::Dword, "", 100},
        {"DrawerNo=2147483647", Type::Dword, "", 0x7FFFFFFFu},
        {"DrawerNo=-2147483648", Type::Dword, "", 0x80000000u},
        {"Port=1", Type::Text, "1"},  // a text setting keeps digits as text
        // Numbers that are not plain stay text, for the service to read by its own rules.
        {"DrawerNo= 2", Type::Text, " 2"},
        {"DrawerNo=2ms", Type::Text, "2ms"},
        {"DrawerNo=+2", Type::Text, "+2"},
        {"DrawerNo=0x2", Type::Text, "0x2"},
        {"DrawerNo=2147483648", Type::Text, "2147483648"},
        {"DrawerNo=00000000001", Type::Text, "00000000001"},  // more than ten digits
        {"DrawerNo=-", Type::Text, "-"},
        {"Trace_Enable=1", Type::Text, "1"},
        {"EventLog=Verbose 1", Type::Text, "Verbose 1"},
        {"Port_Initialize_String=19200,N,8,1=x", Type::Text, "19200,N,8,1=x"},
        // An empty value removes the setting; Path, and only Path, ends with a backslash.
        {"Port=", Type::Remove, ""},
        {"DrawerNo=", Type::Remove, ""},
        {"Path=", Type::Remove, ""},
        {"Path=C:\\OPOS", Type::Text, "C:\\OPOS\\"},
        {"Path=C:\\OPOS\\", Type::Text, "C:\\OPOS\\"},
        {"StatFileName=C:\\logs", Type::Text, "C:\\logs"},
    };
    for (const auto& c : cases) {
        const SettingWrite w = Write(c.arg);
        EXPECT_EQ(c.type, w.type) << c.arg;
        EXPECT_EQ(c.type == Type::Text ? c.text : w.text, w.text) << c.arg;
        EXPECT_EQ(c.type == Type::Dword ? c.number : w.number, w.number) << c.arg;
    }
    EXPECT_STREQ("Command_Timeout", Write("command_timeout=0100").setting->name);
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

TEST(SetupWrite, FolderOfAPath) {
    EXPECT_EQ("C:\\a\\", cdctl::FolderOf("C:\\a\\cdctl.exe"));
    EXPECT_EQ("Z:\\", cdctl::FolderOf("Z:\\cdctl.exe"));
    EXPECT_EQ("", cdctl::FolderOf("cdctl.exe"));
}

// A command line given as one text, split at blanks.
SetupParse ParseSetup(const std::string& line, SetupArgs* out, std::string* error) {
    std::istringstream in(line);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return cdctl::ParseSetupArgs(static_cast<int>(argv.size()), argv.data(), out, error);
}

TEST(SetupArgs, AddWithSettingsAndTheRegistryView) {
    SetupArgs args;
    std::string error;
    ASSERT_EQ(SetupParse::Ok,
              ParseSetup("setup add Demo Port=SIMDEMO DrawerNo=2 --32", &args, &error))
        << error;
    EXPECT_EQ(SetupArgs::Verb::Add, args.verb);
    EXPECT_EQ("Demo", args.device);
    EXPECT_EQ(SetupArgs::View::Bits32, args.view);
    ASSERT_EQ(2u, args.writes.size());
    EXPECT_STREQ("Port", args.writes[0].setting->name);
    EXPECT_STREQ("DrawerNo", args.writes[1].setting->name);
    ASSERT_EQ(SetupParse::Ok, ParseSetup("setup add Demo", &args, &error));
    EXPECT_TRUE(args.writes.empty());
    EXPECT_EQ(SetupArgs::View::Own, args.view);

    // A view option may stand anywhere and be repeated; another view is a contradiction.
    const std::pair<const char*, SetupArgs::View> views[] = {
        {"setup --64 show Demo", SetupArgs::View::Bits64},
        {"setup --both add Demo --both", SetupArgs::View::Both},
        {"setup list --32", SetupArgs::View::Bits32},
    };
    for (const auto& [line, view] : views) {
        ASSERT_EQ(SetupParse::Ok, ParseSetup(line, &args, &error)) << line << ": " << error;
        EXPECT_EQ(view, args.view) << line;
    }
    for (const char* line : {"setup --32 add Demo --64", "setup --both remove Demo --32",
                             "setup remove --keep-stats Demo --purge"}) {
        EXPECT_EQ(SetupParse::Error, ParseSetup(line, &args, &error)) << line;
        EXPECT_NE(std::string::npos, error.find("only one of")) << line << ": " << error;
    }
    ASSERT_EQ(SetupParse::Ok, ParseSetup("setup add --force Demo", &args, &error)) << error;
    EXPECT_TRUE(args.force);
    ASSERT_EQ(SetupParse::Ok, ParseSetup("setup remove Demo --purge", &args, &error)) << error;
    EXPECT_EQ(SetupArgs::Data::Purge, args.data);
}

TEST(SetupArgs, BadInputIsRefusedWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"setup", ""},
        {"setup create Demo", "unknown command 'create'"},
        {"setup add", "add needs the device NAME"},
        {"setup add Port=COM1", "NAME comes before"},
        {"setup add Demo Port=A port=B", "Port is given twice"},
        {"setup add Demo Colour=red", "Valid settings"},
        {"setup show Demo Port=1", ""},
        {"setup list Demo", ""},
        {"setup remove A\\B", ""},
        {"setup remove --force Demo", "--force belongs to add"},
        {"setup add --keep-stats Demo", "belong to remove"},
    };
    for (const auto& [line, message] : cases) {
        SetupArgs args;
        std::string error;
        EXPECT_EQ(SetupParse::Error, ParseSetup(line, &args, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
        EXPECT_NE(std::string::npos, error.find(message)) << line << ": " << error;
    }
    SetupArgs args;
    std::string error;
    EXPECT_EQ(SetupParse::Help, ParseSetup("setup add --help", &args, &error));
}

TEST(SetupEffective, AbsentValuesShowTheDefaults) {
    auto v = Effective(MemoryKey());
    EXPECT_EQ("\"ZeZAZ.dll\"", v["PortDll"]);
    EXPECT_EQ("\"\"", v["Port"]);
    EXPECT_EQ("event-log level 0 (Disable); port library mode 0 (Disable)", v["EventLog"]);
    EXPECT_EQ("1", v["VerboseLimit"]);
    EXPECT_EQ("6000 ms", v["Command_Timeout"]);  // a default is no correction
    EXPECT_EQ("0 (Disable)", v["Statistics"]);
    EXPECT_EQ("C:\\ProgramData\\Bramwick\\RASDemo.LOG", v["StatFileName"]);
}

// Every setting with a value of its own, written as `setup add` writes it: each line shows its
// own setting after the service's reading rules and corrections, and why a stored value was
// corrected.
TEST(SetupEffective, EachSettingShowsItsOwnValue) {
    const struct {
        const char* arg;
        const char* shows;
    } cases[] = {
        {"PortDll=X.dll", "\"X.dll\""},
        {"Port=SIM1", "\"SIM1\""},
        {"Port_Initialize_String=9600,E,7,1", "\"9600,E,7,1\""},
        {"EventLogPortName=P9", "\"P9\""},
        {"EventLog=Verbose2", "event-log level 3 (Verbose2); port library mode 2 (other text)"},
        {"DllMode=5", "100 (1 to 99: a status query at most every 100 ms)"},
        {"NoDwOpenAtChkExt=Yes", "FALSE"},
        {"Trace_Enable=1", "FALSE"},
        {"Trace_Tick=true", "TRUE"},
        {"Command_Timeout=99", "6000 ms (below 100: the default)"},
        {"OpenDrawer_Timeout=70000", "60000 ms (above 60000: the longest wait)"},
        {"DrawerNo=2", "2"},
        {"DetectDelay_Time=-1", "300 ms"},
        {"SendReady_Timeout=5000ms", "5000 ms"},
        {"SendDone_Timeout= 7000", "7000 ms"},
        {"CommandType= solenoid ", "Solenoid"},
        {"PulseWidthTime=300", "44 (only the low 8 bits are used)"},
        {"RestartHardwareID=USB\\1", "\"USB\\1\""},
        {"RestartCount=-1", "3"},
        {"RestartTimeout=104", "104 ms"},
        {"Status_Mode=invert", "Invert"},
        {"VerboseLimit=3", "3"},
        {"Statistics=file", "2 (File)"},
        {"StatFileName=counters.txt", "C:\\ProgramData\\Bramwick\\counters.txt"},
    };
    MemoryKey key;
    for (const auto& c : cases) Apply(key, c.arg);
    auto shown = Effective(key, "Drawer1");
    EXPECT_EQ(std::size(cases), shown.size());
    for (const auto& c : cases) {
        const std::string name = std::string(c.arg).substr(0, std::string(c.arg).find('='));
        EXPECT_EQ(c.shows, shown[name]) << c.arg;
    }

    // Without the limit the level is off, while the port library still sees "other text".
    Apply(key, "VerboseLimit=");
    EXPECT_EQ("event-log level 0 (Disable); port library mode 2 (other text)",
              Effective(key)["EventLog"]);
}

}  // namespace
