// The test control object.
#include "tests/win/test_control_object.h"

#include <oleauto.h>

namespace {

enum : DISPID {
    kControlObjectVersion = 1,
    kSODirectIO = 2,
    kSOStatusUpdate = 3,
    kSOProcessID = 4,
};

}  // namespace

std::vector<TestControlObject::Call> TestControlObject::Calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<LONG> TestControlObject::StatusUpdates() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<LONG> values;
    for (const Call& c : m_calls) {
        if (c.name == "SOStatusUpdate") values.push_back(c.value);
    }
    return values;
}

size_t TestControlObject::StatusUpdateCount() const {
    return StatusUpdates().size();
}

std::vector<std::string> TestControlObject::Unexpected() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unexpected;
}

void TestControlObject::Record(const std::string& name, LONG value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({name, value, GetCurrentThreadId()});
}

STDMETHODIMP TestControlObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TestControlObject::Release() {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP TestControlObject::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

STDMETHODIMP TestControlObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                              DISPID* ids) {
    if (count != 1) return E_INVALIDARG;
    struct {
        const wchar_t* name;
        DISPID id;
        bool present;
    } const table[] = {
        {L"ControlObjectVersion", kControlObjectVersion, true},
        {L"SODirectIO", kSODirectIO, m_options.directIO},
        {L"SOStatusUpdate", kSOStatusUpdate, m_options.statusUpdate},
        {L"SOProcessID", kSOProcessID, true},
    };
    for (const auto& entry : table) {
        if (entry.present && _wcsicmp(entry.name, names[0]) == 0) {
            ids[0] = entry.id;
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP TestControlObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO*, UINT*) {
    switch (id) {
        case kControlObjectVersion:
            if ((flags & DISPATCH_PROPERTYGET) == 0 || params->cArgs != 0) break;
            Record("ControlObjectVersion", 0);
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = m_options.version;
            }
            return S_OK;
        case kSOStatusUpdate: {
            if ((flags & DISPATCH_METHOD) == 0 || params->cArgs != 1 ||
                V_VT(&params->rgvarg[0]) != VT_I4) {
                break;
            }
            LONG value = V_I4(&params->rgvarg[0]);
            Record("SOStatusUpdate", value);
            if (onStatusUpdate) onStatusUpdate(value);
            return m_options.statusUpdateResult;
        }
        default:
            break;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unexpected.push_back("DISPID " + std::to_string(id) + " flags " + std::to_string(flags));
    return DISP_E_MEMBERNOTFOUND;
}

bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (predicate()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20, QS_ALLINPUT);
    }
}
