// Claim and Release: the machine-wide claim of one drawer through its named mutex, owned by
// the application's thread that claimed it.
#include "so/cash_drawer.h"

LONG CCashDrawer::Claim(LONG timeout) {
    BeginMethod("MClm", 1, timeout);
    LONG result;
    if (!m_bOpened) {
        result = OPOS_E_CLOSED;
    } else if (m_bClaimed) {
        result = OPOS_SUCCESS;
    } else {
        // The mutex comes first, so when both are ready the claim wins over a power failure.
        // A timeout below -1 is taken as an unsigned number of milliseconds.
        HANDLE waits[] = {m_objects.claim.get(), m_objects.powerFail.get()};
        switch (WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(timeout))) {
            case WAIT_OBJECT_0:
            case WAIT_ABANDONED_0:  // the previous owner ended without releasing it
                m_bClaimed = TRUE;
                result = OPOS_SUCCESS;
                break;
            case WAIT_OBJECT_0 + 1:
                result = OPOS_E_NOHARDWARE;
                break;
            default:
                result = OPOS_E_TIMEOUT;
                break;
        }
    }
    return EndMethod("mClm", result);
}

LONG CCashDrawer::ReleaseDevice() {
    BeginMethod("MRls");
    LONG result;
    if (!m_bOpened) {
        result = OPOS_E_CLOSED;
    } else if (m_bClaimed) {
        ReleaseMutex(m_objects.claim.get());
        m_bClaimed = FALSE;
        result = OPOS_SUCCESS;
    } else {
        result = OPOS_E_ILLEGAL;
    }
    return EndMethod("mRls", result);
}

BOOL CCashDrawer::IsClaimedByOther() {
    if (m_bClaimed) return FALSE;
    switch (WaitForSingleObject(m_objects.claim.get(), 0)) {
        case WAIT_TIMEOUT:
            return TRUE;
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:
            ReleaseMutex(m_objects.claim.get());
            return FALSE;
        default:
            return FALSE;
    }
}
