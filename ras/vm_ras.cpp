// CVmRAS: the shared reliability block, event-log reports and DirectIO 110 to 115.
#include "ras/vm_ras.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/wide_text.h"
#include "messages.h"
#include "ras/counter_text.h"
#include "ras/ras_rules.h"
#include "ras/windows_event_log.h"
#include "stats/device_sharing.h"
#include "stats/live_process.h"
#include "util/opos_constants.h"
#include "util/reg_uty.h"

static_assert(kRasMsgNoResponse == MSG_NO_RESPONSE, "identifier of the message table");
static_assert(kRasMsgOperationFailed == MSG_OPERATION_FAILED, "identifier of the message table");
static_assert(kRasMsgOperationTimeout == MSG_OPERATION_TIMEOUT, "identifier of the message table");
static_assert(kRasEventTypeError == EVENTLOG_ERROR_TYPE, "event type of error records");

namespace {

std::string Text(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// The level is a single aligned 32-bit word: reports read it without the mutex.
int32_t ReadLevel(const RASDATA* block) {
    return *static_cast<const volatile int32_t*>(&block->nEventLogLevel);
}

// The device key in the view that holds its reliability settings. They are one per device
// for the 32- and 64-bit builds, so the view is decided at each open, the same way in every
// process, rather than taken from the caller.
LONG OpenDeviceKey(CRegUty* key, const std::string& deviceClass, const std::string& deviceName,
                   REGSAM access) {
    const std::string path = RasDeviceKeyPath(deviceClass, deviceName);
    return key->OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), access | SharedDeviceView(path.c_str()));
}

}  // namespace

namespace {
RasEventLogMaker g_eventLogMaker = nullptr;

std::unique_ptr<RasEventLog> MakeEventLog() {
    if (g_eventLogMaker != nullptr) return g_eventLogMaker();
    return std::make_unique<WindowsEventLog>();
}
}  // namespace

RasEventLogMaker SetRasEventLogMaker(RasEventLogMaker maker) {
    const RasEventLogMaker previous = g_eventLogMaker;
    g_eventLogMaker = maker;
    return previous;
}

CVmRAS::CVmRAS() : CVmRAS(MakeEventLog()) {}

CVmRAS::CVmRAS(std::unique_ptr<RasEventLog> eventLog) : m_eventLog(std::move(eventLog)) {}

CVmRAS::~CVmRAS() {
    if (m_bOpen) Close();
}

LONG CVmRAS::Open(const char* deviceClass, const char* deviceName, const char* description,
                  const char* portName, const char* sourceName, const char* serverName,
                  LONG counterCount, const char* const* counterNames, const char* moduleName) {
    m_lResultCodeExtended = 0;
    if (m_bOpen) return OPOS_E_ILLEGAL;

    m_bEventLogAvailable = m_eventLog->Available();
    if (m_bEventLogAvailable) {
        m_bSourceRegistered = m_eventLog->Register(serverName, Text(sourceName).c_str());
    }

    if (!CounterNamesValid(counterNames, counterCount)) {
        ReleaseAll();
        return OPOS_E_ILLEGAL;
    }

    try {
        m_strDeviceClass = Text(deviceClass);
        m_strDeviceName = Text(deviceName);
        m_strDescription = Text(description);
        m_strPortName = Text(portName);
        m_strSourceName = Text(sourceName);
        m_strServerName = Text(serverName);
        m_strModuleName = Text(moduleName);
        m_strInsertPort = PortInsert(m_strPortName);
        // The name is UTF-8, the description ANSI: the insert is made all UTF-8.
        m_strInsertDevice = DeviceInsert(m_strDeviceName, fw::ToUtf8(m_strDescription));
        const LONG used = counterCount < kRasMaxCounters ? counterCount : kRasMaxCounters;
        m_counterNames.assign(counterNames, counterNames + (used > 0 ? used : 0));
    } catch (const std::bad_alloc&) {
        ReleaseAll();
        return OPOS_E_FAILURE;
    }

    CRegUty key;
    if (OpenDeviceKey(&key, m_strDeviceClass, m_strDeviceName, KEY_READ) != ERROR_SUCCESS) {
        ReleaseAll();
        return OPOS_E_NOEXIST;
    }

    // From here on the object is open even when the mutex cannot be had, so that Close gives
    // back the event source.
    m_bOpen = true;
    // A failure leaves the Win32 error (or the wait's result) in ResultCodeExtended.
    if (!m_mutex.Create(RasMutexName(m_strDeviceClass, m_strDeviceName).c_str())) {
        m_lResultCodeExtended = static_cast<LONG>(GetLastError());
        return OPOS_E_FAILURE;
    }
    // A mutex abandoned by a killed process is taken over, here and in every operation on
    // the block: its counters are whole values and its users are pruned to live processes.
    auto guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) {
        m_lResultCodeExtended = static_cast<LONG>(fw::WaitCode(guard.result()));
        guard.Unlock();
        m_mutex.Close();
        return OPOS_E_FAILURE;
    }

    // Attach to the block, or create it and become its first user.
    const std::string mappingName = RasMappingName(m_strDeviceClass, m_strDeviceName);
    bool creator = false;
    const std::wstring wideName = fw::Utf8ToWide(mappingName);
    m_hMapping.reset(OpenFileMappingW(FILE_MAP_WRITE, FALSE, wideName.c_str()));
    if (!m_hMapping) {
        m_hMapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(RASDATA), wideName.c_str()));
        // Under the mutex nobody else can have made it meanwhile; should it exist all the
        // same, attach to it rather than wipe it.
        creator = m_hMapping && GetLastError() != ERROR_ALREADY_EXISTS;
    }
    if (m_hMapping) {
        m_view.reset(MapViewOfFile(m_hMapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(RASDATA)));
    }
    if (m_view) {
        m_pData = static_cast<RASDATA*>(m_view.get());
        m_bSharedView = true;
    } else {
        m_hMapping.reset();
        m_pData = &m_private;
        m_bSharedView = false;
        creator = true;
    }

    if (creator) InitialiseBlock(key, counterCount);
    // Processes that ended without closing leave the table here, so that they take no room.
    m_self = CurrentProcessIdentity();
    DropEndedUsers(&m_pData->users, IsProcessAlive);
    AddUserOpen(&m_pData->users, m_self);
    m_pData->nUsers = CountUserOpens(m_pData->users);
    key.CloseKey();
    return OPOS_SUCCESS;
}

void CVmRAS::InitialiseBlock(const CRegUty& key, LONG counterCount) {
    std::memset(m_pData, 0, sizeof(RASDATA));
    m_pData->nVerboseLimit = VerboseLimitFromValue(key.GetLongDefZero("VerboseLimit"));
    if (m_bEventLogAvailable) {
        std::unique_ptr<char[]> text(key.GetString("EventLog"));
        m_pData->nEventLogLevel = EventLogLevelFromText(text.get(), m_pData->nVerboseLimit);
    }
    m_pData->nCounters = counterCount <= 0                ? 0
                         : counterCount > kRasMaxCounters ? kRasMaxCounters
                                                          : counterCount;
    if (m_pData->nCounters == 0) return;

    std::unique_ptr<char[]> mode(key.GetString("Statistics"));
    m_pData->nStatisticsMode = StatisticsModeFromText(mode.get());
    if (m_pData->nStatisticsMode == kRasModeFile) LoadCounterFile(key);
}

LONG CVmRAS::Close() {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;

    LONG result = OPOS_SUCCESS;
    {
        auto guard = m_mutex.Acquire(INFINITE);
        if (guard.owned() && m_pData != nullptr) {
            // Only running processes count: one killed with the device open is dropped.
            RemoveUserOpen(&m_pData->users, m_self);
            DropEndedUsers(&m_pData->users, IsProcessAlive);
            m_pData->nUsers = CountUserOpens(m_pData->users);
            if (m_pData->nUsers < 1 && m_pData->nCounters > 0 &&
                RasModeUsesFile(m_pData->nStatisticsMode)) {
                result = SaveAtLastClose();
            }
            m_pData = nullptr;
            m_view.reset();
            m_hMapping.reset();
        }
    }
    ReleaseAll();
    return result;
}

void CVmRAS::ReleaseAll() {
    m_mutex.Close();
    if (m_bSourceRegistered) m_eventLog->Deregister();
    m_bSourceRegistered = false;
    m_pData = nullptr;
    m_view.reset();
    m_hMapping.reset();
    m_bSharedView = false;
    m_strDeviceClass.clear();
    m_strDeviceName.clear();
    m_strDescription.clear();
    m_strPortName.clear();
    m_strSourceName.clear();
    m_strServerName.clear();
    m_strModuleName.clear();
    m_strInsertPort.clear();
    m_strInsertDevice.clear();
    m_counterNames.clear();
    m_bOpen = false;
}

LONG CVmRAS::ReportEvent(int requiredLevel, WORD type, DWORD eventId, DWORD dataSize,
                         const void* data, WORD stringCount, const char* const* strings) {
    if (!m_bOpen) return OPOS_E_CLOSED;
    const int32_t level = m_pData != nullptr ? ReadLevel(m_pData) : kRasLevelDisabled;
    if (!RasReportAllowed(level, requiredLevel)) return OPOS_SUCCESS;
    if (!m_bSourceRegistered) return OPOS_E_FAILURE;

    std::vector<const char*> inserts;
    try {
        inserts.reserve(2u + static_cast<size_t>(stringCount));
        inserts.push_back(m_strInsertPort.c_str());
        inserts.push_back(m_strInsertDevice.c_str());
        for (WORD i = 0; strings != nullptr && i < stringCount; ++i) {
            inserts.push_back(strings[i] != nullptr ? strings[i] : "");
        }
    } catch (const std::bad_alloc&) {
        return OPOS_E_FAILURE;
    }
    if (inserts.size() > 0xFFFF) return OPOS_E_FAILURE;  // more than the log takes
    const bool written =
        m_eventLog->Write(type, 0, eventId, inserts.data(), static_cast<uint16_t>(inserts.size()),
                          dataSize > 0 ? data : nullptr, dataSize);
    return written ? OPOS_SUCCESS : OPOS_E_FAILURE;
}

LONG CVmRAS::ReportError(int requiredLevel, DWORD eventId, const char* operationText) {
    const char* inserts[] = {operationText != nullptr ? operationText : ""};
    return ReportEvent(requiredLevel, EVENTLOG_ERROR_TYPE, eventId, 0, nullptr, 1, inserts);
}

LONG CVmRAS::ReportError(int requiredLevel, DWORD eventId, const char* operationText, LONG code) {
    const char* inserts[] = {operationText != nullptr ? operationText : ""};
    static_assert(sizeof(code) == 4, "raw data is one 32-bit code");
    return ReportEvent(requiredLevel, EVENTLOG_ERROR_TYPE, eventId, sizeof(code), &code, 1,
                       inserts);
}

LONG CVmRAS::ExecuteCommand(LONG command, LONG* data, std::string* text, LONG binaryConversion) {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    if (data == nullptr) return OPOS_E_ILLEGAL;
    auto guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned() || m_pData == nullptr) return OPOS_E_FAILURE;

    switch (command) {
        case kRasCmdSetEventLogLevel:
            return SetEventLogLevel(data);
        case kRasCmdGetEventLogLevel:
            *data = m_pData->nEventLogLevel;
            return OPOS_SUCCESS;
        case kRasCmdSetStatisticsMode:
            return SetStatisticsMode(data, text, binaryConversion);
        case kRasCmdGetStatisticsMode:
            return GetStatisticsMode(data, text, binaryConversion);
        case kRasCmdLoadCounters:
            return LoadCounters(data, text, binaryConversion);
        case kRasCmdSaveCounters:
            return SaveCounters(*data, text, binaryConversion);
        default:
            return OPOS_E_ILLEGAL;
    }
}

LONG CVmRAS::SetEventLogLevel(LONG* data) {
    const uint32_t value = static_cast<uint32_t>(*data);
    const int64_t level = value & ~kRasStoreInRegistry;
    if (!m_bEventLogAvailable || level > int64_t{m_pData->nVerboseLimit} + 1) {
        return OPOS_E_ILLEGAL;
    }
    if (value & kRasStoreInRegistry) {
        CRegUty key;
        if (OpenDeviceKeyForWriting(&key) != OPOS_SUCCESS) return OPOS_E_FAILURE;
        const LONG result =
            key.SetString("EventLog", EventLogTextForLevel(static_cast<uint32_t>(level)).c_str());
        if (result != OPOS_SUCCESS) return result;
    }
    m_pData->nEventLogLevel = static_cast<int32_t>(level);
    return OPOS_SUCCESS;
}

LONG CVmRAS::OpenDeviceKeyForWriting(CRegUty* key) const {
    return OpenDeviceKey(key, m_strDeviceClass, m_strDeviceName, KEY_READ | KEY_WRITE) ==
                   ERROR_SUCCESS
               ? OPOS_SUCCESS
               : OPOS_E_FAILURE;
}
