// A control object for tests: a COM object reached only by name, as the service reaches a
// real one, exposing ControlObjectVersion, SODirectIO, SOStatusUpdate and SOProcessID (each
// can be left out). It records every call with the thread it arrived on, and lets a test act
// inside SOStatusUpdate. Any other name or call fails loudly in the record.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TestControlObject final : public IDispatch {
public:
    struct Options {
        bool directIO = true;
        bool statusUpdate = true;
        LONG version = 1016000;
        HRESULT statusUpdateResult = S_OK;  // what SOStatusUpdate answers
    };
    struct Call {
        std::string name;
        LONG value;
        DWORD threadId;
    };

    static TestControlObject* Create(const Options& options) {
        return new TestControlObject(options);
    }
    static TestControlObject* Create() { return Create(Options()); }

    // Called inside SOStatusUpdate with the status, on the thread the call arrived on.
    std::function<void(LONG)> onStatusUpdate;

    std::vector<Call> Calls() const;
    std::vector<LONG> StatusUpdates() const;  // values in arrival order
    size_t StatusUpdateCount() const;
    std::vector<std::string> Unexpected() const;  // calls the object does not know

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
    explicit TestControlObject(const Options& options) : m_options(options) {}
    void Record(const std::string& name, LONG value);

    Options m_options;
    std::atomic<ULONG> m_refs{1};
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    std::vector<std::string> m_unexpected;
};

// Pumps the calling thread's messages until the predicate holds or the time is up.
bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs);
