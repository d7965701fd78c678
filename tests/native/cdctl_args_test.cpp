// cdctl's command lines: what each session and ras word becomes, what it asks for, what is
// refused before anything runs, and the exit-code rules; how setup stores KEY=VALUE and shows
// the effective value of every setting, and where the counter folder lies; the text helpers.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ras/counter_path.h"
#include "tests/native/memory_key.h"
#include "tools/cdctl/cdctl_text.h"
#include "tools/cdctl/ras_script.h"
#include "tools/cdctl/session_script.h"
#include "tools/cdctl/setup_values.h"

namespace {

using cdctl::ArgsResult;
using cdctl::Step;
using K = cdctl::StepKind;
using Numbers = std::vector<int32_t>;

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

// A command line given as one text, split at blanks.
template <class Result, class Args>
Result Parse(Result (*parse)(int, const char* const*, Args*, std::string*), const std::string& line,
             Args* out, std::string* error) {
    const std::vector<std::string> words = Words(line);
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return parse(static_cast<int>(argv.size()), argv.data(), out, error);
}

TEST(SessionStep, WhatEachStepCallsWith) {
    const struct {
        std::string word;
        K kind;
        Numbers numbers;
        std::string text;
    } cases[] = {
        {"OpenDrawer", K::OpenDrawer, {}, ""},
        {"freeze:on", K::Freeze, {1}, ""},
        {"cofreeze:OFF", K::CoFreeze, {0}, ""},
        {"claim:-1", K::Claim, {-1}, ""},
        {"waitclose:500,1000,200,300", K::WaitClose, {500, 1000, 200, 300}, ""},
        {"wait-events:2", K::WaitEvents, {2, 10000}, ""},
        {"wait-events:1,250", K::WaitEvents, {1, 250}, ""},
        // Statistics requests are the whole rest of the word, '=' and ',' included.
        {"updatestats:ModelName=A=B,SerialNumber=",
         K::UpdateStats,
         {},
         "ModelName=A=B,SerialNumber="},
        {"resetstats:,", K::ResetStats, {}, ","},
        // DirectIO: command, data (bit 31 in hex), then the text with its escapes resolved.
        {"directio:111", K::DirectIO, {111, 0}, ""},
        {"directio:110,0x80000002", K::DirectIO, {110, -2147483646}, ""},
        {"directio:114,1,a=b,c", K::DirectIO, {114, 1}, "a=b,c"},
        {"directio:114,1,N%20%0d%0A%09%%%%", K::DirectIO, {114, 1}, "N \r\n\t%%"},
        {"directio:114,1,%00", K::DirectIO, {114, 1}, std::string(1, '\0')},
        {"directio:115,2,D:\\backup\\x.cnt", K::DirectIO, {115, 2}, "D:\\backup\\x.cnt"},
    };
    for (const auto& c : cases) {
        Step s;
        std::string error;
        ASSERT_TRUE(cdctl::ParseStep(c.word, &s, &error)) << c.word << ": " << error;
        EXPECT_EQ(c.kind, s.kind) << c.word;
        EXPECT_EQ(c.numbers, s.numbers) << c.word;
        EXPECT_EQ(c.text, s.text) << c.word;
        EXPECT_FALSE(s.expected) << c.word;
    }
    for (const std::string& word :
         Words("open:CashDrawer opendrawer: claim claim:-2 claim:1s claim:0x10 freeze:yes "
               "cofreeze opendraw :100 waitclose:500,1000,200,300,1 waitclose:500,,200,300 "
               "health health:two sleep:3600001 sleep:-1 wait-events:0 wait-events:1,2,3 "
               "wait-events:1,-1 directio directio: directio:abc directio:110,zz "
               "directio:114,1,50% directio:114,1,%4 directio:114,1,%g0 open=109 "
               "directio:110,3=106")) {
        Step s;
        std::string error;
        EXPECT_FALSE(cdctl::ParseStep(word, &s, &error)) << word;
        EXPECT_FALSE(error.empty()) << word;
    }
}

// One way to ask for a result: a word expect:CODE after the step.
TEST(SessionScript, ExpectWordsAndTheResultsTheyMeet) {
    std::vector<Step> steps;
    std::string error;
    ASSERT_TRUE(cdctl::ParseScript(Words("open expect:e_noexist opendrawer expect:OPOS_E_DISABLED "
                                         "updatestats:HoursPoweredCount=5 expect:106 close "
                                         "expect:success health:1 EXPECT:-1"),
                                   &steps, &error))
        << error;
    const int32_t asked[] = {109, 105, 106, 0, -1};
    ASSERT_EQ(std::size(asked), steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_TRUE(cdctl::ResultMeets(steps[i], asked[i])) << i;
        EXPECT_FALSE(cdctl::ResultMeets(steps[i], asked[i] == 0 ? 111 : 0)) << i;
    }
    EXPECT_FALSE(cdctl::ResultMeets(Step(), 106));  // no expectation: success only

    // Errors name the word by its position; nothing is run.
    const std::pair<const char*, const char*> bad[] = {
        {"expect:0 open", "step 1 'expect:0'"},
        {"open expect:109 expect:109", "step 3"},
        {"open expect:what", "step 2 'expect:what'"},
        {"open expect:OPOS_", "step 2"},
        {"open expect:E_", "step 2"},
        {"open claim:x", "step 2 'claim:x'"},
        {"", "no steps"},
    };
    for (const auto& [line, where] : bad) {
        EXPECT_FALSE(cdctl::ParseScript(Words(line), &steps, &error)) << line;
        EXPECT_EQ(0u, error.find(where)) << line << ": " << error;
    }
}

TEST(SessionExitCode, FirstUnexpectedResultBecomesTheExitCode) {
    for (int32_t code : {111, 109, 4, 255}) EXPECT_EQ(code, cdctl::ExitCodeForResult(code));
    // Success where a failure was asked for must not read as a passed session.
    EXPECT_EQ(cdctl::kExitUnexpectedSuccess, cdctl::ExitCodeForResult(0));
    // Codes that would collide with cdctl's own exit codes, or do not fit, become 255.
    for (int32_t code : {1, 2, 3, 256, -1, 400}) EXPECT_EQ(255, cdctl::ExitCodeForResult(code));
}

TEST(SessionArgs, OptionsNameAndSteps) {
    cdctl::SessionArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok,
              Parse(cdctl::ParseSessionArgs, "session --keep-going --progid X.Y.1 Demo open close",
                    &args, &error))
        << error;
    EXPECT_TRUE(args.keepGoing);
    EXPECT_EQ("X.Y.1", args.progId);
    EXPECT_EQ(2u, args.steps.size());
    EXPECT_EQ(ArgsResult::Help,
              Parse(cdctl::ParseSessionArgs, "session Demo open --help", &args, &error));
    // After NAME every word is a step, so an option there is a bad step.
    for (const char* line :
         {"Demo open --keep-going", "", "Demo", "--progid", "--fast Demo open", "A\\B open"}) {
        EXPECT_EQ(ArgsResult::Error,
                  Parse(cdctl::ParseSessionArgs, std::string("session ") + line, &args, &error))
            << line;
    }
    std::string katakana;  // 200 characters, three bytes each
    for (int i = 0; i < 200; ++i) katakana += "\xE3\x83\x89";
    EXPECT_TRUE(cdctl::ValidDeviceName(katakana, &error));
    EXPECT_FALSE(cdctl::ValidDeviceName(katakana + "a", &error));
}

TEST(RasArgs, EachCommandBecomesItsDirectIOStep) {
    const struct {
        const char* words;  // after "ras Demo"
        Numbers numbers;
        std::string text;
    } cases[] = {
        {"level", {111, 0}, ""},
        {"level Verbose1 --store", {110, static_cast<int32_t>(0x80000002u)}, ""},
        {"level 1000", {110, 1000}, ""},
        {"counter", {113, 0}, ""},
        {"counter set 4294967295", {114, 1}, "DrawerOpenCount             4294967295\r\n"},
        {"counter clear", {114, 0}, ""},
        {"counter mode file D:\\pos\\c.txt --store",
         {112, static_cast<int32_t>(0x80000003u)},
         "D:\\pos\\c.txt"},
        {"save C:\\b.cnt", {115, 2}, "C:\\b.cnt"},
        {"load C:\\b.cnt", {114, 2}, "C:\\b.cnt"},
    };
    for (const auto& c : cases) {
        cdctl::RasArgs args;
        std::string error;
        ASSERT_EQ(ArgsResult::Ok,
                  Parse(cdctl::ParseRasArgs, std::string("ras Demo ") + c.words, &args, &error))
            << c.words << ": " << error;
        const Step step = cdctl::RasStep(args);
        EXPECT_EQ(K::DirectIO, step.kind) << c.words;
        EXPECT_EQ(c.numbers, step.numbers) << c.words;
        EXPECT_EQ(c.text, step.text) << c.words;
    }
    EXPECT_EQ((Numbers{115, 1}), cdctl::CounterTextStep().numbers);

    // Nothing runs for a bad command line, and --store only goes with a changed setting.
    const std::string bad =
        "|count|level loud|level Verbose0|level Verbose1000|level 1001|level -1|level 0x80000001|"
        "counter set 4294967296|counter set -1|counter set|counter mode 3|counter mode 4|"
        "counter mode Memory x.txt|load|level --store|save --store|counter set 1 --store|";
    for (size_t at = 0, end; (end = bad.find('|', at)) != std::string::npos; at = end + 1) {
        const std::string words = bad.substr(at, end - at);
        cdctl::RasArgs args;
        std::string error;
        EXPECT_EQ(ArgsResult::Error, Parse(cdctl::ParseRasArgs, "ras Demo " + words, &args, &error))
            << words;
    }
}

TEST(CdctlText, Int32DecimalAndHexEdges) {
    int32_t v = 0;
    EXPECT_TRUE(cdctl::ParseInt32("2147483647", &v) && v == INT32_MAX);
    EXPECT_TRUE(cdctl::ParseInt32("-2147483648", &v) && v == INT32_MIN);
    EXPECT_TRUE(cdctl::ParseInt32("0xFFFFFFFF", &v, true) && v == -1);
    for (const std::string& text :
         Words("2147483648 -2147483649 99999999999999999999 0x10 +7 - 0x80000002")) {
        EXPECT_FALSE(cdctl::ParseInt32(text, &v)) << text;
    }
    for (const char* text : {"0x100000000", "0x", "0x-1", "0xg", "1 ", ""}) {
        EXPECT_FALSE(cdctl::ParseInt32(text, &v, true)) << text;
    }
    EXPECT_EQ(-1, v);  // a refused text leaves the value as it was
}

TEST(CdctlText, LinesAndCounterTextLines) {
    EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), cdctl::Lines("a\r\n\r\nb"));
    EXPECT_EQ((std::vector<std::string>{"<x>", "</x>"}), cdctl::Lines("<x>\n</x>\r\n"));

    const std::string line = "DrawerOpenCount                      5\r\n";
    const std::string other = "Other" + std::string(23, ' ') + "4294967295\r\n";
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ((Pairs{{"DrawerOpenCount", "5"}, {"Other", "4294967295"}}),
              cdctl::SplitCounterText(line + other + "tail"));
    // A line without CR LF at its end, or a short one, is not a counter line.
    EXPECT_TRUE(cdctl::SplitCounterText(line.substr(0, 39)).empty());
    EXPECT_TRUE(cdctl::SplitCounterText(line.substr(0, 38) + " \n").empty());
}

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

TEST(SetupArgs, OptionsAnywhereAndRefusalsBeforeAnythingIsWritten) {
    SetupArgs args;
    std::string error;
    ASSERT_EQ(SetupParse::Ok,
              Parse(cdctl::ParseSetupArgs, "setup add --force Demo Port=SIMDEMO DrawerNo=2 --32",
                    &args, &error))
        << error;
    EXPECT_TRUE(args.verb == SetupArgs::Verb::Add && args.device == "Demo" && args.force);
    EXPECT_EQ(SetupArgs::View::Bits32, args.view);
    ASSERT_EQ(2u, args.writes.size());
    EXPECT_STREQ("DrawerNo", args.writes[1].setting->name);
    ASSERT_EQ(SetupParse::Ok, Parse(cdctl::ParseSetupArgs,
                                    "setup --both remove Demo --purge --both", &args, &error));
    EXPECT_TRUE(args.view == SetupArgs::View::Both && args.data == SetupArgs::Data::Purge);

    for (const char* line :
         {"setup", "setup create Demo", "setup add", "setup add Port=COM1",
          "setup add Demo Port=A port=B", "setup add Demo Colour=red", "setup add Demo Port",
          "setup add Demo =COM1", "setup show Demo Port=1", "setup list Demo", "setup remove A\\B",
          "setup remove --force Demo", "setup add --keep-stats Demo", "setup --32 add Demo --64",
          "setup remove --keep-stats Demo --purge"}) {
        EXPECT_EQ(SetupParse::Error, Parse(cdctl::ParseSetupArgs, line, &args, &error)) << line;
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
