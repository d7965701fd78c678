// cdctl's control object, reached only by name as the service reaches it (the registered
// service delivering events to it runs in cdctl_commands_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <set>
#include <string>
#include <vector>

#include "framework/disp_client.h"
#include "tests/win/test_util.h"
#include "tools/cdctl/cdctl_control_object.h"

namespace {

using Event = CdctlControlObject::Event;

class CdctlCo : public ::testing::Test {
protected:
    void SetUp() override {
        m_co = CdctlControlObject::Create([this](const Event& e) { m_events.push_back(e); });
        m_client = fw::DispClient(m_co);
    }
    void TearDown() override {
        m_client = fw::DispClient();
        m_co->Release();
    }
    DISPID Id(const wchar_t* name, HRESULT* hr = nullptr) { return m_client.IdOf(name, hr); }
    HRESULT Invoke(DISPID id, WORD flags, std::vector<VARIANT> reversedArgs, VARIANT* result,
                   UINT* argErr = nullptr) {
        DISPPARAMS params = {reversedArgs.empty() ? nullptr : reversedArgs.data(), nullptr,
                             static_cast<UINT>(reversedArgs.size()), 0};
        return m_co->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params, result, nullptr,
                            argErr);
    }
    static VARIANT Long(LONG v) {
        VARIANT a;
        VariantInit(&a);
        V_VT(&a) = VT_I4;
        V_I4(&a) = v;
        return a;
    }

    testutil::ComApartment m_apartment;
    CdctlControlObject* m_co = nullptr;
    fw::DispClient m_client;
    std::vector<Event> m_events;
};

TEST_F(CdctlCo, TheFourNamesResolveInAnyCaseAndNothingElseDoes) {
    std::vector<DISPID> ids;
    for (const wchar_t* name :
         {L"controlobjectversion", L"SODIRECTIO", L"SOStatusUpdate", L"soProcessId"}) {
        HRESULT hr = E_FAIL;
        ids.push_back(Id(name, &hr));
        EXPECT_HR(S_OK, hr) << testutil::Narrow(name);
        EXPECT_NE(DISPID_UNKNOWN, ids.back());
    }
    EXPECT_EQ(4u, std::set<DISPID>(ids.begin(), ids.end()).size()) << "distinct ids";
    HRESULT hr = S_OK;
    // The callbacks the cash drawer never asks for are not offered.
    for (const wchar_t* name :
         {L"SOData", L"SOError", L"SOOutputComplete", L"SOStatusUpdat", L""}) {
        EXPECT_EQ(DISPID_UNKNOWN, Id(name, &hr)) << testutil::Narrow(name);
        EXPECT_HR(DISP_E_UNKNOWNNAME, hr);
    }
    // A named argument is not known even when the member is.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"SOStatusUpdate"), const_cast<LPOLESTR>(L"Data")};
    DISPID out[2] = {0, 0};
    EXPECT_HR(DISP_E_UNKNOWNNAME,
              m_co->GetIDsOfNames(IID_NULL, names, 2, LOCALE_SYSTEM_DEFAULT, out));
    EXPECT_EQ(ids[2], out[0]);
    EXPECT_EQ(DISPID_UNKNOWN, out[1]);
}

TEST_F(CdctlCo, ControlObjectVersionIsAPropertyOfUnifiedPos116) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_HR(S_OK, Invoke(Id(L"ControlObjectVersion"), DISPATCH_PROPERTYGET, {}, &result));
    EXPECT_EQ(VT_I4, V_VT(&result));
    EXPECT_EQ(1016000, V_I4(&result));
    EXPECT_EQ(1u, m_co->VersionReads());
    // Automation callers often ask for method-or-property.
    ASSERT_HR(S_OK, Invoke(Id(L"ControlObjectVersion"), DISPATCH_METHOD | DISPATCH_PROPERTYGET, {},
                           &result));
    EXPECT_EQ(2u, m_co->VersionReads());
    EXPECT_HR(DISP_E_MEMBERNOTFOUND,
              Invoke(Id(L"ControlObjectVersion"), DISPATCH_PROPERTYPUT, {Long(1)}, nullptr));
    EXPECT_HR(DISP_E_BADPARAMCOUNT,
              Invoke(Id(L"ControlObjectVersion"), DISPATCH_PROPERTYGET, {Long(1)}, &result));
    EXPECT_EQ(2u, m_co->VersionReads());
    EXPECT_TRUE(m_events.empty());
}

TEST_F(CdctlCo, StatusUpdatesReachTheSinkInOrderAndMalformedCallsNot) {
    const DISPID id = Id(L"SOStatusUpdate");
    EXPECT_HR(DISP_E_BADPARAMCOUNT, Invoke(id, DISPATCH_METHOD, {}, nullptr));
    EXPECT_HR(DISP_E_BADPARAMCOUNT, Invoke(id, DISPATCH_METHOD, {Long(1), Long(2)}, nullptr));
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"open");
    UINT argErr = 99;
    EXPECT_HR(DISP_E_TYPEMISMATCH, Invoke(id, DISPATCH_METHOD, {text}, nullptr, &argErr));
    EXPECT_EQ(0u, argErr);
    VariantClear(&text);
    EXPECT_HR(DISP_E_MEMBERNOTFOUND, Invoke(id, DISPATCH_PROPERTYGET, {Long(1)}, nullptr));
    EXPECT_HR(DISP_E_MEMBERNOTFOUND, Invoke(77, DISPATCH_METHOD, {Long(1)}, nullptr));
    DISPID named = DISPID_PROPERTYPUT;
    VARIANT arg = Long(1);
    DISPPARAMS params = {&arg, &named, 1, 1};
    EXPECT_HR(DISP_E_NONAMEDARGS, m_co->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD,
                                               &params, nullptr, nullptr, nullptr));
    EXPECT_TRUE(m_events.empty());

    ASSERT_HR(S_OK, Invoke(id, DISPATCH_METHOD, {Long(1)}, nullptr));
    LONG byRef = 0;
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_BYREF | VT_I4;
    V_I4REF(&ref) = &byRef;
    ASSERT_HR(S_OK, Invoke(id, DISPATCH_METHOD, {ref}, nullptr));
    ASSERT_HR(S_OK, Invoke(id, DISPATCH_METHOD, {Long(2004)}, nullptr));
    ASSERT_EQ(3u, m_events.size());
    EXPECT_EQ(3u, m_co->EventCount());
    EXPECT_EQ(Event::Kind::StatusUpdate, m_events[0].kind);
    EXPECT_EQ(1, m_events[0].number);
    EXPECT_EQ(0, m_events[1].number);
    EXPECT_EQ(2004, m_events[2].number);
}

TEST_F(CdctlCo, DirectIOEventsKeepTheirArgumentsUnchanged) {
    LONG data = 42;
    BSTR text = SysAllocString(L"counter");
    VARIANT result;
    VariantInit(&result);
    // The DispClient passes arguments in natural order, as the service's bridge does.
    ASSERT_HR(S_OK,
              m_client.Call(L"SODirectIO", &result, 5, fw::Arg::Ref(&data), fw::Arg::Ref(&text)));
    ASSERT_EQ(1u, m_events.size());
    EXPECT_EQ(Event::Kind::DirectIO, m_events[0].kind);
    EXPECT_EQ(5, m_events[0].number);
    EXPECT_EQ(42, m_events[0].data);
    EXPECT_EQ(L"counter", m_events[0].text);
    EXPECT_EQ(42, data);
    EXPECT_EQ(std::wstring(L"counter"), std::wstring(text));
    SysFreeString(text);

    // A null text reads as empty; a missing argument is refused.
    BSTR none = nullptr;
    ASSERT_HR(S_OK,
              m_client.Call(L"SODirectIO", &result, 6, fw::Arg::Ref(&data), fw::Arg::Ref(&none)));
    EXPECT_EQ(L"", m_events[1].text);
    EXPECT_HR(DISP_E_BADPARAMCOUNT, m_client.Call(L"SODirectIO", &result, 6, 1));
}

TEST_F(CdctlCo, ProcessIdAndInterfaces) {
    EXPECT_EQ(static_cast<LONG>(GetCurrentProcessId()), m_client.Long(L"SOProcessID"));
    EXPECT_HR(S_OK, m_client.LastResult());
    fw::ComPtr<IUnknown> unknown, dispatch;
    EXPECT_HR(S_OK, m_co->QueryInterface(IID_IUnknown, unknown.put_void()));
    EXPECT_HR(S_OK, m_co->QueryInterface(IID_IDispatch, dispatch.put_void()));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_HR(E_NOINTERFACE, m_co->QueryInterface(IID_IClassFactory, &other));
    EXPECT_EQ(nullptr, other);
    UINT count = 7;
    EXPECT_HR(S_OK, m_co->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
}

}  // namespace
