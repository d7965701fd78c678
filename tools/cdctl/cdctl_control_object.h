// The control object cdctl acts as: the automation object a session hands to OpenService.
// The service reaches it only by name, as it reaches any OPOS control object:
//   ControlObjectVersion  property get, VT_I4 1016000 (UnifiedPOS 1.16)
//   SODirectIO            method (VT_I4 event number, VT_I4 data by reference,
//                         VT_BSTR text by reference), no result
//   SOStatusUpdate        method (VT_I4 status), no result
//   SOProcessID           method, VT_I4 result: this process's id
// Names are matched without regard to letter case. Every event is counted and handed to the
// sink on the thread that made the call (the service's bridge calls on the thread that
// opened it). Apartment-threaded: used on one thread only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

class CdctlControlObject final : public IDispatch {
public:
    static constexpr LONG kVersion = 1016000;

    enum : DISPID {
        kDispControlObjectVersion = 1,
        kDispSODirectIO = 2,
        kDispSOStatusUpdate = 3,
        kDispSOProcessID = 4,
    };

    struct Event {
        enum class Kind { StatusUpdate, DirectIO };
        Kind kind = Kind::StatusUpdate;
        LONG number = 0;    // status value, or the DirectIO event number
        LONG data = 0;      // DirectIO data
        std::wstring text;  // DirectIO text
    };
    using Sink = std::function<void(const Event&)>;

    // A new object with one reference, which the caller owns.
    static CdctlControlObject* Create(Sink sink) { return new CdctlControlObject(std::move(sink)); }

    // Events received so far.
    size_t EventCount() const { return m_events; }
    // Times ControlObjectVersion was read.
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
    explicit CdctlControlObject(Sink sink) : m_sink(std::move(sink)) {}
    ~CdctlControlObject() = default;
    void Deliver(const Event& event);

    Sink m_sink;
    ULONG m_refs = 1;
    size_t m_events = 0;
    size_t m_versionReads = 0;
};
