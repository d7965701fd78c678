// The registered DLL as a control object meets it: ProgID lookup, CoCreateInstance, properties
// read through IDispatch only (the method names are dispatch_test.cpp's); and the registry
// values self-registration leaves behind, which must be the registration table.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "framework/disp_client.h"
#include "framework/handles.h"
#include "framework/module.h"
#include "server/bramwick_ids.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

namespace {

class Registered : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.result()));
        CLSID clsid;
        ASSERT_HR(S_OK, CLSIDFromProgID(fw::Utf8ToWide(kProgId).c_str(), &clsid));
        EXPECT_TRUE(IsEqualCLSID(CLSID_CashDrawer, clsid));
        fw::ComPtr<IDispatch> object;
        ASSERT_HR(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                         object.put_void()));
        m_drawer = fw::DispClient(object.get());
    }
    testutil::ComApartment m_com;
    fw::DispClient m_drawer;
};

TEST_F(Registered, ModuleStaysLoadedWhileAnObjectLives) {
    HMODULE module = GetModuleHandleA("Bramwick.dll");
    ASSERT_NE(nullptr, module);
    auto canUnload = fw::GetProc<HRESULT(WINAPI*)()>(module, "DllCanUnloadNow");
    ASSERT_NE(nullptr, canUnload);
    EXPECT_HR(S_FALSE, canUnload());
    m_drawer = fw::DispClient();
    EXPECT_HR(S_OK, canUnload());

    auto getClassObject =
        fw::GetProc<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(module, "DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);
    fw::ComPtr<IClassFactory> factory;
    ASSERT_HR(S_OK, getClassObject(CLSID_CashDrawer, IID_IClassFactory, factory.put_void()));
    EXPECT_HR(S_FALSE, canUnload());  // a held factory keeps the module too
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    factory.reset();
    EXPECT_HR(S_FALSE, canUnload());
    // LockServer(FALSE) needs a factory again; taking it and dropping it balances out.
    ASSERT_HR(S_OK, getClassObject(CLSID_CashDrawer, IID_IClassFactory, factory.put_void()));
    EXPECT_HR(S_OK, factory->LockServer(FALSE));
    factory.reset();
    EXPECT_HR(S_OK, canUnload());

    fw::ComPtr<IUnknown> other;
    EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE,
              getClassObject(IID_IDispatch, IID_IClassFactory, other.put_void()));
}

// Every value under the keys self-registration writes, as "ROOT\\key|name", with its text.
void CollectValues(HKEY root, const std::string& rootName, const std::string& key,
                   std::map<std::string, std::string>* out) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
    char name[256];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name), size = sizeof(data) - 1, type = 0;
        if (RegEnumValueA(handle, i, name, &length, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            break;
        }
        data[size] = 0;
        (*out)[rootName + "\\" + key + "|" + name] =
            type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data))
                              : reinterpret_cast<const char*>(data);
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        CollectValues(root, rootName, key + "\\" + name, out);
    }
    RegCloseKey(handle);
}

// The installer packages write the registration table in place of DllRegisterServer, so what
// regsvr32 wrote must be that table, value for value and nothing more.
TEST(Registration, SelfRegistrationWritesTheRegistrationTable) {
    const std::string folder = testproc::OutDir();
    const auto table = RegistrationValues(folder + "\\Bramwick.dll", folder, sizeof(void*) == 8);
    std::map<std::string, std::string> expected, written;
    for (const RegistrationValue& v : table) {
        const bool hklm = v.root == RegistrationValue::Root::LocalMachine;
        expected[(hklm ? "HKLM\\" : "HKCR\\") + v.key + "|" + v.name] = v.value;
    }
    // The trees registration writes: the class, the ProgID, the type library, the interface
    // (the first two parts of a key) and the event source.
    for (const RegistrationValue& v : table) {
        if (v.root == RegistrationValue::Root::LocalMachine) {
            CollectValues(HKEY_LOCAL_MACHINE, "HKLM", v.key, &written);
        } else if (v.key.rfind(kProgId, 0) == 0) {
            CollectValues(HKEY_CLASSES_ROOT, "HKCR", kProgId, &written);
        } else {
            const std::string tree = v.key.substr(0, v.key.find('\\', v.key.find('\\') + 1));
            CollectValues(HKEY_CLASSES_ROOT, "HKCR", tree, &written);
        }
    }
    // The type library key is shared by both builds: the other build's registration (a
    // 32-bit and a 64-bit service side by side) adds its own platform subkey there.
    const std::string otherPlatform = sizeof(void*) == 8 ? "\\win32|" : "\\win64|";
    for (auto it = written.begin(); it != written.end();) {
        it = it->first.find(otherPlatform) != std::string::npos ? written.erase(it) : std::next(it);
    }
    for (auto& [name, text] : written) {
        // Wine records the type library's paths with a "\\?\" prefix, and its flags with
        // LIBFLAG_FHASDISKIMAGE (8), which Windows does not write.
        if (text.rfind("\\\\?\\", 0) == 0) text.erase(0, 4);
        if (name.find("\\FLAGS|") != std::string::npos) text = std::to_string(std::stoi(text) & ~8);
    }
    EXPECT_EQ(expected, written);

    fw::ComPtr<ITypeLib> lib;
    ASSERT_HR(S_OK, LoadRegTypeLib(LIBID_Bramwick, 1, 0, 0x409, lib.put()));
    fw::ComPtr<ITypeInfo> info;
    EXPECT_HR(S_OK, lib->GetTypeInfoOfGuid(CLSID_CashDrawer, info.put()));
}

}  // namespace
