// The port library binding: every failure stage of loading, requests while unloaded, and the
// open request exactly as the library receives it from OpenService.
#include <gtest/gtest.h>

#include <string>

#include "framework/handles.h"
#include "framework/module.h"
#include "link/port_library.h"
#include "so/cash_drawer.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"
#include "tools/client/drawer_client.h"
#include "tests/win/test_util.h"

namespace {

using testproc::ExeDir;

template <class Fn>
Fn Fake(const char* dll, const char* name) {
    return fw::GetProc<Fn>(GetModuleHandleA(dll), name);
}

LONG g_detail = -1;

PortOpenParams ParamsWithDetail() {
    PortOpenParams params = {};
    params.detailWord = reinterpret_cast<PortWord>(&g_detail);
    return params;
}

TEST(PortLibrary, EachLoadStageReportsWhereItFailed) {
    CPortLibrary lib;
    PortOpenParams params = ParamsWithDetail();
    const std::pair<const char*, LONG> stages[] = {{"no_such_port.dll", kPortDetailLoadFailed},
                                                   {"fake_port1.dll", kPortDetailNoInit},
                                                   {"fake_port2.dll", kPortDetailNoTerm},
                                                   {"fake_port3.dll", 77}};  // what "Init" wrote
    for (const auto& [dll, detail] : stages) {
        EXPECT_NE(0, lib.Load(params, ExeDir().c_str(), dll)) << dll;
        EXPECT_EQ(detail, g_detail) << dll;
        EXPECT_FALSE(lib.IsLoaded()) << dll;
        EXPECT_EQ(nullptr, GetModuleHandleA(dll)) << dll << " was not freed";
    }
    EXPECT_EQ(kPortResultInitFailed, lib.Load(params, ExeDir().c_str(), "fake_port3.dll"));
    // A path that does not fit the 260-byte buffer is refused without loading anything.
    EXPECT_NE(0, lib.Load(params, (std::string(250, 'x') + "\\").c_str(), "fake_port5.dll"));
    EXPECT_EQ(kPortDetailLoadFailed, g_detail);
}

TEST(PortLibrary, RefusedOpenCallsTermAndUnloads) {
    CPortLibrary lib;
    PortOpenParams params = ParamsWithDetail();
    // Keep the module loaded across the binding's own FreeLibrary to read its counters.
    fw::UniqueModule keep(LoadLibraryA((ExeDir() + "fake_port4.dll").c_str()));
    ASSERT_TRUE(keep);
    LONG termsBefore = Fake<LONG (*)()>("fake_port4.dll", "FakeTerms")();
    EXPECT_EQ(5, lib.Load(params, ExeDir().c_str(), "fake_port4.dll"));
    EXPECT_EQ(termsBefore + 1, Fake<LONG (*)()>("fake_port4.dll", "FakeTerms")());
    EXPECT_FALSE(lib.IsLoaded());
    DWORD written = 0;
    EXPECT_EQ(kPortResultNotLoaded, lib.Write("x", 1, &written));
}

TEST(PortLibrary, LoadedOnceAndRequestsRefusedAfterUnload) {
    fw::UniqueModule keep(LoadLibraryA((ExeDir() + "fake_port5.dll").c_str()));
    ASSERT_TRUE(keep);
    auto opens = Fake<LONG (*)()>("fake_port5.dll", "FakeOpens");
    CPortLibrary lib;
    PortOpenParams params = ParamsWithDetail();
    LONG before = opens();
    ASSERT_EQ(0, lib.Load(params, ExeDir().c_str(), "fake_port5.dll"));
    EXPECT_EQ(0, g_detail);
    EXPECT_EQ(0, lib.Load(params, ExeDir().c_str(), "fake_port5.dll"));
    EXPECT_EQ(before + 1, opens());  // no second open request
    EXPECT_EQ(0, lib.Purge(kPurgeAll));
    EXPECT_EQ(0, lib.Unload());
    DWORD written = 0;
    EXPECT_EQ(kPortResultNotLoaded, lib.Write("x", 1, &written));
    EXPECT_EQ(kPortResultNotLoaded, lib.Unload());
    EXPECT_EQ(kPortResultNotLoaded, lib.SetEventMask(0));
}

TEST(PortLibrary, OpenServiceSendsTheDocumentedOpenRequest) {
    testutil::ComApartment com;
    fw::UniqueModule keep(LoadLibraryA((ExeDir() + "fake_port4.dll").c_str()));
    ASSERT_TRUE(keep);
    ScratchDevice device("BramwickTestPortParams");
    device.SetText("Trace_Enable", "False");
    device.SetText("PortDll", "fake_port4.dll");
    device.SetText("Port", "COM7");
    device.SetText("EventLog", "Enable");
    device.SetNumber("DllMode", 900);
    device.SetNumber("RestartCount", 4);
    const std::string dir = ExeDir();
    ASSERT_TRUE(testutil::WriteRegText(HKEY_LOCAL_MACHINE, kMakerKey, "Path", dir));
    {
        DrawerClient drawer;
        fw::ComPtr<IDispatch> object;
        ASSERT_HR(S_OK, CCashDrawer::CreateInstance(IID_IDispatch, object.put_void()));
        drawer.Attach(object.get());
        // The fake refuses the open: the service reports the port error and stays closed.
        EXPECT_OPOS(OPOS_E_FAILURE, drawer.Open(device.name()));
        EXPECT_EQ(kOpenResultNoPort, drawer.Long(L"GetOpenResult"));
        EXPECT_EQ(OPOS_S_CLOSED, drawer.Number(PIDX_State));
    }
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kMakerKey, "Path");

    const PortOpenParams& p =
        *Fake<const PortOpenParams* (*)()>("fake_port4.dll", "FakeLastOpen")();
    auto text = Fake<const char* (*)(int)>("fake_port4.dll", "FakeText");
    const std::string texts[] = {dir,        "fake_port4.dll", "COM7", "BramwickTestPortParams",
                                 "BRAMWICK", "19200,N,8,1"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(texts[i], text(i)) << "text " << i;
    EXPECT_EQ(0u, std::string(text(6)).find("Velmora Cash Drawer"));
    EXPECT_EQ(1u, p.eventLogMode);
    EXPECT_NE(0u, p.statusRequestEvent);
    EXPECT_NE(0u, p.cancelWaitEvent);
    EXPECT_EQ(4u, p.restartCount);
    EXPECT_EQ(3000u, p.restartTimeout);
    EXPECT_EQ(0xD9u, p.eventMask);
    const PortWord timeouts[5] = {10, 0, 50, 0, 100};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(timeouts[i], p.timeouts[i]) << "time-out " << i;
    EXPECT_EQ(128u, p.inputQueueSize);
    EXPECT_EQ(128u, p.outputQueueSize);
    EXPECT_EQ(900u, p.dllMode);
    EXPECT_NE(0u, p.detailWord);
    // Exactly ten prescribed DCB members.
    const std::pair<int, PortWord> prescribed[] = {
        {kDcbBinary, 1},         {kDcbOutxCtsFlow, 0}, {kDcbOutxDsrFlow, 0}, {kDcbDtrControl, 1},
        {kDcbDsrSensitivity, 0}, {kDcbOutX, 0},        {kDcbInX, 0},         {kDcbNull, 0},
        {kDcbRtsControl, 1},     {kDcbEvtChar, 0}};
    int set = 0;
    for (int i = 0; i < kDcbMemberCount; ++i) set += p.dcb[i].set == 1;
    EXPECT_EQ(10, set);
    for (const auto& [member, value] : prescribed) {
        EXPECT_EQ(1u, p.dcb[member].set) << "member " << member;
        EXPECT_EQ(value, p.dcb[member].value) << "member " << member;
    }
}

}  // namespace
