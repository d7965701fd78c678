// A 32-bit and a 64-bit application on one drawer, as on a terminal where a 32-bit POS
// application runs beside 64-bit tools. This test program is the 32-bit build; the other
// applications are drawer_peer of either build (BRAMWICK_PEER64 names the 64-bit one, and
// BRAMWICK_OUT_DIR64 the folder of the 64-bit modules). Both builds must share one port owner,
// one command hand-off, one status fan-out, one statistics block and one set of reliability
// counters.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "link/shared_state.h"
#include "tools/client/drawer_client.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

namespace {

constexpr DWORD kBound = 10000;
constexpr char kDevice[] = "BramwickMixed";
constexpr wchar_t kDeviceW[] = L"BramwickMixed";
constexpr char kSim[] = "SIMMIXED";

std::string Env(const char* name) {
    char value[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(value, n) : std::string();
}

using testproc::Named;

// drawer_peer of the given bitness running the steps on this test's device.
testproc::Process Peer(int bits, const std::string& steps) {
    return testproc::Peer(kDevice, steps, true, bits == 64 ? Env("BRAMWICK_PEER64") : "");
}

bool WaitNamed(const std::string& name) {
    fw::UniqueKernel e(Named(name));
    return PumpUntil([&] { return WaitForSingleObject(e.get(), 0) == WAIT_OBJECT_0; }, kBound);
}

void SignalNamed(const std::string& name) {
    fw::UniqueKernel e(Named(name));
    SetEvent(e.get());
}

class MixedBitnessBase : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("BRAMWICK_PEER64").empty() || Env("BRAMWICK_OUT_DIR64").empty()) {
            GTEST_SKIP() << "no 64-bit build named (BRAMWICK_PEER64, BRAMWICK_OUT_DIR64)";
        }
        ASSERT_EQ(4u, sizeof(void*)) << "this program is the 32-bit side";
        m_device.SetMakerPath(KEY_WOW64_32KEY, Env("BRAMWICK_OUT_DIR"));
        m_device.SetMakerPath(KEY_WOW64_64KEY, Env("BRAMWICK_OUT_DIR64"));
        m_device.SetText("Port", kSim);
        m_device.SetText("Trace_Enable", "False");
        m_device.SetNumber("DetectDelay_Time", 20);
        // A listener that died is waited for about 3 s at the next fan-out; the drawer still
        // opens within this bound.
        m_device.SetNumber("OpenDrawer_Timeout", 8000);
        ASSERT_EQ(0u, Sim(kSim, "reset"));
        ASSERT_EQ(0u, Sim(kSim, "autoclose 300"));
        // Held for the whole test, so that a signal given before the other side looks is kept.
        for (const char* name : {"mix-a", "mix-b", "mix-c", "mix-go", "mix-die"}) {
            m_events.emplace_back(Named(name));
            ResetEvent(m_events.back().get());
        }
        m_session = std::make_unique<client::DrawerClient>();
        ASSERT_HR(S_OK, m_session->Create());
    }
    void TearDown() override {
        if (m_session) m_session->Close();
        m_session.reset();
        Sim(kSim, "reset");
    }

    std::vector<fw::UniqueKernel> m_events;
    testutil::ComApartment m_com;
    ScratchDevice m_device{kDevice, true, {KEY_WOW64_32KEY, KEY_WOW64_64KEY}};
    std::unique_ptr<client::DrawerClient> m_session;
};

class MixedBitness : public MixedBitnessBase, public ::testing::WithParamInterface<int> {};

// The layout both builds agree on, checked at run time in the mapping both use: the 64-bit peer
// has the device open (a listener), then this 32-bit application opens it too.
TEST_F(MixedBitnessBase, OneSharedStateForBothBuilds) {
    testproc::Process peer = Peer(64, "open signal=mix-a wait=mix-go close");
    ASSERT_TRUE(WaitNamed("mix-a")) << peer.output();
    ASSERT_TRUE(SharedLinkReady());
    EXPECT_EQ(kSharedLinkMagic, SharedLink().nMagic);
    EXPECT_EQ(kSharedLinkVersion, SharedLink().nVersion);
    EXPECT_EQ(static_cast<LONG>(sizeof(SharedLinkState)), SharedLink().nSize);
    const LONG listeners = SharedLink().nListeners;
    EXPECT_GE(listeners, 1) << "the 64-bit application's listener is in the same block";
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
    EXPECT_TRUE(PumpUntil([&] { return SharedLink().nListeners == listeners + 1; }, kBound));
    SignalNamed("mix-go");
    EXPECT_EQ(0u, peer.Wait()) << peer.output();
    EXPECT_TRUE(PumpUntil([&] { return SharedLink().nListeners == listeners; }, kBound));
}

// Both applications open the drawer and see every change, in the same order, whichever build
// owns the port (the parameter: the bitness of the application that opens first and owns it).
TEST_P(MixedBitness, EachOpensTheDrawerAndBothSeeEveryChange) {
    const int owner = GetParam();
    // The reliability counter kept in a file, so that it outlives every process.
    const std::string folder = testproc::NewTempFolder("BramwickMixed");
    ASSERT_FALSE(folder.empty());
    m_device.SetText("Statistics", "File");
    m_device.SetText("StatFileName", (folder + "\\RASMixed.LOG").c_str());
    // The statistics counter and the reliability counter before this test's two openings.
    long long goodBefore = 0;
    long long countedBefore = 0;
    {
        DrawerClient probe;
        ASSERT_HR(S_OK, probe.Create());
        ASSERT_OPOS(OPOS_SUCCESS, probe.Open(kDeviceW));
        goodBefore = probe.Counter("DrawerGoodOpenCount");
        countedBefore = probe.DrawerOpenCount();
        probe.Close();
    }

    // 64 first: the peer opens, then this application; 32 first: the other way round.
    std::unique_ptr<testproc::Process> peer;
    const std::string peerSteps =
        "open enable signal=mix-a wait=mix-go opendrawer events=1,0,1,0,1,0 close";
    if (owner == 64) {
        peer = std::make_unique<testproc::Process>(Peer(64, peerSteps));
        ASSERT_TRUE(WaitNamed("mix-a")) << peer->output();
        ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
    } else {
        ASSERT_OPOS(OPOS_SUCCESS, m_session->Open(kDeviceW));
        peer = std::make_unique<testproc::Process>(Peer(64, peerSteps));
        ASSERT_TRUE(WaitNamed("mix-a")) << peer->output();
    }
    m_session->Set(PIDX_DeviceEnabled, 1);

    // This application opens the drawer, the drawer closes by itself, a person opens and
    // closes it by hand, then the other application opens it.
    ASSERT_OPOS(OPOS_SUCCESS, m_session->OpenDrawer());
    ASSERT_TRUE(PumpUntil([&] { return m_session->co().StatusUpdates().size() == 2; }, kBound));
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    ASSERT_TRUE(PumpUntil([&] { return m_session->co().StatusUpdates().size() == 3; }, kBound));
    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    ASSERT_TRUE(PumpUntil([&] { return m_session->co().StatusUpdates().size() == 4; }, kBound));
    SignalNamed("mix-go");
    const std::vector<LONG> expected = {1, 0, 1, 0, 1, 0};
    EXPECT_TRUE(PumpUntil([&] { return m_session->co().StatusUpdates() == expected; }, kBound));
    EXPECT_EQ(expected, m_session->co().StatusUpdates());
    EXPECT_EQ(0u, peer->Wait()) << peer->output();

    // One statistics block and one reliability counter: both openings counted once each,
    // whichever build saves them last.
    ASSERT_OPOS(OPOS_SUCCESS, m_session->Close());
    DrawerClient after;
    ASSERT_HR(S_OK, after.Create());
    ASSERT_OPOS(OPOS_SUCCESS, after.Open(kDeviceW));
    EXPECT_EQ(goodBefore + 2, after.Counter("DrawerGoodOpenCount"));
    EXPECT_EQ(countedBefore + 2, after.DrawerOpenCount());
    after.Close();
}

// The owner of either bitness dies; the application of the other bitness takes the port over,
// reads the changes made by hand and its OpenDrawer works. This test program only watches.
TEST_P(MixedBitness, KillingTheOwnerHandsThePortToTheOtherBuild) {
    const int owner = GetParam();
    const int other = owner == 64 ? 32 : 64;
    testproc::Process dying = Peer(owner, "open signal=mix-a wait=mix-die crash");
    ASSERT_TRUE(WaitNamed("mix-a")) << dying.output();
    testproc::Process survivor = Peer(other,
                                      "open enable signal=mix-b wait=mix-go opened=1 signal=mix-c "
                                      "opened=0 opendrawer opened=1 opened=0 close");
    ASSERT_TRUE(WaitNamed("mix-b")) << survivor.output();
    EXPECT_EQ(static_cast<LONG>(GetProcessId(dying.handle())), SharedLink().nOwnerProcessId);
    SignalNamed("mix-die");
    EXPECT_EQ(9u, dying.Wait());
    EXPECT_TRUE(PumpUntil(
        [&] {
            return SharedLink().nOwnerProcessId ==
                   static_cast<LONG>(GetProcessId(survivor.handle()));
        },
        kBound))
        << "the survivor did not take the port over";
    // The new owner asks the drawer for its state and fans the reply out, waiting about 3 s for
    // the dead application's acknowledgement; a change made by hand during that wait is not
    // reported. Once the dead listener is dropped, only the survivor listens.
    EXPECT_TRUE(PumpUntil([&] { return SharedLink().nListeners == 1; }, kBound));
    SignalNamed("mix-go");
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    EXPECT_TRUE(WaitNamed("mix-c")) << "the change by hand never reached the survivor";
    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    EXPECT_EQ(0u, survivor.Wait()) << survivor.output();
}

INSTANTIATE_TEST_SUITE_P(OwnerBits, MixedBitness, ::testing::Values(32, 64),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Owner" + std::to_string(info.param);
                         });

}  // namespace
