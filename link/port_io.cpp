// The port side of the service: bringing the port up (OpenPort), one pass of the reader
// (ReadPortEvents), writing one command (WriteCommand), and evaluating the shared drawer and
// line status for this service object (ProcessStatus, CheckLineStatus).
// OpenPort runs on the port-owner thread, ReadPortEvents on the owner's input thread,
// WriteCommand on its output thread, ProcessStatus and CheckLineStatus on every input thread.
#include "link/port_open_params.h"
#include "link/shared_state.h"
#include "so/cash_drawer.h"

namespace {
constexpr DWORD kOpenStatusWaitMs = 6000;  // port side never waits longer for the status mutex
constexpr DWORD kPortEventWaitMs = 30000;  // one wait for a line event
constexpr DWORD kLineEventErrors = EV_BREAK | EV_ERR;
}  // namespace

void CCashDrawer::TraceLink(const char* tag, int count, LONG v1, LONG v2, LONG v3, LONG v4) {
    m_trace.Trace(m_lTraceHandle, tag, count, v1, v2, v3, v4, 0);
}

LONG CCashDrawer::OpenPort() {
    PortOpenSources sources;
    sources.config = &m_config;
    sources.path = &m_strPath;
    sources.deviceName = &m_strOpenDeviceName;
    sources.deviceDescription = &m_strRasDeviceName;
    sources.statusRequest = m_objects.libStatusRequest.get();
    sources.cancelWait = m_objects.libCancelWait.get();
    sources.detail = &m_detailCode;
    PortOpenParams& params = m_portOpenParams;
    FillPortOpenParams(sources, &params);

    if (m_portLibrary.Load(params, m_strPath.c_str(), m_config.portDll.c_str()) != 0) {
        return OPOS_E_FAILURE;  // the library's own code is not kept
    }
    m_portLibrary.Purge(kPurgeAll);
    {
        // The only place the modem lines are read while the port stays open.
        fw::MutexGuard lock = m_objects.openStatus.Acquire(kOpenStatusWaitMs);
        if (lock.owned()) {
            DWORD status = 0;
            m_portLibrary.GetModemStatus(&status);
            SharedLink().dwModemStatus = status;
        }
    }
    m_bStopOutputThread = FALSE;
    if (!m_outputThread.Create(&CCashDrawer::OutputThreadProc, this,
                               THREAD_PRIORITY_ABOVE_NORMAL)) {
        LONG error = static_cast<LONG>(GetLastError());
        ReportErrorRecord(kRasMsgOperationFailed, error, kOpCreateOutputThread);
        return error;
    }
    m_outputThread.Resume();
    return 0;
}

void CCashDrawer::ReadPortEvents() {
    m_portLibrary.SetEventMask(kPortEventMask);
    LONG waitRequest = m_portLibrary.WaitEvent(&m_dwEventMask, &m_overlapped);
    TraceLink("50q1", 1, waitRequest);

    HANDLE waits[] = {m_objects.inputWake.get(), m_objects.overlapped.get(),
                      m_objects.libCancelWait.get(), m_objects.libStatusRequest.get()};
    DWORD which = WaitForMultipleObjects(4, waits, FALSE, kPortEventWaitMs);
    TraceLink("50q2", 3, static_cast<LONG>(which), static_cast<LONG>(m_dwEventMask),
              m_bStopInputThread);
    if (which == WAIT_TIMEOUT || m_bStopInputThread) {
        m_portLibrary.SetEventMask(0);
        return;
    }
    switch (which) {
        case WAIT_OBJECT_0:
            m_objects.inputWake.Reset();
            TraceLink("50qC", 0);
            m_portLibrary.SetEventMask(0);
            return;
        case WAIT_OBJECT_0 + 2:
            m_objects.libCancelWait.Reset();
            m_portLibrary.SetEventMask(0);
            TraceLink("50qA", 0);
            return;
        case WAIT_OBJECT_0 + 3:
            m_objects.libStatusRequest.Reset();
            m_portLibrary.SetEventMask(0);
            SendCommand(m_statusCommand.bytes, m_statusCommand.length);
            TraceLink("50qB", 0);
            return;
        case WAIT_OBJECT_0 + 1:
            break;
        default:
            return;
    }

    const DWORD mask = m_dwEventMask;
    if (mask & (EV_CTS | EV_DSR)) RefreshModemStatus();
    if (mask & kLineEventErrors) {
        CountCommunicationError();
        TraceLink("50q3", 1, static_cast<LONG>(mask));
        m_portLibrary.LineError("PEEV", 128);
        return;
    }
    DWORD errors = 0;
    COMSTAT status = {};
    if (mask & EV_RXCHAR) {
        LONG result = m_portLibrary.ClearError(&errors, &status);
        TraceLink("50q4", 3, result, static_cast<LONG>(errors), static_cast<LONG>(status.cbInQue));
    }
    if (!(mask & EV_RXCHAR) || status.cbInQue == 0) return;

    m_receive.Reset();
    DWORD remaining = status.cbInQue;
    bool firstLook = true;
    for (;;) {
        DWORD n = remaining < static_cast<DWORD>(m_receive.Room())
                      ? remaining
                      : static_cast<DWORD>(m_receive.Room());
        DWORD got = 0;
        LONG result = m_portLibrary.Read(m_receive.WritePointer(), n, &got);
        if (result != 0 || got != n) {
            CountCommunicationError();
            m_portLibrary.Purge(kPurgeAll);
            m_receive.Discard();
            break;
        }
        // The newest frame these bytes completed; a frame of an earlier read is not repeated.
        if (m_receive.Accept(static_cast<int>(got)) > 0) {
            const uint8_t* f = m_receive.frame();
            TraceLink("50q5", 4, f[0], f[1], f[2], f[3]);
        }
        remaining -= got;
        if (remaining != 0) continue;
        if (!firstLook) {
            TraceLink("50q6", 0);
            break;
        }
        // A frame may still be on its way: look once more after the detection delay.
        firstLook = false;
        Sleep(static_cast<DWORD>(m_config.detectDelayTime));
        result = m_portLibrary.ClearError(&errors, &status);
        if (status.cbInQue == 0) break;
        remaining = status.cbInQue;
        TraceLink("50q7", 3, result, static_cast<LONG>(errors), static_cast<LONG>(status.cbInQue));
    }
    m_objects.overlapped.Reset();

    // Every status frame of the pass, in order: a drawer opened and closed again within one
    // pass is two changes. A frame that repeats the one before it is skipped, except the last.
    const int count = m_receive.frameCount();
    std::optional<DrawerBits> applied;
    for (int f = 0; f < count; ++f) {
        std::optional<DrawerBits> bits = DecodeStatusFrame(m_receive.frameAt(f));
        if (!bits) continue;
        if (f + 1 < count && applied && applied->drawer1 == bits->drawer1 &&
            applied->drawer2 == bits->drawer2) {
            continue;
        }
        ApplyStatusFrame(*bits);
        applied = bits;
    }
}

// Publishes one status frame: the shared drawer bits, this instance first, then every other
// listener. An OpenService in progress also takes the frame as its reply.
void CCashDrawer::ApplyStatusFrame(const DrawerBits& bits) {
    {
        fw::MutexGuard lock = m_objects.openStatus.Acquire(kOpenStatusWaitMs);
        if (lock.owned()) {
            SharedLink().nDrawerStatus[0] = bits.drawer1;
            SharedLink().nDrawerStatus[1] = bits.drawer2;
        }
        TraceLink("50q8", 3, static_cast<LONG>(fw::WaitCode(lock.result())),
                  SharedLink().nDrawerStatus[0], SharedLink().nDrawerStatus[1]);
    }
    InterlockedIncrement(&SharedLink().nStatusSeq);
    // An OpenService waiting for its status reply takes this frame as the reply; the frame is
    // a status like any other and goes to everyone as well, or a change it carries would be
    // lost for every other application.
    if (InterlockedExchange(&SharedLink().bInitialQuery, 0) != 0) {
        TraceLink("50n3", 0);
        m_objects.responseReceived.Set();
    }
    TraceLink("50q9", 2, SharedLink().nStatusSeq, SharedLink().nListeners);
    {
        // The owner's own application learns of the change without waiting for the others.
        fw::MutexGuard lock = m_inputThreadLock.Acquire();
        if (!m_bStopInputThread) ProcessStatus(false);
    }
    NotifyListeners(SharedLink().nListeners - 1);
}

void CCashDrawer::WriteCommand(const BYTE* bytes, LONG length) {
    SharedLink().nWriteResult = OPOS_E_FAILURE;
    m_trace.TraceBytes(m_lTraceHandle, "50v1", bytes, length);
    DWORD modem = 0;
    {
        fw::MutexGuard lock = m_objects.openStatus.Acquire(kOpenStatusWaitMs);
        if (lock.owned()) {
            modem = SharedLink().dwModemStatus;
            lock.Unlock();
            if (!LineOnline(modem)) {
                TraceLink("50v2", 2, OPOS_E_FAILURE, static_cast<LONG>(modem));
                return;  // the drawer is not ready: nothing is written
            }
        }
    }
    DWORD written = 0;
    LONG result = m_portLibrary.Write(bytes, static_cast<DWORD>(length), &written);
    SharedLink().nWriteResult =
        result == 0 && written != static_cast<DWORD>(length) ? OPOS_E_FAILURE : result;
    TraceLink("50v3", 2, SharedLink().nWriteResult, static_cast<LONG>(modem));
}

// A CTS or DSR change: read the lines again so that the writer's check and the power state
// follow a cable that is pulled or plugged while the port stays open.
void CCashDrawer::RefreshModemStatus() {
    fw::MutexGuard lock = m_objects.openStatus.Acquire(kOpenStatusWaitMs);
    if (!lock.owned()) return;
    DWORD status = 0;
    if (m_portLibrary.GetModemStatus(&status) == 0) SharedLink().dwModemStatus = status;
    TraceLink("50q0", 1, static_cast<LONG>(status));
}

BOOL CCashDrawer::DrawerStateFromShared() const {
    LONG bit = SharedLink().nDrawerStatus[m_config.drawerNo - 1];
    return (m_config.statusInvert ? bit == 0 : bit != 0) ? TRUE : FALSE;
}

void CCashDrawer::AcknowledgeStatus(const char* tag) {
    LONG seq = SharedLink().nStatusSeq;
    if (m_nLastStatusSeq != seq) {
        TraceLink(tag, 2, m_nLastStatusSeq, seq);
        m_nLastStatusSeq = seq;
        if (m_nListenerSlot >= 0) {
            InterlockedExchange(&SharedLink().listeners[m_nListenerSlot].nAckSeq, seq);
        }
        m_objects.statusSeen.Set();
    }
}

void CCashDrawer::ProcessStatus(bool pace) {
    TraceLink("50n1", 0);
    BOOL opened;
    {
        fw::MutexGuard lock = m_objects.openStatus.Acquire();
        opened = DrawerStateFromShared();
        AcknowledgeStatus("50n2");
    }
    if (opened != m_bDrawerOpened) {
        TraceLink("50n4", 2, SharedLink().nDrawerStatus[0], SharedLink().nDrawerStatus[1]);
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&m_bDrawerOpened), opened);
        if (m_bWaitingForDrawer) {
            (opened ? m_objects.drawerOpened : m_objects.drawerClosed).Set();
        }
        QueueStatusUpdate(opened ? CASH_SUE_DRAWEROPEN : CASH_SUE_DRAWERCLOSED);
    } else {
        TraceLink("50n5", 1, m_bDrawerOpened);
        if (pace) Sleep(10);  // paces the wake-ups while a fan-out keeps its event set
    }
    TraceLink("50n6", 0);
}

// Moves PowerState to `state` and reports it once, when power reporting asks for it.
void CCashDrawer::ReportPowerState(LONG state) {
    fw::MutexGuard lock = m_enableLock.Acquire();
    if (m_bDeviceEnabled && m_lCapPowerReporting != OPOS_PR_NONE &&
        m_lPowerNotify == OPOS_PN_ENABLED && m_lPowerState != state) {
        m_lPowerState = state;
        QueueStatusUpdate(state);
        m_objects.eventWake.Set();
    }
}

void CCashDrawer::CheckLineStatus() {
    TraceLink("50p1", 0);
    DWORD modem = 0;
    {
        fw::MutexGuard lock = m_objects.openStatus.Acquire(kOpenStatusWaitMs);
        if (lock.owned()) {
            modem = SharedLink().dwModemStatus;
            AcknowledgeStatus("50p2");
        }
    }
    TraceLink("50p3", 0);
    // While the power has failed the power-fail thread alone reports it.
    if (m_objects.powerFail.Wait(0) != WAIT_OBJECT_0) {
        ReportPowerState(LineOnline(modem) ? OPOS_PS_ONLINE : OPOS_PS_OFF_OFFLINE);
    }
    TraceLink("50p4", 0);
}
