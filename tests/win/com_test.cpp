// The registered DLL as a control object meets it: ProgID lookup, CoCreateInstance, properties
// read through IDispatch only (the method names are dispatch_test.cpp's); and the registry
// entries self-registration leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "framework/disp_client.h"
#include "framework/handles.h"
#include "framework/module.h"
#include "server/bramwick_ids.h"
#include "tests/win/test_util.h"

namespace {

std::string RegString(HKEY root, const std::string& key, const char* name) {
    const testutil::RegValue v = testutil::ReadRegValue(root, key, name);
    return v.present ? v.text : "<missing>";
}

class Registered : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.result()));
        CLSID clsid;
        ASSERT_HR(S_OK, CLSIDFromProgID(L"OPOS.CashDrawer.Bramwick.1", &clsid));
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

TEST(Registration, ClassTypeLibraryAndEventSourceAreRegistered) {
    std::string clsid;
    {
        wchar_t wide[64];
        StringFromGUID2(CLSID_CashDrawer, wide, 64);
        clsid = testutil::Narrow(wide);
    }
    std::string clsidKey = "CLSID\\" + clsid;
    EXPECT_EQ("Apartment",
              RegString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", "ThreadingModel"));
    std::string server = RegString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", nullptr);
    EXPECT_NE(std::string::npos, server.find("Bramwick.dll")) << server;
    EXPECT_EQ("OPOS.CashDrawer.Bramwick.1",
              RegString(HKEY_CLASSES_ROOT, clsidKey + "\\ProgID", nullptr));
    EXPECT_EQ(clsid, RegString(HKEY_CLASSES_ROOT, "OPOS.CashDrawer.Bramwick.1\\CLSID", nullptr));

    EXPECT_EQ(server, RegString(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile"));
    DWORD types = 0, size = sizeof(types);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported",
                                          RRF_RT_REG_DWORD, nullptr, &types, &size));
    EXPECT_EQ(7u, types);

    fw::ComPtr<ITypeLib> lib;
    ASSERT_HR(S_OK, LoadRegTypeLib(LIBID_Bramwick, 1, 0, 0x409, lib.put()));
    fw::ComPtr<ITypeInfo> info;
    EXPECT_HR(S_OK, lib->GetTypeInfoOfGuid(CLSID_CashDrawer, info.put()));
    BSTR name = nullptr;
    ASSERT_HR(S_OK, lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"Bramwick", name);
    SysFreeString(name);
}

}  // namespace
