// A control object for tests: a COM object reached only by name, as the service reaches a
// real one, exposing ControlObjectVersion, SODirectIO, SOStatusUpdate and SOProcessID (each
// can be left out). It records every call with the thread it arrived on, and lets a test act
// inside SOStatusUpdate. Any other name or call fails loudly in the record. DrawerClient
// drives a service with one.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "framework/disp_client.h"
#include "util/opos_constants.h"

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

// A cash-drawer service driven as a control object drives it, through IDispatch only, with a
// TestControlObject of its own that Open creates and the client releases after the service.
class DrawerClient : public fw::DispClient {
public:
    DrawerClient() = default;
    DrawerClient(const DrawerClient&) = delete;
    DrawerClient& operator=(const DrawerClient&) = delete;
    ~DrawerClient() { Attach(nullptr); }

    // Drives this service from now on (none: null); the earlier one is released first.
    void Attach(IDispatch* service) {
        static_cast<fw::DispClient&>(*this) = fw::DispClient(service);
        if (m_co) m_co->Release();
        m_co = nullptr;
    }
    // Attaches the registered service, created by ProgID; false when that fails.
    bool AttachRegistered() {
        CLSID clsid;
        IDispatch* object = nullptr;
        if (FAILED(CLSIDFromProgID(L"OPOS.CashDrawer.Bramwick.1", &clsid)) ||
            FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&object)))) {
            return false;
        }
        Attach(object);
        object->Release();
        return true;
    }
    LONG Open(const std::string& device, const TestControlObject::Options& options = {}) {
        if (m_co) m_co->Release();
        m_co = TestControlObject::Create(options);
        return Long(L"OpenService", L"CashDrawer",
                    std::wstring(device.begin(), device.end()).c_str(),
                    static_cast<IDispatch*>(m_co));
    }
    LONG Number(LONG index) const { return Long(L"GetPropertyNumber", index); }
    std::wstring Text(LONG index) const { return String(L"GetPropertyString", index); }
    // Sets a number property; the ResultCode that follows, or the failing HRESULT of the call.
    LONG Set(LONG index, LONG value) const {
        const HRESULT hr = Call(L"SetPropertyNumber", nullptr, index, value);
        return FAILED(hr) ? hr : Number(PIDX_ResultCode);
    }
    TestControlObject* co() const { return m_co; }

private:
    TestControlObject* m_co = nullptr;
};
