// The control object every program of ours hands to OpenService (tests, the soak, the
// benchmark and cdctl): a COM object the service reaches only by name, as it reaches a generic
// OPOS control object.
//   ControlObjectVersion  property get, VT_I4 (Options::version)
//   SODirectIO            method (VT_I4 event number, VT_I4 data by reference, VT_BSTR text by
//                         reference), no result; data and text are left as they came
//   SOStatusUpdate        method (VT_I4 status), answers Options::statusUpdateResult
//   SOProcessID           method, VT_I4 result: this process's id
// SODirectIO and SOStatusUpdate can be left out. Names match without regard to letter case.
// Every event is recorded with the thread it arrived on and then handed to onEvent on that
// thread. Anything else (an unknown name, a known one called the wrong way) fails loudly: it
// is refused with its HRESULT and recorded in Unexpected(), which users check.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace client {

class ControlObjectStub final : public IDispatch {
public:
    struct Options {
        bool directIO = true;
        bool statusUpdate = true;
        LONG version = 1016000;             // UnifiedPOS 1.16
        HRESULT statusUpdateResult = S_OK;  // what SOStatusUpdate answers
        // Read first thing in every event call, before anything else runs; 0 without it.
        uint64_t (*clock)() = nullptr;
    };
    struct Event {
        enum class Kind { StatusUpdate, DirectIO };
        Kind kind = Kind::StatusUpdate;
        LONG number = 0;    // status value, or the DirectIO event number
        LONG data = 0;      // DirectIO data
        std::wstring text;  // DirectIO text
        DWORD threadId = 0;
        uint64_t stamp = 0;  // Options::clock on arrival
    };

    // A new object with one reference, which the caller owns.
    static ControlObjectStub* Create(const Options& options) {
        return new ControlObjectStub(options);
    }
    static ControlObjectStub* Create() { return Create(Options()); }

    // Called inside each event call after it was recorded, on the thread it arrived on.
    std::function<void(const Event&)> onEvent;

    size_t EventCount() const;
    Event EventAt(size_t index) const;  // index < EventCount()
    std::vector<LONG> StatusUpdates() const;
    std::vector<std::string> Unexpected() const;
    size_t VersionReads() const { return m_versionReads; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

private:
    explicit ControlObjectStub(const Options& options) : m_options(options) {}
    ~ControlObjectStub() = default;
    HRESULT Refuse(const std::string& what, HRESULT hr);
    HRESULT Deliver(Event event, HRESULT answer);

    const Options m_options;
    std::atomic<ULONG> m_refs{1};
    std::atomic<size_t> m_versionReads{0};
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
    std::vector<std::string> m_unexpected;
};

}  // namespace client
