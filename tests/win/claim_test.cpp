// Claim and Release across processes through the per-drawer named mutex, the power-fail event
// in the claim wait, and abandoned claims.
#include <string>

#include "tests/win/service_fixture.h"

namespace {

// drawer_peer holding the claim of a device in its own process until the test lets it go on;
// it then runs the `last` steps: "release close", or "crash" to leave the claim abandoned.
class ClaimHolder {
public:
    ClaimHolder(const std::string& device, const char* last)
        : m_claimed(Named("claimed-" + device)),
          m_release(Named("release-" + device)),
          m_process(testproc::Peer(device, "open claim signal=claimed-" + device +
                                               " wait=release-" + device + " " + last)) {}
    ~ClaimHolder() { Finish(); }
    // True once the other process holds the claim (bounded wait).
    bool WaitClaimed() {
        HANDLE waits[] = {m_claimed.get(), m_process.handle()};
        return m_process.started() &&
               WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    // Lets it go on and waits for it to end.
    DWORD Finish() {
        SetEvent(m_release.get());
        return m_process.Wait(20000);
    }

private:
    // The named event, reset: a signal left by an earlier run does not count.
    static HANDLE Named(const std::string& name) {
        HANDLE event = testproc::Named(name);
        ResetEvent(event);
        return event;
    }
    fw::UniqueKernel m_claimed, m_release;
    testproc::Process m_process;
};

class Claims : public ServiceTest {
protected:
    Claims() : ServiceTest("BramwickTestClaim1") {}
};

TEST_F(Claims, ClaimAndReleaseOnOneInstance) {
    EXPECT_OPOS(OPOS_E_CLOSED, m_drawer.Long(L"ClaimDevice", 0));
    EXPECT_OPOS(OPOS_E_CLOSED, m_drawer.Long(L"ReleaseDevice"));
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    EXPECT_OPOS(OPOS_E_ILLEGAL, m_drawer.Long(L"Release"));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"ClaimDevice", 0));
    EXPECT_EQ(1, Number(PIDX_Claimed));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 0));  // already claimed
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 1));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Release"));
    EXPECT_EQ(0, Number(PIDX_Claimed));
    EXPECT_EQ(1, Number(PIDX_DeviceEnabled));  // releasing does not disable
    EXPECT_OPOS(OPOS_E_ILLEGAL, m_drawer.Long(L"ReleaseDevice"));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
}

TEST_F(Claims, ClaimHeldByAnotherProcessTimesOut) {
    ClaimHolder holder(m_device.name(), "release close");
    ASSERT_TRUE(holder.WaitClaimed());
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    EXPECT_OPOS(OPOS_E_TIMEOUT, m_drawer.Long(L"Claim", 0));
    EXPECT_OPOS(OPOS_E_TIMEOUT, m_drawer.Long(L"Claim", 200));
    EXPECT_EQ(0, Number(PIDX_Claimed));
    // The other drawer's claim is its own.
    ScratchDevice drawer2("BramwickTestClaim2");
    drawer2.SetText("Trace_Enable", "False");
    drawer2.SetNumber("DrawerNo", 2);
    DrawerClient second;
    fw::ComPtr<IDispatch> object;
    ASSERT_HR(S_OK, CCashDrawer::CreateInstance(IID_IDispatch, object.put_void()));
    second.Attach(object.get());
    ASSERT_OPOS(OPOS_SUCCESS, second.Open(drawer2.name()));
    EXPECT_OPOS(OPOS_SUCCESS, second.Long(L"Claim", 0));

    EXPECT_EQ(0u, holder.Finish());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 5000));
}

TEST_F(Claims, PowerFailureEndsTheWaitUnlessTheClaimIsFree) {
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    SetEvent(m_powerFail.get());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 0));  // free: the claim wins
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Release"));
    ResetEvent(m_powerFail.get());

    ClaimHolder holder(m_device.name(), "release close");
    ASSERT_TRUE(holder.WaitClaimed());
    SetEvent(m_powerFail.get());
    // Held elsewhere: the power failure answers at once, long before the timeout.
    EXPECT_OPOS(OPOS_E_NOHARDWARE, m_drawer.Long(L"Claim", 60000));
    EXPECT_EQ(0, Number(PIDX_Claimed));
}

TEST_F(Claims, AnAbandonedClaimIsTakenOver) {
    ClaimHolder holder(m_device.name(), "crash");
    ASSERT_TRUE(holder.WaitClaimed());
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    EXPECT_OPOS(OPOS_E_TIMEOUT, m_drawer.Long(L"Claim", 0));
    EXPECT_EQ(9u, holder.Finish());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 5000));
    EXPECT_EQ(1, Number(PIDX_Claimed));
}

}  // namespace
