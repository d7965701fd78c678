// The control object every program of ours hands to the service: every call it does not expect
// is refused and recorded, and never passed on as an event (the users' checks of Unexpected()
// rely on that); a well-formed event gets the answer it was given.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <vector>

#include "framework/disp_client.h"
#include "tests/win/test_util.h"

namespace {

VARIANT Long(LONG v) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_I4;
    V_I4(&a) = v;
    return a;
}

TEST(ControlObjectStubTest, UnexpectedCallsAreRefusedRecordedAndNotPassedOn) {
    testutil::ComApartment apartment;
    ControlObjectStub::Options options;
    options.statusUpdateResult = E_FAIL;
    ControlObjectStub* co = ControlObjectStub::Create(options);
    std::vector<LONG> seen;
    co->onEvent = [&](const ControlObjectStub::Event& e) { seen.push_back(e.number); };
    {
        fw::DispClient client(co);
        HRESULT hr = S_OK;
        EXPECT_EQ(DISPID_UNKNOWN, client.IdOf(L"SOData", &hr));  // never asked by a drawer
        EXPECT_HR(DISP_E_UNKNOWNNAME, hr);
        auto invoke = [&](const wchar_t* name, WORD flags, std::vector<VARIANT> reversed,
                          UINT named = 0) {
            DISPID put = DISPID_PROPERTYPUT;
            DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(),
                                 named ? &put : nullptr, static_cast<UINT>(reversed.size()), named};
            VARIANT result;
            VariantInit(&result);
            return co->Invoke(client.IdOf(name), IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params,
                              &result, nullptr, nullptr);
        };
        VARIANT text;
        VariantInit(&text);
        V_VT(&text) = VT_BSTR;
        V_BSTR(&text) = SysAllocString(L"open");
        EXPECT_HR(DISP_E_TYPEMISMATCH, invoke(L"sostatusupdate", DISPATCH_METHOD, {text}));
        VariantClear(&text);
        EXPECT_HR(DISP_E_BADPARAMCOUNT, invoke(L"SOStatusUpdate", DISPATCH_METHOD, {}));
        EXPECT_HR(DISP_E_BADPARAMCOUNT, invoke(L"SODirectIO", DISPATCH_METHOD, {Long(1)}));
        EXPECT_HR(DISP_E_MEMBERNOTFOUND,
                  invoke(L"ControlObjectVersion", DISPATCH_PROPERTYPUT, {Long(1)}));
        EXPECT_HR(DISP_E_NONAMEDARGS, invoke(L"SOStatusUpdate", DISPATCH_METHOD, {Long(1)}, 1));
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(6u, co->Unexpected().size());
        EXPECT_HR(E_FAIL, invoke(L"SOStatusUpdate", DISPATCH_METHOD, {Long(0)}));
        EXPECT_EQ(std::vector<LONG>{0}, seen);
        EXPECT_EQ(std::vector<LONG>{0}, co->StatusUpdates());
        EXPECT_EQ(6u, co->Unexpected().size());
    }
    co->Release();
}

}  // namespace
