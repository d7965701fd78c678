// Event delivery through a real control object: on the application's thread, in order, one at
// a time, under FreezeEvents, COFreezeEvents and DeviceEnabled; Close inside and during a
// callback. Every wait pumps messages until a condition holds, with a bound.
#include <atomic>
#include <thread>

#include "tests/win/service_fixture.h"

namespace {

constexpr DWORD kQuiet = 300;  // how long nothing may happen when nothing must

class Events : public ServiceTest {
protected:
    Events() : ServiceTest("BramwickTestEvents") {}
    LONG Open(ControlObjectStub::Options options = {}) {
        m_drawer.UseControlObject(options);
        m_co = &m_drawer.co();
        return ServiceTest::Open();
    }
    // Opened and enabled: status updates are queued for delivery.
    void OpenEnabled(ControlObjectStub::Options options = {}) {
        ASSERT_OPOS(OPOS_SUCCESS, Open(options));
        ASSERT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 1));
    }
    bool WaitForUpdates(size_t n) {
        return PumpUntil([&] { return m_co->StatusUpdates().size() >= n; }, kBound);
    }
    // Pumps for a while and reports how much was delivered meanwhile.
    size_t DeliveredDuringQuietPeriod() {
        const size_t before = m_co->StatusUpdates().size();
        PumpFor(kQuiet);
        return m_co->StatusUpdates().size() - before;
    }

    ControlObjectStub* m_co = nullptr;
};

// A control object without SODirectIO is refused at open. Either freeze holds the backlog;
// clearing the last one delivers it, in order and on the application's thread.
TEST_F(Events, FreezesHoldTheBacklogUntilBothAreCleared) {
    ControlObjectStub::Options noDirectIO;
    noDirectIO.directIO = false;
    EXPECT_OPOS(OPOS_E_NOSERVICE, Open(noDirectIO));
    EXPECT_EQ(kOpenResultNoControlObject, m_drawer.Long(L"GetOpenResult"));
    EXPECT_EQ(OPOS_S_CLOSED, m_drawer.Number(PIDX_State));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"COFreezeEvents", 1));  // even while closed
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"COFreezeEvents", 0));
    OpenEnabled();
    Set(PIDX_FreezeEvents, 1);
    for (LONG v : {CASH_SUE_DRAWEROPEN, CASH_SUE_DRAWERCLOSED, OPOS_SUE_POWER_OFF_OFFLINE}) {
        m_service->QueueStatusUpdate(v);
    }
    EXPECT_EQ(0u, DeliveredDuringQuietPeriod());
    EXPECT_EQ(3u, m_service->QueuedEventCount());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"COFreezeEvents", 1));
    Set(PIDX_FreezeEvents, 0);
    EXPECT_EQ(0u, DeliveredDuringQuietPeriod());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"COFreezeEvents", 0));
    ASSERT_TRUE(WaitForUpdates(3));

    Set(PIDX_FreezeEvents, 1);
    m_service->QueueStatusUpdate(CASH_SUE_DRAWEROPEN);
    EXPECT_EQ(0u, DeliveredDuringQuietPeriod());
    Set(PIDX_FreezeEvents, 0);
    ASSERT_TRUE(WaitForUpdates(4));
    EXPECT_EQ((std::vector<LONG>{1, 0, 2004, 1}), m_co->StatusUpdates());
    EXPECT_EQ(1u, m_co->VersionReads());
    for (size_t i = 0; i < m_co->EventCount(); ++i) {
        EXPECT_EQ(GetCurrentThreadId(), m_co->EventAt(i).threadId);
    }
    EXPECT_TRUE(m_co->Unexpected().empty());
}

// While disabled a record is lost, not deferred; held records wait for enable, and Close
// drops them undelivered.
TEST_F(Events, DisabledLosesRecordsHeldOnesWaitForEnableAndCloseDropsThem) {
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    m_service->QueueStatusUpdate(1);
    EXPECT_EQ(0u, m_service->QueuedEventCount());
    Set(PIDX_DeviceEnabled, 1);
    EXPECT_EQ(0u, DeliveredDuringQuietPeriod());

    Set(PIDX_FreezeEvents, 1);
    m_service->QueueStatusUpdate(0);
    m_service->QueueStatusUpdate(1);
    Set(PIDX_DeviceEnabled, 0);
    Set(PIDX_FreezeEvents, 0);
    EXPECT_EQ(0u, DeliveredDuringQuietPeriod());
    EXPECT_EQ(2u, m_service->QueuedEventCount());
    Set(PIDX_DeviceEnabled, 1);
    ASSERT_TRUE(WaitForUpdates(2));
    EXPECT_EQ((std::vector<LONG>{0, 1}), m_co->StatusUpdates());

    Set(PIDX_FreezeEvents, 1);
    m_service->QueueStatusUpdate(1);
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    EXPECT_EQ(0u, m_service->QueuedEventCount());
    Set(PIDX_FreezeEvents, 0);
    EXPECT_EQ(0u, DeliveredDuringQuietPeriod());
}

// A control object without SOStatusUpdate, or one whose callback fails, still lets the event
// thread drain the queue and the session close.
TEST_F(Events, MissingOrFailingCallbacksStillDrainTheQueue) {
    ControlObjectStub::Options without, failing;
    without.statusUpdate = false;
    failing.statusUpdateResult = E_FAIL;
    for (const auto& options : {without, failing}) {
        OpenEnabled(options);
        for (int i = 0; i < 3; ++i) m_service->QueueStatusUpdate(i % 2);
        // The last record leaves the queue before its callback ends.
        const size_t delivered = options.statusUpdate ? 3 : 0;
        EXPECT_TRUE(PumpUntil(
            [&] {
                return m_service->QueuedEventCount() == 0 &&
                       m_co->StatusUpdates().size() == delivered;
            },
            kBound));
        EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    }
}

// During a callback a Close from another thread is busy; one from inside the handler is not.
TEST_F(Events, CloseDuringACallbackIsBusyOnlyFromAnotherThread) {
    OpenEnabled();
    std::atomic<LONG> otherResult{-1}, insideResult{-1};
    m_co->onEvent = [&](const ControlObjectStub::Event& e) {
        if (e.number == 1) {
            std::thread([&] { otherResult = m_service->Close(); }).join();
        } else {
            insideResult = m_drawer.Long(L"Close");
        }
    };
    m_service->QueueStatusUpdate(1);
    ASSERT_TRUE(WaitForUpdates(1));
    EXPECT_OPOS(OPOS_E_BUSY, otherResult.load());
    EXPECT_EQ(OPOS_S_IDLE, m_drawer.Number(PIDX_State));
    m_service->QueueStatusUpdate(0);
    ASSERT_TRUE(PumpUntil([&] { return insideResult != -1; }, kBound));
    EXPECT_OPOS(OPOS_SUCCESS, insideResult.load());
    EXPECT_EQ(OPOS_S_CLOSED, m_drawer.Number(PIDX_State));
}

}  // namespace
