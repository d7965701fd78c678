// cdctl setup: how KEY=VALUE is stored, the command line, the effective value of every
// setting, and where the counter folder lies.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ras/counter_path.h"
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

TEST(SetupWrite, PlainNumbersOfNumberSettingsAreDwordsEverythingElseTextAsGiven) {
    const struct {
        const char* arg;
        Type type;
        const char* text;
        uint32_t number = 0;
    } cases[] = {
        {"DetectDelay_Time=-1", Type::Dword, "", 0xFFFFFFFFu},
        {"command_timeout=0100", Type::Dword, "", 100},
        {"Port=1", Type::Text, "1"},  // a text setting keeps digits as text
        // Numbers that are not plain stay text, for the service to read by its own rules.
        {"DrawerNo= 2", Type::Text, " 2"},
        {"DrawerNo=+2", Type::Text, "+2"},
        {"DrawerNo=0x2", Type::Text, "0x2"},
        {"DrawerNo=2147483648", Type::Text, "2147483648"},
        {"DrawerNo=00000000001", Type::Text, "00000000001"},  // more than ten digits
        {"Trace_Enable=1", Type::Text, "1"},
        {"Port_Initialize_String=19200,N,8,1=x", Type::Text, "19200,N,8,1=x"},
        // An empty value removes the setting; Path, and only Path, ends with a backslash.
        {"Port=", Type::Remove, ""},
        {"path=C:\\OPOS", Type::Text, "C:\\OPOS\\"},
    };
    for (const auto& c : cases) {
        const SettingWrite w = Write(c.arg);
        EXPECT_EQ(c.type, w.type) << c.arg;
        EXPECT_EQ(c.type == Type::Text ? c.text : w.text, w.text) << c.arg;
        EXPECT_EQ(c.type == Type::Dword ? c.number : w.number, w.number) << c.arg;
    }
    // Written in the setting's own spelling, whatever the letter case given.
    EXPECT_STREQ("Command_Timeout", Write("command_timeout=0100").setting->name);
}

// A command line given as one text, split at blanks.
SetupParse ParseSetup(const std::string& line, SetupArgs* out, std::string* error) {
    std::istringstream in(line);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return cdctl::ParseSetupArgs(static_cast<int>(argv.size()), argv.data(), out, error);
}

TEST(SetupArgs, OptionsAnywhereAndRefusalsBeforeAnythingIsWritten) {
    SetupArgs args;
    std::string error;
    ASSERT_EQ(SetupParse::Ok,
              ParseSetup("setup add --force Demo Port=SIMDEMO DrawerNo=2 --32", &args, &error))
        << error;
    EXPECT_TRUE(args.verb == SetupArgs::Verb::Add && args.device == "Demo" && args.force);
    EXPECT_EQ(SetupArgs::View::Bits32, args.view);
    ASSERT_EQ(2u, args.writes.size());
    EXPECT_STREQ("DrawerNo", args.writes[1].setting->name);
    ASSERT_EQ(SetupParse::Ok, ParseSetup("setup --both remove Demo --purge --both", &args, &error));
    EXPECT_TRUE(args.view == SetupArgs::View::Both && args.data == SetupArgs::Data::Purge);

    for (const char* line :
         {"setup", "setup create Demo", "setup add", "setup add Port=COM1",
          "setup add Demo Port=A port=B", "setup add Demo Colour=red", "setup add Demo Port",
          "setup add Demo =COM1", "setup show Demo Port=1", "setup list Demo", "setup remove A\\B",
          "setup remove --force Demo", "setup add --keep-stats Demo", "setup --32 add Demo --64",
          "setup remove --keep-stats Demo --purge"}) {
        EXPECT_EQ(SetupParse::Error, ParseSetup(line, &args, &error)) << line;
    }
}

std::map<std::string, std::string> Shown(const MemoryKey& key, const char* device,
                                         const char* folder) {
    std::map<std::string, std::string> shown;
    for (const auto& s : cdctl::EffectiveSettings(key, device, folder)) shown[s.name] = s.value;
    return shown;
}

// Every setting with a value of its own, written as `setup add` writes it: each line shows its
// own setting after the service's reading rules, and why a stored value was corrected.
TEST(SetupEffective, EachSettingShowsItsOwnValue) {
    const struct {
        const char* arg;
        const char* shows;
    } cases[] = {
        {"Port=SIM1", "\"SIM1\""},
        {"EventLog=Verbose2", "event-log level 3 (Verbose2); port library mode 2 (other text)"},
        {"DllMode=5", "100 (1 to 99: a status query at most every 100 ms)"},
        {"Trace_Enable=1", "FALSE"},
        {"Trace_Tick=true", "TRUE"},
        {"Command_Timeout=99", "6000 ms (below 100: the default)"},
        {"OpenDrawer_Timeout=70000", "60000 ms (above 60000: the longest wait)"},
        {"DrawerNo=2", "2"},
        {"DetectDelay_Time=-1", "300 ms"},
        {"SendDone_Timeout= 7000", "7000 ms"},
        {"CommandType= solenoid ", "Solenoid"},
        {"PulseWidthTime=300", "44 (only the low 8 bits are used)"},
        {"RestartCount=-1", "3"},
        {"Status_Mode=invert", "Invert"},
        {"VerboseLimit=3", "3"},
        {"Statistics=file", "2 (File)"},
        {"StatFileName=counters.txt", "C:\\ProgramData\\Bramwick\\counters.txt"},
    };
    MemoryKey key;
    for (const auto& c : cases) {
        const SettingWrite w = Write(c.arg);
        if (w.type == Type::Text) key.texts[w.setting->name] = w.text;
        if (w.type == Type::Dword) key.numbers[w.setting->name] = static_cast<int32_t>(w.number);
    }
    auto shown = Shown(key, "Drawer1", "C:\\ProgramData\\Bramwick");
    for (const auto& c : cases) {
        EXPECT_EQ(c.shows, shown[std::string(c.arg).substr(0, std::string(c.arg).find('='))])
            << c.arg;
    }
    // Without a name the default file lies in the counter folder.
    EXPECT_EQ("C:\\Data\\RASDemo.LOG", Shown(MemoryKey(), "Demo", "C:\\Data\\")["StatFileName"]);
}

// cdctl and the service find the counter folder the same way, and only a path inside it
// makes (or, at --purge, removes) that folder.
TEST(CounterFolder, CommonDataFolderElseTheModulesAndWhatLiesInIt) {
    EXPECT_EQ("C:\\ProgramData\\Bramwick", CounterDataFolderOf("C:\\ProgramData", "C:\\x\\B.dll"));
    EXPECT_EQ("C:\\PD\\Bramwick", CounterDataFolderOf("C:\\PD\\", ""));
    EXPECT_EQ("C:\\x", CounterDataFolderOf("", "C:\\x\\B.dll"));
    EXPECT_EQ("", CounterDataFolderOf("", ""));
    EXPECT_TRUE(IsInFolder("c:\\programdata\\bramwick\\RASA.LOG", "C:\\ProgramData\\Bramwick"));
    for (const char* outside : {"C:\\ProgramData\\BramwickX\\a", "C:\\ProgramData\\Bramwick\\",
                                "C:\\ProgramData\\Bramwick", "D:\\POS\\a.cnt"}) {
        EXPECT_FALSE(IsInFolder(outside, "C:\\ProgramData\\Bramwick")) << outside;
    }
    EXPECT_FALSE(IsInFolder("\\a", ""));
}

}  // namespace
