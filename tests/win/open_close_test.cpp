// OpenService and Close on a device configured in the registry: open results, the objects an
// open service creates, the trace channel, and the way back to closed.
#include <string>

#include "tests/win/service_fixture.h"

namespace {

bool NamedEventExists(const char* name) {
    return static_cast<bool>(fw::UniqueKernel(OpenEventA(SYNCHRONIZE, FALSE, name)));
}
bool NamedMutexExists(const char* name) {
    return static_cast<bool>(fw::UniqueKernel(OpenMutexA(SYNCHRONIZE, FALSE, name)));
}

class OpenClose : public ServiceTest {
protected:
    OpenClose() : ServiceTest("BramwickTestOpen") {}
    LONG Open(const std::string& name) { return m_drawer.Open(name); }
};

// A missing device key or maker's key is a configuration error that leaves the service closed
// and reopenable. A detection delay longer than the wait for the status reply would make every
// open fail although the drawer answers at once; the service shortens it to fit.
TEST_F(OpenClose, ConfigurationErrorsLeaveTheServiceClosedAndReopenable) {
    m_device.SetNumber("Command_Timeout", 1500);
    m_device.SetNumber("DetectDelay_Time", 20000);
    EXPECT_OPOS(OPOS_E_NOEXIST, Open("BramwickNoSuchDevice"));
    EXPECT_EQ(OPOS_ORS_CONFIG, m_drawer.Long(L"GetOpenResult"));
    EXPECT_OPOS(OPOS_E_NOEXIST, Number(PIDX_ResultCode));
    EXPECT_EQ(OPOS_S_CLOSED, Number(PIDX_State));
    EXPECT_FALSE(NamedEventExists(kStatusUpdateEventName));
    for (int round = 0; round < 3; ++round) {
        ASSERT_OPOS(OPOS_SUCCESS, Open(m_device.name())) << "round " << round;
        EXPECT_EQ(OPOS_ORS_CONFIG, m_drawer.Long(L"GetOpenResult")) << "kept after a later success";
        ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close")) << "round " << round;
    }
    // The fixture's device created the maker's key; take it away for a moment, unless it holds
    // settings of a real installation.
    fw::UniqueHKey maker;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_READ, maker.put()));
    DWORD values = 0, subkeys = 0;
    RegQueryInfoKeyA(maker.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    if (values != 0 || subkeys != 0) GTEST_SKIP() << "the maker's key holds real settings";
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey));
    EXPECT_OPOS(OPOS_E_NOEXIST, Open(m_device.name()));
    EXPECT_EQ(OPOS_ORS_CONFIG, m_drawer.Long(L"GetOpenResult"));
    EXPECT_EQ(OPOS_S_CLOSED, Number(PIDX_State));
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMakerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    maker.put(), nullptr);
}

TEST_F(OpenClose, OpenCreatesTheDrawersObjectsAndCloseRemovesThem) {
    m_device.SetNumber("DrawerNo", 2);
    EXPECT_OPOS(OPOS_SUCCESS, Open(m_device.name()));
    EXPECT_EQ(OPOS_S_IDLE, Number(PIDX_State));
    EXPECT_EQ(0, Number(PIDXCash_DrawerOpened));
    EXPECT_EQ(L"Velmora Cash Drawer", m_drawer.Text(PIDX_DeviceName));
    // The claim mutex is the configured drawer's (the link's objects are exercised by every
    // cross-process test).
    EXPECT_TRUE(NamedEventExists(kStatusUpdateEventName));
    EXPECT_TRUE(NamedMutexExists("Vantrel CashDrawer2 Claimed"));
    EXPECT_FALSE(NamedMutexExists("Vantrel CashDrawer Claimed"));
    // A second open is refused and leaves everything as it was.
    EXPECT_OPOS(OPOS_E_ILLEGAL, Open(m_device.name()));
    EXPECT_EQ(kOpenResultAlreadyOpen, m_drawer.Long(L"GetOpenResult"));
    EXPECT_EQ(OPOS_S_IDLE, Number(PIDX_State));
    EXPECT_TRUE(NamedEventExists(kStatusUpdateEventName));

    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    EXPECT_EQ(OPOS_S_CLOSED, Number(PIDX_State));
    EXPECT_FALSE(NamedEventExists(kStatusUpdateEventName));
    EXPECT_FALSE(NamedMutexExists("Vantrel CashDrawer2 Claimed"));
    // Closing a closed service answers closed and touches nothing.
    EXPECT_OPOS(OPOS_E_CLOSED, m_drawer.Long(L"CloseService"));
    // Releasing the last reference to an open service closes it.
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_device.name()));
    m_drawer.Attach(nullptr);
    EXPECT_FALSE(NamedEventExists(kStatusUpdateEventName));
}

// Through IDispatch an application may set both before it opens; a session starts with both
// FALSE all the same, so that it neither holds events nor delivers them before it is enabled.
TEST_F(OpenClose, ASessionStartsDisabledAndUnfrozen) {
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Set(PIDX_DeviceEnabled, 1));
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Set(PIDX_FreezeEvents, 1));
    ASSERT_OPOS(OPOS_SUCCESS, Open(m_device.name()));
    EXPECT_EQ(0, Number(PIDX_DeviceEnabled));
    EXPECT_EQ(0, Number(PIDX_FreezeEvents));
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Set(PIDX_DeviceEnabled, 1));
    ASSERT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"OpenDrawer"));
    EXPECT_TRUE(PumpUntil([&] { return m_drawer.co().StatusUpdates().size() > 0; }, 10000));
}

TEST_F(OpenClose, TraceChannelFollowsTraceEnable) {
    const std::string dir = testproc::NewTempFolder("bramwick-open-trace");
    const std::string file =
        dir + "\\" + m_device.name().substr(m_device.name().size() - 14) + "0M.trc";
    SetEnvironmentVariableA("BRAMWICK_TRACE_DIR", dir.c_str());
    for (const char* enable : {"False", "True"}) {
        m_device.SetText("Trace_Enable", enable);
        ASSERT_OPOS(OPOS_SUCCESS, Open(m_device.name()));
        Number(PIDX_State);
        m_drawer.Long(L"Close");
        if (enable[0] == 'F') {
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(file.c_str()));
        }
    }
    SetEnvironmentVariableA("BRAMWICK_TRACE_DIR", nullptr);
    // Header plus MOpn, mOpn, MGpN, mGpN, MCls and mCls.
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &info)) << file;
    EXPECT_GE(info.nFileSizeLow, 16u + 6u * 29u);
    DeleteFileA(file.c_str());
    RemoveDirectoryA(dir.c_str());
}

}  // namespace
