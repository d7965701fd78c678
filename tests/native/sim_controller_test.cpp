// The simulated drawer controller: command parsing, frames and their timing, drawer changes by
// hand and by timer, the line to the port, and the state's robustness as a shared file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ports/sim_controller.h"

namespace {

using Data = std::vector<uint8_t>;
using Items = std::vector<Data>;

constexpr uint64_t kT0 = 5000000;  // an arbitrary start, well clear of zero
constexpr uint64_t kMs = 1000;

// What reached the port, in order: bytes as they are, a break as "B", a line error as "E".
struct Recorder : sim::HostSink {
    Items items;
    void Bytes(const uint8_t* data, size_t length) override {
        items.emplace_back(data, data + length);
    }
    void Break() override { items.push_back({'B'}); }
    void LineError() override { items.push_back({'E'}); }
};

Data Frame(uint8_t type, uint8_t bits) {
    return {kFrameStart, type, bits, kFrameEnd};
}
const Data kOpenedFrame1 = Frame(kFrameDrawerEvent, 1);

class SimController : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Initialize(s, kT0);
        sim::Attach(s, kT0, 19200);
    }
    void Write(uint64_t at, Data bytes) { sim::HostWrite(s, at, bytes.data(), bytes.size()); }
    // Advances to `at` and returns what reached the port on the way.
    Items RunTo(uint64_t at) {
        Recorder r;
        sim::Advance(s, at, &r);
        return r.items;
    }
    static uint64_t Wire(size_t bytes) { return sim::WireTime(19200, bytes); }

    sim::State s;
};

TEST(SimWireTime, TenBitsPerByteRoundedUp) {
    EXPECT_EQ(2084u, sim::WireTime(19200, 4));  // 2083.3 us
    EXPECT_EQ(1042u, sim::WireTime(9600, 1));   // 1041.7 us
    EXPECT_EQ(sim::WireTime(sim::kDefaultBaud, 3), sim::WireTime(0, 3));
}

TEST_F(SimController, StatusCommandIsAnsweredAfterWireTimeAndReplyDelay) {
    Write(kT0, {0x1B, 0x02, 0x01});
    const uint64_t due = kT0 + Wire(3) + sim::kDefaultReplyDelayMs * kMs + Wire(4);
    EXPECT_EQ(kT0 + Wire(3), sim::NextDue(s, true)) << "first the command reaches the controller";
    EXPECT_TRUE(RunTo(due - 1).empty());
    EXPECT_EQ(Items{Frame(kFrameStatusReply, 0)}, RunTo(due));
    EXPECT_EQ(sim::kNever, sim::NextDue(s, true));
}

TEST_F(SimController, OpenCommandOpensAfterOpenDelayAndStatusSeesItOnlyThen) {
    s.openDelayMs = 40;
    s.replyDelayMs = 5;
    Write(kT0, {0x1B, 0x01, 0x01, 0x1B, 0x02, 0x01});  // open drawer 2, then ask
    const uint64_t opened = kT0 + Wire(6) + 40 * kMs;
    EXPECT_EQ(Items{Frame(kFrameStatusReply, 0)}, RunTo(opened - 1));
    EXPECT_EQ(0, s.drawerOpen[1]);
    EXPECT_EQ(Items{Frame(kFrameDrawerEvent, 2)}, RunTo(opened + Wire(4)));
    EXPECT_EQ(opened, s.openedAt[1]);
}

TEST_F(SimController, ParserTakesBothFormsSplitCommandsAndRecoversFromNoise) {
    // Noise, an unknown command, a drawer that does not exist, then the four-byte open of
    // drawer 1 whose pulse width is an ESC; the status command comes in two writes.
    Write(kT0, {0x00, 0xFF, 0x1B, 0x03, 0x01, 0x1B, 0x01, 0x07, 0x1B, 0x01, 0x00, 0x1B});
    Write(kT0 + 100 * kMs, {0x1B, 0x02});
    Write(kT0 + 120 * kMs, {0x01, 0x00});
    EXPECT_EQ((Items{kOpenedFrame1, Frame(kFrameStatusReply, 1)}), RunTo(kT0 + 500 * kMs));
}

TEST_F(SimController, NotAnsweringSwallowsCommandsForGood) {
    s.answering = 0;
    Write(kT0, {0x1B, 0x02, 0x01, 0x1B, 0x01, 0x00});
    EXPECT_TRUE(RunTo(kT0 + Wire(6)).empty());
    s.answering = 1;  // too late for the commands already received
    EXPECT_TRUE(RunTo(kT0 + 1000 * kMs).empty());
    EXPECT_EQ(0, s.drawerOpen[0]);
}

TEST_F(SimController, ChangesByHandNotifyWhenAskedAndQueueOnTheLine) {
    EXPECT_TRUE(sim::SetDrawer(s, kT0, 0, true));
    EXPECT_FALSE(sim::SetDrawer(s, kT0, 0, true));
    EXPECT_FALSE(sim::SetDrawer(s, kT0, 2, true)) << "no third drawer";
    EXPECT_TRUE(sim::SetDrawer(s, kT0, 1, true));
    EXPECT_EQ(Items{kOpenedFrame1}, RunTo(kT0 + Wire(4)));
    EXPECT_EQ(kT0 + 2 * Wire(4), sim::NextDue(s, true)) << "the second frame waits its turn";
    EXPECT_EQ(Items{Frame(1, 3)}, RunTo(kT0 + 2 * Wire(4)));
    s.notify = 0;
    EXPECT_TRUE(sim::SetDrawer(s, kT0 + 10 * kMs, 1, false));
    EXPECT_TRUE(RunTo(kT0 + 100 * kMs).empty());
}

TEST_F(SimController, AutoCloseCountsFromTheOpening) {
    s.autoCloseOn = 1;
    s.autoCloseMs = 100;
    s.openDelayMs = 0;
    Write(kT0, {0x1B, 0x01, 0x00});
    const uint64_t opened = kT0 + Wire(3);
    EXPECT_EQ(Items{kOpenedFrame1}, RunTo(opened + 100 * kMs - 1));
    EXPECT_EQ(Items{Frame(1, 0)}, RunTo(opened + 100 * kMs + Wire(4)));

    // Switched on while a drawer has long been open, it closes at once.
    s.autoCloseOn = 0;
    sim::SetDrawer(s, kT0 + 1000 * kMs, 1, true);
    RunTo(kT0 + 5000 * kMs);
    EXPECT_EQ(1, s.drawerOpen[1]);
    s.autoCloseOn = 1;
    RunTo(kT0 + 5000 * kMs);
    EXPECT_EQ(0, s.drawerOpen[1]);
}

TEST_F(SimController, WithoutTheSinkDeliveriesWaitButTheControllerGoesOn) {
    s.openDelayMs = 10;
    Write(kT0, {0x1B, 0x01, 0x00});
    sim::Advance(s, kT0 + 100 * kMs, nullptr);  // cdctl looking in
    EXPECT_EQ(1, s.drawerOpen[0]);
    EXPECT_EQ(sim::kNever, sim::NextDue(s, false));
    sim::SetDrawer(s, kT0 + 100 * kMs, 1, true);
    EXPECT_EQ((Items{kOpenedFrame1, Frame(1, 3)}), RunTo(kT0 + 200 * kMs));
}

TEST(SimControllerTiming, OneLateAdvanceEqualsManySmallOnes) {
    auto scenario = [](sim::State& st) {
        sim::Initialize(st, kT0);
        sim::Attach(st, kT0, 9600);
        st.autoCloseOn = 1;
        st.autoCloseMs = 30;
        const Data cmds = {0x1B, 0x01, 0x00, 0x1B, 0x02, 0x01, 0x1B, 0x01, 0x01};
        sim::HostWrite(st, kT0, cmds.data(), cmds.size());
        sim::InjectBreak(st, kT0 + 3 * kMs);
    };
    sim::State a, b;
    scenario(a);
    scenario(b);
    Recorder ra, rb;
    sim::Advance(a, kT0 + 1000 * kMs, &ra);
    for (uint64_t t = kT0; t <= kT0 + 1000 * kMs; t += 137) sim::Advance(b, t, &rb);
    sim::Advance(b, kT0 + 1000 * kMs, &rb);
    EXPECT_EQ(6u, ra.items.size());  // break, status, two opens, two auto-closes
    EXPECT_EQ(ra.items, rb.items);
    EXPECT_EQ(0, memcmp(&a, &b, sizeof(a)));
}

TEST_F(SimController, DetachedControllerKeepsStateButSendsNothing) {
    Write(kT0, {0x1B, 0x01, 0x00});
    RunTo(kT0 + Wire(3));  // the command has arrived; the opening is pending
    sim::Detach(s);
    EXPECT_FALSE(sim::InjectBreak(s, kT0 + 5 * kMs));
    sim::SetDrawer(s, kT0 + 5 * kMs, 1, true);
    sim::Advance(s, kT0 + 1000 * kMs, nullptr);
    EXPECT_EQ(3, s.drawerOpen[0] + 2 * s.drawerOpen[1]);
    EXPECT_EQ(sim::kNever, sim::NextDue(s, true));
}

TEST_F(SimController, AttachAndPurgeDropWhatIsOnTheLine) {
    Write(kT0, {0x1B, 0x02, 0x01});
    sim::PurgeHostBytes(s);
    EXPECT_TRUE(RunTo(kT0 + 100 * kMs).empty());

    sim::SetDrawer(s, kT0 + 100 * kMs, 0, true);  // its frame is on the line
    Write(kT0 + 100 * kMs, {0x1B, 0x02});         // half a command, then the port reopens
    sim::Attach(s, kT0 + 100 * kMs, 19200);
    Write(kT0 + 101 * kMs, {0x01});
    EXPECT_TRUE(RunTo(kT0 + 200 * kMs).empty());
}

TEST_F(SimController, InjectionsArriveInOrderInChunksUntilTheScheduleIsFull) {
    Data big(150);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(sim::InjectBytes(s, kT0, big.data(), big.size()));
    ASSERT_TRUE(sim::InjectError(s, kT0));
    ASSERT_TRUE(sim::InjectBreak(s, kT0));
    const Items got = RunTo(kT0 + 100 * kMs);
    ASSERT_EQ(5u, got.size());
    Data joined;
    for (size_t i = 0; i < 3; ++i) joined.insert(joined.end(), got[i].begin(), got[i].end());
    EXPECT_EQ(big, joined);
    EXPECT_EQ((Items{{'E'}, {'B'}}), Items(got.begin() + 3, got.end()));

    const uint8_t b = 0x55;
    size_t accepted = 0;
    while (sim::InjectBytes(s, kT0 + 100 * kMs, &b, 1)) ++accepted;
    EXPECT_EQ(sim::kMaxActions, accepted);
    EXPECT_EQ(1u, s.dropped);
}

TEST_F(SimController, MachineRestartKeepsPendingDistances) {
    s.openDelayMs = 200;
    Write(kT0, {0x1B, 0x01, 0x00});
    RunTo(kT0 + 100 * kMs);
    // The clock starts again near zero: the opening stays about 100 ms ahead of the first look.
    const uint64_t restart = 20 * kMs;
    EXPECT_TRUE(RunTo(restart).empty());
    EXPECT_TRUE(RunTo(restart + 90 * kMs).empty());
    EXPECT_EQ(1u, RunTo(restart + 110 * kMs).size());
    // A small step back is two processes racing for the lock, not a restart.
    const uint64_t last = s.lastNow;
    RunTo(last - 10 * kMs);
    EXPECT_EQ(last, s.lastNow);
}

TEST_F(SimController, ResetRestoresDefaultsAndCountsLineChanges) {
    sim::SetDrawer(s, kT0, 0, true);
    sim::SetCts(s, false);
    s.answering = s.notify = 0;
    s.replyDelayMs = 99;
    s.autoCloseOn = 1;
    const uint32_t cts = s.ctsChanges;
    sim::Reset(s, kT0 + 1 * kMs);
    EXPECT_EQ(
        "drawer1=closed drawer2=closed cts=on dsr=on answer=on reply-delay=10 open-delay=50 "
        "notify=on autoclose=off openings=0",
        sim::ShowLine(s));
    EXPECT_EQ(cts + 1, s.ctsChanges);
    EXPECT_EQ(0u, s.dsrChanges);
    EXPECT_EQ(1, s.attached);
    EXPECT_EQ(sim::kNever, sim::NextDue(s, true)) << "the frame of the earlier opening is gone";
}

TEST(SimControllerState, ValidityCatchesForeignOrDamagedFiles) {
    sim::State s;
    sim::Initialize(s, kT0);
    EXPECT_TRUE(sim::IsValid(s));
    auto damaged = [&s](void (*change)(sim::State&)) {
        sim::State d = s;
        change(d);
        return sim::IsValid(d);
    };
    EXPECT_FALSE(damaged([](sim::State& d) { d.version = sim::kStateVersion + 1; }));
    EXPECT_FALSE(damaged([](sim::State& d) {
        d.actions[3].kind = sim::ActionKind::OpenDrawer;
        d.actions[3].arg = 2;
    }));
    EXPECT_FALSE(damaged([](sim::State& d) { d.actions[0].length = sim::kChunkBytes + 1; }));
    EXPECT_FALSE(sim::IsValid(sim::State{})) << "a freshly grown file";
}

}  // namespace
