// The dispatch layer as control objects and scripts use it: name lookup from the type
// library, argument coercion, by-reference write-back and the error HRESULTs; and the property
// set as a control object reads and writes it, with what each accessor does to ResultCode.
#include "framework/automation.h"
#include "server/bramwick_ids.h"
#include "tests/win/service_fixture.h"

namespace {

using fw::Arg;

class Dispatch : public ServiceTest {
protected:
    Dispatch() : ServiceTest("BramwickTestDispatch") {}
    IDispatch* object() const { return m_drawer.get(); }
    // A number property; the call itself must succeed.
    LONG Get(LONG index) {
        const LONG value = m_drawer.Number(index);
        EXPECT_HR(S_OK, m_drawer.LastResult());
        return value;
    }
};

// What the dispatch layer refuses before any member runs: unknown names and ids, property
// puts (every member is a method), named and missing arguments, a non-null interface id.
TEST_F(Dispatch, CallsNoMemberTakesAreRefused) {
    fw::ComPtr<IUnknown> viaIid;
    EXPECT_HR(S_OK, object()->QueryInterface(DIID_ICashDrawer, viaIid.put_void()));
    HRESULT hr = S_OK;
    EXPECT_EQ(DISPID_UNKNOWN, m_drawer.IdOf(L"OpenDrawers", &hr));
    EXPECT_HR(DISP_E_UNKNOWNNAME, hr);
    EXPECT_HR(DISP_E_MEMBERNOTFOUND, m_drawer.InvokeArgs(99, nullptr, 0, nullptr));
    EXPECT_HR(DISP_E_MEMBERNOTFOUND, m_drawer.InvokeArgs(0, nullptr, 0, nullptr));
    Arg index(8);
    EXPECT_HR(DISP_E_MEMBERNOTFOUND,
              m_drawer.InvokeArgs(1, &index, 1, nullptr, nullptr, DISPATCH_PROPERTYPUT));

    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = 8;
    DISPID named = 0;
    DISPPARAMS params = {&arg, &named, 1, 1};
    VARIANT result;
    VariantInit(&result);
    EXPECT_HR(DISP_E_NONAMEDARGS, object()->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params,
                                                   &result, nullptr, nullptr));
    EXPECT_HR(DISP_E_UNKNOWNINTERFACE, object()->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD,
                                                        &params, &result, nullptr, nullptr));
    V_VT(&arg) = VT_ERROR;
    V_ERROR(&arg) = DISP_E_PARAMNOTFOUND;
    DISPPARAMS missing = {&arg, nullptr, 1, 0};
    UINT argErr = 99;
    EXPECT_HR(DISP_E_PARAMNOTOPTIONAL, object()->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &missing,
                                                        &result, nullptr, &argErr));
    EXPECT_EQ(0u, argErr);
}

TEST_F(Dispatch, ArgumentsAreCoercedLikeADispatchMap) {
    // A numeric string and a short integer both reach the member as a LONG.
    EXPECT_EQ(1013001, m_drawer.Long(L"GetPropertyNumber", L"8"));
    EXPECT_HR(S_OK, m_drawer.LastResult());
    VARIANT shortIndex;
    VariantInit(&shortIndex);
    V_VT(&shortIndex) = VT_I2;
    V_I2(&shortIndex) = 8;
    EXPECT_EQ(1013001, m_drawer.Long(L"GetPropertyNumber", Arg::Ref(&shortIndex)));
    // A number where a string is expected is converted to its text.
    EXPECT_OPOS(OPOS_E_CLOSED, m_drawer.Long(L"ResetStatistics", 5));
    EXPECT_HR(S_OK, m_drawer.LastResult());
}

// --- The property set and its setter rules -------------------------------------------------

// The setters that check their value refuse with 106 and keep the old one; reads leave
// ResultCode alone. PowerNotify changes only while disabled.
TEST_F(Dispatch, CheckedSettersKeepTheOldValue) {
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_BinaryConversion, OPOS_BC_DECIMAL));
    for (LONG bad : {3, -1, 256}) {
        EXPECT_OPOS(OPOS_E_ILLEGAL, Set(PIDX_BinaryConversion, bad)) << bad;
        EXPECT_EQ(OPOS_BC_DECIMAL, Get(PIDX_BinaryConversion));
        EXPECT_EQ(L"[Error]", m_drawer.Text(1000005));
        EXPECT_OPOS(OPOS_E_ILLEGAL, Get(PIDX_ResultCode));
    }
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_BinaryConversion, OPOS_BC_NIBBLE));
    EXPECT_EQ(OPOS_BC_NIBBLE, Get(PIDX_BinaryConversion));

    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_PowerNotify, OPOS_PN_ENABLED));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Set(PIDX_PowerNotify, 2));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 1));
    EXPECT_OPOS(OPOS_E_ILLEGAL, Set(PIDX_PowerNotify, OPOS_PN_DISABLED));
    EXPECT_EQ(OPOS_PN_ENABLED, Get(PIDX_PowerNotify));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_DeviceEnabled, 0));
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_PowerNotify, OPOS_PN_DISABLED));
    EXPECT_EQ(OPOS_PN_DISABLED, Get(PIDX_PowerNotify));
}

// Any non-zero value sets a Boolean (setting an unchanged one succeeds too); enabling and
// disabling leave PowerState unknown without PowerNotify, and Close disables.
TEST_F(Dispatch, BooleansTakeAnyNonZeroAsTrue) {
    ASSERT_OPOS(OPOS_SUCCESS, Open());
    for (LONG index : {PIDX_DeviceEnabled, PIDX_FreezeEvents}) {
        for (LONG value : {5, -7, 1, 0, 1}) {
            EXPECT_OPOS(OPOS_SUCCESS, Set(index, value)) << index << " = " << value;
            EXPECT_EQ(value != 0, Get(index)) << index << " = " << value;
            EXPECT_EQ(OPOS_PS_UNKNOWN, Get(PIDX_PowerState));
        }
    }
    EXPECT_OPOS(OPOS_SUCCESS, m_drawer.Long(L"Close"));
    EXPECT_EQ(0, Get(PIDX_DeviceEnabled));
}

TEST_F(Dispatch, ReadOnlyNumbersAndAllStringsIgnoreWrites) {
    struct {
        LONG index, value, expected;
    } cases[] = {{PIDX_State, OPOS_S_IDLE, OPOS_S_CLOSED},
                 {PIDX_ServiceObjectVersion, 1, 1013001},
                 {PIDX_Claimed, 1, 0},
                 {PIDX_PowerState, OPOS_PS_ONLINE, OPOS_PS_UNKNOWN},
                 {PIDXCash_DrawerOpened, 1, 0},
                 {PIDX_CapUpdateFirmware, 1, 0},
                 {PIDX_ResultCodeExtended, 9, 0},
                 {4242, 1, 0}};
    for (LONG index : {1000005, 1000000, 0, 8}) {
        EXPECT_EQ(L"[Error]", m_drawer.Text(index)) << "index " << index;
    }
    for (const auto& c : cases) {
        EXPECT_OPOS(OPOS_SUCCESS, Set(c.index, c.value)) << "index " << c.index;
        EXPECT_EQ(c.expected, Get(c.index)) << "index " << c.index;
    }
    // ResultCode cannot be written: the write reports its own success instead.
    EXPECT_OPOS(OPOS_SUCCESS, Set(PIDX_ResultCode, 106));

    Set(PIDX_BinaryConversion, 7);  // leave ResultCode at 106 first
    EXPECT_HR(S_OK, m_drawer.Call(L"SetPropertyString", nullptr, PIDX_DeviceName, L"Mine"));
    EXPECT_OPOS(OPOS_SUCCESS, Get(PIDX_ResultCode));
    EXPECT_EQ(L"Velmora Cash Drawer", m_drawer.Text(PIDX_DeviceName));
}

// DispCall on its own: what comes back through each kind of by-reference argument. A text the
// member did not set is left as the caller passed it, characters outside the ANSI code page
// included.
TEST(DispCallBinding, ReferenceArgumentsAreWrittenBackInTheCallersForm) {
    LONG typedLong = 7;
    BSTR typedText = SysAllocString(L"in");
    VARIANT variantLong, variantText;
    VariantInit(&variantLong);
    V_VT(&variantLong) = VT_I2;  // scripts may hold any numeric type
    V_I2(&variantLong) = 3;
    VariantInit(&variantText);
    V_VT(&variantText) = VT_BSTR;
    V_BSTR(&variantText) = SysAllocString(L"\u30c9\u30ed\u30ef");

    VARIANTARG args[4];  // last argument first
    V_VT(&args[3]) = VT_BYREF | VT_I4;
    V_I4REF(&args[3]) = &typedLong;
    V_VT(&args[2]) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&args[2]) = &typedText;
    V_VT(&args[1]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[1]) = &variantLong;
    V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[0]) = &variantText;
    DISPPARAMS params = {args, nullptr, 4, 0};
    const fw::ArgType types[] = {fw::ArgType::LongRef, fw::ArgType::StringRef, fw::ArgType::LongRef,
                                 fw::ArgType::StringRef};
    {
        fw::DispCall call;
        UINT argErr = 0;
        ASSERT_HR(S_OK, call.Bind(types, 4, &params, &argErr));
        EXPECT_EQ(7, call.LongRef(0));
        EXPECT_EQ("in", *call.StringRef(1));
        EXPECT_EQ(3, call.LongRef(2));
        call.LongRef(0) = 70;
        *call.StringRef(1) = "out";
        call.LongRef(2) = 30;
        ASSERT_HR(S_OK, call.Finish(fw::ReturnType::Void, nullptr));
    }
    EXPECT_EQ(70, typedLong);
    EXPECT_STREQ(L"out", typedText);
    EXPECT_EQ(VT_I4, V_VT(&variantLong));
    EXPECT_EQ(30, V_I4(&variantLong));
    EXPECT_EQ(VT_BSTR, V_VT(&variantText));
    EXPECT_STREQ(L"\u30c9\u30ed\u30ef", V_BSTR(&variantText));
    SysFreeString(typedText);
    VariantClear(&variantText);
}

}  // namespace
