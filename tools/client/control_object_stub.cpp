// The control object stub.
#include "tools/client/control_object_stub.h"

#include <oleauto.h>

namespace client {
namespace {

enum : DISPID {
    kControlObjectVersion = 1,
    kSODirectIO = 2,
    kSOStatusUpdate = 3,
    kSOProcessID = 4,
};

// A VT_I4 argument, by value or by reference.
bool ArgLong(const VARIANT& arg, LONG* value) {
    if (V_VT(&arg) == VT_I4) {
        *value = V_I4(&arg);
        return true;
    }
    if (V_VT(&arg) == (VT_BYREF | VT_I4) && V_I4REF(&arg) != nullptr) {
        *value = *V_I4REF(&arg);
        return true;
    }
    return false;
}

// A VT_BSTR argument, by value or by reference; a null string reads as empty.
bool ArgText(const VARIANT& arg, std::wstring* text) {
    BSTR value = nullptr;
    if (V_VT(&arg) == VT_BSTR) {
        value = V_BSTR(&arg);
    } else if (V_VT(&arg) == (VT_BYREF | VT_BSTR) && V_BSTRREF(&arg) != nullptr) {
        value = *V_BSTRREF(&arg);
    } else {
        return false;
    }
    text->assign(value ? value : L"", value ? SysStringLen(value) : 0);
    return true;
}

std::string Narrow(const wchar_t* text) {
    std::string s;
    for (; text != nullptr && *text != 0; ++text) s.push_back(*text < 0x80 ? char(*text) : '?');
    return s;
}

}  // namespace

size_t ControlObjectStub::EventCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.size();
}

ControlObjectStub::Event ControlObjectStub::EventAt(size_t index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events.at(index);
}

std::vector<LONG> ControlObjectStub::StatusUpdates() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> values;
    for (const Event& e : m_events) {
        if (e.kind == Event::Kind::StatusUpdate) values.push_back(e.number);
    }
    return values;
}

std::vector<std::string> ControlObjectStub::Unexpected() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unexpected;
}

HRESULT ControlObjectStub::Refuse(const std::string& what, HRESULT hr) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unexpected.push_back(what);
    return hr;
}

HRESULT ControlObjectStub::Deliver(Event event, HRESULT answer) {
    event.threadId = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
    }
    if (onEvent) onEvent(event);
    return answer;
}

STDMETHODIMP ControlObjectStub::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ControlObjectStub::Release() {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP ControlObjectStub::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_INVALIDARG;
    *count = 0;
    return S_OK;
}

STDMETHODIMP ControlObjectStub::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP ControlObjectStub::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                              DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const struct {
        const wchar_t* name;
        DISPID id;
        bool present;
    } table[] = {
        {L"ControlObjectVersion", kControlObjectVersion, true},
        {L"SODirectIO", kSODirectIO, m_options.directIO},
        {L"SOStatusUpdate", kSOStatusUpdate, m_options.statusUpdate},
        {L"SOProcessID", kSOProcessID, true},
    };
    for (const auto& entry : table) {
        if (names[0] == nullptr || _wcsicmp(entry.name, names[0]) != 0) continue;
        if (!entry.present) return DISP_E_UNKNOWNNAME;  // left out on purpose
        ids[0] = entry.id;
        // Only the member itself is known, no named arguments.
        return count == 1 ? S_OK
                          : Refuse("named arguments of " + Narrow(names[0]), DISP_E_UNKNOWNNAME);
    }
    return Refuse("name " + Narrow(names[0]), DISP_E_UNKNOWNNAME);
}

STDMETHODIMP ControlObjectStub::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO*, UINT* argErr) {
    Event event;
    event.stamp = m_options.clock ? m_options.clock() : 0;  // first, so nothing below counts
    // Only a refused call is described, so an expected one costs no text.
    auto call = [&] { return "DISPID " + std::to_string(id) + " flags " + std::to_string(flags); };
    if (params == nullptr) return Refuse(call() + " without arguments", E_INVALIDARG);
    if (params->cNamedArgs != 0)
        return Refuse(call() + " with named arguments", DISP_E_NONAMEDARGS);
    const UINT argc = params->cArgs;
    // Arguments arrive last first.
    auto arg = [&](UINT natural) -> const VARIANT& { return params->rgvarg[argc - 1 - natural]; };
    auto mismatch = [&](UINT natural) {
        if (argErr) *argErr = argc - 1 - natural;
        return Refuse(call() + " argument " + std::to_string(natural), DISP_E_TYPEMISMATCH);
    };
    const bool method = (flags & DISPATCH_METHOD) != 0;
    LONG value = 0;
    switch (id) {
        case kControlObjectVersion:
            if ((flags & DISPATCH_PROPERTYGET) == 0) return Refuse(call(), DISP_E_MEMBERNOTFOUND);
            if (argc != 0) return Refuse(call(), DISP_E_BADPARAMCOUNT);
            ++m_versionReads;
            value = m_options.version;
            break;
        case kSOProcessID:
            if (!method) return Refuse(call(), DISP_E_MEMBERNOTFOUND);
            if (argc != 0) return Refuse(call(), DISP_E_BADPARAMCOUNT);
            value = static_cast<LONG>(GetCurrentProcessId());
            break;
        case kSOStatusUpdate:
            if (!method || !m_options.statusUpdate) return Refuse(call(), DISP_E_MEMBERNOTFOUND);
            if (argc != 1) return Refuse(call(), DISP_E_BADPARAMCOUNT);
            if (!ArgLong(arg(0), &event.number)) return mismatch(0);
            return Deliver(std::move(event), m_options.statusUpdateResult);
        case kSODirectIO:
            if (!method || !m_options.directIO) return Refuse(call(), DISP_E_MEMBERNOTFOUND);
            if (argc != 3) return Refuse(call(), DISP_E_BADPARAMCOUNT);
            event.kind = Event::Kind::DirectIO;
            if (!ArgLong(arg(0), &event.number)) return mismatch(0);
            if (!ArgLong(arg(1), &event.data)) return mismatch(1);
            if (!ArgText(arg(2), &event.text)) return mismatch(2);
            return Deliver(std::move(event), S_OK);
        default:
            return Refuse(call(), DISP_E_MEMBERNOTFOUND);
    }
    if (result) {
        VariantInit(result);
        V_VT(result) = VT_I4;
        V_I4(result) = value;
    }
    return S_OK;
}

}  // namespace client
