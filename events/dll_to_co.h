// CDllToCO: the service's link back to the control object. It keeps the control object's
// IDispatch, resolves its callbacks by name, and calls them from a hidden window on the
// application's thread: the event thread posts a record to the window and waits until the
// handler has called the control object. Connect, disconnect and the handler run on the
// application's thread; FireEvent runs on the event thread.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

#include "events/opos_event.h"
#include "framework/hidden_window.h"
#include "framework/sync.h"

class CVmTrace;

class CDllToCO final : public fw::HiddenWindow {
public:
    static constexpr WORD ID_FIRE_EVENT = 0x6FFF;
    static constexpr WORD ID_SAVE_TRACE = 0x6FFE;
    static constexpr int kNameCount = 7;
    // ControlObjectVersion, SODirectIO, SOStatusUpdate, SOProcessID.
    static constexpr DWORD kCashDrawerMask = 0x65;

    CDllToCO();
    ~CDllToCO() override;

    // Attaches the control object (no reference is taken) and resolves the names asked for in
    // mask. FALSE when already connected, when the window cannot be created, or when a
    // required name is missing.
    BOOL ConnectCO(IDispatch* controlObject, DWORD mask, const char* windowName);
    // Detaches the control object; releases an event thread blocked in FireEvent first.
    // TRUE when something was attached.
    BOOL DisconnectCO();
    // TRUE (busy) while the window's handler is inside a call to the control object on
    // another thread; otherwise disables delivery and returns FALSE.
    BOOL TryDisableEvents();
    // Hands a record to the application's thread and waits until it has been handled or
    // dropped. Event thread only.
    void FireEvent(COPOSEvent* record);
    // Disconnects, then destroys the window. Application's thread only.
    void DestroyBridgeWindow();

    void SetEventsEnabled(BOOL enabled) { m_bEventsEnabled = enabled; }
    void SetTrace(LONG handle, CVmTrace* trace) {
        m_nTraceHandle = handle;
        m_pTrace = trace;
    }
    LONG ControlObjectVersion() const { return m_lCOVersion; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void DeliverRecord(COPOSEvent* record);
    void CountDownPosted();
    void Trace(const char* tag, int count, LONG v1 = 0);

    BOOL m_bConnected = FALSE;
    IDispatch* m_coDriver = nullptr;  // attached without a reference
    DISPID m_dispid[kNameCount] = {};
    DWORD m_dwMask = 0;
    fw::Mutex m_connectLock;
    fw::Mutex m_deliverLock;
    std::atomic<LONG> m_nPosted{0};
    LONG m_lCOVersion = 0;
    volatile BOOL m_bEventsEnabled = FALSE;
    fw::Event m_hDeliverDone;
    fw::Event m_hDisconnecting;  // set while DisconnectCO waits for a FireEvent to let go
    LONG m_nTraceHandle = -2;
    CVmTrace* m_pTrace = nullptr;
};
