// The benchmark's control object: what the service calls back, reached by name as a generic
// control object is. It stamps every SOStatusUpdate with the performance counter the moment the
// call arrives, before doing anything else, and notes the thread it arrived on.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace bench {

struct StatusCall {
    LONG value;
    uint64_t micros;  // sim::NowMicros() on arrival
    DWORD threadId;
};

class ControlObject final : public IDispatch {
public:
    static ControlObject* Create() { return new ControlObject(); }

    // Called inside SOStatusUpdate, after the call was recorded, on the thread it arrived on.
    void (*onStatusUpdate)(const StatusCall& call, void* context) = nullptr;
    void* context = nullptr;

    size_t StatusCount() const;
    StatusCall Status(size_t index) const;                     // index < StatusCount()
    size_t Unexpected() const { return m_unexpected.load(); }  // calls it does not know

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

private:
    ControlObject() = default;

    std::atomic<ULONG> m_refs{1};
    std::atomic<size_t> m_unexpected{0};
    mutable std::mutex m_mutex;
    std::vector<StatusCall> m_calls;
};

}  // namespace bench
