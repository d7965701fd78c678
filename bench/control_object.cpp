// The benchmark's control object.
#include "bench/control_object.h"

#include "ports/sim_store.h"

namespace bench {
namespace {

enum : DISPID {
    kControlObjectVersion = 1,
    kSODirectIO = 2,
    kSOStatusUpdate = 3,
    kSOProcessID = 4,
};
constexpr LONG kVersion = 1013000;  // UnifiedPOS 1.13

}  // namespace

size_t ControlObject::StatusCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls.size();
}

StatusCall ControlObject::Status(size_t index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls.at(index);
}

STDMETHODIMP ControlObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ControlObject::Release() {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP ControlObject::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

STDMETHODIMP ControlObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) return E_INVALIDARG;
    static const struct {
        const wchar_t* name;
        DISPID id;
    } kTable[] = {
        {L"ControlObjectVersion", kControlObjectVersion},
        {L"SODirectIO", kSODirectIO},
        {L"SOStatusUpdate", kSOStatusUpdate},
        {L"SOProcessID", kSOProcessID},
    };
    for (const auto& entry : kTable) {
        if (_wcsicmp(entry.name, names[0]) == 0) {
            ids[0] = entry.id;
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP ControlObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) {
    const uint64_t now = sim::NowMicros();  // first, so nothing below counts
    if (id == kSOStatusUpdate && (flags & DISPATCH_METHOD) != 0 && params->cArgs == 1 &&
        V_VT(&params->rgvarg[0]) == VT_I4) {
        const StatusCall call{V_I4(&params->rgvarg[0]), now, GetCurrentThreadId()};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back(call);
        }
        if (onStatusUpdate != nullptr) onStatusUpdate(call, context);
        return S_OK;
    }
    if (id == kControlObjectVersion && (flags & DISPATCH_PROPERTYGET) != 0 && params->cArgs == 0) {
        if (result != nullptr) {
            V_VT(result) = VT_I4;
            V_I4(result) = kVersion;
        }
        return S_OK;
    }
    ++m_unexpected;
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace bench
