// Claim and Release: the machine-wide claim of one drawer through its named mutex, owned by
// the application's thread that claimed it.
#include "link/shared_state.h"
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
                RecordClaim(true);
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
        RecordClaim(false);
        ReleaseMutex(m_objects.claim.get());
        m_bClaimed = FALSE;
        result = OPOS_SUCCESS;
    } else {
        result = OPOS_E_ILLEGAL;
    }
    return EndMethod("mRls", result);
}

// The claimant's process and thread in the shared state, so that other applications can tell
// a claim without taking the mutex (taking it, even for an instant, made a second checker see
// it held).
void CCashDrawer::RecordClaim(bool claimed) {
    const int drawer = m_config.drawerNo == 2 ? 1 : 0;
    InterlockedExchange(&SharedLink().nClaimThreadId[drawer],
                        claimed ? static_cast<LONG>(GetCurrentThreadId()) : 0);
    InterlockedExchange(&SharedLink().nClaimProcessId[drawer],
                        claimed ? static_cast<LONG>(GetCurrentProcessId()) : 0);
}

namespace {
constexpr DWORD kAbandonedClaimWaitMs = 100;

// True while the thread runs, or when it cannot be opened for lack of rights.
bool ThreadAlive(LONG threadId) {
    if (threadId == 0) return false;
    fw::UniqueKernel thread(OpenThread(SYNCHRONIZE, FALSE, static_cast<DWORD>(threadId)));
    if (!thread) return GetLastError() == ERROR_ACCESS_DENIED;
    return WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT;
}
}  // namespace

BOOL CCashDrawer::IsClaimedByOther() {
    if (m_bClaimed) return FALSE;
    const int drawer = m_config.drawerNo == 2 ? 1 : 0;
    const LONG process = SharedLink().nClaimProcessId[drawer];
    if (process == 0) return FALSE;
    if (ProcessAlive(process) && ThreadAlive(SharedLink().nClaimThreadId[drawer])) return TRUE;
    // The claimant's thread ended without releasing: the mutex is abandoned. Taking it clears
    // the record. Other applications may be clearing it at the same moment and hold the mutex
    // for an instant, so the wait is a short one, and a mutex still held then counts as a
    // claim only once a live claimant has recorded itself.
    switch (WaitForSingleObject(m_objects.claim.get(), kAbandonedClaimWaitMs)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:
            InterlockedCompareExchange(&SharedLink().nClaimProcessId[drawer], 0, process);
            ReleaseMutex(m_objects.claim.get());
            return FALSE;
        default: {
            const LONG now = SharedLink().nClaimProcessId[drawer];
            return now != 0 && now != process ? TRUE : FALSE;
        }
    }
}
