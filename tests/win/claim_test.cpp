// Claim and Release across processes through the per-drawer named mutex, the power-fail event
// in the claim wait, abandoned claims, and how enabling moves PowerState.
#include <gtest/gtest.h>

#include <string>

#include "framework/disp_client.h"
#include "framework/handles.h"
#include "so/cash_drawer.h"
#include "tests/win/scratch_device.h"
#include "tests/win/test_control_object.h"
#include "tests/win/test_util.h"

namespace {

// Runs claim_holder in its own process for a device and waits until it holds the claim.
class ClaimHolder {
public:
    ClaimHolder(const std::string& device, const char* mode) : m_device(device) {
        m_claimed.reset(
            CreateEventA(nullptr, TRUE, FALSE, ("BramwickTest Claimed " + device).c_str()));
        m_release.reset(
            CreateEventA(nullptr, TRUE, FALSE, ("BramwickTest Release " + device).c_str()));
        ResetEvent(m_claimed.get());
        ResetEvent(m_release.get());
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string path(exe);
        path = path.substr(0, path.find_last_of('\\') + 1) + "claim_holder.exe";
        std::string command = "\"" + path + "\" " + device + " " + mode;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &si, &pi)) {
            m_process.reset(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
    ~ClaimHolder() { Finish(); }
    // True once the other process holds the claim (bounded wait).
    bool WaitClaimed() {
        if (!m_process) return false;
        HANDLE waits[] = {m_claimed.get(), m_process.get()};
        return WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    // Tells it to go on (release or abandon) and waits for it to end.
    DWORD Finish() {
        if (!m_process) return 0;
        SetEvent(m_release.get());
        WaitForSingleObject(m_process.get(), 20000);
        DWORD code = 0;
        GetExitCodeProcess(m_process.get(), &code);
        m_process.reset();
        return code;
    }

private:
    std::string m_device;
    fw::UniqueKernel m_claimed, m_release, m_process;
};

class Claims : public ::testing::Test {
protected:
    void SetUp() override {
        for (ScratchDevice* d : {&m_drawer1, &m_drawer2}) d->SetText("Trace_Enable", "False");
        m_drawer2.SetNumber("DrawerNo", 2);
        m_co = TestControlObject::Create();
        fw::ComPtr<IDispatch> object;
        ASSERT_HR(S_OK, CCashDrawer::CreateInstance(IID_IDispatch, object.put_void()));
        m_drawer = fw::DispClient(object.get());
        m_powerFail.reset(CreateEventA(nullptr, TRUE, FALSE, "Vantrel PowerFail Event"));
        ResetEvent(m_powerFail.get());
    }
    void TearDown() override {
        ResetEvent(m_powerFail.get());
        m_drawer = fw::DispClient();
        m_co->Release();
    }
    LONG Open(const ScratchDevice& device) {
        std::wstring name(device.name().begin(), device.name().end());
        return m_drawer.Long(L"OpenService", L"CashDrawer", name.c_str(),
                             static_cast<IDispatch*>(m_co));
    }
    LONG Number(LONG index) { return m_drawer.Long(L"GetPropertyNumber", index); }
    LONG Set(LONG index, LONG value) {
        VARIANT r;
        VariantInit(&r);
        m_drawer.Call(L"SetPropertyNumber", &r, index, value);
        return Number(PIDX_ResultCode);
    }

    testutil::ComApartment m_com;
    ScratchDevice m_drawer1{"BramwickTestClaim1"};
    ScratchDevice m_drawer2{"BramwickTestClaim2"};
    TestControlObject* m_co = nullptr;
    fw::DispClient m_drawer;
    fw::UniqueKernel m_powerFail;
};

TEST_F(Claims, ClaimAndReleaseOnOneInstance) {
    EXPECT_OPOS(OPOS_E_CLOSED, m_drawer.Long(L"ClaimDevice", 0));
    EXPECT_OPOS(OPOS_E_CLOSED, m_drawer.Long(L"ReleaseDevice"));
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_drawer1));
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
    ClaimHolder holder(m_drawer1.name(), "release");
    ASSERT_TRUE(holder.WaitClaimed());
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_drawer1));
    EXPECT_OPOS(OPOS_E_TIMEOUT, m_drawer.Long(L"Claim", 0));
    EXPECT_OPOS(OPOS_E_TIMEOUT, m_drawer.Long(L"Claim", 200));
    EXPECT_EQ(0, Number(PIDX_Claimed));
    EXPECT_EQ(0u, holder.Finish());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 5000));
}

TEST_F(Claims, PowerFailureEndsTheWaitUnlessTheClaimIsFree) {
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_drawer1));
    SetEvent(m_powerFail.get());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 0));  // free: the claim wins
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Release"));
    ResetEvent(m_powerFail.get());

    ClaimHolder holder(m_drawer1.name(), "release");
    ASSERT_TRUE(holder.WaitClaimed());
    SetEvent(m_powerFail.get());
    // Held elsewhere: the power failure answers at once, long before the timeout.
    EXPECT_OPOS(OPOS_E_NOHARDWARE, m_drawer.Long(L"Claim", 60000));
    EXPECT_EQ(0, Number(PIDX_Claimed));
}

TEST_F(Claims, AnAbandonedClaimIsTakenOver) {
    ClaimHolder holder(m_drawer1.name(), "abandon");
    ASSERT_TRUE(holder.WaitClaimed());
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_drawer1));
    EXPECT_OPOS(OPOS_E_TIMEOUT, m_drawer.Long(L"Claim", 0));
    EXPECT_EQ(3u, holder.Finish());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 5000));
    EXPECT_EQ(1, Number(PIDX_Claimed));
}

TEST_F(Claims, TheTwoDrawersHaveIndependentClaims) {
    ClaimHolder holder(m_drawer1.name(), "release");
    ASSERT_TRUE(holder.WaitClaimed());
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_drawer2));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 0));
}

TEST_F(Claims, EnablingResetsPowerStateUnlessPowerNotifyIsOn) {
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_drawer1));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 1));
    EXPECT_EQ(OPOS_PS_UNKNOWN, Number(PIDX_PowerState));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 1));  // unchanged: still success
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 0));
    EXPECT_EQ(OPOS_PS_UNKNOWN, Number(PIDX_PowerState));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_PowerNotify, OPOS_PN_ENABLED));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 1));
    // Enabled with power notification: the workers report the lines, which are on.
    EXPECT_TRUE(PumpUntil([&] { return Number(PIDX_PowerState) == OPOS_PS_ONLINE; }, 5000));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    EXPECT_EQ(0, Number(PIDX_DeviceEnabled));
}

}  // namespace
