// The simulated drawer controller: its parser gets over noise, its timing does not depend on
// how often it is looked at, and a foreign or damaged state file is recognised.
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

    sim::State s;
};

TEST_F(SimController, ParserTakesBothFormsSplitCommandsAndRecoversFromNoise) {
    // Noise, an unknown command, a drawer that does not exist, then the four-byte open of
    // drawer 1 whose pulse width is an ESC; the status command comes in two writes.
    Write(kT0, {0x00, 0xFF, 0x1B, 0x03, 0x01, 0x1B, 0x01, 0x07, 0x1B, 0x01, 0x00, 0x1B});
    Write(kT0 + 100 * kMs, {0x1B, 0x02});
    Write(kT0 + 120 * kMs, {0x01, 0x00});
    EXPECT_EQ((Items{kOpenedFrame1, Frame(kFrameStatusReply, 1)}), RunTo(kT0 + 500 * kMs));
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
