// cdctl session scripts: step syntax, expectations, the free-text steps, escapes, command
// lines of session, stats and ras, and the exit-code rules.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/cdctl/session_script.h"

namespace {

using cdctl::ArgsResult;
using cdctl::Step;
using cdctl::StepKind;

Step Parsed(const std::string& word) {
    Step step;
    std::string error;
    EXPECT_TRUE(cdctl::ParseStep(word, &step, &error)) << word << ": " << error;
    return step;
}

std::string Rejected(const std::string& word) {
    Step step;
    std::string error;
    EXPECT_FALSE(cdctl::ParseStep(word, &step, &error)) << word;
    return error;
}

// A script given as one text, split at blanks.
bool Script(const std::string& line, std::vector<Step>* steps, std::string* error) {
    std::istringstream in(line);
    return cdctl::ParseScript({std::istream_iterator<std::string>(in), {}}, steps, error);
}

// --- Steps and their arguments -----------------------------------------------------------

TEST(SessionStep, PlainStepsTakeNoArgumentAndAskForSuccess) {
    const struct {
        const char* word;
        StepKind kind;
    } cases[] = {
        {"open", StepKind::Open},       {"close", StepKind::Close},
        {"release", StepKind::Release}, {"enable", StepKind::Enable},
        {"disable", StepKind::Disable}, {"opendrawer", StepKind::OpenDrawer},
        {"props", StepKind::Props},     {"OpenDrawer", StepKind::OpenDrawer},
    };
    for (const auto& c : cases) {
        Step s = Parsed(c.word);
        EXPECT_EQ(c.kind, s.kind) << c.word;
        EXPECT_FALSE(s.hasExpectation);
        EXPECT_TRUE(cdctl::ResultMeets(s, 0));
        EXPECT_FALSE(cdctl::ResultMeets(s, 111));
    }
    EXPECT_EQ("open takes no argument", Rejected("open:CashDrawer"));
    EXPECT_EQ("opendrawer takes no argument", Rejected("opendrawer:"));
}

TEST(SessionStep, NumericArgumentsAreCheckedForCountAndRange) {
    EXPECT_EQ(std::vector<int32_t>{1000}, Parsed("claim:1000").numbers);
    EXPECT_EQ(std::vector<int32_t>{-1}, Parsed("claim:-1").numbers);
    EXPECT_EQ((std::vector<int32_t>{500, 1000, 200, 300}),
              Parsed("waitclose:500,1000,200,300").numbers);
    EXPECT_EQ(std::vector<int32_t>{4}, Parsed("health:4").numbers);
    EXPECT_EQ(std::vector<int32_t>{0}, Parsed("sleep:0").numbers);
    EXPECT_EQ((std::vector<int32_t>{2, 10000}), Parsed("wait-events:2").numbers);
    EXPECT_EQ((std::vector<int32_t>{1, 250}), Parsed("wait-events:1,250").numbers);

    EXPECT_NE(std::string::npos, Rejected("claim").find("claim:1000"));
    EXPECT_NE(std::string::npos, Rejected("claim:-2").find("-1 waits forever"));
    for (const char* bad : {"claim:1s", "claim:0x10", "waitclose:500,1000,200,300,1",
                            "waitclose:500,,200,300", "health", "health:two", "sleep:3600001",
                            "sleep:-1", "wait-events:0", "wait-events:1,2,3", "wait-events"}) {
        Rejected(bad);
    }
}

TEST(SessionStep, FreezeStepsTakeOnOrOff) {
    EXPECT_TRUE(Parsed("freeze:on").on);
    EXPECT_FALSE(Parsed("freeze:off").on);
    EXPECT_TRUE(Parsed("cofreeze:ON").on);
    EXPECT_EQ(StepKind::CoFreeze, Parsed("cofreeze:0").kind);
    EXPECT_EQ("freeze takes on or off", Rejected("freeze:yes"));
    Rejected("cofreeze");
}

TEST(SessionStep, UnknownStepsAreNamedInTheError) {
    EXPECT_EQ("unknown step 'opendraw'", Rejected("opendraw"));
    EXPECT_EQ("unknown step 'claim2'", Rejected("claim2:100"));
    EXPECT_EQ("unknown step ''", Rejected(":100"));
}

// --- Expectations ------------------------------------------------------------------------

TEST(SessionExpectation, NumbersAndOposNamesInAnyCase) {
    Step s = Parsed("opendrawer=111");
    EXPECT_TRUE(s.hasExpectation);
    EXPECT_EQ(111, s.expected);
    EXPECT_TRUE(cdctl::ResultMeets(s, 111));
    EXPECT_FALSE(cdctl::ResultMeets(s, 0));

    EXPECT_EQ(109, Parsed("open=OPOS_E_NOEXIST").expected);
    EXPECT_EQ(109, Parsed("open=e_noexist").expected);
    EXPECT_EQ(0, Parsed("close=OPOS_SUCCESS").expected);
    EXPECT_TRUE(Parsed("close=OPOS_SUCCESS").hasExpectation);
    EXPECT_EQ(112, Parsed("claim:0=OPOS_E_TIMEOUT").expected);
    EXPECT_EQ(0, Parsed("claim:0=OPOS_E_TIMEOUT").numbers[0]);
}

TEST(SessionExpectation, BadCodesAreRefused) {
    EXPECT_NE(std::string::npos, Rejected("open=NOPE").find("'NOPE' is not a result code"));
    for (const char* bad : {"open=", "open=E_", "open=OPOS_"}) Rejected(bad);
    int32_t code = 0;
    EXPECT_FALSE(cdctl::ParseResultCode("SUCCESS_", &code));
    EXPECT_FALSE(cdctl::ParseResultCode("OPOS_E_NOEXISTS", &code));
    EXPECT_TRUE(cdctl::ParseResultCode("opos_e_extended", &code));
    EXPECT_EQ(114, code);
}

TEST(SessionExpectation, ExpectWordAppliesToTheStepBefore) {
    std::vector<Step> steps;
    std::string error;
    ASSERT_TRUE(Script("open opendrawer expect:OPOS_E_DISABLED close", &steps, &error)) << error;
    ASSERT_EQ(3u, steps.size());
    EXPECT_FALSE(steps[0].hasExpectation);
    EXPECT_EQ(105, steps[1].expected);
    EXPECT_FALSE(steps[2].hasExpectation);
}

TEST(SessionExpectation, ScriptErrorsNameTheStep) {
    const std::pair<const char*, const char*> cases[] = {
        {"expect:0 open", "step 1 'expect:0': expect:CODE must follow the step it belongs to"},
        {"open=109 expect:109",
         "step 2 'expect:109': the step before already says which result it expects"},
        {"open expect:what", "step 2 'expect:what': "},
        {"open claim:x", "step 2 'claim:x': claim takes"},
        {"", "no steps given"},
    };
    for (const auto& [line, message] : cases) {
        std::vector<Step> steps;
        std::string error;
        EXPECT_FALSE(Script(line, &steps, &error)) << line;
        EXPECT_EQ(0u, error.find(message)) << error;
    }
}

// --- Free-text steps -----------------------------------------------------------------------

TEST(SessionFreeText, StatisticsRequestsKeepTheirEqualsSigns) {
    Step u = Parsed("updatestats:DrawerGoodOpenCount=10");
    EXPECT_EQ(StepKind::UpdateStats, u.kind);
    EXPECT_EQ("DrawerGoodOpenCount=10", u.text);
    EXPECT_FALSE(u.hasExpectation);

    Step two = Parsed("updatestats:ModelName=A=B,SerialNumber=");
    EXPECT_EQ("ModelName=A=B,SerialNumber=", two.text);
    EXPECT_FALSE(two.hasExpectation);

    EXPECT_EQ("U_", Parsed("stats:U_").text);
    EXPECT_EQ("", Parsed("stats").text);
    EXPECT_EQ("", Parsed("resetstats:").text);
    EXPECT_EQ(",", Parsed("resetstats:,").text);
}

TEST(SessionFreeText, WithoutATextTheSuffixIsAnExpectation) {
    Step s = Parsed("stats=OPOS_E_CLOSED");
    EXPECT_EQ("", s.text);
    EXPECT_TRUE(s.hasExpectation);
    EXPECT_EQ(101, s.expected);
    std::vector<Step> steps;
    std::string error;
    ASSERT_TRUE(Script("updatestats:HoursPoweredCount=5 expect:OPOS_E_ILLEGAL", &steps, &error));
    EXPECT_EQ("HoursPoweredCount=5", steps[0].text);
    EXPECT_EQ(106, steps[0].expected);
}

TEST(SessionFreeText, DirectIOCommandDataAndText) {
    Step s = Parsed("directio:111");
    EXPECT_EQ((std::vector<int32_t>{111, 0}), s.numbers);
    EXPECT_EQ("", s.text);

    Step bit31 = Parsed("directio:110,0x80000002");
    EXPECT_EQ(-2147483646, bit31.numbers[1]);

    Step neg = Parsed("directio:110,-2147483646=0");
    EXPECT_EQ(-2147483646, neg.numbers[1]);
    EXPECT_TRUE(neg.hasExpectation);

    Step text = Parsed("directio:114,1,a=b,c");
    EXPECT_EQ((std::vector<int32_t>{114, 1}), text.numbers);
    EXPECT_EQ("a=b,c", text.text);
    EXPECT_FALSE(text.hasExpectation);

    Step refused = Parsed("directio:109=106");
    EXPECT_EQ(106, refused.expected);
    EXPECT_EQ(109, refused.numbers[0]);
}

TEST(SessionFreeText, DirectIOErrors) {
    EXPECT_NE(std::string::npos, Rejected("directio").find("directio needs a command"));
    for (const char* bad : {"directio=0", "directio:abc", "directio:110,zz", "directio:"}) {
        Rejected(bad);
    }
    EXPECT_NE(std::string::npos, Rejected("directio:110=0,1,x").find("expect:CODE"));
    EXPECT_NE(std::string::npos, Rejected("directio:114,1,50%").find("directio text: %"));
}

TEST(SessionFreeText, PercentEscapesGiveBytesAndPathsStayAsWritten) {
    Step line = Parsed("directio:114,1,DrawerOpenCount%20%0d%0A%09%%");
    EXPECT_EQ(std::string("DrawerOpenCount \r\n\t%"), line.text);
    Step path = Parsed("directio:115,2,D:\\backup\\new\\x.cnt");
    EXPECT_EQ("D:\\backup\\new\\x.cnt", path.text);
    std::string out, error;
    EXPECT_TRUE(cdctl::UnescapeText("%41%7a%%%%", &out, &error));
    EXPECT_EQ("Az%%", out);
    EXPECT_TRUE(cdctl::UnescapeText("%00", &out, &error));
    EXPECT_EQ(std::string(1, '\0'), out);
    EXPECT_FALSE(cdctl::UnescapeText("%4", &out, &error));
    EXPECT_NE(std::string::npos, error.find("two hexadecimal digits"));
    EXPECT_FALSE(cdctl::UnescapeText("%g0", &out, &error));
    EXPECT_FALSE(cdctl::UnescapeText("100%", &out, &error));
}

// --- Numbers ---------------------------------------------------------------------------

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

// --- Exit codes ------------------------------------------------------------------------

TEST(SessionExitCode, FirstUnexpectedResultBecomesTheExitCode) {
    for (int32_t code : {111, 109, 4, 255}) EXPECT_EQ(code, cdctl::ExitCodeForResult(code));
    // Success where a failure was asked for must not read as a passed session.
    EXPECT_EQ(cdctl::kExitUnexpectedSuccess, cdctl::ExitCodeForResult(0));
    // Codes that would collide with cdctl's own exit codes, or do not fit, become 255.
    for (int32_t code : {1, 2, 3, 256, -1, 400}) EXPECT_EQ(255, cdctl::ExitCodeForResult(code));
}

// --- Command lines -----------------------------------------------------------------------

// A command line given as one text, split at blanks.
template <class Args>
ArgsResult Parse(ArgsResult (*parse)(int, const char* const*, Args*, std::string*),
                 const std::string& line, Args* out, std::string* error) {
    std::istringstream in(line);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    return parse(static_cast<int>(argv.size()), argv.data(), out, error);
}
ArgsResult Session(const std::string& line, cdctl::SessionArgs* out, std::string* error) {
    return Parse(cdctl::ParseSessionArgs, "session " + line, out, error);
}
ArgsResult Stats(const std::string& line, cdctl::StatsArgs* out, std::string* error) {
    return Parse(cdctl::ParseStatsArgs, "stats " + line, out, error);
}
ArgsResult Ras(const std::string& line, cdctl::RasArgs* out, std::string* error) {
    return Parse(cdctl::ParseRasArgs, "ras " + line, out, error);
}

TEST(SessionArgs, OptionsNameAndSteps) {
    cdctl::SessionArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok, Session("--keep-going --progid X.Y.1 Demo open close", &args, &error))
        << error;
    EXPECT_TRUE(args.keepGoing);
    EXPECT_EQ("X.Y.1", args.progId);
    EXPECT_EQ("Demo", args.device);
    ASSERT_EQ(2u, args.steps.size());

    // After NAME every word is a step, so an option there is a bad step.
    EXPECT_EQ(ArgsResult::Error, Session("Demo open --keep-going", &args, &error));
    EXPECT_EQ("step 2 '--keep-going': unknown step '--keep-going'", error);
}

TEST(SessionArgs, MissingOrBadParts) {
    cdctl::SessionArgs args;
    std::string error;
    EXPECT_EQ(ArgsResult::Error, Session("", &args, &error));
    EXPECT_EQ("NAME and steps are missing", error);
    EXPECT_EQ(ArgsResult::Error, Session("Demo", &args, &error));
    EXPECT_EQ("no steps given", error);
    EXPECT_EQ(ArgsResult::Error, Session("--progid", &args, &error));
    EXPECT_EQ(ArgsResult::Error, Session("--fast Demo open", &args, &error));
    EXPECT_EQ("unknown option --fast", error);
    EXPECT_EQ(ArgsResult::Error, Session("A\\B open", &args, &error));
    EXPECT_NE(std::string::npos, error.find("backslash"));
    EXPECT_EQ(ArgsResult::Help, Session("Demo open --help", &args, &error));
}

TEST(SessionArgs, DeviceNames) {
    std::string error;
    EXPECT_TRUE(cdctl::ValidDeviceName("Drawer 1", &error));
    EXPECT_FALSE(cdctl::ValidDeviceName("", &error));
    EXPECT_FALSE(cdctl::ValidDeviceName(std::string(201, 'a'), &error));
    EXPECT_TRUE(cdctl::ValidDeviceName(std::string(200, 'a'), &error));
    EXPECT_FALSE(cdctl::ValidDeviceName("tab\there", &error));
}

TEST(StatsArgs, NameAndOptionalRequest) {
    cdctl::StatsArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok, Stats("Demo", &args, &error));
    EXPECT_EQ("", args.request);
    ASSERT_EQ(ArgsResult::Ok, Stats("Demo U_", &args, &error));
    EXPECT_EQ("U_", args.request);
    EXPECT_EQ(ArgsResult::Error, Stats("", &args, &error));
    EXPECT_EQ(ArgsResult::Error, Stats("Demo U_ M_", &args, &error));
    EXPECT_NE(std::string::npos, error.find("one word"));
}

TEST(RasArgs, EachCommandBecomesItsDirectIOStep) {
    const struct {
        const char* words;  // after "ras Demo"
        std::vector<int32_t> numbers;
        std::string text;
    } cases[] = {
        {"level", {111, 0}, ""},
        {"level Verbose1 --store", {110, static_cast<int32_t>(0x80000002u)}, ""},
        {"level enable", {110, 1}, ""},
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
        ASSERT_EQ(ArgsResult::Ok, Ras(std::string("Demo ") + c.words, &args, &error))
            << c.words << ": " << error;
        const std::vector<Step> steps = cdctl::RasSteps(args);
        ASSERT_EQ(1u, steps.size()) << c.words;
        EXPECT_EQ(c.numbers, steps[0].numbers) << c.words;
        EXPECT_EQ(c.text, steps[0].text) << c.words;
    }
    EXPECT_EQ((std::vector<int32_t>{115, 1}), cdctl::CounterTextStep().numbers);
}

TEST(RasArgs, LevelWords) {
    const std::pair<const char*, int32_t> accepted[] = {{"enable", 1}, {"DISABLE", 0}, {"3", 3}};
    for (const auto& [word, expected] : accepted) {
        int32_t level = -1;
        EXPECT_TRUE(cdctl::ParseEventLogLevel(word, &level)) << word;
        EXPECT_EQ(expected, level) << word;
    }
    int32_t level = -1;
    for (const char* bad : {"Verbose", "Verbose0", "Verbose-1", "-1", "0x80000001"}) {
        EXPECT_FALSE(cdctl::ParseEventLogLevel(bad, &level)) << bad;
    }
}

TEST(RasArgs, BadCommandLinesAndStoreOnlyWhereASettingIsChanged) {
    cdctl::RasArgs args;
    std::string error;
    for (const char* words :
         {"level loud", "counter set 4294967296", "counter set -1", "counter set", "counter mode 3",
          "counter mode 4", "load", "level --store", "save --store", "counter set 1 --store"}) {
        EXPECT_EQ(ArgsResult::Error, Ras(std::string("Demo ") + words, &args, &error)) << words;
    }
    EXPECT_EQ(ArgsResult::Error, Ras("Demo counter mode Memory x.txt", &args, &error));
    EXPECT_EQ("only the File mode takes a FILE", error);
    EXPECT_EQ(ArgsResult::Error, Ras("Demo", &args, &error));
    EXPECT_EQ("the command is missing", error);
    EXPECT_EQ(ArgsResult::Error, Ras("Demo count", &args, &error));
    EXPECT_NE(std::string::npos, error.find("unknown command 'count'"));
}

}  // namespace
