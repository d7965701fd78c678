// The port worker threads and the cross-process hand-off. One process at a time owns the
// port (its port-owner thread holds "Shared CashDrawer COM Opened"); every process's commands
// reach that owner's output thread through the shared command block, and every decoded
// status reaches every process's input thread through the status-update event.
// Lock order: "Shared CashDrawer Open Status", then "Vantrel CashDrawer Output Request", then
// the output-thread lock.
#include "link/shared_state.h"
#include "so/cash_drawer.h"

namespace {
constexpr int kAckTries = 300;  // 300 tries 10 ms apart: about 3 s for live listeners
constexpr DWORD kAckPollMs = 10;
constexpr DWORD kPowerPollMs = 200;
constexpr DWORD kPowerPauseMs = 20;
}  // namespace

LONG CCashDrawer::SendCommand(const BYTE* bytes, LONG length) {
    fw::MutexGuard lock = m_objects.outputRequestMutex.Acquire();
    LONG result;
    if (m_objects.outputReady.Wait(static_cast<DWORD>(m_config.sendReadyTimeout)) !=
        WAIT_OBJECT_0) {
        result = OPOS_E_TIMEOUT;  // no process has the port open
    } else {
        SharedLink().nWriteResult = 0;
        LONG n = length < 4 ? length : 4;
        SharedLink().nCommandLength = n;
        for (LONG i = 0; i < n; ++i) SharedLink().abCommand[i] = bytes[i];
        m_objects.outputComplete.Reset();
        m_objects.outputRequest.Set();
        if (m_objects.outputComplete.Wait(static_cast<DWORD>(m_config.sendDoneTimeout)) !=
            WAIT_OBJECT_0) {
            result = OPOS_E_TIMEOUT;
        } else if (SharedLink().nWriteResult != 0) {
            CountCommunicationError();
            result = OPOS_E_FAILURE;
        } else {
            result = OPOS_SUCCESS;
        }
    }
    return result;
}

void CCashDrawer::NotifyListeners(LONG count) {
    TraceLink("LCDW", 2, count, 1);
    const LONG seq = SharedLink().nStatusSeq;
    m_objects.statusUpdate.Set();
    // Waits for every other listener to take the status. A listener whose process has ended
    // is dropped at once rather than waited for; a live one that does not answer in about 3 s
    // is no longer waited for in this fan-out.
    int tries = 0;
    LONG pending = 0;
    for (; tries < kAckTries; ++tries) {
        pending = 0;
        for (int i = 0; i < kListenerSlots; ++i) {
            ListenerSlot& slot = SharedLink().listeners[i];
            const LONG pid = slot.nProcessId;
            if (pid == 0 || i == m_nListenerSlot || slot.nAckSeq == seq) continue;
            if (!ProcessAlive(pid)) {
                if (InterlockedCompareExchange(&slot.nProcessId, 0, pid) == pid) {
                    InterlockedDecrement(&SharedLink().nListeners);
                    TraceLink("LDED", 2, i, pid);
                }
                continue;
            }
            ++pending;
        }
        if (pending == 0) break;
        Sleep(kAckPollMs);
    }
    m_objects.statusUpdate.Reset();
    if (pending != 0) TraceLink("Tout", 0);
    SharedLink().nPendingAcks = pending;
    TraceLink("lCDW", 2, pending, tries);
}

// Takes a free listener slot for this instance's input thread; -1 when all are taken (the
// instance then still listens, but no fan-out waits for it).
int CCashDrawer::TakeListenerSlot() {
    const LONG self = static_cast<LONG>(GetCurrentProcessId());
    for (int i = 0; i < kListenerSlots; ++i) {
        ListenerSlot& slot = SharedLink().listeners[i];
        if (InterlockedCompareExchange(&slot.nProcessId, self, 0) == 0) {
            InterlockedExchange(&slot.nAckSeq, SharedLink().nStatusSeq);
            return i;
        }
    }
    TraceLink("LFUL", 0);
    return -1;
}

void CCashDrawer::GiveListenerSlot() {
    if (m_nListenerSlot >= 0) {
        InterlockedCompareExchange(&SharedLink().listeners[m_nListenerSlot].nProcessId, 0,
                                   static_cast<LONG>(GetCurrentProcessId()));
    }
    m_nListenerSlot = -1;
}

DWORD CCashDrawer::OutputThreadProc(void* self) {
    return static_cast<CCashDrawer*>(self)->RunOutputThread();
}

DWORD CCashDrawer::RunOutputThread() {
    BYTE local[5] = {};
    for (;;) {
        m_objects.outputRequest.Wait(INFINITE);
        m_objects.outputRequest.Reset();
        {
            fw::MutexGuard lock = m_outputThreadLock.Acquire();
            if (m_bStopOutputThread) return 0;
        }
        LONG length = SharedLink().nCommandLength;
        if (length > 4) length = 4;
        for (LONG i = 0; i < length; ++i) local[i] = SharedLink().abCommand[i];
        WriteCommand(local, length);
        m_objects.outputComplete.Set();
    }
}

DWORD CCashDrawer::InputThreadProc(void* self) {
    return static_cast<CCashDrawer*>(self)->RunInputThread();
}

DWORD CCashDrawer::RunInputThread() {
    m_nLastStatusSeq = -1;
    m_nListenerSlot = TakeListenerSlot();
    InterlockedIncrement(&SharedLink().nListeners);

    // Listening: another process owns the port, or this one has not opened it yet.
    HANDLE waits[] = {m_objects.statusUpdate.get(), m_objects.lineStatusUpdate.get(),
                      m_objects.inputWake.get(), m_objects.portOpened.get()};
    bool stopping = false;
    DWORD ended = WAIT_FAILED;
    for (;;) {
        DWORD which = WaitForMultipleObjects(4, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 || which == WAIT_OBJECT_0 + 1) {
            fw::MutexGuard lock = m_inputThreadLock.Acquire();
            if (m_bStopInputThread) {
                stopping = true;
                break;
            }
            if (which == WAIT_OBJECT_0) {
                ProcessStatus();
            } else {
                CheckLineStatus();
            }
        } else if (which == WAIT_OBJECT_0 + 2 || which == WAIT_OBJECT_0 + 3) {
            ended = which;
            break;
        }
    }
    if (!stopping) m_objects.portOpened.Reset();
    if (stopping || ended != WAIT_OBJECT_0 + 3) {
        GiveListenerSlot();
        InterlockedDecrement(&SharedLink().nListeners);
        return 0;
    }

    // Reading: this process owns the port.
    for (;;) {
        ReadPortEvents();
        fw::MutexGuard lock = m_inputThreadLock.Acquire();
        if (m_bStopInputThread) break;
        ProcessStatus(false);  // the port wait paces this loop
        CheckLineStatus();
    }
    GiveListenerSlot();
    InterlockedDecrement(&SharedLink().nListeners);
    return 0;
}

DWORD CCashDrawer::PortOwnerThreadProc(void* self) {
    return static_cast<CCashDrawer*>(self)->RunPortOwnerThread();
}

DWORD CCashDrawer::RunPortOwnerThread() {
    m_nPortOpenError = 0;
    bool successor = false;
    fw::MutexGuard comOpened = m_objects.comOpened.Acquire(0);
    if (!comOpened.owned()) {
        // Another process has the port: OpenService goes on, this thread waits its turn.
        successor = true;
        m_objects.ownerStarted.Set();
        TraceLink("50s1", 0);
        HANDLE waits[] = {m_objects.ownerStop.get(), m_objects.comOpened.get()};
        DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        TraceLink("50s2", 1, static_cast<LONG>(which));
        bool gotMutex = which == WAIT_OBJECT_0 + 1 || which == WAIT_ABANDONED_0 + 1;
        if (gotMutex) {
            comOpened = fw::MutexGuard(m_objects.comOpened.get(),
                                       which == WAIT_OBJECT_0 + 1 ? fw::AcquireResult::Acquired
                                                                  : fw::AcquireResult::Abandoned);
        }
        bool stop;
        {
            fw::MutexGuard lock = m_portThreadLock.Acquire();
            stop = m_bStopPortOwnerThread;
        }
        if (stop) {
            TraceLink("50s3", 0);
            return 0;  // the guard releases the mutex if it was obtained
        }
        if (!gotMutex) {
            TraceLink("50s4", 0);
            return 0;
        }
    }

    TraceLink("50s5", 0);
    {
        fw::MutexGuard lock = m_objects.openStatus.Acquire();
        m_bPortOwner = TRUE;
    }
    TraceLink("50s6", 0);
    LONG result = OpenPort();
    if (result != 0) {
        m_nPortOpenError = result;
        {
            fw::MutexGuard lock = m_objects.openStatus.Acquire();
            m_bPortOwner = FALSE;
        }
        m_objects.ownerStarted.Set();
        comOpened.Unlock();
        TraceLink("50s7", 1, result);
        return 0;
    }
    InterlockedExchange(&SharedLink().nOwnerProcessId, static_cast<LONG>(GetCurrentProcessId()));
    m_objects.ownerStarted.Set();
    // An owner that died in the middle of a fan-out leaves the status-update event set; the
    // listening input thread would then never see that this process now owns the port.
    if (successor) m_objects.statusUpdate.Reset();
    m_objects.portOpened.Set();
    m_objects.outputReady.Set();
    TraceLink("50s8", 0);
    // A new owner learns the drawer's state and fans it out to everyone.
    if (successor) SendCommand(m_statusCommand.bytes, m_statusCommand.length);

    m_objects.ownerStop.Wait(INFINITE);

    bool closedPort = false;
    {
        fw::MutexGuard status = m_objects.openStatus.Acquire();
        if (m_bPortOwner) {
            TraceLink("50s9", 0);
            fw::MutexGuard request = m_objects.outputRequestMutex.Acquire();
            if (m_outputThread.IsStarted()) {
                {
                    fw::MutexGuard lock = m_outputThreadLock.Acquire();
                    m_bStopOutputThread = TRUE;
                }
                m_objects.outputRequest.Set();
                m_outputThread.WaitForExit();
            }
            result = m_portLibrary.Unload();
            InterlockedCompareExchange(&SharedLink().nOwnerProcessId, 0,
                                       static_cast<LONG>(GetCurrentProcessId()));
            m_objects.outputReady.Reset();
            request.Unlock();
            m_bPortOwner = FALSE;
            closedPort = true;
        }
    }
    // Listeners that have not yet taken the last status are woken once more to take it. The
    // event stays set until each has acknowledged (or the fan-out gives up on it), so one busy
    // at this moment still sees it; a momentary pulse would pass it by. This runs outside the
    // open-status mutex, which the listeners take to acknowledge, and before the port-owner
    // mutex is released, since a successor resets the event when it takes over.
    if (closedPort) NotifyListeners(SharedLink().nListeners);
    comOpened.Unlock();
    TraceLink("50sA", 2, m_bPortOwner, result);
    return 0;
}

DWORD CCashDrawer::PowerFailThreadProc(void* self) {
    return static_cast<CCashDrawer*>(self)->RunPowerFailThread();
}

DWORD CCashDrawer::RunPowerFailThread() {
    for (;;) {
        if (m_objects.powerFail.Wait(kPowerPollMs) == WAIT_OBJECT_0) {
            LONG before = m_lPowerState;
            ReportPowerState(OPOS_PS_OFF_OFFLINE);
            if (before != m_lPowerState) TraceLink("PPFl", 0);
        } else if (LineOnline(SharedLink().dwModemStatus)) {
            LONG before = m_lPowerState;
            ReportPowerState(OPOS_PS_ONLINE);
            if (before != m_lPowerState) TraceLink("pPFl", 0);
        }
        {
            fw::MutexGuard lock = m_powerThreadLock.Acquire();
            if (m_bStopPowerFailThread) return 0;
        }
        Sleep(kPowerPauseMs);
    }
}
