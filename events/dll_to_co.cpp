// CDllToCO: calls into the control object on the application's thread.
#include "events/dll_to_co.h"

#include <oleauto.h>

#include "util/vmtrace.h"

namespace {

struct CallbackName {
    const char* name;
    bool required;  // a required name that does not resolve fails the connect
};

const CallbackName kNames[CDllToCO::kNameCount] = {
    {"ControlObjectVersion", false},
    {"SOData", true},
    {"SODirectIO", true},
    {"SOError", true},
    {"SOOutputComplete", true},
    {"SOStatusUpdate", false},
    {"SOProcessID", false},
};

}  // namespace

CDllToCO::CDllToCO() {
    m_connectLock.Create();
    m_deliverLock.Create();
    m_hDeliverDone.Create(true, false);
    m_hDisconnecting.Create(true, false);
}

CDllToCO::~CDllToCO() {
    DisconnectCO();
    Destroy();
}

BOOL CDllToCO::ConnectCO(IDispatch* controlObject, DWORD mask, const char* windowName) {
    fw::MutexGuard lock = m_connectLock.Acquire();
    if (m_bConnected || controlObject == nullptr) return FALSE;
    if (hwnd() == nullptr && !Create(windowName, 0, 0, GetDesktopWindow())) return FALSE;

    m_coDriver = controlObject;
    m_dwMask = mask;
    for (int i = 0; i < kNameCount; ++i) {
        m_dispid[i] = 0;
        if ((mask & (1u << i)) == 0) continue;
        wchar_t wide[64];
        MultiByteToWideChar(CP_THREAD_ACP, 0, kNames[i].name, -1, wide, 64);
        LPOLESTR names[] = {wide};
        DISPID id = 0;
        if (SUCCEEDED(m_coDriver->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) {
            m_dispid[i] = id;
        } else if (kNames[i].required) {
            m_coDriver = nullptr;
            m_dwMask = 0;
            return FALSE;
        } else {
            m_dispid[i] = 0;
            m_dwMask &= ~(1u << i);
        }
    }
    m_lCOVersion = 0;
    if (m_dispid[0] != 0) {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        VARIANT result;
        VariantInit(&result);
        if (SUCCEEDED(m_coDriver->Invoke(m_dispid[0], IID_NULL, LOCALE_SYSTEM_DEFAULT,
                                         DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr)) &&
            SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) {
            m_lCOVersion = V_I4(&result);
        }
        VariantClear(&result);
    }
    m_nPosted = 0;
    m_bConnected = TRUE;
    return TRUE;
}

BOOL CDllToCO::DisconnectCO() {
    // FireEvent holds the lock while it waits for the window, which may be this very thread:
    // it also waits for this event, set before the lock is asked for, so it lets go whether it
    // is waiting already or about to.
    m_hDisconnecting.Set();
    fw::MutexGuard lock = m_connectLock.Acquire();
    m_hDisconnecting.Reset();
    if (!m_bConnected) return FALSE;
    m_coDriver = nullptr;
    m_bConnected = FALSE;
    m_bEventsEnabled = FALSE;
    m_dwMask = 0;
    m_nPosted = 0;
    return TRUE;
}

BOOL CDllToCO::TryDisableEvents() {
    // The deliver lock is a mutex: the window's own thread, inside the control object's event
    // handler, takes it again and is therefore never busy.
    fw::MutexGuard lock = m_deliverLock.Acquire(0);
    if (!lock.owned()) return TRUE;
    m_bEventsEnabled = FALSE;
    return FALSE;
}

void CDllToCO::FireEvent(COPOSEvent* record) {
    fw::MutexGuard lock = m_connectLock.Acquire();
    if (!lock.owned()) return;
    if (!m_bConnected || !m_bEventsEnabled) return;
    m_hDeliverDone.Reset();
    ++m_nPosted;
    // A failed post must not leave the event thread waiting.
    if (!PostMessageA(hwnd(), WM_COMMAND, MAKEWPARAM(ID_FIRE_EVENT, 0),
                      reinterpret_cast<LPARAM>(record))) {
        CountDownPosted();
        return;
    }
    HANDLE waits[] = {m_hDeliverDone.get(), m_hDisconnecting.get()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

void CDllToCO::DestroyBridgeWindow() {
    DisconnectCO();
    Destroy();
}

void CDllToCO::CountDownPosted() {
    LONG posted = m_nPosted.load();
    while (posted > 0 && !m_nPosted.compare_exchange_weak(posted, posted - 1)) {
    }
}

void CDllToCO::Trace(const char* tag, int count, LONG v1) {
    if (m_pTrace != nullptr && m_nTraceHandle >= 0) {
        m_pTrace->Trace(m_nTraceHandle, tag, count, v1, 0, 0, 0, 0);
    }
}

LRESULT CDllToCO::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND) return HiddenWindow::OnMessage(message, wParam, lParam);
    switch (LOWORD(wParam)) {
        case ID_FIRE_EVENT:
            DeliverRecord(reinterpret_cast<COPOSEvent*>(lParam));
            return 0;
        case ID_SAVE_TRACE:
            if (m_bConnected && m_pTrace != nullptr) m_pTrace->SaveTraceFile();
            return 0;
        default:
            return HiddenWindow::OnMessage(message, wParam, lParam);
    }
}

void CDllToCO::DeliverRecord(COPOSEvent* record) {
    fw::MutexGuard lock = m_deliverLock.Acquire(0);
    if (!lock.owned()) {
        m_hDeliverDone.Set();  // dropped: the event thread goes on
        return;
    }
    // A stale message (nothing outstanding) is dropped without reading the record, which
    // may already be gone.
    if (!m_bConnected || !m_bEventsEnabled || m_nPosted <= 0 ||
        (m_dwMask & (1u << record->m_nKind)) == 0) {
        CountDownPosted();
        lock.Unlock();
        m_hDeliverDone.Set();
        return;
    }
    if (record->m_nKind == kEventStatusUpdate && m_dispid[kEventStatusUpdate] != 0) {
        auto* status = static_cast<CStatusUpdateEvent*>(record);
        Trace("ESup", 1, status->m_lData);
        VARIANTARG arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = status->m_lData;
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        // A failing callback counts as delivered: its result is not the service's concern.
        IDispatch* target = m_coDriver;
        if (target != nullptr) {
            target->Invoke(m_dispid[kEventStatusUpdate], IID_NULL, LOCALE_SYSTEM_DEFAULT,
                           DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        }
        Trace("eSup", 0);
    }
    CountDownPosted();
    lock.Unlock();
    m_hDeliverDone.Set();
}
