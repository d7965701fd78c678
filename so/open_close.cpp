// OpenService, Close and the teardown they share. Runs on the application's thread; it starts
// and stops every worker thread of the service.
#include <cstdint>

#include "link/shared_state.h"
#include "so/cash_drawer.h"
#include "stats/cash_drawer_stats.h"
#include "stats/statistics_methods.h"
#include "util/reg_uty.h"

namespace {
constexpr char kModuleName[] = "BRAMWICK";
}  // namespace

LONG CCashDrawer::FailOpen(LONG openResult, LONG result) {
    if (openResult != 0) m_lOpenResult = openResult;
    return SetResult(result);
}

// Reads the device key and the maker's key, then derives the commands, the language and the
// device texts. Missing or malformed values take their defaults; only missing keys fail.
LONG CCashDrawer::ReadConfiguration(const char* deviceName) {
    m_strRegKey = DeviceKeyPath(deviceName);
    CRegUty reg;
    if (reg.OpenKey(HKEY_LOCAL_MACHINE, m_strRegKey.c_str(), KEY_READ) != ERROR_SUCCESS) {
        return FailOpen(OPOS_ORS_CONFIG, OPOS_E_NOEXIST);
    }
    m_strOpenDeviceName = deviceName;
    m_config = ReadDeviceConfig(reg);
    reg.CloseKey();

    if (reg.OpenKey(HKEY_LOCAL_MACHINE, kMakerKey, KEY_READ) != ERROR_SUCCESS) {
        return FailOpen(OPOS_ORS_CONFIG, OPOS_E_NOEXIST);
    }
    m_strPath = reg.GetStringOr("Path", "");
    reg.CloseKey();

    m_strDeviceName = kPhysicalDeviceName;  // the same name for either drawer
    m_openCommand =
        BuildOpenCommand(m_config.drawerNo, m_config.commandType, m_config.pulseWidthTime);
    m_statusCommand = BuildStatusCommand(m_config.commandType);
    m_nLanguage = LanguageForCodePage(GetACP());
    m_strRasDeviceName = m_strDeviceName + OperationTextFor(kOpCashDrawer, m_nLanguage);
    return OPOS_SUCCESS;
}

LONG CCashDrawer::OpenService(const char* deviceClass, const char* deviceName,
                              IDispatch* dispatch) {
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    // The dispatch pointer goes into the trace as a 32-bit value.
    const LONG dispatchValue = static_cast<LONG>(reinterpret_cast<uintptr_t>(dispatch));
    if (m_bOpened) {
        m_lOpenResult = kOpenResultAlreadyOpen;
        m_trace.TraceText(m_lTraceHandle, "MOpn", deviceName, 1, dispatchValue, 0, 0, 0);
        m_trace.Trace(m_lTraceHandle, "mOpn", 3, OPOS_E_ILLEGAL, m_lResultCodeExtended,
                      kOpenResultAlreadyOpen, 0, 0);
        return SetResult(OPOS_E_ILLEGAL);
    }
    m_bWaitingForDrawer = FALSE;
    // Through IDispatch both can be set while the service is closed; a session starts with
    // neither, whatever was set before it.
    m_bDeviceEnabled = FALSE;
    m_bridge.SetEventsEnabled(FALSE);
    {
        auto guard = m_freezeLock.Acquire();
        m_bFreezeEvents = FALSE;
    }

    // Names come in UTF-8. One that names nothing (it holds a NUL or an unpaired surrogate) is
    // refused as a missing key is, never cut or changed into the name of another device.
    if (deviceClass == nullptr || deviceName == nullptr) {
        return FailOpen(OPOS_ORS_CONFIG, OPOS_E_NOEXIST);
    }
    if (LONG r = ReadConfiguration(deviceName); r != OPOS_SUCCESS) return r;

    // The one counter of the reliability records, its name padded to 28 characters.
    static const char* const kRasCounters[] = {"DrawerOpenCount             "};
    if (m_ras.Open(deviceClass, deviceName, OperationTextFor(kOpCashDrawer, m_nLanguage),
                   m_config.eventLogPortName.c_str(), kModuleName, nullptr, 1, kRasCounters,
                   kModuleName) != OPOS_SUCCESS) {
        m_lResultCodeExtended = m_ras.GetResultCodeExtended();
        m_ras.Close();
        return FailOpen(kOpenResultNoReliability, OPOS_E_FAILURE);
    }

    if (LONG r = m_devStat.Open(deviceClass, deviceName, kCashDrawerStatTables);
        r != OPOS_SUCCESS) {
        m_lResultCodeExtended = m_devStat.GetResultCodeExtended();
        m_ras.Close();
        return FailOpen(kOpenResultNoStatistics, r);
    }

    if (!m_bridge.ConnectCO(dispatch, CDllToCO::kCashDrawerMask, deviceName)) {
        m_ras.Close();
        m_devStat.Close();
        return FailOpen(kOpenResultNoControlObject, OPOS_E_NOSERVICE);
    }

    m_trace.m_bEnabled = m_config.traceEnable ? TRUE : FALSE;
    m_trace.m_bTick = m_config.traceTick ? TRUE : FALSE;
    LONG* handles[] = {&m_lTraceHandle};
    m_trace.OpenTrace(deviceName, 1, "M", handles);
    m_lEventTraceHandle = m_lTraceHandle;
    m_trace.TraceText(m_lTraceHandle, "MOpn", deviceName, 1, dispatchValue, 0, 0, 0);

    // The kernel objects, and the state every process of either build shares beside them.
    if (!m_objects.Create(m_config.drawerNo) || !SharedLinkReady()) {
        // Not one of the documented open results: the system refused an event, a mutex or the
        // shared mapping, or another build laid the mapping out differently.
        m_trace.Trace(m_lTraceHandle, "mOpn", 2, OPOS_E_FAILURE, m_lResultCodeExtended, 0, 0, 0);
        StopWorkers();
        return SetResult(OPOS_E_FAILURE);
    }

    m_overlapped = {};
    m_overlapped.hEvent = m_objects.overlapped.get();

    // The port-owner thread either opens the port or finds that another process has it.
    m_bStopPortOwnerThread = FALSE;
    if (LONG r = StartWorker(m_portOwnerThread, &CCashDrawer::PortOwnerThreadProc,
                             THREAD_PRIORITY_ABOVE_NORMAL, kOpCreateInputThread);
        r != OPOS_SUCCESS) {
        return r;
    }
    m_objects.ownerStarted.Wait(INFINITE);
    m_objects.ownerStarted.Reset();
    if (m_nPortOpenError != 0) {
        ReportErrorRecord(kRasMsgOperationFailed, m_nPortOpenError, kOpInitializePort);
        return FailAfterStart(OPOS_E_FAILURE);
    }

    SetState(OPOS_S_IDLE);

    m_bStopInputThread = FALSE;
    m_bStopEventThread = FALSE;
    m_bStopPowerFailThread = FALSE;
    if (LONG r = StartWorker(m_inputThread, &CCashDrawer::InputThreadProc,
                             THREAD_PRIORITY_ABOVE_NORMAL, kOpCreateInputThread);
        r != OPOS_SUCCESS) {
        return r;
    }
    if (LONG r = StartWorker(m_eventThread, &CCashDrawer::EventThreadProc, THREAD_PRIORITY_NORMAL,
                             kOpCreateEventThread);
        r != OPOS_SUCCESS) {
        return r;
    }
    if (LONG r = StartWorker(m_powerFailThread, &CCashDrawer::PowerFailThreadProc,
                             THREAD_PRIORITY_NORMAL, kOpCreatePowerFailThread);
        r != OPOS_SUCCESS) {
        return r;
    }

    StampInstallationDate(m_devStat);  // first use of the device: today's date

    // Ask the drawer for its state; the reply sets DrawerOpened.
    const LONG seqBeforeQuery = SharedLink().nStatusSeq;
    SharedLink().bInitialQuery = 1;
    m_objects.responseReceived.Reset();
    LONG sent = SendCommand(m_statusCommand.bytes, m_statusCommand.length);
    if (sent != OPOS_SUCCESS) {
        SharedLink().bInitialQuery = 0;
        ReportErrorRecord(kRasMsgOperationFailed, sent, kOpSendStatusCommand);
        return FailAfterStart(OPOS_E_FAILURE);
    }
    if (!WaitForStatusReply(seqBeforeQuery)) {
        SharedLink().bInitialQuery = 0;
        ReportErrorRecord(kRasMsgNoResponse, 0, kOpSendStatusCommand);
        return FailAfterStart(OPOS_E_FAILURE);
    }
    {
        fw::MutexGuard lock = m_objects.openStatus.Acquire();
        m_bDrawerOpened = DrawerStateFromShared();
    }

    m_bCapStatus = TRUE;
    m_bCapStatisticsReporting = TRUE;
    m_bCapUpdateStatistics = TRUE;
    m_bCapCompareFirmwareVersion = FALSE;
    m_bCapUpdateFirmware = FALSE;
    m_bCapStatusMultiDrawerDetect = TRUE;
    m_bOpened = TRUE;

    m_trace.Trace(m_lTraceHandle, "mOpn", 2, OPOS_SUCCESS, m_lResultCodeExtended, 0, 0, 0);
    m_bridge.SetTrace(m_lTraceHandle, &m_trace);
    return SetResult(OPOS_SUCCESS);
}

void CCashDrawer::StopInputThread() {
    if (!m_inputThread.IsStarted()) return;
    {
        fw::MutexGuard lock = m_inputThreadLock.Acquire();
        m_bStopInputThread = TRUE;
    }
    m_objects.inputWake.Set();
    m_inputThread.WaitForExit();
    m_objects.inputWake.Reset();
}

// Stopping the port-owner thread closes the port, stops the output thread and lets the next
// process take the port.
void CCashDrawer::StopPortOwnerThread() {
    if (!m_portOwnerThread.IsStarted()) return;
    {
        fw::MutexGuard lock = m_portThreadLock.Acquire();
        m_bStopPortOwnerThread = TRUE;
    }
    m_objects.ownerStop.Set();
    m_portOwnerThread.WaitForExit();
    m_objects.ownerStop.Reset();
}

void CCashDrawer::ShutdownStep(bool ending) {
    if (!ending) return;
    try {
        StopInputThread();
        StopPortOwnerThread();
    } catch (...) {
        // Nothing may escape into the window procedure during a shutdown.
    }
}

// Waits up to Command_Timeout for the reply to the status query at open. The reply normally
// arrives as "response received"; when another process opened at the same moment, the first
// reply answers its query and ours reaches this instance as an ordinary status fan-out, which
// the input thread reports through statusSeen.
bool CCashDrawer::WaitForStatusReply(LONG seqBeforeQuery) {
    const DWORD timeout = static_cast<DWORD>(m_config.commandTimeout);
    const DWORD start = GetTickCount();
    HANDLE waits[] = {m_objects.responseReceived.get(), m_objects.statusSeen.get()};
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeout) return false;
        DWORD which = WaitForMultipleObjects(2, waits, FALSE, timeout - elapsed);
        if (which == WAIT_OBJECT_0) return true;
        if (which != WAIT_OBJECT_0 + 1) return false;
        m_objects.statusSeen.Reset();
        if (m_nLastStatusSeq != -1 && m_nLastStatusSeq != seqBeforeQuery) return true;
    }
}

// A failure once the port-owner thread runs: undo everything and report the port error.
LONG CCashDrawer::FailAfterStart(LONG result) {
    m_trace.Trace(m_lTraceHandle, "mOpn", 2, result, m_lResultCodeExtended, 0, 0, 0);
    m_lOpenResult = kOpenResultNoPort;
    StopWorkers();
    return SetResult(result);
}

// Starts a worker suspended, then lets it run. On failure the open is undone.
LONG CCashDrawer::StartWorker(fw::WorkerThread& thread, fw::WorkerThread::Procedure procedure,
                              int priority, int operationText) {
    if (thread.Create(procedure, this, priority)) {
        thread.Resume();
        return OPOS_SUCCESS;
    }
    ReportErrorRecord(kRasMsgOperationFailed, static_cast<LONG>(GetLastError()), operationText);
    m_lOpenResult = kOpenResultNoThread;
    m_trace.Trace(m_lTraceHandle, "mOpn", 2, OPOS_E_FAILURE, m_lResultCodeExtended, 0, 0, 0);
    StopWorkers();
    return SetResult(OPOS_E_FAILURE);
}

LONG CCashDrawer::Close() {
    m_trace.Trace(m_lTraceHandle, "MCls", 0, 0, 0, 0, 0, 0);
    m_lResultCode = OPOS_SUCCESS;
    m_lResultCodeExtended = 0;
    if (!m_bOpened) {
        m_trace.Trace(m_lTraceHandle, "mCls", 2, OPOS_E_CLOSED, m_lResultCodeExtended, 0, 0, 0);
        return SetResult(OPOS_E_CLOSED);
    }
    // The control object is inside an event call on another thread: nothing is torn down.
    if (m_bridge.TryDisableEvents()) {
        m_trace.Trace(m_lTraceHandle, "mCls", 2, OPOS_E_BUSY, m_lResultCodeExtended, 0, 0, 0);
        return SetResult(OPOS_E_BUSY);
    }
    m_bClosing = TRUE;
    if (m_bClaimed) ReleaseDevice();
    if (m_bDeviceEnabled) SetDeviceEnabled(FALSE);
    m_bridge.DisconnectCO();

    StopThreadsAndHandles();
    m_bOpened = FALSE;
    m_bClosing = FALSE;

    m_trace.Trace(m_lTraceHandle, "mCls", 2, OPOS_SUCCESS, m_lResultCodeExtended, 0, 0, 0);
    CloseTraceChannel();
    m_ras.Close();      // the last instance writes the counter file
    m_devStat.Close();  // and saves the persistent statistics
    return SetResult(OPOS_SUCCESS);
}

// Stops the workers in the order power-fail, event, input, port owner, closes the kernel
// objects and returns the service to closed. Only what was started is stopped, so it is safe
// on a partly opened service.
void CCashDrawer::StopThreadsAndHandles() {
    if (m_powerFailThread.IsStarted()) {
        {
            fw::MutexGuard lock = m_powerThreadLock.Acquire();
            m_bStopPowerFailThread = TRUE;
        }
        m_powerFailThread.WaitForExit();
    }
    if (m_eventThread.IsStarted()) {
        {
            fw::MutexGuard lock = m_eventThreadLock.Acquire();
            m_bStopEventThread = TRUE;
        }
        m_objects.eventWake.Set();
        m_eventThread.WaitForExit();
    }
    StopInputThread();
    StopPortOwnerThread();
    m_objects.Close();
    SetState(OPOS_S_CLOSED);
    m_bridge.SetTrace(-2, nullptr);
    m_bridge.DestroyBridgeWindow();
}

void CCashDrawer::CloseTraceChannel() {
    LONG* handles[] = {&m_lTraceHandle};
    m_trace.CloseTrace(1, handles);
    m_lEventTraceHandle = m_lTraceHandle;
}

// The teardown after a failed OpenService (and in the destructor): undoes every step taken.
void CCashDrawer::StopWorkers() {
    m_bridge.SetEventsEnabled(FALSE);
    m_bClosing = TRUE;
    m_bridge.DisconnectCO();
    StopThreadsAndHandles();
    m_bOpened = FALSE;
    m_bClosing = FALSE;
    CloseTraceChannel();
    m_ras.Close();
    m_devStat.Close();
}
