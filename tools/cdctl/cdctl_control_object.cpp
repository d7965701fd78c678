// cdctl's control object.
#include "tools/cdctl/cdctl_control_object.h"

#include <oleauto.h>

namespace {

struct Name {
    const wchar_t* name;
    DISPID id;
};

const Name kNames[] = {
    {L"ControlObjectVersion", CdctlControlObject::kDispControlObjectVersion},
    {L"SODirectIO", CdctlControlObject::kDispSODirectIO},
    {L"SOStatusUpdate", CdctlControlObject::kDispSOStatusUpdate},
    {L"SOProcessID", CdctlControlObject::kDispSOProcessID},
};

// A VT_I4 argument, given by value, by reference or as another type that converts.
HRESULT ArgLong(const VARIANT& arg, LONG* value) {
    if (V_VT(&arg) == VT_I4) {
        *value = V_I4(&arg);
        return S_OK;
    }
    if (V_VT(&arg) == (VT_BYREF | VT_I4)) {
        if (V_I4REF(&arg) == nullptr) return DISP_E_TYPEMISMATCH;
        *value = *V_I4REF(&arg);
        return S_OK;
    }
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = VariantChangeType(&copy, const_cast<VARIANT*>(&arg), 0, VT_I4);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    *value = V_I4(&copy);
    return S_OK;
}

// A VT_BSTR argument, by value or by reference; a null string reads as empty.
HRESULT ArgText(const VARIANT& arg, std::wstring* text) {
    BSTR value = nullptr;
    if (V_VT(&arg) == VT_BSTR) {
        value = V_BSTR(&arg);
    } else if (V_VT(&arg) == (VT_BYREF | VT_BSTR) && V_BSTRREF(&arg) != nullptr) {
        value = *V_BSTRREF(&arg);
    } else {
        return DISP_E_TYPEMISMATCH;
    }
    text->assign(value ? value : L"", value ? SysStringLen(value) : 0);
    return S_OK;
}

}  // namespace

STDMETHODIMP CdctlControlObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CdctlControlObject::Release() {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP CdctlControlObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CdctlControlObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP CdctlControlObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                               DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    // Only the member name itself is known; named arguments are not.
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (names[0] != nullptr) {
        for (const Name& n : kNames) {
            if (_wcsicmp(n.name, names[0]) == 0) {
                ids[0] = n.id;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        }
    }
    return DISP_E_UNKNOWNNAME;
}

void CdctlControlObject::Deliver(const Event& event) {
    ++m_events;
    if (m_sink) m_sink(event);
}

STDMETHODIMP CdctlControlObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                        VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (params == nullptr) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    const UINT argc = params->cArgs;
    // Arguments arrive last first.
    auto arg = [&](UINT natural) -> const VARIANT& { return params->rgvarg[argc - 1 - natural]; };
    auto bad = [&](UINT natural, HRESULT hr) {
        if (argErr) *argErr = argc - 1 - natural;
        return hr;
    };
    switch (id) {
        case kDispControlObjectVersion:
            if ((flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
            if (argc != 0) return DISP_E_BADPARAMCOUNT;
            ++m_versionReads;
            if (result) {
                VariantInit(result);
                V_VT(result) = VT_I4;
                V_I4(result) = kVersion;
            }
            return S_OK;
        case kDispSOStatusUpdate: {
            if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
            if (argc != 1) return DISP_E_BADPARAMCOUNT;
            Event event;
            event.kind = Event::Kind::StatusUpdate;
            if (FAILED(ArgLong(arg(0), &event.number))) return bad(0, DISP_E_TYPEMISMATCH);
            Deliver(event);
            return S_OK;
        }
        case kDispSODirectIO: {
            if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
            if (argc != 3) return DISP_E_BADPARAMCOUNT;
            Event event;
            event.kind = Event::Kind::DirectIO;
            if (FAILED(ArgLong(arg(0), &event.number))) return bad(0, DISP_E_TYPEMISMATCH);
            if (FAILED(ArgLong(arg(1), &event.data))) return bad(1, DISP_E_TYPEMISMATCH);
            if (FAILED(ArgText(arg(2), &event.text))) return bad(2, DISP_E_TYPEMISMATCH);
            // The data and text stay as the service sent them: cdctl has nothing to answer.
            Deliver(event);
            return S_OK;
        }
        case kDispSOProcessID:
            if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
            if (argc != 0) return DISP_E_BADPARAMCOUNT;
            if (result) {
                VariantInit(result);
                V_VT(result) = VT_I4;
                V_I4(result) = static_cast<LONG>(GetCurrentProcessId());
            }
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}
