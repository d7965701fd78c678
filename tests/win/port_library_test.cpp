// The port library binding: each failure stage of loading, requests while unloaded, and the
// open request as the library receives it from OpenService.
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

// A refused open calls "Term" and unloads; an accepted one is made once however often Load is
// called; nothing reaches the library once it is unloaded.
TEST(PortLibrary, RefusedOpenUnloadsAndAcceptedOneIsMadeOnce) {
    fw::UniqueModule keep4(LoadLibraryA((ExeDir() + "fake_port4.dll").c_str()));
    fw::UniqueModule keep5(LoadLibraryA((ExeDir() + "fake_port5.dll").c_str()));
    ASSERT_TRUE(keep4 && keep5);  // their counters outlive the binding's own FreeLibrary
    auto terms = Fake<LONG (*)()>("fake_port4.dll", "FakeTerms");
    auto opens = Fake<LONG (*)()>("fake_port5.dll", "FakeOpens");
    CPortLibrary lib;
    PortOpenParams params = ParamsWithDetail();
    const LONG termsBefore = terms(), opensBefore = opens();
    EXPECT_EQ(5, lib.Load(params, ExeDir().c_str(), "fake_port4.dll"));
    EXPECT_EQ(termsBefore + 1, terms());
    EXPECT_FALSE(lib.IsLoaded());
    DWORD written = 0;
    EXPECT_EQ(kPortResultNotLoaded, lib.Write("x", 1, &written));

    ASSERT_EQ(0, lib.Load(params, ExeDir().c_str(), "fake_port5.dll"));
    EXPECT_EQ(0, g_detail);
    EXPECT_EQ(0, lib.Load(params, ExeDir().c_str(), "fake_port5.dll"));
    EXPECT_EQ(opensBefore + 1, opens());
    EXPECT_EQ(0, lib.Purge(kPurgeAll));
    EXPECT_EQ(0, lib.Unload());
    EXPECT_EQ(kPortResultNotLoaded, lib.Write("x", 1, &written));
    EXPECT_EQ(kPortResultNotLoaded, lib.Unload());
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
        EXPECT_OPOS(OPOS_E_FAILURE, drawer.Open(device.name()));  // the fake refuses the open
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
    EXPECT_EQ(900u, p.dllMode);
    EXPECT_NE(0u, p.detailWord);
}

}  // namespace
