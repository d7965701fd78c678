// `cdctl sim PORT COMMAND`: what the parser accepts and refuses, and what each command does to
// a controller's state.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ports/sim_command.h"

namespace {

constexpr uint64_t kNow = 7000000;

struct Parsed {
    sim::ParseResult result;
    sim::SimCommand command;
    std::string error;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "sim");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    Parsed p;
    p.result =
        sim::ParseSimCommand(static_cast<int>(argv.size()), argv.data(), &p.command, &p.error);
    return p;
}

// The arguments after "sim" given as one text, split at blanks.
Parsed ParseLine(const std::string& line) {
    std::istringstream in(line);
    return Parse(std::vector<std::string>{std::istream_iterator<std::string>(in), {}});
}

TEST(SimCommandParse, AcceptsEveryCommandInItsDocumentedForm) {
    Parsed p = Parse({"sim1", "close", "2"});
    ASSERT_EQ(sim::ParseResult::Ok, p.result) << p.error;
    EXPECT_EQ("SIM1", p.command.name);
    EXPECT_EQ(sim::Verb::Close, p.command.verb);
    EXPECT_EQ(1u, p.command.drawer);

    p = Parse({"SIM1", "reply-delay", "3600000"});
    ASSERT_EQ(sim::ParseResult::Ok, p.result) << p.error;
    EXPECT_EQ(3600000u, p.command.ms);

    p = Parse({"SIM1", "autoclose", "0"});
    ASSERT_EQ(sim::ParseResult::Ok, p.result) << p.error;
    EXPECT_TRUE(p.command.on) << "0 ms is a time, not off";

    for (const char* verb : {"show", "break", "error", "reset"}) {
        EXPECT_EQ(sim::ParseResult::Ok, Parse({"SIM1", verb}).result) << verb;
    }
}

TEST(SimCommandParse, InjectTakesBytesInSeveralSpellings) {
    Parsed p = Parse({"SIM1", "inject", "1b", "02", "0x01", "D", "0A0b"});
    ASSERT_EQ(sim::ParseResult::Ok, p.result) << p.error;
    EXPECT_EQ((std::vector<uint8_t>{0x1B, 0x02, 0x01, 0x0D, 0x0A, 0x0B}), p.command.bytes);

    std::vector<std::string> many = {"SIM1", "inject"};
    for (int i = 0; i < 256; ++i) many.push_back("00");
    EXPECT_EQ(sim::ParseResult::Ok, Parse(many).result);
    many.push_back("00");
    EXPECT_EQ(sim::ParseResult::Error, Parse(many).result) << "257 bytes";
}

TEST(SimCommandParse, RefusesBadInputWithAReason) {
    for (const char* line :
         {"COM1 show", "SIM/1 show", "SIM1 shout", "SIM1 show extra", "SIM1 open", "SIM1 open 3",
          "SIM1 open 0", "SIM1 close 1 2", "SIM1 cts ON", "SIM1 answer yes", "SIM1 reply-delay -1",
          "SIM1 reply-delay 3600001", "SIM1 open-delay 10ms", "SIM1 inject", "SIM1 inject 1g",
          "SIM1 inject 123", "SIM1 inject 0x", "SIM1 break now", "SIM1"}) {
        const Parsed p = ParseLine(line);
        EXPECT_EQ(sim::ParseResult::Error, p.result) << line;
        EXPECT_FALSE(p.error.empty()) << line;
    }
    EXPECT_EQ(sim::ParseResult::Error, ParseLine("SIM1 open-delay 99999999999999999999").result);
    EXPECT_EQ(sim::ParseResult::Error, ParseLine("").result);
    EXPECT_EQ(sim::ParseResult::Error,
              Parse(std::vector<std::string>{"SIM1", "autoclose", ""}).result);
}

TEST(SimCommandParse, HelpWinsAnywhere) {
    EXPECT_EQ(sim::ParseResult::Help, Parse({"--help"}).result);
    EXPECT_EQ(sim::ParseResult::Help, Parse({"SIM1", "-h"}).result);
    EXPECT_EQ(sim::ParseResult::Help, Parse({"COM1", "bogus", "--help"}).result);
}

class SimCommandApply : public ::testing::Test {
protected:
    void SetUp() override { sim::Initialize(s, kNow); }
    sim::ApplyResult Apply(const std::string& line) {
        const Parsed p = ParseLine(line);
        EXPECT_EQ(sim::ParseResult::Ok, p.result) << p.error;
        return sim::ApplySimCommand(s, kNow, p.command);
    }
    sim::State s;
};

// The defaults after "reset" are sim_controller_test.cpp's.
TEST_F(SimCommandApply, SettingsShowUpInTheShowLine) {
    for (const char* line :
         {"SIM1 open 2", "SIM1 cts off", "SIM1 dsr off", "SIM1 answer off", "SIM1 notify off",
          "SIM1 reply-delay 25", "SIM1 open-delay 0", "SIM1 autoclose 1500"}) {
        EXPECT_EQ(sim::ApplyResult::Done, Apply(line)) << line;
    }
    EXPECT_EQ(
        "drawer1=closed drawer2=open cts=off dsr=off answer=off reply-delay=25 open-delay=0 "
        "notify=off autoclose=1500 openings=0",
        sim::ShowLine(s));
    Apply("SIM1 close 2");
    Apply("SIM1 autoclose off");
    EXPECT_EQ(0, s.drawerOpen[1]);
    EXPECT_EQ(0, s.autoCloseOn);
    Apply("SIM1 reset");
    sim::State fresh;
    sim::Initialize(fresh, kNow);
    EXPECT_EQ(sim::ShowLine(fresh), sim::ShowLine(s));
}

TEST_F(SimCommandApply, InjectionsNeedAnOpenPort) {
    for (const char* verb : {"break", "error"}) {
        EXPECT_EQ(sim::ApplyResult::NotOpen, Apply(std::string("SIM1 ") + verb)) << verb;
    }
    EXPECT_EQ(sim::ApplyResult::NotOpen, Apply("SIM1 inject 1b"));
    EXPECT_EQ(sim::kNever, sim::NextDue(s, true));

    sim::Attach(s, kNow, 19200);
    EXPECT_EQ(sim::ApplyResult::Done, Apply("SIM1 inject 1b 02 03 0d"));
    EXPECT_EQ(sim::ApplyResult::Done, Apply("SIM1 break"));
    EXPECT_NE(sim::kNever, sim::NextDue(s, true));
}

TEST_F(SimCommandApply, ShowChangesNothing) {
    sim::Attach(s, kNow, 19200);
    const sim::State before = s;
    EXPECT_EQ(sim::ApplyResult::Done, Apply("SIM1 show"));
    EXPECT_EQ(0, memcmp(&before, &s, sizeof(s)));
}

}  // namespace
