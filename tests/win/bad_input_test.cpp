// Hostile calls through IDispatch, as a careless application or script makes them: every method
// of the registered service, found from its own type information, called before OpenService,
// with every number at its extremes, with null, empty and 1 MiB strings, with arguments of the
// wrong type, missing or too many, and after Close. The dispatch layer must answer a malformed
// call with the proper HRESULT; a well-formed one always gives an OPOS result, and the service
// keeps working afterwards.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tools/client/drawer_client.h"
#include "tests/win/scratch_device.h"
#include "tests/win/test_util.h"

namespace {

constexpr wchar_t kDeviceW[] = L"BramwickSweep";

// One method as its type information describes it.
struct Method {
    std::wstring name;
    DISPID id;
    std::vector<VARTYPE> params;  // VT_I4, VT_BSTR, VT_DISPATCH, or VT_BYREF|VT_I4 / VT_BSTR
    bool returnsLong;
};

std::vector<Method> MethodsOf(IDispatch* object) {
    std::vector<Method> methods;
    fw::ComPtr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) ||
        FAILED(info->GetTypeAttr(&attr))) {
        return methods;
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) continue;
        BSTR name = nullptr;
        UINT got = 0;
        info->GetNames(f->memid, &name, 1, &got);
        Method m{name ? name : L"", f->memid, {}, f->elemdescFunc.tdesc.vt == VT_I4};
        SysFreeString(name);
        for (SHORT p = 0; p < f->cParams; ++p) {
            const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
            m.params.push_back(t.vt == VT_PTR ? VARTYPE(VT_BYREF | t.lptdesc->vt) : t.vt);
        }
        info->ReleaseFuncDesc(f);
        methods.push_back(m);
    }
    info->ReleaseTypeAttr(attr);
    return methods;
}

// A call's arguments in natural order; owns what the variants point to.
class Args {
public:
    explicit Args(const std::vector<VARTYPE>& types)
        : m_longs(types.size()), m_texts(types.size()) {
        for (size_t i = 0; i < types.size(); ++i) Push(types[i], i);
    }
    ~Args() {
        for (BSTR& b : m_texts) SysFreeString(b);
        for (VARIANT& v : m_vars) {
            if ((V_VT(&v) & VT_BYREF) == 0) VariantClear(&v);
        }
    }
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;

    VARIANT& operator[](size_t i) { return m_vars[i]; }
    void SetLong(size_t i, LONG value) {
        m_longs[i] = value;
        if (V_VT(&m_vars[i]) == VT_I4) V_I4(&m_vars[i]) = value;
    }
    void SetText(size_t i, const wchar_t* text, UINT length) {
        BSTR b = text ? SysAllocStringLen(text, length) : nullptr;
        if (V_VT(&m_vars[i]) == VT_BSTR) {
            SysFreeString(V_BSTR(&m_vars[i]));
            V_BSTR(&m_vars[i]) = b;
        } else {
            SysFreeString(m_texts[i]);
            m_texts[i] = b;
        }
    }
    void Drop() { m_vars.pop_back(); }
    void Extra() {
        m_vars.emplace_back();
        VariantInit(&m_vars.back());
        V_VT(&m_vars.back()) = VT_I4;
    }
    // Invokes with the arguments reversed, as IDispatch wants them.
    HRESULT Invoke(IDispatch* object, DISPID id, VARIANT* result, UINT* argErr) {
        std::vector<VARIANT> reversed(m_vars.rbegin(), m_vars.rend());
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                              nullptr, argErr);
    }

private:
    void Push(VARTYPE type, size_t i) {
        m_vars.emplace_back();
        VARIANT& v = m_vars.back();
        VariantInit(&v);
        V_VT(&v) = type;
        if (type == VT_BSTR) V_BSTR(&v) = SysAllocString(L"");
        if (type == (VT_BYREF | VT_I4)) V_I4REF(&v) = &m_longs[i];
        if (type == (VT_BYREF | VT_BSTR)) {
            m_texts[i] = SysAllocString(L"");
            V_BSTRREF(&v) = &m_texts[i];
        }
        if (type == VT_DISPATCH) V_DISPATCH(&v) = nullptr;
    }
    std::vector<LONG> m_longs;
    std::vector<BSTR> m_texts;
    std::vector<VARIANT> m_vars;
};

bool IsOposResult(LONG r) {
    return r == OPOS_SUCCESS || (r >= 101 && r <= 114 && r != 108);
}

// Methods that change the session itself are called on their own, not in the sweep.
bool ChangesTheSession(const std::wstring& name) {
    return name == L"OpenService" || name == L"CloseService";
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        m_device.SetText("Trace_Enable", "False");
        m_device.SetNumber("OpenDrawer_Timeout", 500);
        ASSERT_HR(S_OK, m_session.Create());
        m_methods = MethodsOf(m_session.get());
        ASSERT_EQ(22u, m_methods.size());
    }
    void TearDown() override { m_session.Close(); }

    IDispatch* object() { return m_session.get(); }

    // Calls one method; a well-formed call must succeed at the COM level. The result: what it
    // returns, or ResultCode for the property setters, which return nothing.
    LONG Call(const Method& m, Args& args) {
        VARIANT result;
        VariantInit(&result);
        UINT argErr = UINT_MAX;
        const HRESULT hr = args.Invoke(object(), m.id, &result, &argErr);
        EXPECT_EQ(S_OK, hr) << testutil::Narrow(m.name);
        LONG r = V_VT(&result) == VT_I4 ? V_I4(&result) : LONG_MIN;
        VariantClear(&result);
        if (!m.returnsLong && m.name != L"GetPropertyString") r = m_session.ResultCode();
        return r;
    }
    // Each number argument at each extreme, each string null, empty and 1 MiB long. Health
    // level 2 opens the drawer and is left to the health tests.
    void SweepValues(const std::function<void(const Method&, LONG)>& check) {
        // Commas and categories: as a statistics request, some 800,000 names to resolve.
        std::wstring huge;
        while (huge.size() < (1u << 20)) huge += L"U_,,";
        for (const Method& m : m_methods) {
            if (ChangesTheSession(m.name)) continue;
            for (size_t i = 0; i < m.params.size(); ++i) {
                const VARTYPE t = m.params[i] & ~VT_BYREF;
                if (t == VT_I4) {
                    for (LONG value : {LONG_MIN, -1L, 0L, 7L, LONG_MAX}) {
                        Args args(m.params);
                        args.SetLong(i, value);
                        check(m, Call(m, args));
                    }
                } else if (t == VT_BSTR) {
                    for (UINT length : {0u, 1u << 20}) {
                        for (bool null : {true, false}) {
                            Args args(m.params);
                            args.SetText(i, null ? nullptr : huge.c_str(), length);
                            check(m, Call(m, args));
                        }
                    }
                }
            }
        }
    }
    void ExpectStillWorking() {
        EXPECT_EQ(1013001, m_session.Number(PIDX_ServiceObjectVersion));
        LONG data = 0;
        std::wstring text;
        EXPECT_NE(LONG_MIN, m_session.DirectIO(113, &data, &text));
    }

    testutil::ComApartment m_com;
    ScratchDevice m_device{"BramwickSweep"};
    client::DrawerClient m_session;
    std::vector<Method> m_methods;
};

// Before OpenService and after Close every method that needs an open service says so,
// whatever its arguments; the others still give a result.
TEST_F(BadInput, ClosedServiceRefusesWhateverTheArguments) {
    const std::set<std::wstring> answerWithoutOpen = {L"GetPropertyNumber", L"GetPropertyString",
                                                      L"SetPropertyNumber", L"SetPropertyString",
                                                      L"COFreezeEvents",    L"GetOpenResult"};
    for (int round = 0; round < 2; ++round) {
        SweepValues([&](const Method& m, LONG r) {
            if (answerWithoutOpen.count(m.name)) return;
            EXPECT_EQ(OPOS_E_CLOSED, r) << testutil::Narrow(m.name) << " round " << round;
            EXPECT_EQ(OPOS_E_CLOSED, m_session.ResultCode()) << testutil::Narrow(m.name);
        });
        EXPECT_OPOS(OPOS_E_CLOSED, m_session.Close());
        ASSERT_OPOS(OPOS_SUCCESS, m_session.Open(kDeviceW));
        m_session.Set(PIDX_DeviceEnabled, 1);
        EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
        ASSERT_OPOS(OPOS_SUCCESS, m_session.Close());
    }
}

// Open and enabled: any value of any argument gives an OPOS result code, stored in ResultCode
// where the method sets one, and the service goes on working.
TEST_F(BadInput, AnOpenServiceAnswersEveryValueWithAResultCode) {
    ASSERT_OPOS(OPOS_SUCCESS, m_session.Open(kDeviceW));
    m_session.Set(PIDX_DeviceEnabled, 1);
    ASSERT_OPOS(OPOS_SUCCESS, m_session.Claim(0));
    const std::set<std::wstring> noResultCode = {L"GetPropertyNumber", L"GetPropertyString",
                                                 L"GetOpenResult"};
    SweepValues([&](const Method& m, LONG r) {
        if (noResultCode.count(m.name)) {
            EXPECT_TRUE(IsOposResult(m_session.ResultCode())) << testutil::Narrow(m.name);
            return;
        }
        EXPECT_TRUE(IsOposResult(r)) << testutil::Narrow(m.name) << " gave " << r;
        if (m.name != L"COFreezeEvents") {
            EXPECT_EQ(r, m_session.ResultCode()) << testutil::Narrow(m.name);
        }
        // A sweep value may have disabled, released or frozen the device: put it back.
        m_session.Set(PIDX_FreezeEvents, 0);
        m_session.Set(PIDX_DeviceEnabled, 1);
        m_session.Claim(0);
    });
    ExpectStillWorking();
    EXPECT_OPOS(OPOS_SUCCESS, m_session.OpenDrawer());
    EXPECT_OPOS(OPOS_SUCCESS, m_session.Close());
}

// Strings as a control object passes them: a null BSTR where a method needs a string is
// refused with 106 (not taken for an empty one), a DirectIO string travels code unit by code
// unit (one above 0xFF is no byte: a name made of it is no name), and a string a command does
// not answer comes back exactly as it went.
TEST_F(BadInput, StringsReachTheMethodsAsTheCallerPassedThem) {
    ASSERT_OPOS(OPOS_SUCCESS, m_session.Open(kDeviceW));
    m_session.Set(PIDX_DeviceEnabled, 1);
    const fw::DispClient& drawer = m_session;
    auto directIO = [&](LONG command, LONG data, BSTR* text) {
        return drawer.Long(L"DirectIO", command, fw::Arg::Ref(&data), fw::Arg::Ref(text));
    };
    LONG data = 2;  // File mode, default file
    std::wstring defaultFile;
    ASSERT_OPOS(OPOS_SUCCESS, m_session.DirectIO(112, &data, &defaultFile));
    data = 0;
    ASSERT_OPOS(OPOS_SUCCESS, m_session.DirectIO(113, &data, &defaultFile));
    ASSERT_FALSE(defaultFile.empty());

    BSTR none = nullptr;
    EXPECT_OPOS(OPOS_E_ILLEGAL, drawer.Long(L"RetrieveStatistics", fw::Arg::Ref(&none)));
    EXPECT_EQ(OPOS_E_ILLEGAL, m_session.ResultCode());
    for (const auto& [command, value] :
         {std::pair<LONG, LONG>{112, 3}, {113, 0}, {115, 1}, {115, 2}}) {
        EXPECT_OPOS(OPOS_E_ILLEGAL, directIO(command, value, &none)) << command << "," << value;
        EXPECT_EQ(nullptr, none);
    }

    BSTR euro = SysAllocString(L"\u20acx.txt");
    EXPECT_OPOS(OPOS_SUCCESS, directIO(112, 3, &euro));
    SysFreeString(euro);
    std::wstring named;
    data = 0;
    ASSERT_OPOS(OPOS_SUCCESS, m_session.DirectIO(113, &data, &named));
    EXPECT_EQ(defaultFile, named) << "a name of no bytes selects the default file";

    data = 1;
    std::wstring ignored;
    ASSERT_OPOS(OPOS_SUCCESS, m_session.DirectIO(112, &data, &ignored));  // Memory
    BSTR untouched = SysAllocString(L"\u30c9\u30ed\u30ef");
    EXPECT_OPOS(OPOS_SUCCESS, directIO(113, 0, &untouched));
    EXPECT_STREQ(L"\u30c9\u30ed\u30ef", untouched);
    SysFreeString(untouched);
    EXPECT_OPOS(OPOS_SUCCESS, m_session.Close());
}

// Malformed calls: each is refused by the dispatch layer with its HRESULT and names the
// argument at fault; the method itself never runs, so ResultCode keeps its value.
TEST_F(BadInput, MalformedCallsAreRefusedWithTheirHresult) {
    ASSERT_OPOS(OPOS_SUCCESS, m_session.Open(kDeviceW));
    for (const Method& m : m_methods) {
        const std::string name = testutil::Narrow(m.name);
        m_session.Set(PIDX_DeviceEnabled, 0);  // leaves ResultCode 0
        ASSERT_EQ(OPOS_SUCCESS, m_session.ResultCode());
        VARIANT result;
        VariantInit(&result);
        UINT argErr = UINT_MAX;
        {
            Args extra(m.params);
            extra.Extra();
            EXPECT_EQ(DISP_E_BADPARAMCOUNT, extra.Invoke(object(), m.id, &result, &argErr)) << name;
        }
        if (!m.params.empty()) {
            Args missing(m.params);
            missing.Drop();
            EXPECT_EQ(DISP_E_BADPARAMCOUNT, missing.Invoke(object(), m.id, &result, &argErr))
                << name;
        }
        for (size_t i = 0; i < m.params.size(); ++i) {
            Args wrong(m.params);
            VariantClear(&wrong[i]);
            V_VT(&wrong[i]) = VT_UNKNOWN;  // no interface can stand for a number or a text
            V_UNKNOWN(&wrong[i]) = nullptr;
            if (m.params[i] == VT_DISPATCH) V_VT(&wrong[i]) = VT_DATE;
            argErr = UINT_MAX;
            EXPECT_EQ(DISP_E_TYPEMISMATCH, wrong.Invoke(object(), m.id, &result, &argErr))
                << name << " argument " << i;
            EXPECT_EQ(m.params.size() - 1 - i, argErr) << name << " argument " << i;
            if (m.params[i] & VT_BYREF) {
                Args byValue(m.params);  // an out argument given by value cannot be written
                V_VT(&byValue[i]) = m.params[i] & ~VT_BYREF;
                if (V_VT(&byValue[i]) == VT_BSTR) V_BSTR(&byValue[i]) = nullptr;
                EXPECT_EQ(DISP_E_TYPEMISMATCH, byValue.Invoke(object(), m.id, &result, &argErr))
                    << name << " argument " << i << " by value";
                Args nullRef(m.params);
                V_BYREF(&nullRef[i]) = nullptr;
                EXPECT_EQ(DISP_E_TYPEMISMATCH, nullRef.Invoke(object(), m.id, &result, &argErr))
                    << name << " argument " << i << " null reference";
            }
        }
        EXPECT_EQ(VT_EMPTY, V_VT(&result)) << name;
        EXPECT_EQ(OPOS_SUCCESS, m_session.ResultCode()) << name << " ran";
    }
    ExpectStillWorking();
}

// OpenService with nonsense: null, empty and 1 MiB names and no control object fail cleanly,
// and the service opens normally afterwards.
TEST_F(BadInput, OpenServiceWithNonsenseFailsCleanly) {
    const std::wstring huge(1 << 20, L'X');
    const fw::DispClient& drawer = m_session;
    IDispatch* none = nullptr;
    for (const wchar_t* device : {static_cast<const wchar_t*>(nullptr), L"", huge.c_str()}) {
        const LONG r = drawer.Long(L"OpenService", L"CashDrawer", device,
                                   static_cast<IDispatch*>(&m_session.co()));
        EXPECT_EQ(S_OK, drawer.LastResult());
        EXPECT_NE(OPOS_SUCCESS, r);
        EXPECT_TRUE(IsOposResult(r)) << r;
        EXPECT_EQ(OPOS_S_CLOSED, m_session.Number(PIDX_State));
    }
    // A name with a NUL or an unpaired surrogate names no key: it is refused, not cut or
    // changed into the name of another device.
    for (const std::wstring& device :
         {std::wstring(kDeviceW) + L'\0' + L'x', std::wstring(1, 0xD800)}) {
        VARIANT name;
        V_VT(&name) = VT_BSTR;
        V_BSTR(&name) = SysAllocStringLen(device.data(), static_cast<UINT>(device.size()));
        EXPECT_OPOS(OPOS_E_NOEXIST, drawer.Long(L"OpenService", L"CashDrawer", fw::Arg::Ref(&name),
                                                static_cast<IDispatch*>(&m_session.co())));
        EXPECT_EQ(OPOS_ORS_CONFIG, m_session.OpenResult());
        VariantClear(&name);
    }
    for (const wchar_t* deviceClass : {static_cast<const wchar_t*>(nullptr), L"", huge.c_str()}) {
        const LONG r = drawer.Long(L"OpenService", deviceClass, kDeviceW,
                                   static_cast<IDispatch*>(&m_session.co()));
        EXPECT_EQ(S_OK, drawer.LastResult());
        EXPECT_TRUE(IsOposResult(r)) << r;
        m_session.Close();
    }
    const LONG r = drawer.Long(L"OpenService", L"CashDrawer", kDeviceW, none);
    EXPECT_TRUE(IsOposResult(r)) << r;
    m_session.Close();
    ASSERT_OPOS(OPOS_SUCCESS, m_session.Open(kDeviceW));
    EXPECT_OPOS(OPOS_E_ILLEGAL, m_session.Open(kDeviceW)) << "a second open of one object";
    ExpectStillWorking();
}

}  // namespace
