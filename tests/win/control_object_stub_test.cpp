// The control object every program of ours hands to the service, called as the service calls
// it: what it records and passes on, and that it refuses and records every call it does not
// expect (the users' checks of Unexpected() rely on that).
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "framework/disp_client.h"
#include "tests/win/test_util.h"

namespace {

uint64_t g_clock = 0;
uint64_t Tick() {
    return ++g_clock;
}

class Stub : public ::testing::Test {
protected:
    void Make(ControlObjectStub::Options options = {}) {
        options.clock = &Tick;
        m_co = ControlObjectStub::Create(options);
        m_client = fw::DispClient(m_co);
        m_co->onEvent = [this](const ControlObjectStub::Event& e) { m_seen.push_back(e.number); };
    }
    void TearDown() override {
        m_client = fw::DispClient();
        if (m_co) m_co->Release();
    }
    HRESULT Invoke(const wchar_t* name, WORD flags, std::vector<VARIANT> reversed,
                   UINT* argErr = nullptr, UINT named = 0) {
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), named ? &put : nullptr,
                             static_cast<UINT>(reversed.size()), named};
        VARIANT result;
        VariantInit(&result);
        return m_co->Invoke(m_client.IdOf(name), IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params,
                            &result, nullptr, argErr);
    }
    static VARIANT Long(LONG v) {
        VARIANT a;
        VariantInit(&a);
        V_VT(&a) = VT_I4;
        V_I4(&a) = v;
        return a;
    }

    testutil::ComApartment m_apartment;
    ControlObjectStub* m_co = nullptr;
    fw::DispClient m_client;
    std::vector<LONG> m_seen;
};

TEST_F(Stub, OnlyTheFourNamesResolveAndAnyOtherLookupIsRecorded) {
    ControlObjectStub::Options options;
    options.statusUpdate = false;
    Make(options);
    HRESULT hr = E_FAIL;
    for (const wchar_t* name : {L"controlobjectversion", L"SODIRECTIO", L"soProcessId"}) {
        EXPECT_NE(DISPID_UNKNOWN, m_client.IdOf(name, &hr));
        EXPECT_HR(S_OK, hr);
    }
    // Left out on purpose: unknown, and no fault of the caller.
    EXPECT_EQ(DISPID_UNKNOWN, m_client.IdOf(L"SOStatusUpdate", &hr));
    EXPECT_HR(DISP_E_UNKNOWNNAME, hr);
    EXPECT_TRUE(m_co->Unexpected().empty());
    // The callbacks a cash drawer never asks for are faults of the caller.
    EXPECT_EQ(DISPID_UNKNOWN, m_client.IdOf(L"SOData", &hr));
    EXPECT_HR(DISP_E_UNKNOWNNAME, hr);
    EXPECT_EQ(1u, m_co->Unexpected().size());
}

TEST_F(Stub, EventsAreStampedRecordedAndPassedOnInOrder) {
    Make();
    const uint64_t before = g_clock;
    ASSERT_HR(S_OK, Invoke(L"SOStatusUpdate", DISPATCH_METHOD, {Long(1)}));
    LONG data = 42;
    BSTR text = SysAllocString(L"counter");
    VARIANT result;
    VariantInit(&result);
    ASSERT_HR(S_OK,
              m_client.Call(L"SODirectIO", &result, 5, fw::Arg::Ref(&data), fw::Arg::Ref(&text)));
    ASSERT_HR(S_OK, Invoke(L"SOStatusUpdate", DISPATCH_METHOD, {Long(2004)}));
    // Read as the service reads it: a property.
    VariantInit(&result);
    ASSERT_HR(S_OK, m_client.InvokeArgs(m_client.IdOf(L"ControlObjectVersion"), nullptr, 0, &result,
                                        nullptr, DISPATCH_PROPERTYGET));
    EXPECT_EQ(1016000, V_I4(&result));
    EXPECT_EQ(static_cast<LONG>(GetCurrentProcessId()), m_client.Long(L"SOProcessID"));

    EXPECT_EQ((std::vector<LONG>{1, 5, 2004}), m_seen);
    EXPECT_EQ((std::vector<LONG>{1, 2004}), m_co->StatusUpdates());
    ASSERT_EQ(3u, m_co->EventCount());
    const ControlObjectStub::Event io = m_co->EventAt(1);
    EXPECT_EQ(ControlObjectStub::Event::Kind::DirectIO, io.kind);
    EXPECT_EQ(42, io.data);
    EXPECT_EQ(L"counter", io.text);
    EXPECT_EQ(GetCurrentThreadId(), io.threadId);
    EXPECT_EQ(before + 1, m_co->EventAt(0).stamp);
    EXPECT_EQ(before + 3, m_co->EventAt(2).stamp);
    // What the service passed by reference comes back unchanged.
    EXPECT_EQ(42, data);
    EXPECT_EQ(std::wstring(L"counter"), std::wstring(text));
    SysFreeString(text);
    EXPECT_EQ(1u, m_co->VersionReads());
    EXPECT_TRUE(m_co->Unexpected().empty());
}

TEST_F(Stub, MalformedCallsAreRefusedRecordedAndNotPassedOn) {
    ControlObjectStub::Options options;
    options.statusUpdateResult = E_FAIL;
    Make(options);
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"open");
    UINT argErr = 99;
    EXPECT_HR(DISP_E_TYPEMISMATCH, Invoke(L"SOStatusUpdate", DISPATCH_METHOD, {text}, &argErr));
    EXPECT_EQ(0u, argErr);
    VariantClear(&text);
    EXPECT_HR(DISP_E_BADPARAMCOUNT, Invoke(L"SOStatusUpdate", DISPATCH_METHOD, {}));
    EXPECT_HR(DISP_E_BADPARAMCOUNT, Invoke(L"SODirectIO", DISPATCH_METHOD, {Long(1)}));
    EXPECT_HR(DISP_E_MEMBERNOTFOUND, Invoke(L"SOStatusUpdate", DISPATCH_PROPERTYGET, {Long(1)}));
    EXPECT_HR(DISP_E_MEMBERNOTFOUND,
              Invoke(L"ControlObjectVersion", DISPATCH_PROPERTYPUT, {Long(1)}));
    EXPECT_HR(DISP_E_NONAMEDARGS,
              Invoke(L"SOStatusUpdate", DISPATCH_METHOD, {Long(1)}, nullptr, 1));
    EXPECT_TRUE(m_seen.empty());
    EXPECT_EQ(6u, m_co->Unexpected().size());
    // A well-formed call gets the answer it was given.
    EXPECT_HR(E_FAIL, Invoke(L"SOStatusUpdate", DISPATCH_METHOD, {Long(0)}));
    EXPECT_EQ(std::vector<LONG>{0}, m_seen);
}

}  // namespace
