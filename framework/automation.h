// Automation object for a pure dispinterface: IDispatch whose names come from our type
// library and whose calls are dispatched by DISPID through a table of members, with the
// argument coercion a dispatch map does (by value, typed by-reference and VARIANT by-reference).
// Calls arrive on the creating thread; the reference count is atomic.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "framework/module.h"

namespace fw {

enum class ArgType : uint8_t {
    Long,       // LONG by value
    String,     // BSTR by value, handed to the member as ANSI text
    Name,       // BSTR by value naming something (a device): UTF-8, any character
    Dispatch,   // IDispatch* by value (may be null)
    LongRef,    // LONG by reference
    StringRef,  // BSTR by reference, read and written as ANSI text; a null BSTR stays null
    BstrRef,    // BSTR by reference, handed to the member as it is (the member converts)
};

enum class ReturnType : uint8_t { Void, Long, String };

constexpr int kMaxDispArgs = 4;

// The arguments of one call, already coerced, and its result.
class DispCall {
public:
    LONG Long(int i) const { return m_long[i]; }
    const char* String(int i) const { return m_string[i].c_str(); }
    // A Name argument in UTF-8; null when the text cannot name anything (it holds a NUL or an
    // unpaired surrogate), so that the member refuses it rather than use another name.
    const char* Name(int i) const { return m_null[i] ? nullptr : m_string[i].c_str(); }
    IDispatch* Dispatch(int i) const { return m_dispatch[i]; }
    LONG& LongRef(int i) { return m_long[i]; }
    // The text of a by-reference string, null when the caller passed a null BSTR. It is
    // written back only when the member changed it.
    std::string* StringRef(int i) { return m_null[i] ? nullptr : &m_string[i]; }
    // The caller's BSTR itself (it may hold null); the member frees and replaces it to answer.
    BSTR* BstrRef(int i) { return m_bstr[i]; }

    void ReturnLong(LONG value) { m_returnLong = value; }
    void ReturnString(std::string value) { m_returnString = std::move(value); }

    ~DispCall();

    // Binds the caller's arguments to the member's parameter types. On a type error sets
    // *argErr to the position in rgvarg (arguments arrive last first) and returns the HRESULT.
    HRESULT Bind(const ArgType* types, int count, const DISPPARAMS* params, UINT* argErr);
    // Writes by-reference arguments back and fills the result.
    HRESULT Finish(ReturnType ret, VARIANT* result);

private:
    HRESULT BindBstrRef(int i, VARIANT* raw);

    const ArgType* m_types = nullptr;
    int m_count = 0;
    LONG m_long[kMaxDispArgs] = {};
    std::string m_string[kMaxDispArgs];
    std::string m_original[kMaxDispArgs];  // by-reference text as it came
    bool m_null[kMaxDispArgs] = {};        // by-reference text: a null BSTR; a Name: unusable
    BSTR* m_bstr[kMaxDispArgs] = {};
    IDispatch* m_dispatch[kMaxDispArgs] = {};
    VARIANT* m_target[kMaxDispArgs] = {};  // by-reference argument as passed by the caller
    LONG m_returnLong = 0;
    std::string m_returnString;
};

template <class T>
struct DispMember {
    DISPID id;
    const char* name;  // as in the type library; for tables and diagnostics
    ReturnType ret;
    int argc;
    ArgType args[kMaxDispArgs];
    void (*invoke)(T& self, DispCall& call);
};

// Cached type information of a dispinterface described by the type library embedded as
// resource TYPELIB 1 in this module. Thread-safe; loaded once per process.
HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info);

// IUnknown and IDispatch for an object whose members are listed in a DispMember table.
class DispatchObject : public IDispatch {
public:
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

protected:
    explicit DispatchObject(const IID& dispIid) : m_dispIid(dispIid) {}
    virtual ~DispatchObject() = default;

    // Runs one member. Returns DISP_E_MEMBERNOTFOUND for an unknown DISPID.
    virtual HRESULT InvokeMember(DISPID id, const DISPPARAMS* params, VARIANT* result,
                                 UINT* argErr) = 0;

    template <class T, size_t N>
    static HRESULT InvokeFromTable(T& self, const DispMember<T> (&table)[N], DISPID id,
                                   const DISPPARAMS* params, VARIANT* result, UINT* argErr) {
        for (const DispMember<T>& m : table) {
            if (m.id != id) continue;
            DispCall call;
            HRESULT hr = call.Bind(m.args, m.argc, params, argErr);
            if (FAILED(hr)) return hr;
            m.invoke(self, call);
            return call.Finish(m.ret, result);
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    const IID m_dispIid;
    std::atomic<ULONG> m_refs{1};
    ModuleLockHolder m_moduleLock;  // the DLL stays loaded while the object lives
};

// ANSI <-> automation string conversions with the system ANSI code page. WideToAnsi ends the
// text at its first NUL unless keepNuls is set.
std::string WideToAnsi(const wchar_t* text, int length = -1, bool keepNuls = false);
BSTR AnsiToBstr(const std::string& text);

}  // namespace fw
