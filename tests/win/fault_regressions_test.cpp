// Faults found by the soak, each reduced to a case that shows it every time:
//   - the process that owns the port grows by a few handles with every OpenService/Close;
//   - a drawer change that arrives while another application's OpenService waits for its
//     status reply never reaches the applications that already have the drawer open (their
//     DrawerOpened stays wrong and a WaitForDrawerClose there never returns);
//   - a port owner that dies while it fans a status out leaves the status-update event set:
//     the successor then owns the port but never reads it, and every listener wakes every
//     10 ms for good;
//   - a listener busy between two waits when the owner closes the port is never woken for the
//     last status it has not taken.
// The test program fault_regression_tests; see docs/reliability.md.
#include <atomic>
#include <thread>
#include <vector>

#include "framework/handles.h"
#include "link/shared_state.h"
#include "so/kernel_objects.h"
#include "tests/win/fault_fixture.h"

namespace {

using testproc::Named;

class FaultRegressions : public FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        // Held for the whole test, so that a signal given before the other side looks is kept.
        for (const char* name : {"race-p-open", "race-q-open", "race-go", "race-l-open"}) {
            m_signalled.emplace_back(Named(name));
            ResetEvent(m_signalled.back().get());
        }
    }
    void TearDown() override {
        Signal("race-go");
        FaultFixture::TearDown();
    }
};

// The port owner starts a port-library session at every open and ends it at every close.
TEST_F(FaultRegressions, OpenAndCloseAsPortOwnerLeaveNoHandlesBehind) {
    for (int warm = 0; warm < 2; ++warm) {
        ASSERT_OPOS(OPOS_SUCCESS, Open());
        ASSERT_OPOS(OPOS_SUCCESS, m_session.Close());
    }
    const long before = testproc::HandleCount();
    for (int cycle = 0; cycle < 10; ++cycle) {
        ASSERT_OPOS(OPOS_SUCCESS, Open());
        ASSERT_EQ(GetCurrentProcessId(), testproc::PortOwnerProcessId())
            << "this process owns the port";
        ASSERT_OPOS(OPOS_SUCCESS, m_session.Close());
    }
    EXPECT_LE(testproc::HandleCount() - before, 2) << "handles before: " << before;
}

// Another application (P) owns the port; this one has the drawer open and sees it open. A
// third application (Q) opens the service and waits for the reply to its status command; the
// drawer closes meanwhile, and opens again before Q's late reply. The frame of the closing
// answers Q's open, and it must reach every application as well: otherwise this one, told of
// "open" and then of nothing new, never learns that the drawer was closed in between.
TEST_F(FaultRegressions, AFrameThatAnswersAnotherOpenStillReachesEveryApplication) {
    m_device.SetNumber("Command_Timeout", 8000);
    testproc::Process p = Peer("open signal=race-p-open wait=race-go close");
    ASSERT_TRUE(Signalled("race-p-open"));
    OpenEnabled();
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    ASSERT_TRUE(OpenedBecomes(1));

    // Q's status command is answered only after 4 s. Q's OpenService resets the shared
    // "response received" event right before it sends the command: once the event this test
    // set is reset, Q is waiting.
    ASSERT_EQ(0u, Sim(kSim, "reply-delay 4000"));
    fw::UniqueKernel response(
        CreateEventA(nullptr, TRUE, FALSE, "Velmora CD Response Received Event"));
    SetEvent(response.get());
    testproc::Process q = Peer("open signal=race-q-open wait=race-go close");
    ASSERT_TRUE(
        PumpUntil([&] { return WaitForSingleObject(response.get(), 0) == WAIT_TIMEOUT; }, kBound));

    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    const DWORD start = GetTickCount();
    ASSERT_TRUE(Signalled("race-q-open")) << "Q's open ends with the frame of the change";
    EXPECT_LT(GetTickCount() - start, 3000u) << "Q's open waited for the late reply";
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    PumpUntil([&] { return m_session.co().StatusUpdates().size() >= 3; }, kBound);
    EXPECT_EQ((std::vector<LONG>{CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED, CASH_SUE_DRAWEROPEN}),
              m_session.co().StatusUpdates())
        << "the closing between the two openings was lost for this application";

    Signal("race-go");
    EXPECT_EQ(0u, q.Wait());
    EXPECT_EQ(0u, p.Wait());
}

// P owns the port; L had the drawer open and died, so it is still counted as a listener and
// P's fan-out of the next frame waits about 3 s for L's acknowledgement, with the status-update
// event set. P dies during that wait; this application takes the port over and must go on
// reading it.
TEST_F(FaultRegressions, ASuccessorReadsThePortAfterTheOwnerDiedInAFanOut) {
    testproc::Process p = Peer("open signal=race-p-open wait=race-go close");
    ASSERT_TRUE(Signalled("race-p-open"));
    testproc::Process l = Peer("open signal=race-l-open crash");
    EXPECT_EQ(9u, l.Wait());
    OpenEnabled();

    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    ASSERT_TRUE(OpenedBecomes(1));  // acknowledged; P still waits for L
    TerminateProcess(p.handle(), 9);
    EXPECT_EQ(9u, p.Wait());

    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    EXPECT_TRUE(OpenedBecomes(0)) << "the new owner does not read the port";
}

// A listener that died holds up no one: the owner's OpenDrawer sees its drawer open without
// waiting for the dead application's acknowledgement, nothing is counted as failed, and every
// change, also those made by hand right after, reaches the applications still alive in order.
TEST_F(FaultRegressions, ADeadListenerHoldsUpNeitherTheOwnerNorTheOthers) {
    ASSERT_EQ(0u, Sim(kSim, "autoclose 300"));
    OpenEnabled();  // this process owns the port
    testproc::Process dead = Peer("open signal=race-l-open crash");
    EXPECT_EQ(9u, dead.Wait());
    testproc::Process alive =
        Peer("open enable signal=race-q-open events=1,0,1,0 wait=race-go close");
    ASSERT_TRUE(Signalled("race-q-open"));
    const long long failedBefore = m_session.Counter("DrawerFailedOpenCount");

    EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer()) << "the owner waited for the dead";
    ASSERT_TRUE(OpenedBecomes(0));  // closed again by the simulator
    ASSERT_EQ(0u, Sim(kSim, "open 1"));
    ASSERT_EQ(0u, Sim(kSim, "close 1"));
    const std::vector<LONG> expected = {1, 0, 1, 0};
    EXPECT_TRUE(UpdatesBecome(expected));
    EXPECT_EQ(expected, m_session.co().StatusUpdates());
    EXPECT_EQ(failedBefore, m_session.Counter("DrawerFailedOpenCount"));
    Signal("race-go");
    EXPECT_EQ(0u, alive.Wait()) << "a change did not reach the other application";
}

// A drawer opened and closed again within one read pass of the port owner (the simulator
// closes it 100 ms after opening, sooner than the reader's second look): OpenDrawer sees it
// open, and the application gets both events, in order.
TEST_F(FaultRegressions, ADrawerOpenedAndClosedWithinOnePassIsSeenTwice) {
    m_device.SetNumber("DetectDelay_Time", 300);
    ASSERT_EQ(0u, Sim(kSim, "autoclose 100"));
    OpenEnabled();
    const long long goodBefore = m_session.Counter("DrawerGoodOpenCount");
    EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
    const std::vector<LONG> expected = {1, 0};
    EXPECT_TRUE(UpdatesBecome(expected));
    EXPECT_EQ(expected, m_session.co().StatusUpdates());
    EXPECT_EQ(goodBefore + 1, m_session.Counter("DrawerGoodOpenCount"));
}

// Applications that have not claimed never get 102 from one another, however many open the
// drawer at the same moment.
TEST_F(FaultRegressions, WithoutAClaimNoApplicationGetsClaimedFromAnother) {
    ASSERT_EQ(0u, Sim(kSim, "autoclose 50"));
    std::string steps = "open enable wait=race-go";
    // Each opening is followed by a burst of checks that return at once while the drawer is shut.
    for (int i = 0; i < 12; ++i) {
        steps += " opendrawer=!102";
        for (int j = 0; j < 20; ++j) steps += " waitforclose=!102";
    }
    steps += " close";
    std::vector<testproc::Process> peers;
    for (int i = 0; i < 4; ++i) peers.push_back(Peer(steps));
    OpenEnabled();
    Sleep(1000);  // the peers have opened by now, or open while the others already run
    Signal("race-go");
    int claimed = 0;
    for (int i = 0; i < 12; ++i) {
        claimed += m_session.OpenDrawer() == OPOS_E_CLAIMED;
        for (int j = 0; j < 20; ++j)
            claimed += m_session.WaitForDrawerClose(1000) == OPOS_E_CLAIMED;
    }
    EXPECT_EQ(0, claimed) << "a drawer method answered 102 in this process";
    for (testproc::Process& p : peers) {
        EXPECT_EQ(0u, p.Wait(60000)) << "a peer's drawer method answered 102";
    }
}

// An application claimed the drawer and died. The next applications to look each take the
// abandoned mutex for an instant to clear the claim; one that looks while another holds it
// for that instant must not take it for a claim.
TEST_F(FaultRegressions, AClaimLeftByADeadApplicationIsNoClaimWhileAnotherClearsIt) {
    OpenEnabled();
    testproc::Process claimant = Peer("open claim crash");
    EXPECT_EQ(9u, claimant.Wait());

    // Another application clearing the abandoned claim holds the mutex meanwhile.
    fw::UniqueKernel held(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    fw::UniqueKernel done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread clearer([&] {
        fw::UniqueKernel claim(OpenMutexA(SYNCHRONIZE, FALSE, "Vantrel CashDrawer Claimed"));
        if (claim && WaitForSingleObject(claim.get(), 5000) != WAIT_TIMEOUT) {
            SetEvent(held.get());
            WaitForSingleObject(done.get(), 10000);
            ReleaseMutex(claim.get());
        }
    });
    const bool holding = WaitForSingleObject(held.get(), 5000) == WAIT_OBJECT_0;
    const LONG opened = holding ? m_session.OpenDrawer() : -1;
    SetEvent(done.get());
    clearer.join();
    ASSERT_TRUE(holding);
    EXPECT_OPOS(OPOS_SUCCESS, opened);
}

// A listener of another process that is busy (not inside its wait) at the moment the owner
// closes the port must still be woken to take the last status it has not yet acknowledged.
TEST_F(FaultRegressions, AListenerBusyWhenTheOwnerClosesIsStillWoken) {
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    fw::UniqueKernel mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kSharedLinkMappingName));
    ASSERT_TRUE(mapping);
    fw::UniqueMappedView view(
        MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedLinkState)));
    ASSERT_TRUE(view);
    auto* link = static_cast<SharedLinkState*>(view.get());
    fw::UniqueKernel update(OpenEventA(SYNCHRONIZE, FALSE, kStatusUpdateEventName));
    ASSERT_TRUE(update);
    ListenerSlot* slot = nullptr;
    const LONG self = static_cast<LONG>(GetCurrentProcessId());
    for (ListenerSlot& s : link->listeners) {
        if (InterlockedCompareExchange(&s.nProcessId, self, 0) == 0) {
            slot = &s;
            break;
        }
    }
    ASSERT_NE(nullptr, slot);
    slot->nAckSeq = link->nStatusSeq - 1;  // one status behind

    // The listener only looks between its own work, never waiting at the instant of the wake.
    std::atomic<bool> closed{false}, woken{false};
    std::thread listener([&] {
        while (!closed && !woken) {
            if (WaitForSingleObject(update.get(), 0) == WAIT_OBJECT_0) {
                InterlockedExchange(&slot->nAckSeq, link->nStatusSeq);
                woken = true;
            }
            Sleep(5);
        }
    });
    m_session.Close();
    closed = true;
    listener.join();
    InterlockedExchange(&slot->nProcessId, 0);
    EXPECT_TRUE(woken);
}

}  // namespace
