// CDevStat: the statistics store of one device. All processes that open the same device
// class and name (in any letter case) share one block of values in a named file mapping,
// guarded by a named mutex; the first to open loads the block from the device's "Stat"
// registry key. Every change to a persistent statistic is written back at once, and the
// last running user writes them all again when it closes. Every operation returns an OPOS
// result code and waits for the mutex without limit; any wait result other than a plain
// acquisition (an abandoned mutex included) is a failure.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "framework/sync.h"
#include "stats/device_sharing.h"
#include "stats/stat_names.h"
#include "stats/stat_block.h"
#include "stats/stat_types.h"

class CDevStat {
public:
    CDevStat() = default;
    CDevStat(const CDevStat&) = delete;
    CDevStat& operator=(const CDevStat&) = delete;
    ~CDevStat();

    // Attaches to the device's block, creating and loading it when this is the first user.
    // OPOS_E_ILLEGAL when already open, OPOS_E_NOEXIST when a new block finds no "Stat" key,
    // OPOS_E_FAILURE when the mutex or the mapping fails.
    LONG Open(const char* deviceClass, const char* deviceName, const StatTables& tables);
    // Detaches; the last user (processes that ended without closing are not counted) saves
    // the persistent statistics and gets the result of the last registry write. The store is
    // closed unless the mutex cannot be taken.
    LONG Close();
    bool IsOpen() const { return m_bOpen; }

    // Counter statistics; OPOS_E_ILLEGAL for a text statistic or an index out of range.
    // The largest counter value wraps to 0. A persistent statistic that changed is saved
    // before the call returns (SetText likewise); a failed save does not fail the call.
    LONG IncrementCounter(LONG table, LONG row);
    LONG SetCounter(LONG table, LONG row, int64_t value);
    // Text statistics. SetText applies the date and interface rules and keeps at most 128
    // bytes without splitting a double-byte character; GetText copies at most size - 1 bytes
    // and always terminates the buffer.
    LONG SetText(LONG table, LONG row, const char* text);
    LONG GetText(LONG table, LONG row, char* buffer, LONG size);

    // Resolves a request (kStatModeRetrieve, kStatModeUpdate or kStatModeReset). The records
    // stay owned by the store until the next PrepareRequest or Close. OPOS_E_EXTENDED with
    // extended code OPOS_ESTATS_ERROR when a reset or update dropped some of the names.
    LONG PrepareRequest(LONG mode, const char* request, const STATREQ** records, LONG* count);
    // Replaces *report with the statistics document for the records.
    LONG BuildReport(const STATREQ* records, LONG count, std::string* report);

    // Extended result code of the last operation (0 or OPOS_ESTATS_ERROR).
    LONG GetResultCodeExtended() const { return m_lResultCodeExtended; }

    // Code page whose double-byte characters SetText keeps whole; the active ANSI code page
    // (CP_ACP) unless set.
    void SetCodePage(UINT codePage) { m_codePage = codePage; }

private:
    LONG Attach(std::string deviceClass, std::string deviceName, const StatTables& tables);
    // Under the mutex: saves when changed (the result of a change) is a success on a
    // persistent statistic, and returns changed.
    LONG SaveChange(LONG table, LONG row, LONG changed);
    LONG Save();
    void Detach();
    LeadByteSet LeadBytes() const;

    LONG m_lResultCodeExtended = 0;
    bool m_bOpen = false;
    LONG m_nSlots = 0;
    LONG m_nRows[kStatTableCount] = {};
    std::string m_strDeviceClass;
    std::string m_strDeviceName;
    ProcessIdentity m_self;  // this process in the block's user table
    fw::Mutex m_mutex;
    fw::UniqueKernel m_mapping;
    fw::UniqueMappedView m_view;
    StatBlock m_block;  // the header, slot tables and areas inside m_view
    std::vector<STATREQ> m_requests;
    UINT m_codePage = CP_ACP;
};

// Registry key, under HKEY_LOCAL_MACHINE, that holds a device's persistent statistics.
std::string StatRegistryKey(const std::string& deviceClass, const std::string& deviceName);
