// Calls a dispatch object by name.
#include "framework/disp_client.h"

#include <oleauto.h>

namespace fw {

Arg::Arg(LONG value) : Arg() {
    V_VT(&m_v) = VT_I4;
    V_I4(&m_v) = value;
}

Arg::Arg(const wchar_t* text) : Arg() {
    V_VT(&m_v) = VT_BSTR;
    V_BSTR(&m_v) = SysAllocString(text);
}

Arg::Arg(IDispatch* dispatch) : Arg() {
    V_VT(&m_v) = VT_DISPATCH;
    V_DISPATCH(&m_v) = dispatch;
    if (dispatch) dispatch->AddRef();
}

Arg Arg::Ref(LONG* target) {
    Arg a;
    V_VT(&a.m_v) = VT_BYREF | VT_I4;
    V_I4REF(&a.m_v) = target;
    return a;
}

Arg Arg::Ref(BSTR* target) {
    Arg a;
    V_VT(&a.m_v) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&a.m_v) = target;
    return a;
}

Arg Arg::Ref(VARIANT* target) {
    Arg a;
    V_VT(&a.m_v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&a.m_v) = target;
    return a;
}

Arg::Arg(Arg&& o) noexcept : m_v(o.m_v) {
    VariantInit(&o.m_v);
}

Arg::~Arg() {
    // By-reference arguments point at the caller's storage, which the caller owns.
    if ((V_VT(&m_v) & VT_BYREF) == 0) VariantClear(&m_v);
}

DISPID DispClient::IdOf(const wchar_t* name, HRESULT* hr) const {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT result = m_target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr) *hr = result;
    return SUCCEEDED(result) ? id : DISPID_UNKNOWN;
}

HRESULT DispClient::InvokeArgs(DISPID id, const Arg* args, size_t count, VARIANT* result,
                               UINT* argErr, WORD flags) const {
    // Dispatch arguments travel last first.
    std::vector<VARIANTARG> reversed;
    reversed.reserve(count);
    for (size_t i = count; i > 0; --i) reversed.push_back(args[i - 1].get());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    UINT err = 0;
    HRESULT hr =
        m_target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, &err);
    if (argErr) *argErr = err;
    return hr;
}

LONG DispClient::TakeLong(VARIANT* result) const {
    if (SUCCEEDED(m_last)) m_last = VariantChangeType(result, result, 0, VT_I4);
    LONG value = SUCCEEDED(m_last) ? V_I4(result) : 0;
    VariantClear(result);
    return value;
}

std::wstring DispClient::TakeString(VARIANT* result) const {
    if (SUCCEEDED(m_last)) m_last = VariantChangeType(result, result, 0, VT_BSTR);
    std::wstring value;
    if (SUCCEEDED(m_last) && V_BSTR(result)) {
        value.assign(V_BSTR(result), SysStringLen(V_BSTR(result)));
    }
    VariantClear(result);
    return value;
}

}  // namespace fw
