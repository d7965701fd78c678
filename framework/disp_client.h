// Calls a dispatch object by name, the way a control object or a script drives it:
// GetIDsOfNames for the name, then Invoke with arguments in natural order.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "framework/handles.h"

namespace fw {

// One argument, owned. Holds a VARIANT that is cleared on destruction.
class Arg {
public:
    Arg(LONG value);                  // NOLINT: implicit for readable call sites
    Arg(const wchar_t* text);         // NOLINT
    Arg(IDispatch* dispatch);         // NOLINT
    static Arg Ref(LONG* target);     // VT_BYREF|VT_I4
    static Arg Ref(BSTR* target);     // VT_BYREF|VT_BSTR
    static Arg Ref(VARIANT* target);  // VT_BYREF|VT_VARIANT
    Arg(const Arg&) = delete;
    Arg& operator=(const Arg&) = delete;
    Arg(Arg&& o) noexcept;
    ~Arg();
    const VARIANT& get() const { return m_v; }

private:
    Arg() { VariantInit(&m_v); }
    VARIANT m_v;
};

class DispClient {
public:
    DispClient() = default;
    explicit DispClient(IDispatch* target) : m_target(target) {}

    // Resolves a name; DISPID_UNKNOWN on failure, with the HRESULT in *hr.
    DISPID IdOf(const wchar_t* name, HRESULT* hr = nullptr) const;

    // Invokes by DISPID with arguments in natural order. result may be null.
    HRESULT InvokeArgs(DISPID id, const Arg* args, size_t count, VARIANT* result,
                       UINT* argErr = nullptr, WORD flags = DISPATCH_METHOD) const;

    // Looks the name up, then invokes it.
    template <class... A>
    HRESULT Call(const wchar_t* name, VARIANT* result, A&&... args) const {
        HRESULT hr = S_OK;
        DISPID id = IdOf(name, &hr);
        if (FAILED(hr)) return hr;
        std::array<Arg, sizeof...(A)> list{{Arg(std::forward<A>(args))...}};
        return InvokeArgs(id, list.data(), list.size(), result);
    }

    // Calls a method whose result is a LONG (0 on failure; see LastResult).
    template <class... A>
    LONG Long(const wchar_t* name, A&&... args) const {
        VARIANT result;
        VariantInit(&result);
        m_last = Call(name, &result, std::forward<A>(args)...);
        return TakeLong(&result);
    }

    // Calls a method whose result is a string (empty on failure; see LastResult).
    template <class... A>
    std::wstring String(const wchar_t* name, A&&... args) const {
        VARIANT result;
        VariantInit(&result);
        m_last = Call(name, &result, std::forward<A>(args)...);
        return TakeString(&result);
    }

    HRESULT LastResult() const { return m_last; }
    IDispatch* get() const { return m_target.get(); }

private:
    LONG TakeLong(VARIANT* result) const;
    std::wstring TakeString(VARIANT* result) const;

    ComPtr<IDispatch> m_target;
    mutable HRESULT m_last = S_OK;
};

}  // namespace fw
