// OpenDrawer and WaitForDrawerClose: the two cash-drawer methods. Both run on the control
// object's thread and block it while they wait; the input thread signals the drawer events
// through ProcessStatus while m_bWaitingForDrawer is set.
#include "so/beeper.h"
#include "so/cash_drawer.h"

LONG CCashDrawer::RefuseDrawerWork() {
    if (!m_bOpened) return OPOS_E_CLOSED;
    if (!m_bDeviceEnabled) return OPOS_E_DISABLED;
    if (IsClaimedByOther()) return OPOS_E_CLAIMED;
    return OPOS_SUCCESS;
}

LONG CCashDrawer::OpenDrawer() {
    BeginMethod("MOpD");
    LONG result = RefuseDrawerWork();
    if (result != OPOS_SUCCESS) return EndMethod("mOpD", result);

    bool written = false;
    for (int attempt = 1; attempt <= 2 && !written; ++attempt) {
        m_objects.drawerOpened.Reset();
        m_bWaitingForDrawer = TRUE;
        LONG sent = SendCommand(m_openCommand.bytes, m_openCommand.length);
        if (sent == OPOS_SUCCESS) {
            written = true;
        } else if (sent == OPOS_E_TIMEOUT) {
            // Nobody took the command: no second attempt.
            CountDrawerOpen(false);
            ReportRecord(2, kRasMsgOperationTimeout, kOpSendOpenCommand);
            m_bWaitingForDrawer = FALSE;
            return EndMethod("mOpD", OPOS_E_TIMEOUT);
        } else {
            if (attempt == 2) CountDrawerOpen(false);
            ReportRecord(2, kRasMsgOperationFailed, kOpSendOpenCommand);
            m_bWaitingForDrawer = FALSE;
            result = OPOS_E_FAILURE;
        }
    }
    if (!written) return EndMethod("mOpD", result);

    if (m_bDrawerOpened) {
        m_bWaitingForDrawer = FALSE;
        CountDrawerOpen(true);
        return EndMethod("mOpD", OPOS_SUCCESS);
    }
    HANDLE waits[] = {m_objects.drawerOpened.get(), m_objects.powerFail.get()};
    DWORD which =
        WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(m_config.openDrawerTimeout));
    m_bWaitingForDrawer = FALSE;
    if (which == WAIT_OBJECT_0) {
        CountDrawerOpen(true);
        result = OPOS_SUCCESS;
    } else {
        CountDrawerOpen(false);
        ReportRecord(1, kRasMsgOperationFailed,
                     which == WAIT_OBJECT_0 + 1 ? kOpOpeningDrawerPowerFail : kOpOpeningDrawer);
        result = OPOS_E_FAILURE;
    }
    return EndMethod("mOpD", result);
}

LONG CCashDrawer::WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                                     LONG beepDelay) {
    m_trace.Trace(m_lTraceHandle, "MWat", 3, beepTimeout, beepFrequency, beepDuration, 0, 0);
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    LONG result = RefuseDrawerWork();
    if (result != OPOS_SUCCESS) return EndMethod("mWat", result);
    if (!m_bCapStatus) return EndMethod("mWat", OPOS_SUCCESS);

    // Waiting is announced before DrawerOpened is read: a close that comes in between then
    // either shows in DrawerOpened or sets the event, never neither.
    m_objects.drawerClosed.Reset();
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_bWaitingForDrawer), TRUE);
    if (!m_bDrawerOpened) {
        m_bWaitingForDrawer = FALSE;
        return EndMethod("mWat", OPOS_SUCCESS);
    }
    HANDLE waits[] = {m_objects.drawerClosed.get(), m_objects.powerFail.get(),
                      m_objects.lineStatusOff.get()};
    // The times are taken as unsigned milliseconds: -1 waits without limit.
    DWORD which = WaitForMultipleObjects(3, waits, FALSE, static_cast<DWORD>(beepTimeout));
    while (which == WAIT_TIMEOUT) {
        SoundBeep(static_cast<DWORD>(beepFrequency), static_cast<DWORD>(beepDuration));
        which = WaitForMultipleObjects(3, waits, FALSE, static_cast<DWORD>(beepDelay));
    }
    m_bWaitingForDrawer = FALSE;
    SoundBeep(0, 0);
    result = which == WAIT_OBJECT_0 && !m_bDrawerOpened ? OPOS_SUCCESS : OPOS_E_FAILURE;
    return EndMethod("mWat", result);
}
