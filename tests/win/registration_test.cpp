// Self-registration through the DLL's exports; the event-log source only for a module named
// Bramwick. Leaves the real DLL registered.
#include <gtest/gtest.h>

#include <olectl.h>

#include <string>

#include "framework/handles.h"
#include "framework/module.h"
#include "server/bramwick_ids.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

namespace {

using ExportFn = HRESULT(WINAPI*)();

using testproc::OutDir;

std::string InprocServer() {
    wchar_t clsid[64];
    StringFromGUID2(CLSID_CashDrawer, clsid, 64);
    const std::string key = "CLSID\\" + testutil::Narrow(clsid) + "\\InprocServer32";
    const testutil::RegValue v = testutil::ReadRegValue(HKEY_CLASSES_ROOT, key, nullptr);
    return v.present ? v.text : "<missing>";
}

struct Module {
    explicit Module(const std::string& path) : module(LoadLibraryA(path.c_str())) {}
    HRESULT Register() const { return fw::GetProc<ExportFn>(module.get(), "DllRegisterServer")(); }
    HRESULT Unregister() const {
        return fw::GetProc<ExportFn>(module.get(), "DllUnregisterServer")();
    }
    fw::UniqueModule module;
};

TEST(SelfRegistration, OnlyAModuleNamedBramwickRegistersTheEventSource) {
    std::string real = OutDir() + "\\Bramwick.dll";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string renamed = std::string(temp) + "OtherName.dll";
    ASSERT_TRUE(CopyFileA(real.c_str(), renamed.c_str(), FALSE));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
    {
        Module other(renamed);
        ASSERT_TRUE(other.module);
        EXPECT_HR(S_OK, other.Register());
        EXPECT_NE(std::string::npos, InprocServer().find("OtherName.dll")) << InprocServer();
        EXPECT_FALSE(testutil::RegKeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey));
        // The missing event-log key does not make unregistration fail.
        EXPECT_HR(S_OK, other.Unregister());
        EXPECT_FALSE(testutil::RegKeyExists(HKEY_CLASSES_ROOT, kProgId));
    }
    DeleteFileA(renamed.c_str());

    Module bramwick(real);
    ASSERT_TRUE(bramwick.module);
    EXPECT_HR(S_OK, bramwick.Register());
    EXPECT_TRUE(testutil::RegKeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey));
    EXPECT_HR(S_OK, bramwick.Unregister());
    EXPECT_FALSE(testutil::RegKeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey));
    EXPECT_FALSE(testutil::RegKeyExists(HKEY_CLASSES_ROOT, kProgId));
    // Nothing left to remove: the type library step reports it.
    EXPECT_HR(SELFREG_E_TYPELIB, bramwick.Unregister());
    // Registering twice is harmless, and leaves the DLL registered for the next tests.
    for (int i = 0; i < 2; ++i) EXPECT_HR(S_OK, bramwick.Register());
    EXPECT_NE(std::string::npos, InprocServer().find("Bramwick.dll")) << InprocServer();
}

}  // namespace
