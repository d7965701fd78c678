// cdctl session scripts: step syntax, expectations, escapes, the command lines of session, stats
// and ras, and the exit-code rules.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/cdctl/session_script.h"

namespace {

using cdctl::ArgsResult;
using cdctl::Step;
using K = cdctl::StepKind;
using Numbers = std::vector<int32_t>;

constexpr int32_t kNone = -999;  // no expectation: the step asks for OPOS_SUCCESS

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

TEST(SessionStep, AcceptedStepsAndWhatTheyAskFor) {
    const struct {
        std::string word;
        K kind;
        Numbers numbers;
        std::string text;
        int32_t expected = kNone;
        bool on = false;  // freeze and cofreeze
    } cases[] = {
        {"open", K::Open, {}, ""},
        {"close", K::Close, {}, ""},
        {"release", K::Release, {}, ""},
        {"enable", K::Enable, {}, ""},
        {"disable", K::Disable, {}, ""},
        {"props", K::Props, {}, ""},
        {"OpenDrawer", K::OpenDrawer, {}, ""},
        {"freeze:on", K::Freeze, {}, "", kNone, true},
        {"freeze:off", K::Freeze, {}, ""},
        {"cofreeze:ON", K::CoFreeze, {}, "", kNone, true},
        {"cofreeze:0", K::CoFreeze, {}, ""},
        {"claim:1000", K::Claim, {1000}, ""},
        {"claim:-1", K::Claim, {-1}, ""},
        {"waitclose:500,1000,200,300", K::WaitClose, {500, 1000, 200, 300}, ""},
        {"health:4", K::Health, {4}, ""},
        {"sleep:0", K::Sleep, {0}, ""},
        {"wait-events:2", K::WaitEvents, {2, 10000}, ""},
        {"wait-events:1,250", K::WaitEvents, {1, 250}, ""},
        // Expectations: numbers and result names with or without OPOS_, in any case.
        {"opendrawer=111", K::OpenDrawer, {}, "", 111},
        {"open=OPOS_E_NOEXIST", K::Open, {}, "", 109},
        {"open=e_noexist", K::Open, {}, "", 109},
        {"open=opos_e_extended", K::Open, {}, "", 114},
        {"close=OPOS_SUCCESS", K::Close, {}, "", 0},
        {"claim:0=OPOS_E_TIMEOUT", K::Claim, {0}, "", 112},
        // Statistics requests keep their equals signs; without a text the suffix expects.
        {"updatestats:DrawerGoodOpenCount=10", K::UpdateStats, {}, "DrawerGoodOpenCount=10"},
        {"updatestats:ModelName=A=B,SerialNumber=",
         K::UpdateStats,
         {},
         "ModelName=A=B,SerialNumber="},
        {"stats:U_", K::Stats, {}, "U_"},
        {"stats", K::Stats, {}, ""},
        {"resetstats:", K::ResetStats, {}, ""},
        {"resetstats:,", K::ResetStats, {}, ","},
        {"stats=OPOS_E_CLOSED", K::Stats, {}, "", 101},
        // DirectIO: command, data (bit 31 in hex), then text with %HH escapes.
        {"directio:111", K::DirectIO, {111, 0}, ""},
        {"directio:110,0x80000002", K::DirectIO, {110, -2147483646}, ""},
        {"directio:110,-2147483646=0", K::DirectIO, {110, -2147483646}, "", 0},
        {"directio:114,1,a=b,c", K::DirectIO, {114, 1}, "a=b,c"},
        {"directio:109=106", K::DirectIO, {109, 0}, "", 106},
        {"directio:114,1,DrawerOpenCount%20%0d%0A%09%%",
         K::DirectIO,
         {114, 1},
         "DrawerOpenCount \r\n\t%"},
        {"directio:114,1,%41%7a%%%%", K::DirectIO, {114, 1}, "Az%%"},
        {"directio:114,1,%00", K::DirectIO, {114, 1}, std::string(1, '\0')},
        {"directio:115,2,D:\\backup\\new\\x.cnt", K::DirectIO, {115, 2}, "D:\\backup\\new\\x.cnt"},
    };
    for (const auto& c : cases) {
        Step s;
        std::string error;
        ASSERT_TRUE(cdctl::ParseStep(c.word, &s, &error)) << c.word << ": " << error;
        EXPECT_EQ(c.kind, s.kind) << c.word;
        EXPECT_EQ(c.numbers, s.numbers) << c.word;
        EXPECT_EQ(c.text, s.text) << c.word;
        EXPECT_EQ(c.expected != kNone, s.hasExpectation) << c.word;
        const int32_t asked = c.expected == kNone ? 0 : c.expected;
        EXPECT_TRUE(cdctl::ResultMeets(s, asked)) << c.word;
        EXPECT_FALSE(cdctl::ResultMeets(s, asked == 0 ? 111 : 0)) << c.word;
        EXPECT_EQ(c.on, s.on) << c.word;
    }
}

TEST(SessionStep, RefusedStepsSayWhy) {
    auto refused = [](const char* word, const char* message) {
        Step s;
        std::string error;
        EXPECT_FALSE(cdctl::ParseStep(word, &s, &error)) << word;
        EXPECT_FALSE(error.empty()) << word;
        EXPECT_NE(std::string::npos, error.find(message)) << word << ": " << error;
    };
    const std::pair<const char*, const char*> cases[] = {
        {"open:CashDrawer", "open takes no argument"},
        {"opendrawer:", "opendrawer takes no argument"},
        {"claim", "claim:1000"},
        {"claim:-2", "-1 waits forever"},
        {"freeze:yes", "freeze takes on or off"},
        {"opendraw", "unknown step 'opendraw'"},
        {"claim2:100", "unknown step 'claim2'"},
        {":100", "unknown step ''"},
        {"open=NOPE", "'NOPE' is not a result code"},
        {"open=SUCCESS_", "is not a result code"},
        {"open=OPOS_E_NOEXISTS", "is not a result code"},
        {"directio", "directio needs a command"},
        {"directio:110=0,1,x", "expect:CODE"},
        {"directio:114,1,50%", "directio text: %"},
        {"directio:114,1,%4", "two hexadecimal digits"},
    };
    for (const auto& [word, message] : cases) refused(word, message);
    for (const char* word :
         {"claim:1s", "claim:0x10", "waitclose:500,1000,200,300,1", "waitclose:500,,200,300",
          "health", "health:two", "sleep:3600001", "sleep:-1", "wait-events:0", "wait-events:1,2,3",
          "wait-events", "cofreeze", "open=", "open=E_", "open=OPOS_", "directio=0", "directio:abc",
          "directio:110,zz", "directio:"}) {
        refused(word, "");
    }
    refused("directio:114,1,%g0", "");
}

TEST(SessionScript, ExpectWordsAndErrorsNamingTheStep) {
    std::vector<Step> steps;
    std::string error;
    ASSERT_TRUE(cdctl::ParseScript(
        Words("open opendrawer expect:OPOS_E_DISABLED updatestats:HoursPoweredCount=5 expect:106"),
        &steps, &error))
        << error;
    ASSERT_EQ(3u, steps.size());
    EXPECT_FALSE(steps[0].hasExpectation);
    EXPECT_EQ(105, steps[1].expected);
    EXPECT_EQ("HoursPoweredCount=5", steps[2].text);
    EXPECT_EQ(106, steps[2].expected);

    const std::pair<const char*, const char*> bad[] = {
        {"expect:0 open", "step 1 'expect:0': expect:CODE must follow the step it belongs to"},
        {"open=109 expect:109",
         "step 2 'expect:109': the step before already says which result it expects"},
        {"open expect:what", "step 2 'expect:what': "},
        {"open claim:x", "step 2 'claim:x': claim takes"},
        {"", "no steps given"},
    };
    for (const auto& [line, message] : bad) {
        EXPECT_FALSE(cdctl::ParseScript(Words(line), &steps, &error)) << line;
        EXPECT_EQ(0u, error.find(message)) << error;
    }
}

TEST(SessionNumbers, Int32RangesDecimalAndHex) {
    const std::pair<const char*, int32_t> accepted[] = {
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"+7", 7}, {"0xFFFFFFFF", -1}};
    for (const auto& [text, expected] : accepted) {
        int32_t v = 0;
        EXPECT_TRUE(cdctl::ParseInt32(text, &v)) << text;
        EXPECT_EQ(expected, v) << text;
    }
    int32_t v = 0;
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "-", "", "1 ",
                            "0x100000000", "0x"}) {
        EXPECT_FALSE(cdctl::ParseInt32(bad, &v)) << bad;
    }
}

TEST(SessionExitCode, FirstUnexpectedResultBecomesTheExitCode) {
    for (int32_t code : {111, 109, 4, 255}) EXPECT_EQ(code, cdctl::ExitCodeForResult(code));
    // Success where a failure was asked for must not read as a passed session.
    EXPECT_EQ(cdctl::kExitUnexpectedSuccess, cdctl::ExitCodeForResult(0));
    // Codes that would collide with cdctl's own exit codes, or do not fit, become 255.
    for (int32_t code : {1, 2, 3, 256, -1, 400}) EXPECT_EQ(255, cdctl::ExitCodeForResult(code));
}

// A command line given as one text, split at blanks.
template <class Args>
ArgsResult Parse(ArgsResult (*parse)(int, const char* const*, Args*, std::string*),
                 const std::string& line, Args* out, std::string* error) {
    const std::vector<std::string> words = Words(line);
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return parse(static_cast<int>(argv.size()), argv.data(), out, error);
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
    EXPECT_EQ("Demo", args.device);
    EXPECT_EQ(2u, args.steps.size());

    const struct {
        const char* line;
        ArgsResult result;
        const char* message;
    } cases[] = {
        // After NAME every word is a step, so an option there is a bad step.
        {"Demo open --keep-going", ArgsResult::Error,
         "step 2 '--keep-going': unknown step '--keep-going'"},
        {"", ArgsResult::Error, "NAME and steps are missing"},
        {"Demo", ArgsResult::Error, "no steps given"},
        {"--progid", ArgsResult::Error, ""},
        {"--fast Demo open", ArgsResult::Error, "unknown option --fast"},
        {"A\\B open", ArgsResult::Error, "backslash"},
        {"Demo open --help", ArgsResult::Help, ""},
    };
    for (const auto& c : cases) {
        error.clear();
        EXPECT_EQ(c.result,
                  Parse(cdctl::ParseSessionArgs, std::string("session ") + c.line, &args, &error))
            << c.line;
        EXPECT_NE(std::string::npos, error.find(c.message)) << c.line << ": " << error;
    }

    std::string katakana;  // 200 characters, three bytes each
    for (int i = 0; i < 200; ++i) katakana += "\xE3\x83\x89";
    EXPECT_TRUE(cdctl::ValidDeviceName(katakana, &error));
    EXPECT_TRUE(cdctl::ValidDeviceName(std::string(200, 'a'), &error));
    for (const std::string& bad :
         {std::string(), std::string(201, 'a'), std::string("tab\there")}) {
        EXPECT_FALSE(cdctl::ValidDeviceName(bad, &error)) << bad;
    }
}

TEST(StatsArgs, NameAndOptionalRequest) {
    cdctl::StatsArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok, Parse(cdctl::ParseStatsArgs, "stats Demo", &args, &error));
    EXPECT_EQ("", args.request);
    ASSERT_EQ(ArgsResult::Ok, Parse(cdctl::ParseStatsArgs, "stats Demo U_", &args, &error));
    EXPECT_EQ("U_", args.request);
    EXPECT_EQ(ArgsResult::Error, Parse(cdctl::ParseStatsArgs, "stats", &args, &error));
    EXPECT_EQ(ArgsResult::Error, Parse(cdctl::ParseStatsArgs, "stats Demo U_ M_", &args, &error));
    EXPECT_NE(std::string::npos, error.find("one word"));
}

TEST(RasArgs, EachCommandBecomesItsDirectIOStep) {
    const struct {
        const char* words;  // after "ras Demo"
        Numbers numbers;
        std::string text;
    } cases[] = {
        {"level", {111, 0}, ""},
        {"level Verbose1 --store", {110, static_cast<int32_t>(0x80000002u)}, ""},
        {"level enable", {110, 1}, ""},
        {"level DISABLE", {110, 0}, ""},
        {"level 3", {110, 3}, ""},
        {"counter", {113, 0}, ""},
        {"counter set 1200", {114, 1}, "DrawerOpenCount                   1200\r\n"},
        {"counter set 4294967295", {114, 1}, "DrawerOpenCount             4294967295\r\n"},
        {"counter clear", {114, 0}, ""},
        {"counter mode file D:\\pos\\c.txt --store",
         {112, static_cast<int32_t>(0x80000003u)},
         "D:\\pos\\c.txt"},
        {"counter mode Memory", {112, 1}, ""},
        {"save", {115, 0}, ""},
        {"save C:\\b.cnt", {115, 2}, "C:\\b.cnt"},
        {"load C:\\b.cnt", {114, 2}, "C:\\b.cnt"},
    };
    for (const auto& c : cases) {
        cdctl::RasArgs args;
        std::string error;
        ASSERT_EQ(ArgsResult::Ok,
                  Parse(cdctl::ParseRasArgs, std::string("ras Demo ") + c.words, &args, &error))
            << c.words << ": " << error;
        const std::vector<Step> steps = cdctl::RasSteps(args);
        ASSERT_EQ(1u, steps.size()) << c.words;
        EXPECT_EQ(c.numbers, steps[0].numbers) << c.words;
        EXPECT_EQ(c.text, steps[0].text) << c.words;
    }
    EXPECT_EQ((Numbers{115, 1}), cdctl::CounterTextStep().numbers);

    int32_t level = -1;
    for (const char* bad : {"Verbose", "Verbose0", "Verbose-1", "-1", "0x80000001"}) {
        EXPECT_FALSE(cdctl::ParseEventLogLevel(bad, &level)) << bad;
    }
}

TEST(RasArgs, BadCommandLinesAndStoreOnlyWhereASettingIsChanged) {
    auto error = [](const std::string& words) {
        cdctl::RasArgs args;
        std::string text;
        EXPECT_EQ(ArgsResult::Error, Parse(cdctl::ParseRasArgs, "ras Demo " + words, &args, &text))
            << words;
        EXPECT_FALSE(text.empty()) << words;
        return text;
    };
    for (const char* words :
         {"level loud", "counter set 4294967296", "counter set -1", "counter set", "counter mode 3",
          "counter mode 4", "load", "level --store", "save --store", "counter set 1 --store"}) {
        error(words);
    }
    EXPECT_EQ("only the File mode takes a FILE", error("counter mode Memory x.txt"));
    EXPECT_EQ("the command is missing", error(""));
    EXPECT_NE(std::string::npos, error("count").find("unknown command 'count'"));
}

}  // namespace
