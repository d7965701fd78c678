// cdctl's command lines: what each word asks, refusals, exit codes, setup values, counter folder.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ras/counter_path.h"
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
        {"waitclose:500,1000,200,300", K::WaitClose, {500, 1000, 200, 300}, ""},
        {"wait-events:2", K::WaitEvents, {2, 10000}, ""},
        // Statistics requests are the whole rest of the word, '=' and ',' included.
        {"updatestats:ModelName=A=B,SerialNumber=",
         K::UpdateStats,
         {},
         "ModelName=A=B,SerialNumber="},
        // DirectIO: command, data (bit 31 in hex), then the text with its escapes resolved.
        {"directio:110,0x80000002", K::DirectIO, {110, -2147483646}, ""},
        {"directio:114,1,N%20%0d%0A%09%%%%", K::DirectIO, {114, 1}, "N \r\n\t%%"},
        {"directio:114,1,%00", K::DirectIO, {114, 1}, std::string(1, '\0')},
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
         Words("open:CashDrawer claim claim:1s freeze:yes opendraw waitclose:500,,200,300 "
               "health:two sleep:3600001 sleep:-1 wait-events:0 wait-events:1,-1 directio: "
               "directio:110,zz directio:114,1,50% directio:114,1,%g0 open=109")) {
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

    for (const char* line : {"expect:0 open", "open expect:109 expect:109", "open expect:what",
                             "open expect:OPOS_", ""}) {
        EXPECT_FALSE(cdctl::ParseScript(Words(line), &steps, &error)) << line;
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
        {"level Verbose1 --store", {110, static_cast<int32_t>(0x80000002u)}, ""},
        {"counter set 4294967295", {114, 1}, "DrawerOpenCount             4294967295\r\n"},
        {"counter mode file D:\\pos\\c.txt --store",
         {112, static_cast<int32_t>(0x80000003u)},
         "D:\\pos\\c.txt"},
        {"save C:\\b.cnt", {115, 2}, "C:\\b.cnt"},
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

    // Nothing runs for a bad command line, and --store only goes with a changed setting.
    const std::string bad =
        "|count|level Verbose1000|level 1001|level -1|counter set 4294967296|counter set|"
        "counter mode 4|counter mode Memory x.txt|load|level --store|counter set 1 --store|";
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
    EXPECT_TRUE(cdctl::ParseInt32("-2147483648", &v) && v == INT32_MIN);
    EXPECT_TRUE(cdctl::ParseInt32("0xFFFFFFFF", &v, true) && v == -1);
    for (const char* text : {"2147483648", "0x10", "+7", ""})
        EXPECT_FALSE(cdctl::ParseInt32(text, &v));
    for (const char* text : {"0x100000000", "0x", "1 "})
        EXPECT_FALSE(cdctl::ParseInt32(text, &v, true));
    EXPECT_EQ(-1, v);  // a refused text leaves the value as it was
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
        {"DrawerNo=+2", Type::Text, "+2"},
        {"DrawerNo=2147483648", Type::Text, "2147483648"},
        {"DrawerNo=00000000001", Type::Text, "00000000001"},  // more than ten digits
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
         {"setup create Demo", "setup add Port=COM1", "setup add Demo Port=A port=B",
          "setup add Demo =COM1", "setup show Demo Port=1", "setup remove --force Demo",
          "setup --32 add Demo --64"}) {
        EXPECT_EQ(SetupParse::Error, Parse(cdctl::ParseSetupArgs, line, &args, &error)) << line;
    }
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
