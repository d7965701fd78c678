// cdctl session scripts: step syntax, expectations, the free-text steps, escapes, command
// lines of session, stats and ras, and the exit-code rules.
#include <gtest/gtest.h>

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

std::vector<std::string> Words(std::initializer_list<const char*> list) {
    return std::vector<std::string>(list.begin(), list.end());
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
    Rejected("claim:1s");
    Rejected("claim:0x10");
    EXPECT_NE(std::string::npos, Rejected("waitclose:500,1000,200").find("four numbers"));
    Rejected("waitclose:500,1000,200,300,1");
    Rejected("waitclose:500,,200,300");
    Rejected("health");
    Rejected("health:two");
    Rejected("sleep:3600001");
    Rejected("sleep:-1");
    Rejected("wait-events:0");
    Rejected("wait-events:1,2,3");
    Rejected("wait-events");
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
    Rejected("open=");
    Rejected("open=E_");
    Rejected("open=OPOS_");
    int32_t code = 0;
    EXPECT_FALSE(cdctl::ParseResultCode("SUCCESS_", &code));
    EXPECT_FALSE(cdctl::ParseResultCode("OPOS_E_NOEXISTS", &code));
    EXPECT_TRUE(cdctl::ParseResultCode("opos_e_extended", &code));
    EXPECT_EQ(114, code);
}

TEST(SessionExpectation, ExpectWordAppliesToTheStepBefore) {
    std::vector<Step> steps;
    std::string error;
    ASSERT_TRUE(cdctl::ParseScript(Words({"open", "opendrawer", "expect:OPOS_E_DISABLED", "close"}),
                                   &steps, &error))
        << error;
    ASSERT_EQ(3u, steps.size());
    EXPECT_FALSE(steps[0].hasExpectation);
    EXPECT_EQ(105, steps[1].expected);
    EXPECT_FALSE(steps[2].hasExpectation);
}

TEST(SessionExpectation, ExpectWordErrorsNameTheWord) {
    std::vector<Step> steps;
    std::string error;
    EXPECT_FALSE(cdctl::ParseScript(Words({"expect:0", "open"}), &steps, &error));
    EXPECT_EQ("step 1 'expect:0': expect:CODE must follow the step it belongs to", error);
    EXPECT_FALSE(cdctl::ParseScript(Words({"open=109", "expect:109"}), &steps, &error));
    EXPECT_EQ("step 2 'expect:109': the step before already says which result it expects", error);
    EXPECT_FALSE(cdctl::ParseScript(Words({"open", "expect:what"}), &steps, &error));
    EXPECT_NE(std::string::npos, error.find("step 2"));
    EXPECT_FALSE(cdctl::ParseScript(Words({"open", "claim:x"}), &steps, &error));
    EXPECT_EQ(0u, error.find("step 2 'claim:x': claim takes"));
    EXPECT_FALSE(cdctl::ParseScript({}, &steps, &error));
    EXPECT_EQ("no steps given", error);
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
    ASSERT_TRUE(cdctl::ParseScript(
        Words({"updatestats:HoursPoweredCount=5", "expect:OPOS_E_ILLEGAL"}), &steps, &error));
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
    Rejected("directio=0");
    Rejected("directio:abc");
    Rejected("directio:110,zz");
    Rejected("directio:");
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
    int32_t v = 0;
    EXPECT_TRUE(cdctl::ParseInt32("2147483647", &v));
    EXPECT_EQ(2147483647, v);
    EXPECT_TRUE(cdctl::ParseInt32("-2147483648", &v));
    EXPECT_EQ(INT32_MIN, v);
    EXPECT_FALSE(cdctl::ParseInt32("2147483648", &v));
    EXPECT_FALSE(cdctl::ParseInt32("-2147483649", &v));
    EXPECT_FALSE(cdctl::ParseInt32("99999999999999999999", &v));
    EXPECT_TRUE(cdctl::ParseInt32("+7", &v));
    EXPECT_EQ(7, v);
    EXPECT_FALSE(cdctl::ParseInt32("-", &v));
    EXPECT_FALSE(cdctl::ParseInt32("", &v));
    EXPECT_FALSE(cdctl::ParseInt32("1 ", &v));
    EXPECT_TRUE(cdctl::ParseInt32("0xFFFFFFFF", &v));
    EXPECT_EQ(-1, v);
    EXPECT_FALSE(cdctl::ParseInt32("0x100000000", &v));
    EXPECT_FALSE(cdctl::ParseInt32("0x", &v));
}

// --- Exit codes ------------------------------------------------------------------------

TEST(SessionExitCode, FirstUnexpectedResultBecomesTheExitCode) {
    EXPECT_EQ(111, cdctl::ExitCodeForResult(111));
    EXPECT_EQ(109, cdctl::ExitCodeForResult(109));
    EXPECT_EQ(4, cdctl::ExitCodeForResult(4));
    EXPECT_EQ(255, cdctl::ExitCodeForResult(255));
    // Success where a failure was asked for must not read as a passed session.
    EXPECT_EQ(cdctl::kExitUnexpectedSuccess, cdctl::ExitCodeForResult(0));
    // Codes that would collide with cdctl's own exit codes, or do not fit, become 255.
    EXPECT_EQ(255, cdctl::ExitCodeForResult(1));
    EXPECT_EQ(255, cdctl::ExitCodeForResult(2));
    EXPECT_EQ(255, cdctl::ExitCodeForResult(3));
    EXPECT_EQ(255, cdctl::ExitCodeForResult(256));
    EXPECT_EQ(255, cdctl::ExitCodeForResult(-1));
    EXPECT_EQ(255, cdctl::ExitCodeForResult(400));
}

// --- Command lines -----------------------------------------------------------------------

ArgsResult Session(std::initializer_list<const char*> argv, cdctl::SessionArgs* out,
                   std::string* error) {
    std::vector<const char*> v(argv);
    return cdctl::ParseSessionArgs(static_cast<int>(v.size()), v.data(), out, error);
}

TEST(SessionArgs, OptionsNameAndSteps) {
    cdctl::SessionArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok,
              Session({"session", "--keep-going", "--progid", "X.Y.1", "Demo", "open", "close"},
                      &args, &error))
        << error;
    EXPECT_TRUE(args.keepGoing);
    EXPECT_EQ("X.Y.1", args.progId);
    EXPECT_EQ("Demo", args.device);
    ASSERT_EQ(2u, args.steps.size());

    // After NAME every word is a step, so an option there is a bad step.
    EXPECT_EQ(ArgsResult::Error,
              Session({"session", "Demo", "open", "--keep-going"}, &args, &error));
    EXPECT_EQ("step 2 '--keep-going': unknown step '--keep-going'", error);
}

TEST(SessionArgs, MissingOrBadParts) {
    cdctl::SessionArgs args;
    std::string error;
    EXPECT_EQ(ArgsResult::Error, Session({"session"}, &args, &error));
    EXPECT_EQ("NAME and steps are missing", error);
    EXPECT_EQ(ArgsResult::Error, Session({"session", "Demo"}, &args, &error));
    EXPECT_EQ("no steps given", error);
    EXPECT_EQ(ArgsResult::Error, Session({"session", "--progid"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error, Session({"session", "--fast", "Demo", "open"}, &args, &error));
    EXPECT_EQ("unknown option --fast", error);
    EXPECT_EQ(ArgsResult::Error, Session({"session", "A\\B", "open"}, &args, &error));
    EXPECT_NE(std::string::npos, error.find("backslash"));
    EXPECT_EQ(ArgsResult::Help, Session({"session", "Demo", "open", "--help"}, &args, &error));
}

TEST(SessionArgs, DeviceNames) {
    std::string error;
    EXPECT_TRUE(cdctl::ValidDeviceName("Drawer 1", &error));
    EXPECT_FALSE(cdctl::ValidDeviceName("", &error));
    EXPECT_FALSE(cdctl::ValidDeviceName(std::string(201, 'a'), &error));
    EXPECT_TRUE(cdctl::ValidDeviceName(std::string(200, 'a'), &error));
    EXPECT_FALSE(cdctl::ValidDeviceName("tab\there", &error));
}

ArgsResult Stats(std::initializer_list<const char*> argv, cdctl::StatsArgs* out,
                 std::string* error) {
    std::vector<const char*> v(argv);
    return cdctl::ParseStatsArgs(static_cast<int>(v.size()), v.data(), out, error);
}

TEST(StatsArgs, NameAndOptionalRequest) {
    cdctl::StatsArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok, Stats({"stats", "Demo"}, &args, &error));
    EXPECT_EQ("", args.request);
    ASSERT_EQ(ArgsResult::Ok, Stats({"stats", "Demo", "U_"}, &args, &error));
    EXPECT_EQ("U_", args.request);
    EXPECT_EQ(ArgsResult::Error, Stats({"stats"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error, Stats({"stats", "Demo", "U_", "M_"}, &args, &error));
    EXPECT_NE(std::string::npos, error.find("one word"));
}

ArgsResult Ras(std::initializer_list<const char*> argv, cdctl::RasArgs* out, std::string* error) {
    std::vector<const char*> v(argv);
    return cdctl::ParseRasArgs(static_cast<int>(v.size()), v.data(), out, error);
}

TEST(RasArgs, LevelWordsAndTheStoreBit) {
    cdctl::RasArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "level"}, &args, &error));
    EXPECT_EQ(cdctl::RasAction::ShowLevel, args.action);
    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "level", "Verbose1", "--store"}, &args, &error));
    EXPECT_EQ(cdctl::RasAction::SetLevel, args.action);
    EXPECT_EQ(2, args.value);
    EXPECT_TRUE(args.store);
    std::vector<Step> steps = cdctl::RasSteps(args);
    ASSERT_EQ(1u, steps.size());
    EXPECT_EQ((std::vector<int32_t>{110, static_cast<int32_t>(0x80000002u)}), steps[0].numbers);

    int32_t level = -1;
    EXPECT_TRUE(cdctl::ParseEventLogLevel("enable", &level));
    EXPECT_EQ(1, level);
    EXPECT_TRUE(cdctl::ParseEventLogLevel("DISABLE", &level));
    EXPECT_EQ(0, level);
    EXPECT_TRUE(cdctl::ParseEventLogLevel("3", &level));
    EXPECT_EQ(3, level);
    EXPECT_FALSE(cdctl::ParseEventLogLevel("Verbose", &level));
    EXPECT_FALSE(cdctl::ParseEventLogLevel("Verbose0", &level));
    EXPECT_FALSE(cdctl::ParseEventLogLevel("Verbose-1", &level));
    EXPECT_FALSE(cdctl::ParseEventLogLevel("-1", &level));
    EXPECT_FALSE(cdctl::ParseEventLogLevel("0x80000001", &level));
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "level", "loud"}, &args, &error));
}

TEST(RasArgs, CounterCommandsBecomeTheirDirectIOSteps) {
    cdctl::RasArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "counter", "set", "1200"}, &args, &error));
    std::vector<Step> steps = cdctl::RasSteps(args);
    ASSERT_EQ(1u, steps.size());
    EXPECT_EQ((std::vector<int32_t>{114, 1}), steps[0].numbers);
    EXPECT_EQ(std::string("DrawerOpenCount                   1200\r\n"), steps[0].text);
    EXPECT_EQ(40u, steps[0].text.size());

    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "counter", "set", "4294967295"}, &args, &error));
    EXPECT_EQ(std::string("DrawerOpenCount             4294967295\r\n"),
              cdctl::RasSteps(args)[0].text);
    EXPECT_EQ(ArgsResult::Error,
              Ras({"ras", "Demo", "counter", "set", "4294967296"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "counter", "set", "-1"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "counter", "set"}, &args, &error));

    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "counter", "clear"}, &args, &error));
    EXPECT_EQ((std::vector<int32_t>{114, 0}), cdctl::RasSteps(args)[0].numbers);

    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "counter"}, &args, &error));
    EXPECT_EQ((std::vector<int32_t>{113, 0}), cdctl::RasSteps(args)[0].numbers);
    EXPECT_EQ((std::vector<int32_t>{115, 1}), cdctl::CounterTextStep().numbers);
}

TEST(RasArgs, CounterModesAndFiles) {
    cdctl::RasArgs args;
    std::string error;
    ASSERT_EQ(ArgsResult::Ok,
              Ras({"ras", "Demo", "counter", "mode", "file", "D:\\pos\\c.txt", "--store"}, &args,
                  &error));
    std::vector<Step> steps = cdctl::RasSteps(args);
    EXPECT_EQ((std::vector<int32_t>{112, static_cast<int32_t>(0x80000003u)}), steps[0].numbers);
    EXPECT_EQ("D:\\pos\\c.txt", steps[0].text);

    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "counter", "mode", "Memory"}, &args, &error));
    EXPECT_EQ((std::vector<int32_t>{112, 1}), cdctl::RasSteps(args)[0].numbers);
    EXPECT_EQ(ArgsResult::Error,
              Ras({"ras", "Demo", "counter", "mode", "Memory", "x.txt"}, &args, &error));
    EXPECT_EQ("only the File mode takes a FILE", error);
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "counter", "mode", "3"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "counter", "mode", "4"}, &args, &error));

    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "save"}, &args, &error));
    EXPECT_EQ((std::vector<int32_t>{115, 0}), cdctl::RasSteps(args)[0].numbers);
    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "save", "C:\\b.cnt"}, &args, &error));
    EXPECT_EQ((std::vector<int32_t>{115, 2}), cdctl::RasSteps(args)[0].numbers);
    EXPECT_EQ("C:\\b.cnt", cdctl::RasSteps(args)[0].text);
    ASSERT_EQ(ArgsResult::Ok, Ras({"ras", "Demo", "load", "C:\\b.cnt"}, &args, &error));
    EXPECT_EQ((std::vector<int32_t>{114, 2}), cdctl::RasSteps(args)[0].numbers);
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "load"}, &args, &error));
}

TEST(RasArgs, StoreOnlyWhereASettingIsChanged) {
    cdctl::RasArgs args;
    std::string error;
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "level", "--store"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "save", "--store"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error,
              Ras({"ras", "Demo", "counter", "set", "1", "--store"}, &args, &error));
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo"}, &args, &error));
    EXPECT_EQ("the command is missing", error);
    EXPECT_EQ(ArgsResult::Error, Ras({"ras", "Demo", "count"}, &args, &error));
    EXPECT_NE(std::string::npos, error.find("unknown command 'count'"));
}

}  // namespace
