// CDevStat: the named mapping and mutex of a device's statistics, registry load and save,
// and the store operations, each under the mutex. A change to a persistent statistic is
// written to the registry before the mutex is given back, so the registry holds it even if
// the process is killed right after; since every save reads the block under the mutex, the
// registry never goes back to an older value.
#include "stats/dev_stat.h"

#include <new>

#include "framework/wide_text.h"
#include "stats/live_process.h"
#include "stats/stat_report.h"
#include "stats/stat_request.h"
#include "util/opos_constants.h"
#include "util/reg_uty.h"

namespace {

constexpr DWORD kViewAccess = FILE_MAP_READ | FILE_MAP_WRITE;

// Runs f, turning an allocation failure into OPOS_E_FAILURE: results are codes, never
// exceptions.
template <class F>
LONG NoThrow(F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return OPOS_E_FAILURE;
    }
}

std::string StatDeviceKey(const std::string& deviceClass, const std::string& deviceName) {
    return "SOFTWARE\\OLEforRetail\\ServiceOPOS\\" + deviceClass + "\\" + deviceName;
}

// The Stat key opened in the view where the device keeps its statistics: one set for the
// 32- and 64-bit builds, whichever of them loads or saves it.
LONG OpenStatKey(CRegUty* reg, const std::string& deviceClass, const std::string& deviceName,
                 REGSAM access) {
    const REGSAM view = SharedDeviceView(StatDeviceKey(deviceClass, deviceName).c_str());
    return reg->OpenKey(HKEY_LOCAL_MACHINE, StatRegistryKey(deviceClass, deviceName).c_str(),
                        access | view);
}

std::string Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return FormatStatDate(now.wYear, now.wMonth, now.wDay);
}

}  // namespace

std::string StatRegistryKey(const std::string& deviceClass, const std::string& deviceName) {
    return StatDeviceKey(deviceClass, deviceName) + "\\Stat";
}

CDevStat::~CDevStat() {
    if (m_bOpen) Close();
}

LONG CDevStat::Open(const char* deviceClass, const char* deviceName, const StatTables& tables) {
    m_lResultCodeExtended = 0;
    if (m_bOpen) return OPOS_E_ILLEGAL;
    if (deviceClass == nullptr || deviceName == nullptr) return OPOS_E_ILLEGAL;
    for (int t = 0; t < kStatTableCount; ++t) {
        if (tables.counts[t] > 0 && tables.rows[t] == nullptr) return OPOS_E_ILLEGAL;
    }
    return NoThrow([&]() -> LONG { return Attach(deviceClass, deviceName, tables); });
}

LONG CDevStat::Attach(std::string deviceClass, std::string deviceName, const StatTables& tables) {
    // The mutex is held from before the mapping is looked up until the block is loaded, so
    // exactly one process creates and loads it.
    // A failure leaves the Win32 error (or the wait's result) in ResultCodeExtended.
    // Here and in every operation below, a mutex abandoned by a process killed while it held
    // it is taken over: the block holds whole counts and a user table that is pruned to the
    // processes still running, so refusing it would only lose the counts that follow.
    fw::Mutex mutex;
    if (!mutex.Create(StatMutexName(deviceClass, deviceName).c_str())) {
        m_lResultCodeExtended = static_cast<LONG>(GetLastError());
        return OPOS_E_FAILURE;
    }
    fw::MutexGuard guard = mutex.Acquire(INFINITE);
    if (!guard.owned()) {
        m_lResultCodeExtended = static_cast<LONG>(fw::WaitCode(guard.result()));
        return OPOS_E_FAILURE;
    }

    const StatLayout layout = ComputeStatLayout(tables);
    const std::wstring mappingName = fw::Utf8ToWide(StatMappingName(deviceClass, deviceName));
    fw::UniqueKernel mapping(OpenFileMappingW(kViewAccess, FALSE, mappingName.c_str()));
    bool creator = false;
    if (!mapping) {
        mapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(layout.size), mappingName.c_str()));
        if (!mapping) {
            m_lResultCodeExtended = static_cast<LONG>(GetLastError());
            return OPOS_E_FAILURE;
        }
        creator = GetLastError() != ERROR_ALREADY_EXISTS;
    }
    // A view of our size fails on a smaller block laid out by other definitions.
    fw::UniqueMappedView view(MapViewOfFile(mapping.get(), kViewAccess, 0, 0, layout.size));
    if (!view) {
        m_lResultCodeExtended = static_cast<LONG>(GetLastError());
        return OPOS_E_FAILURE;
    }

    StatBlock block(static_cast<uint8_t*>(view.get()), layout);
    if (creator) {
        block.Format(tables);
        CRegUty reg;
        if (OpenStatKey(&reg, deviceClass, deviceName, KEY_READ) != ERROR_SUCCESS) {
            return OPOS_E_NOEXIST;  // the block goes with the last handle to it
        }
        block.Load(tables, reg);
    }
    // Nothing below can fail: the new user is counted only once it is certain. Processes that
    // ended without closing leave the table here, so that they take no room in it.
    const ProcessIdentity self = CurrentProcessIdentity();
    USERTABLE users = block.UserTable();
    DropEndedUsers(&users, IsProcessAlive);
    AddUserOpen(&users, self);
    block.PutUserTable(users);
    m_self = self;
    m_block = block;
    m_nSlots = layout.slots;
    for (int t = 0; t < kStatTableCount; ++t) m_nRows[t] = layout.rows[t];
    m_strDeviceClass = std::move(deviceClass);
    m_strDeviceName = std::move(deviceName);
    m_view = std::move(view);
    m_mapping = std::move(mapping);
    guard.Unlock();
    m_mutex = std::move(mutex);
    m_bOpen = true;
    return OPOS_SUCCESS;
}

LONG CDevStat::Close() {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    fw::MutexGuard guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) return OPOS_E_FAILURE;

    // The last close is decided by the processes still running: one that was killed while
    // it had the device open no longer counts.
    LONG result = OPOS_SUCCESS;
    USERTABLE users = m_block.UserTable();
    RemoveUserOpen(&users, m_self);
    DropEndedUsers(&users, IsProcessAlive);
    m_block.PutUserTable(users);
    if (m_block.Users() < 1) result = NoThrow([this]() -> LONG { return Save(); });
    Detach();
    guard.Unlock();
    m_mutex.Close();
    return result;
}

LONG CDevStat::SaveChange(LONG table, LONG row, LONG changed) {
    STATSLOT slot;
    if (changed == OPOS_SUCCESS && m_block.FindSlot(table, row, &slot) && slot.bPersistent != 0) {
        NoThrow([this]() -> LONG { return Save(); });
    }
    return changed;
}

LONG CDevStat::Save() {
    LONG result = OPOS_SUCCESS;
    CRegUty reg;
    if (OpenStatKey(&reg, m_strDeviceClass, m_strDeviceName, KEY_READ | KEY_WRITE) !=
        ERROR_SUCCESS) {
        return result;  // without the key nothing is written
    }
    for (const SavedStatistic& s : m_block.PersistentValues()) {
        // A counter someone entered as a number is saved as text like every other.
        result = s.counter ? reg.SetStringOverNumber(s.name.c_str(), s.value.c_str())
                           : reg.SetString(s.name.c_str(), s.value.c_str());
    }
    return result;
}

void CDevStat::Detach() {
    m_bOpen = false;
    std::vector<STATREQ>().swap(m_requests);
    m_block = StatBlock();
    m_view.reset();
    m_mapping.reset();
    m_nSlots = 0;
    for (LONG& rows : m_nRows) rows = 0;
}

LONG CDevStat::IncrementCounter(LONG table, LONG row) {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    fw::MutexGuard guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) return OPOS_E_FAILURE;
    return SaveChange(table, row, m_block.IncrementCounter(table, row));
}

LONG CDevStat::SetCounter(LONG table, LONG row, int64_t value) {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    fw::MutexGuard guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) return OPOS_E_FAILURE;
    return SaveChange(table, row, m_block.SetCounter(table, row, value));
}

LONG CDevStat::SetText(LONG table, LONG row, const char* text) {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    if (text == nullptr) return OPOS_E_ILLEGAL;
    return NoThrow([&]() -> LONG {
        // The date and interface rules need no shared state: they run before the mutex.
        std::string stored;
        const LONG checked = PrepareStatText(table, row, text, Today(), &stored);
        if (checked != OPOS_SUCCESS) return checked;
        const LeadByteSet leadBytes = LeadBytes();
        fw::MutexGuard guard = m_mutex.Acquire(INFINITE);
        if (!guard.owned()) return OPOS_E_FAILURE;
        return SaveChange(table, row,
                          static_cast<LONG>(m_block.StoreText(table, row, stored, leadBytes)));
    });
}

LONG CDevStat::GetText(LONG table, LONG row, char* buffer, LONG size) {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    if (buffer == nullptr || size <= 0) return OPOS_E_ILLEGAL;
    fw::MutexGuard guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) return OPOS_E_FAILURE;
    return NoThrow(
        [&]() -> LONG { return static_cast<LONG>(m_block.GetText(table, row, buffer, size)); });
}

LONG CDevStat::PrepareRequest(LONG mode, const char* request, const STATREQ** records,
                              LONG* count) {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    if (mode != kStatModeRetrieve && mode != kStatModeUpdate && mode != kStatModeReset) {
        return OPOS_E_ILLEGAL;
    }
    if (request == nullptr || records == nullptr || count == nullptr) return OPOS_E_ILLEGAL;
    fw::MutexGuard guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) return OPOS_E_FAILURE;

    std::vector<STATREQ>().swap(m_requests);
    return NoThrow([&]() -> LONG {
        StatRequestResult resolved = ResolveStatRequest(m_block, mode, request);
        if (resolved.resolved) {
            m_requests = std::move(resolved.records);
            *records = m_requests.empty() ? nullptr : m_requests.data();
            *count = static_cast<LONG>(m_requests.size());
        }
        m_lResultCodeExtended = resolved.extended;
        return static_cast<LONG>(resolved.result);
    });
}

LONG CDevStat::BuildReport(const STATREQ* records, LONG count, std::string* report) {
    m_lResultCodeExtended = 0;
    if (!m_bOpen) return OPOS_E_CLOSED;
    if (records == nullptr || count < 0 || report == nullptr) return OPOS_E_ILLEGAL;
    fw::MutexGuard guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) return OPOS_E_FAILURE;
    return NoThrow([&]() -> LONG {
        *report = WriteStatReport(m_block, records, static_cast<size_t>(count));
        return OPOS_SUCCESS;
    });
}

LeadByteSet CDevStat::LeadBytes() const {
    LeadByteSet lead;
    for (int b = 0; b < 256; ++b) {
        const BYTE byte = static_cast<BYTE>(b);
        lead[static_cast<size_t>(b)] =
            (m_codePage == CP_ACP ? IsDBCSLeadByte(byte) : IsDBCSLeadByteEx(m_codePage, byte)) != 0;
    }
    return lead;
}
