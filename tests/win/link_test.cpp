// The device link across real processes, through the registered DLL and the simulated
// controller: one process owns the port and serves the others, status reaches every process,
// the port passes to a successor when the owner closes or dies, and faults at open give the
// documented results. Peers are drawer_peer.exe; the controller is driven with cdctl sim.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "framework/handles.h"
#include "link/shared_state.h"
#include "so/kernel_objects.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_control_object.h"
#include "tests/win/test_util.h"

namespace {

constexpr DWORD kBound = 10000;

using testproc::Process;

Process Peer(const std::string& steps) {
    return Process("\"" + testproc::ExeDir() + "drawer_peer.exe\" BramwickTestLink " + steps);
}

HANDLE Named(const std::string& name) {
    return CreateEventA(nullptr, TRUE, FALSE, ("BramwickTest " + name).c_str());
}

// The named events a test waits for, held open (and reset) before any peer starts, so a
// peer's signal cannot fall between a peer closing the event and the test opening it.
class Signals {
public:
    Signals(std::initializer_list<const char*> names) {
        for (const char* n : names) {
            m_events[n].reset(Named(n));
            ResetEvent(m_events[n].get());
        }
    }
    bool Wait(const std::string& name) const {
        HANDLE e = m_events.at(name).get();
        return PumpUntil([&] { return WaitForSingleObject(e, 0) == WAIT_OBJECT_0; }, kBound);
    }

private:
    std::map<std::string, fw::UniqueKernel> m_events;
};

void SetNamed(const std::string& name) {
    fw::UniqueKernel e(Named(name));
    SetEvent(e.get());
}

class Link : public ::testing::Test {
protected:
    void SetUp() override {
        m_device.SetText("Trace_Enable", "False");
        m_device.SetNumber("DetectDelay_Time", 20);
        m_device.SetNumber("Command_Timeout", 2000);
        ASSERT_TRUE(m_drawer.AttachRegistered());
    }
    void TearDown() override { m_drawer.Long(L"Close"); }
    LONG Open() { return m_drawer.Open(m_device.name()); }
    bool OpenedBecomes(LONG value) {
        return PumpUntil([&] { return m_drawer.Number(PIDXCash_DrawerOpened) == value; }, kBound);
    }
    DWORD Sim(const std::string& args) { return ::Sim(m_device.SimName(), args); }

    testutil::ComApartment m_com;
    ScratchDevice m_device{"BramwickTestLink"};
    DrawerClient m_drawer;
};

TEST_F(Link, StatusReachesEveryProcessAndOpenReadsIt) {
    ASSERT_EQ(0u, Sim("open 1"));
    Signals signals({"peers-open", "peer1-open", "peer2-open", "seen-closed"});
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    EXPECT_EQ(1, m_drawer.Number(PIDXCash_DrawerOpened));  // read at open
    // The peers open one after the other: the reply to an open's status query is claimed by
    // whichever open is waiting first.
    Process peer1 = Peer("open opened=1 signal=peer1-open opened=0 wait=seen-closed close");
    ASSERT_TRUE(signals.Wait("peer1-open"));
    Process peer2 = Peer("open opened=1 signal=peer2-open opened=0 wait=seen-closed close");
    ASSERT_TRUE(signals.Wait("peer2-open"));
    ASSERT_EQ(0u, Sim("close 1"));
    EXPECT_TRUE(OpenedBecomes(0));
    SetNamed("seen-closed");
    EXPECT_EQ(0u, peer1.Wait());
    EXPECT_EQ(0u, peer2.Wait());
}

TEST_F(Link, OpensAtTheSameMomentAllGetTheirReply) {
    Signals signals({"go-close", "p1", "p2", "p3"});
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    std::vector<Process> peers;
    for (const char* name : {"p1", "p2", "p3"}) {
        peers.push_back(Peer(std::string("open signal=") + name + " wait=go-close close"));
    }
    for (const char* name : {"p1", "p2", "p3"}) EXPECT_TRUE(signals.Wait(name)) << name;
    SetNamed("go-close");
    for (Process& p : peers) EXPECT_EQ(0u, p.Wait());
}

TEST_F(Link, ASuccessorTakesThePortWhenTheOwnerCloses) {
    Signals signals({"owner-open", "owner-go"});
    // The peer opens first and owns the port; this process waits as its successor.
    Process owner = Peer("open signal=owner-open wait=owner-go close");
    ASSERT_TRUE(signals.Wait("owner-open"));
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    ASSERT_EQ(0u, Sim("open 1"));
    EXPECT_TRUE(OpenedBecomes(1));  // served by the owner's reader
    SetNamed("owner-go");
    EXPECT_EQ(0u, owner.Wait());
    ASSERT_EQ(0u, Sim("close 1"));
    EXPECT_TRUE(OpenedBecomes(0));  // now served by this process's own reader
}

TEST_F(Link, ASuccessorTakesThePortWhenTheOwnerDies) {
    Signals signals({"owner-open", "owner-go"});
    Process owner = Peer("open signal=owner-open wait=owner-go crash");
    ASSERT_TRUE(signals.Wait("owner-open"));
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    SetNamed("owner-go");
    EXPECT_EQ(9u, owner.Wait());
    ASSERT_EQ(0u, Sim("open 2"));
    ASSERT_EQ(0u, Sim("open 1"));
    EXPECT_TRUE(OpenedBecomes(1));
}

TEST_F(Link, OnlyTheNewestWellFormedFrameCounts) {
    // A long second look keeps a frame split over two injections within one read pass.
    m_device.SetNumber("DetectDelay_Time", 1500);
    m_device.SetNumber("Command_Timeout", 6000);
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    ASSERT_EQ(0u, Sim("notify off"));
    // Two frames in one read: the later one (drawer 1 open) wins.
    ASSERT_EQ(0u, Sim("inject 1b 02 00 0d 1b 02 01 0d"));
    EXPECT_TRUE(OpenedBecomes(1));
    // A frame of an unknown type changes nothing; the next good frame still does.
    ASSERT_EQ(0u, Sim("inject 1b 03 00 0d"));
    ASSERT_EQ(0u, Sim("inject 00 1b 02"));
    ASSERT_EQ(0u, Sim("inject 00 0d"));
    EXPECT_TRUE(OpenedBecomes(0));
}

TEST_F(Link, ASilentControllerFailsTheOpenAfterCommandTimeout) {
    ASSERT_EQ(0u, Sim("answer off"));
    EXPECT_OPOS(OPOS_E_FAILURE, Open());
    EXPECT_EQ(kOpenResultNoPort, m_drawer.Long(L"GetOpenResult"));
    EXPECT_EQ(OPOS_S_CLOSED, m_drawer.Number(PIDX_State));
    ASSERT_EQ(0u, Sim("answer on"));
    EXPECT_OPOS(OPOS_SUCCESS, Open());  // recovers once the controller answers
}

TEST_F(Link, DsrOffAtOpenRefusesTheStatusCommand) {
    ASSERT_EQ(0u, Sim("dsr off"));
    EXPECT_OPOS(OPOS_E_FAILURE, Open());
    EXPECT_EQ(kOpenResultNoPort, m_drawer.Long(L"GetOpenResult"));
    ASSERT_EQ(0u, Sim("dsr on"));
    EXPECT_OPOS(OPOS_SUCCESS, Open());
}

TEST_F(Link, NoPortOwnerMakesTheStatusQueryTimeOut) {
    // Something else holds the port-owner mutex but never opens the port.
    m_device.SetNumber("SendReady_Timeout", 300);
    fw::UniqueKernel held(CreateMutexA(nullptr, TRUE, "Shared CashDrawer COM Opened"));
    ASSERT_TRUE(held);
    EXPECT_OPOS(OPOS_E_FAILURE, Open());
    EXPECT_EQ(kOpenResultNoPort, m_drawer.Long(L"GetOpenResult"));
    ReleaseMutex(held.get());
}

// A listener of another process that is busy (not inside its wait) at the moment the owner
// closes the port must still be woken to take the last status it has not yet acknowledged.
TEST_F(Link, AListenerBusyWhenTheOwnerClosesIsStillWoken) {
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
    m_drawer.Long(L"Close");
    closed = true;
    listener.join();
    InterlockedExchange(&slot->nProcessId, 0);
    EXPECT_TRUE(woken);
}

}  // namespace
