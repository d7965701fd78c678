// The cash-drawer service object: the automation object the control object creates and
// drives through ICashDrawer. Methods arrive on the application's thread; the worker threads
// read and write the same object under the locks listed with the members.
#pragma once

#include <windows.h>

#include <list>
#include <memory>
#include <string>

#include "events/dll_to_co.h"
#include "events/opos_event.h"
#include "framework/automation.h"
#include "framework/thread.h"
#include "link/drw_shutdown.h"
#include "link/port_library.h"
#include "link/receive_buffer.h"
#include "framework/sync.h"
#include "ras/ras_rules.h"
#include "ras/vm_ras.h"
#include "stats/dev_stat.h"
#include "so/device_config.h"
#include "so/kernel_objects.h"
#include "util/opos_constants.h"
#include "util/opostr.h"
#include "util/vmtrace.h"

class CCashDrawer final : public fw::DispatchObject {
public:
    // Class-factory entry: creates an object and queries it for riid.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    CCashDrawer();
    CCashDrawer(const CCashDrawer&) = delete;
    CCashDrawer& operator=(const CCashDrawer&) = delete;

    // ICashDrawer. The C++ names follow the dispatch names; Release and ReleaseDevice share
    // ReleaseDevice, Close and CloseService share Close, Claim and ClaimDevice share Claim.
    LONG GetPropertyNumber(LONG propIndex);
    void SetPropertyNumber(LONG propIndex, LONG number);
    std::string GetPropertyString(LONG propIndex);
    void SetPropertyString(LONG propIndex, const char* text);
    // deviceClass and deviceName in UTF-8; null for a name that cannot be used (see
    // fw::DispCall::Name), which is refused.
    LONG OpenService(const char* deviceClass, const char* deviceName, IDispatch* dispatch);
    LONG Close();
    LONG Claim(LONG timeout);
    LONG ReleaseDevice();
    LONG CheckHealth(LONG level);
    LONG DirectIO(LONG command, LONG& data, BSTR* text);
    LONG OpenDrawer();
    LONG WaitForDrawerClose(LONG beepTimeout, LONG beepFrequency, LONG beepDuration,
                            LONG beepDelay);
    LONG COFreezeEvents(LONG freeze);
    LONG GetOpenResult();
    LONG ResetStatistics(const char* statistics);
    LONG RetrieveStatistics(std::string* statistics);
    LONG UpdateStatistics(const char* statistics);
    LONG CompareFirmwareVersion(const char* fileName, LONG& result);
    LONG UpdateFirmware(const char* fileName);

    // Internal operations shared by the method set and the worker threads.
    LONG SetResult(LONG code);
    void SetState(LONG state);
    // TRUE while another instance holds this drawer's claim.
    BOOL IsClaimedByOther();
    void RecordClaim(bool claimed);

    // Event queue: producers hand over records they allocated; the queue owns them.
    void QueueEvent(COPOSEvent* record);
    // Queues a status-update record, unless the device is disabled.
    void QueueStatusUpdate(LONG status);
    size_t QueuedEventCount();

    // Log-off or shutdown: with ending TRUE, stops the reader and gives up the port.
    void ShutdownStep(bool ending);

    // Hands a command to whichever process owns the port and waits for it to be written.
    LONG SendCommand(const BYTE* bytes, LONG length);

protected:
    ~CCashDrawer() override;
    HRESULT InvokeMember(DISPID id, const DISPPARAMS* params, VARIANT* result,
                         UINT* argErr) override;

private:
    // Entry half of the common method frame: clears the results and writes the entry record.
    void BeginMethod(const char* tag, int count = 0, LONG v1 = 0, LONG v2 = 0, LONG v3 = 0,
                     LONG v4 = 0);
    // Exit half: stores the outcome, writes the exit record and returns the outcome.
    LONG EndMethod(const char* tag, LONG result);
    LONG GetState();

    // Steps of OpenService and the teardown shared with Close.
    LONG FailOpen(LONG openResult, LONG result);
    LONG FailAfterStart(LONG result);
    bool WaitForStatusReply(LONG seqBeforeQuery);
    LONG ReadConfiguration(const char* deviceName);
    void StopWorkers();
    void StopThreadsAndHandles();
    void StopInputThread();
    void StopPortOwnerThread();
    void CloseTraceChannel();

    void SetFreezeEvents(LONG number);
    LONG SetBinaryConversion(LONG number);
    LONG SetPowerNotify(LONG number);
    LONG SetDeviceEnabled(LONG number);

    static DWORD EventThreadProc(void* self);
    DWORD RunEventThread();
    std::list<std::unique_ptr<COPOSEvent>>::iterator FindDeliverableEvent();
    // Device link (port library, reader, writer, worker threads, power watch).
    LONG OpenPort();
    void ReadPortEvents();
    void WriteCommand(const BYTE* bytes, LONG length);
    void ProcessStatus(bool pace = true);
    void ApplyStatusFrame(const DrawerBits& bits);
    void CheckLineStatus();
    void NotifyListeners(LONG count);
    int TakeListenerSlot();
    void GiveListenerSlot();
    BOOL DrawerStateFromShared() const;
    void RefreshModemStatus();
    void AcknowledgeStatus(const char* tag);
    void ReportPowerState(LONG state);
    static DWORD PortOwnerThreadProc(void* self);
    static DWORD InputThreadProc(void* self);
    static DWORD OutputThreadProc(void* self);
    static DWORD PowerFailThreadProc(void* self);
    DWORD RunPortOwnerThread();
    DWORD RunInputThread();
    DWORD RunOutputThread();
    DWORD RunPowerFailThread();
    void TraceLink(const char* tag, int count, LONG v1 = 0, LONG v2 = 0, LONG v3 = 0, LONG v4 = 0);

    // Reliability and statistics hooks used by the device link and the methods.
    void ReportErrorRecord(DWORD eventId, LONG data, int operationText);
    void ReportRecord(int level, DWORD eventId, int operationText);
    void CountCommunicationError();
    // DrawerGoodOpenCount and the reliability counter, or DrawerFailedOpenCount.
    void CountDrawerOpen(bool good);

    LONG RefuseDrawerWork();
    struct StatMethodState StatisticsState();
    LONG FinishStatistics(const char* tag, const struct StatMethodOutcome& outcome);
    LONG RefuseFirmwareWork();
    LONG ExternalHealthCheck();

    LONG StartWorker(fw::WorkerThread& thread, fw::WorkerThread::Procedure procedure, int priority,
                     int operationText);

    // UnifiedPOS properties.
    volatile BOOL m_bClaimed = FALSE;
    volatile BOOL m_bDeviceEnabled = FALSE;
    volatile BOOL m_bFreezeEvents = FALSE;
    LONG m_lResultCode = OPOS_E_CLOSED;
    LONG m_lState = OPOS_S_CLOSED;  // guarded by m_stateLock
    LONG m_lServiceObjectVersion = 1013001;
    LONG m_lBinaryConversion = OPOS_BC_NONE;
    LONG m_lCapPowerReporting = OPOS_PR_STANDARD;
    LONG m_lPowerNotify = OPOS_PN_DISABLED;
    LONG m_lPowerState = OPOS_PS_UNKNOWN;  // changes under m_enableLock
    BOOL m_bCapStatisticsReporting = TRUE;
    BOOL m_bCapUpdateStatistics = TRUE;
    BOOL m_bCapCompareFirmwareVersion = FALSE;
    BOOL m_bCapUpdateFirmware = FALSE;
    LONG m_lOpenResult = 0;
    LONG m_lResultCodeExtended = 0;
    std::string m_strCheckHealthText;
    std::string m_strServiceObjectDescription;
    std::string m_strDeviceDescription;
    std::string m_strDeviceName;
    BOOL m_bDrawerOpened = FALSE;
    BOOL m_bCapStatus = TRUE;
    BOOL m_bCapStatusMultiDrawerDetect = TRUE;

    CDllToCO m_bridge;
    std::list<std::unique_ptr<COPOSEvent>> m_eventQueue;  // guarded by m_queueLock
    COPOStr m_opostr;      // its mode always equals m_lBinaryConversion
    CVmRAS m_ras;          // event log and reliability counters
    CDevStat m_devStat;    // UnifiedPOS statistics shared by every instance of the device
    LONG m_nLanguage = 0;  // 0 Japanese, 1 English
    CVmTrace m_trace;
    LONG m_lTraceHandle = -2;       // method trace channel
    LONG m_lEventTraceHandle = -2;  // event thread's channel; the same channel once open

    // Configuration read at open, with its defaults and corrections applied.
    DeviceConfig m_config;
    std::string m_strPath;  // from the maker's key, for the port library
    std::string m_strRasDeviceName;
    volatile BOOL m_bOpened = FALSE;
    volatile BOOL m_bClosing = FALSE;
    volatile BOOL m_bCOFreezeEvents = FALSE;  // guarded by m_coFreezeLock
    BOOL m_bPortOwner = FALSE;
    std::string m_strRegKey;
    std::string m_strOpenDeviceName;  // the DeviceName given to OpenService
    volatile BOOL m_bStopEventThread = FALSE;
    volatile BOOL m_bStopInputThread = FALSE;
    volatile BOOL m_bStopPowerFailThread = FALSE;
    volatile BOOL m_bStopPortOwnerThread = FALSE;
    volatile BOOL m_bStopOutputThread = FALSE;
    fw::WorkerThread m_eventThread;
    fw::WorkerThread m_inputThread;
    fw::WorkerThread m_powerFailThread;
    fw::WorkerThread m_portOwnerThread;
    fw::WorkerThread m_outputThread;

    // Port side: the library binding and what travels to it.
    CPortLibrary m_portLibrary;
    ReceiveBuffer m_receive;
    PortOpenParams m_portOpenParams = {};
    OVERLAPPED m_overlapped = {};
    DWORD m_dwEventMask = 0;
    LONG m_detailCode = 0;

    std::unique_ptr<CDrwShutDown> m_shutdownWindow;

    // Process-local locks, one per concern. Lock order where they nest: m_freezeLock,
    // m_coFreezeLock, m_queueLock (event thread); the input-thread lock before the shared
    // open-status mutex, m_queueLock or m_enableLock.
    fw::Mutex m_queueLock;
    fw::Mutex m_eventThreadLock;
    fw::Mutex m_freezeLock;
    fw::Mutex m_coFreezeLock;
    fw::Mutex m_inputThreadLock;
    fw::Mutex m_powerThreadLock;
    fw::Mutex m_enableLock;
    fw::Mutex m_stateLock;
    fw::Mutex m_portThreadLock;
    fw::Mutex m_outputThreadLock;
    DrawerKernelObjects m_objects;  // events and mutexes of an open service

    LONG m_nPortOpenError = 0;
    DrawerCommand m_openCommand;    // drawer-open command for this drawer
    DrawerCommand m_statusCommand;  // status query
    BOOL m_bWaitingForDrawer = FALSE;
    LONG m_nLastStatusSeq = -1;
    int m_nListenerSlot = -1;  // this instance's slot in the shared listener table
};
