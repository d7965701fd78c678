// OpenDrawer, WaitForDrawerClose, CheckHealth, power reporting and the firmware methods
// against the simulated controller, in one process. Every wait is on a condition with a bound.
#include <mutex>
#include <vector>

#include "so/beeper.h"
#include "tests/win/service_fixture.h"

namespace {

struct BeepCall {
    DWORD at;  // ms since the recorder was cleared
    DWORD frequency;
    DWORD duration;
};

std::mutex g_beepMutex;
std::vector<BeepCall> g_beeps;
DWORD g_beepStart = 0;

BOOL RecordBeep(DWORD frequency, DWORD duration) {
    std::lock_guard<std::mutex> lock(g_beepMutex);
    g_beeps.push_back({GetTickCount() - g_beepStart, frequency, duration});
    return TRUE;
}

class DrawerMethods : public ServiceTest {
protected:
    DrawerMethods() : ServiceTest("BramwickTestDrawer") {}
    void SetUp() override {
        ServiceTest::SetUp();
        m_device.SetNumber("OpenDrawer_Timeout", 1500);
        m_previousBeep = SetBeepFunction(&RecordBeep);
    }
    void TearDown() override {
        SetBeepFunction(m_previousBeep);
        ServiceTest::TearDown();
    }
    std::wstring HealthText() { return m_drawer.Text(PIDX_CheckHealthText); }

    BeepFunction m_previousBeep = nullptr;
};

// Disabled, then unclaimed: each method refuses in that order (closed: the bad-input sweep); the
// firmware methods are never supported, and CompareFirmwareVersion says "unknown" (5) whatever it
// returns.
TEST_F(DrawerMethods, RefusalsComeInTheirOrder) {
    auto compare = [&] {
        LONG result = 0;
        VARIANT r;
        VariantInit(&r);
        EXPECT_HR(S_OK,
                  m_drawer.Call(L"CompareFirmwareVersion", &r, L"fw.bin", fw::Arg::Ref(&result)));
        EXPECT_EQ(5, result);
        return V_I4(&r);
    };
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    EXPECT_OPOS(OPOS_E_DISABLED, m_drawer.Long(L"OpenDrawer"));
    EXPECT_OPOS(OPOS_E_DISABLED, m_drawer.Long(L"WaitForDrawerClose", 100, 1000, 100, 100));
    EXPECT_OPOS(OPOS_E_DISABLED, m_drawer.Long(L"CheckHealth", 1));
    EXPECT_EQ(0, Number(PIDXCash_DrawerOpened));
    EXPECT_OPOS(OPOS_E_NOTCLAIMED, compare());
    EXPECT_OPOS(OPOS_E_NOTCLAIMED, m_drawer.Long(L"UpdateFirmware", L"fw.bin"));
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Claim", 0));
    EXPECT_OPOS(OPOS_E_DISABLED, m_drawer.Long(L"UpdateFirmware", L"fw.bin"));
    m_drawer.Set(PIDX_DeviceEnabled, 1);
    EXPECT_OPOS(OPOS_E_ILLEGAL, compare());
    EXPECT_OPOS(OPOS_E_ILLEGAL, m_drawer.Long(L"UpdateFirmware", L"fw.bin"));
}

// Counters entered by hand as numbers (reg add /t REG_DWORD or REG_QWORD) count on from their
// value and are saved back as text, the form the statistics are kept in.
TEST_F(DrawerMethods, CountersStoredAsNumbersCountOnAndAreSavedAsText) {
    const std::string stat = m_device.KeyPath() + "\\Stat";
    const DWORD good = 500;
    const ULONGLONG failed = 5000000000ull;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, stat.c_str(),
                                             "DrawerGoodOpenCount", REG_DWORD, &good, 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, stat.c_str(),
                                             "DrawerFailedOpenCount", REG_QWORD, &failed, 8));
    OpenEnabled();
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"OpenDrawer"));
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    const auto saved = [&](const char* name) {
        const testutil::RegValue v = testutil::ReadRegValue(HKEY_LOCAL_MACHINE, stat, name);
        return v.type == REG_SZ ? v.text : "<not text>";
    };
    EXPECT_EQ("501", saved("DrawerGoodOpenCount"));
    EXPECT_EQ("5000000000", saved("DrawerFailedOpenCount"));
}

TEST_F(DrawerMethods, OpenDrawerWithoutPortOwnerTimesOut) {
    m_device.SetNumber("SendReady_Timeout", 300);
    OpenEnabled();
    m_service->ShutdownStep(true);  // log-off: the port is given up
    EXPECT_OPOS(OPOS_E_TIMEOUT, m_drawer.Long(L"OpenDrawer"));
    m_service->ShutdownStep(false);  // nothing happens without an ending session
}

TEST_F(DrawerMethods, WaitForDrawerCloseBeepsInRhythmUntilClosed) {
    OpenEnabled();
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"WaitForDrawerClose", 500, 1000, 200, 300));
    {
        std::lock_guard<std::mutex> lock(g_beepMutex);
        EXPECT_TRUE(g_beeps.empty()) << "a closed drawer needs no waiting";
    }
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"OpenDrawer"));
    ASSERT_EQ(0u, Sim("autoclose 1500"));
    ASSERT_EQ(0u, Sim("open 1"));  // re-arms the auto-close
    {
        std::lock_guard<std::mutex> lock(g_beepMutex);
        g_beeps.clear();
        g_beepStart = GetTickCount();
    }
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"WaitForDrawerClose", 500, 1000, 200, 300));
    std::lock_guard<std::mutex> lock(g_beepMutex);
    ASSERT_GE(g_beeps.size(), 2u);
    EXPECT_GE(g_beeps[0].at, 450u) << "first beep only after BeepTimeout";
    for (size_t i = 0; i + 1 < g_beeps.size(); ++i) {
        EXPECT_EQ(1000u, g_beeps[i].frequency);
        EXPECT_EQ(200u, g_beeps[i].duration);
        if (i > 0) {
            EXPECT_GE(g_beeps[i].at - g_beeps[i - 1].at, 250u) << "BeepDelay between";
        }
    }
    EXPECT_EQ(0u, g_beeps.back().frequency);  // the beeper is silenced at the end
    EXPECT_EQ(0u, g_beeps.back().duration);
}

TEST_F(DrawerMethods, WaitForDrawerCloseEndsOnPowerFailure) {
    OpenEnabled();
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"OpenDrawer"));
    SetEvent(m_powerFail.get());
    EXPECT_OPOS(OPOS_E_FAILURE, m_drawer.Long(L"WaitForDrawerClose", 100, 1000, 10, 100));
}

TEST_F(DrawerMethods, HealthCheckAtEveryLevel) {
    m_device.SetText("NoDwOpenAtChkExt", "TRUE");  // the external check leaves the drawer shut
    OpenEnabled();
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"CheckHealth", 2));
    EXPECT_EQ(L"External HCheck: Complete", HealthText());
    EXPECT_EQ(0, Number(PIDXCash_DrawerOpened));
    m_drawer.Long(L"Close");
    m_device.SetText("NoDwOpenAtChkExt", "FALSE");
    OpenEnabled();
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"CheckHealth", 1));
    EXPECT_EQ(L"Internal HCheck: Successful", HealthText());
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"CheckHealth", 2));
    EXPECT_EQ(L"External HCheck: Successful, CD Opened", HealthText());
    EXPECT_EQ(1, Number(PIDXCash_DrawerOpened));
    for (LONG level : {3, 4}) {
        EXPECT_OPOS(OPOS_E_ILLEGAL, m_drawer.Long(L"CheckHealth", level));
        EXPECT_EQ(L"Interactive HCheck: Not Supported", HealthText());
    }
    ASSERT_EQ(0u, Sim("close 1"));
    ASSERT_TRUE(PropertyBecomes(PIDXCash_DrawerOpened, 0));
    ASSERT_EQ(0u, Sim("answer off"));
    EXPECT_OPOS(OPOS_E_FAILURE, m_drawer.Long(L"CheckHealth", 2));
    EXPECT_EQ(L"External HCheck: Failed, See ResultCode", HealthText());
}

// Power failure and the lines move PowerState, each change reported once and in order. CTS
// off with DSR on is a line the drawer cannot be driven on: offline, and kept so over reader
// passes (drawer frames) and power-fail polls that follow.
TEST_F(DrawerMethods, PowerStateFollowsPowerFailureAndTheLines) {
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    m_drawer.Set(PIDX_PowerNotify, OPOS_PN_ENABLED);
    m_drawer.Set(PIDX_DeviceEnabled, 1);
    ASSERT_TRUE(PropertyBecomes(PIDX_PowerState, OPOS_PS_ONLINE));
    SetEvent(m_powerFail.get());
    ASSERT_TRUE(PropertyBecomes(PIDX_PowerState, OPOS_PS_OFF_OFFLINE));
    ResetEvent(m_powerFail.get());
    ASSERT_TRUE(PropertyBecomes(PIDX_PowerState, OPOS_PS_ONLINE));
    ASSERT_EQ(0u, Sim("dsr off"));  // a pulled cable
    ASSERT_TRUE(PropertyBecomes(PIDX_PowerState, OPOS_PS_OFF_OFFLINE));
    ASSERT_EQ(0u, Sim("dsr on"));
    ASSERT_TRUE(PropertyBecomes(PIDX_PowerState, OPOS_PS_ONLINE));
    ASSERT_EQ(0u, Sim("cts off"));
    ASSERT_TRUE(PropertyBecomes(PIDX_PowerState, OPOS_PS_OFF_OFFLINE));
    for (const char* args : {"open 1", "close 1"}) {
        ASSERT_EQ(0u, Sim(args));
        ASSERT_TRUE(PropertyBecomes(PIDXCash_DrawerOpened, args[0] == 'o' ? 1 : 0)) << args;
        PumpFor(500);  // two polls of the power-fail thread
        EXPECT_EQ(OPOS_PS_OFF_OFFLINE, Number(PIDX_PowerState)) << "after " << args;
    }
    std::vector<LONG> power;
    for (LONG u : m_drawer.co().StatusUpdates()) {
        if (u == OPOS_SUE_POWER_ONLINE || u == OPOS_SUE_POWER_OFF_OFFLINE) power.push_back(u);
    }
    EXPECT_EQ((std::vector<LONG>{2001, 2004, 2001, 2004, 2001, 2004}), power);
}

}  // namespace
