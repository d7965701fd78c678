// Self-registration and unregistration, called through the DLL's own exports: the class and
// type library always, the event-log source only for a module named Bramwick. Leaves the
// real DLL registered, as it found it.
#include <gtest/gtest.h>

#include <olectl.h>

#include <string>

#include "framework/handles.h"
#include "framework/module.h"
#include "server/bramwick_ids.h"
#include "tests/win/test_util.h"

namespace {

using ExportFn = HRESULT(WINAPI*)();

std::string OutDir() {
    char dir[MAX_PATH] = {};
    GetEnvironmentVariableA("BRAMWICK_OUT_DIR", dir, MAX_PATH);
    return dir;
}

bool KeyExists(HKEY root, const char* key) {
    fw::UniqueHKey handle;
    return RegOpenKeyExA(root, key, 0, KEY_READ, handle.put()) == ERROR_SUCCESS;
}

std::string InprocServer() {
    wchar_t wide[64];
    StringFromGUID2(CLSID_CashDrawer, wide, 64);
    std::string key = "CLSID\\" + testutil::Narrow(wide) + "\\InprocServer32";
    char value[MAX_PATH] = {};
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return value;
}

class Module {
public:
    explicit Module(const std::string& path) : m_module(LoadLibraryA(path.c_str())) {}
    bool loaded() const { return static_cast<bool>(m_module); }
    HRESULT Register() const { return Call("DllRegisterServer"); }
    HRESULT Unregister() const { return Call("DllUnregisterServer"); }

private:
    HRESULT Call(const char* name) const {
        ExportFn fn = fw::GetProc<ExportFn>(m_module.get(), name);
        return fn ? fn() : E_NOTIMPL;
    }
    fw::UniqueModule m_module;
};

TEST(SelfRegistration, OnlyAModuleNamedBramwickRegistersTheEventSource) {
    ASSERT_FALSE(OutDir().empty()) << "BRAMWICK_OUT_DIR is not set";
    std::string real = OutDir() + "\\Bramwick.dll";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string renamed = std::string(temp) + "OtherName.dll";
    ASSERT_TRUE(CopyFileA(real.c_str(), renamed.c_str(), FALSE));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
    {
        Module other(renamed);
        ASSERT_TRUE(other.loaded());
        EXPECT_HR(S_OK, other.Register());
        EXPECT_NE(std::string::npos, InprocServer().find("OtherName.dll")) << InprocServer();
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey));
        // The missing event-log key does not make unregistration fail.
        EXPECT_HR(S_OK, other.Unregister());
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kProgId));
    }
    DeleteFileA(renamed.c_str());

    Module bramwick(real);
    ASSERT_TRUE(bramwick.loaded());
    EXPECT_HR(S_OK, bramwick.Register());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey));
    EXPECT_HR(S_OK, bramwick.Unregister());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kProgId));
    // Nothing left to remove: the type library step reports it.
    EXPECT_HR(SELFREG_E_TYPELIB, bramwick.Unregister());
    // Registering twice is harmless, and leaves the DLL registered for the next tests.
    EXPECT_HR(S_OK, bramwick.Register());
    EXPECT_HR(S_OK, bramwick.Register());
    EXPECT_NE(std::string::npos, InprocServer().find("Bramwick.dll")) << InprocServer();
}

}  // namespace
