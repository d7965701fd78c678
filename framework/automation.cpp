// IDispatch by DISPID with argument coercion, and the module's cached type library.
#include "framework/automation.h"

#include <oleauto.h>

#include <new>

#include "framework/wide_text.h"

namespace fw {
namespace {

ITypeLib* g_typeLib = nullptr;  // published once, never released while the process runs

HRESULT LoadModuleTypeLib(ITypeLib** lib) {
    if (ITypeLib* cached = static_cast<ITypeLib*>(InterlockedCompareExchangePointer(
            reinterpret_cast<void**>(&g_typeLib), nullptr, nullptr))) {
        *lib = cached;
        return S_OK;
    }
    const std::wstring path = ModulePath(ThisModule());
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib* loaded = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded);
    if (FAILED(hr)) return hr;
    if (InterlockedCompareExchangePointer(reinterpret_cast<void**>(&g_typeLib), loaded, nullptr) !=
        nullptr) {
        loaded->Release();  // another thread won the race
    }
    *lib = g_typeLib;
    return S_OK;
}

// Dereferences a VT_BYREF|VT_VARIANT argument, as scripting clients pass them.
const VARIANT* Unwrap(const VARIANT* v) {
    if (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v) != nullptr) {
        return V_VARIANTREF(v);
    }
    return v;
}

bool IsMissing(const VARIANT* v) {
    return V_VT(v) == VT_ERROR && V_ERROR(v) == static_cast<SCODE>(DISP_E_PARAMNOTFOUND);
}

HRESULT CoerceLong(const VARIANT* v, LONG* out) {
    if (V_VT(v) == VT_EMPTY) {
        *out = 0;
        return S_OK;
    }
    VARIANT tmp;
    VariantInit(&tmp);
    HRESULT hr = VariantChangeType(&tmp, const_cast<VARIANT*>(v), 0, VT_I4);
    if (FAILED(hr)) return hr;
    *out = V_I4(&tmp);
    return S_OK;
}

// Runs use(text, length) on the argument as an automation string; an empty argument is an
// empty text.
template <class Use>
HRESULT WithBstr(const VARIANT* v, Use use) {
    if (V_VT(v) == VT_EMPTY) {
        use(static_cast<const wchar_t*>(nullptr), size_t{0});
        return S_OK;
    }
    VARIANT tmp;
    VariantInit(&tmp);
    HRESULT hr = VariantChangeType(&tmp, const_cast<VARIANT*>(v), 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    use(static_cast<const wchar_t*>(V_BSTR(&tmp)), static_cast<size_t>(SysStringLen(V_BSTR(&tmp))));
    VariantClear(&tmp);
    return S_OK;
}

HRESULT CoerceString(const VARIANT* v, std::string* out, bool keepNuls = false) {
    return WithBstr(v, [&](const wchar_t* text, size_t length) {
        *out = WideToAnsi(text, static_cast<int>(length), keepNuls);
    });
}

// A name: UTF-8 of the whole text. False in *usable when it holds a NUL or an unpaired
// surrogate; a missing (empty or null) text is the empty name.
HRESULT CoerceName(const VARIANT* v, std::string* out, bool* usable) {
    *usable = true;
    return WithBstr(v, [&](const wchar_t* text, size_t length) {
        out->clear();
        if (length > 0)
            *usable = WideToUtf8(text, length, out) && out->find('\0') == std::string::npos;
    });
}

}  // namespace

std::string WideToAnsi(const wchar_t* text, int length, bool keepNuls) {
    if (text == nullptr || length == 0) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr);
    if (length < 0) out.resize(static_cast<size_t>(n) - 1);  // drop the converted terminator
    // Text ends at its first NUL, as single-byte strings do.
    size_t nul = out.find('\0');
    if (nul != std::string::npos && !keepNuls) out.resize(nul);
    return out;
}

BSTR AnsiToBstr(const std::string& text) {
    if (text.empty()) return SysAllocString(L"");
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (s == nullptr) return nullptr;
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), s, n);
    return s;
}

HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadModuleTypeLib(&lib);
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(iid, info);
}

DispCall::~DispCall() {
    for (int i = 0; i < m_count; ++i) {
        if (m_dispatch[i]) m_dispatch[i]->Release();
    }
}

// A by-reference string: a BSTR reference, or a VARIANT reference whose value is made a BSTR
// in place (as a dispatch map coerces a by-reference argument).
HRESULT DispCall::BindBstrRef(int i, VARIANT* raw) {
    if (V_VT(raw) == (VT_BYREF | VT_BSTR) && V_BSTRREF(raw)) {
        m_bstr[i] = V_BSTRREF(raw);
        return S_OK;
    }
    if (V_VT(raw) != (VT_BYREF | VT_VARIANT) || V_VARIANTREF(raw) == nullptr) {
        return DISP_E_TYPEMISMATCH;
    }
    VARIANT* inner = V_VARIANTREF(raw);
    if (V_VT(inner) != VT_BSTR) {
        HRESULT hr = VariantChangeType(inner, inner, 0, VT_BSTR);
        if (FAILED(hr)) return hr;
    }
    m_bstr[i] = &V_BSTR(inner);
    return S_OK;
}

HRESULT DispCall::Bind(const ArgType* types, int count, const DISPPARAMS* params, UINT* argErr) {
    UINT given = params ? params->cArgs : 0;
    if (params && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (given != static_cast<UINT>(count)) return DISP_E_BADPARAMCOUNT;
    m_types = types;
    for (int i = 0; i < count; ++i) {
        UINT pos = given - 1 - static_cast<UINT>(i);  // rgvarg holds the last argument first
        VARIANT* raw = &params->rgvarg[pos];
        const VARIANT* v = Unwrap(raw);
        HRESULT hr = S_OK;
        if (IsMissing(v)) {
            hr = DISP_E_PARAMNOTOPTIONAL;
        } else {
            switch (types[i]) {
                case ArgType::Long:
                    hr = CoerceLong(v, &m_long[i]);
                    break;
                case ArgType::String:
                    hr = CoerceString(v, &m_string[i]);
                    break;
                case ArgType::Name: {
                    bool usable = true;
                    hr = CoerceName(v, &m_string[i], &usable);
                    m_null[i] = !usable;
                    break;
                }
                case ArgType::Dispatch:
                    if (V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL) break;
                    {
                        VARIANT tmp;
                        VariantInit(&tmp);
                        hr = VariantChangeType(&tmp, const_cast<VARIANT*>(v), 0, VT_DISPATCH);
                        if (SUCCEEDED(hr)) m_dispatch[i] = V_DISPATCH(&tmp);  // keeps the ref
                    }
                    break;
                case ArgType::LongRef:
                    if (V_VT(raw) == (VT_BYREF | VT_I4) && V_I4REF(raw)) {
                        m_long[i] = *V_I4REF(raw);
                        m_target[i] = raw;
                    } else if (V_VT(raw) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(raw)) {
                        hr = CoerceLong(v, &m_long[i]);
                        m_target[i] = raw;
                    } else {
                        hr = DISP_E_TYPEMISMATCH;
                    }
                    break;
                case ArgType::StringRef:
                case ArgType::BstrRef:
                    hr = BindBstrRef(i, raw);
                    if (SUCCEEDED(hr) && types[i] == ArgType::StringRef) {
                        BSTR s = *m_bstr[i];
                        m_null[i] = s == nullptr;
                        // The whole text, NULs included: the method decides what one means (a file
                        // name with a NUL in it names no file and is refused).
                        m_string[i] = WideToAnsi(s, static_cast<int>(SysStringLen(s)), true);
                        m_original[i] = m_string[i];
                        m_target[i] = raw;
                    }
                    break;
            }
        }
        m_count = i + 1;
        if (FAILED(hr)) {
            if (argErr) *argErr = pos;
            // Coercion failures of every kind surface as a type mismatch at that argument.
            return hr == DISP_E_PARAMNOTOPTIONAL || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
        }
    }
    m_count = count;
    return S_OK;
}

HRESULT DispCall::Finish(ReturnType ret, VARIANT* result) {
    for (int i = 0; i < m_count; ++i) {
        VARIANT* target = m_target[i];
        if (target == nullptr) continue;
        if (m_types[i] == ArgType::LongRef) {
            if (V_VT(target) == (VT_BYREF | VT_I4)) {
                *V_I4REF(target) = m_long[i];
            } else {
                VARIANT* inner = V_VARIANTREF(target);
                VariantClear(inner);
                V_VT(inner) = VT_I4;
                V_I4(inner) = m_long[i];
            }
        } else if (m_types[i] == ArgType::StringRef && m_string[i] != m_original[i]) {
            // Only a text the member set goes back: an untouched one keeps the caller's
            // characters, which the ANSI code page might not hold.
            BSTR s = AnsiToBstr(m_string[i]);
            if (s == nullptr) return E_OUTOFMEMORY;
            SysFreeString(*m_bstr[i]);
            *m_bstr[i] = s;
        }
    }
    if (result == nullptr) return S_OK;
    VariantInit(result);
    switch (ret) {
        case ReturnType::Void:
            break;
        case ReturnType::Long:
            V_VT(result) = VT_I4;
            V_I4(result) = m_returnLong;
            break;
        case ReturnType::String:
            V_BSTR(result) = AnsiToBstr(m_returnString);
            if (V_BSTR(result) == nullptr) return E_OUTOFMEMORY;
            V_VT(result) = VT_BSTR;
            break;
    }
    return S_OK;
}

STDMETHODIMP DispatchObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, m_dispIid)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) DispatchObject::AddRef() {
    return ++m_refs;
}

STDMETHODIMP_(ULONG) DispatchObject::Release() {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP DispatchObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP DispatchObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return GetModuleTypeInfo(m_dispIid, info);
}

STDMETHODIMP DispatchObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                           DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = GetModuleTypeInfo(m_dispIid, &info);
    if (FAILED(hr)) return hr;
    // Names are matched without regard to case, as control objects look them up one by one.
    hr = DispGetIDsOfNames(info, names, count, ids);
    info->Release();
    return hr;
}

STDMETHODIMP DispatchObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    // Every member is a method; a scripting client that uses the result asks for METHOD|GET.
    if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
    try {
        return InvokeMember(id, params, result, argErr);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        if (excep) {
            ZeroMemory(excep, sizeof(*excep));
            excep->scode = E_UNEXPECTED;
        }
        return DISP_E_EXCEPTION;
    }
}

}  // namespace fw
