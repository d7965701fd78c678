// CVmRAS: the reliability records of one device. Writes error records to the event log when
// the configured level allows it, keeps the reliability counters with their optional counter
// file, and serves DirectIO 110 to 115. Its settings and counters live in RASDATA, a block
// shared by every process that has the device open (whatever the letter case of its name)
// and guarded by a named mutex; the first process to open the device fills it from the
// registry. In the file modes every count is written to the counter file at once, and the
// last running user writes it again when it closes.
//
// Open, Close and ExecuteCommand run on the application's thread; ReportEvent and
// IncrementCounter may be called from any thread while the object is open.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/sync.h"
#include "ras/event_log.h"
#include "ras/ras_data.h"
#include "ras/ras_names.h"

class CRegUty;


// For tests of the whole service: the event log that every CVmRAS made by the default
// constructor writes to from now on (null: the Windows event log). Returns the earlier maker.
using RasEventLogMaker = std::unique_ptr<RasEventLog> (*)();
RasEventLogMaker SetRasEventLogMaker(RasEventLogMaker maker);

class CVmRAS {
public:
    CVmRAS();
    // For tests: records go to eventLog instead of the Windows event log.
    explicit CVmRAS(std::unique_ptr<RasEventLog> eventLog);
    CVmRAS(const CVmRAS&) = delete;
    CVmRAS& operator=(const CVmRAS&) = delete;
    ~CVmRAS();

    // Attaches to the device's block (creating and initialising it when this is the first
    // user). serverName null means this machine. counterNames holds counterCount names of
    // exactly 28 characters; moduleName names the loaded module whose folder holds the default
    // and relative counter files when the data folder is not known (see CounterDataFolder).
    // Results: 0; 106 already open or a bad counter name; 109 the device key cannot be
    // opened; 111 no mutex (the object then counts as open: call Close).
    LONG Open(const char* deviceClass, const char* deviceName, const char* description,
              const char* portName, const char* sourceName, const char* serverName,
              LONG counterCount, const char* const* counterNames, const char* moduleName);
    // Detaches; the last user in all running processes writes the counter file in the file
    // modes. Returns 0, 101 when not open, or the result of that final write.
    LONG Close();

    // Writes one record when the block's level is at least requiredLevel. Insertion strings
    // %1 (port) and %2 (device and description) come first, the caller's strings after them.
    // 0 written or left out by the level; 101 not open; 111 no event source or write failed.
    LONG ReportEvent(int requiredLevel, WORD type, DWORD eventId, DWORD dataSize, const void* data,
                     WORD stringCount, const char* const* strings);
    // The service's own reports: an error record with the operation text as %3, without raw
    // data or with a 32-bit code as its 4 bytes of raw data.
    LONG ReportError(int requiredLevel, DWORD eventId, const char* operationText);
    LONG ReportError(int requiredLevel, DWORD eventId, const char* operationText, LONG code);

    // DirectIO 110 to 115 under the mutex. data must not be null; text is the DirectIO string
    // argument (null counts as no string) converted with binaryConversion.
    LONG ExecuteCommand(LONG command, LONG* data, std::string* text, LONG binaryConversion);

    // Adds one (wrapping) to a counter and, in the file modes, writes the counter file. 0;
    // 101 not open; 106 bad index; 111 mutex failure (a failed file write is not reported).
    LONG IncrementCounter(LONG index);

    // Extended result of the last command (always 0).
    LONG GetResultCodeExtended() const { return m_lResultCodeExtended; }
    bool IsOpen() const { return m_bOpen; }
    // Diagnostics: the block in use (null when none) and whether it is the shared one.
    const RASDATA* Block() const { return m_pData; }
    bool IsSharedBlock() const { return m_bSharedView; }

private:
    // The counter file (vm_ras_counters.cpp), with the mutex held.
    // At the first open in the File mode: the counters from the file. A damaged counter file is
    // kept under another name, with a record, and the counters start again at 0.
    void LoadCounterFile(const CRegUty& key);
    // Before a counter file is written to path: what is there must be a counter file, or
    // nothing worth keeping. A damaged counter file is kept under another name where allowed;
    // anything else is refused with 111 and a record naming it.
    LONG MakeRoomFor(const std::string& path, bool setDamagedAside);
    LONG SetAside(const std::string& path);
    // A warning or error record with the file as %3 and, when given, its new name as %4.
    void ReportCounterFile(WORD type, DWORD eventId, const std::string& file,
                           const std::string& keptAs);
    // The last close's save: nothing when the file already holds the counters.
    LONG SaveAtLastClose();

    LONG SetEventLogLevel(LONG* data);
    LONG SetStatisticsMode(LONG* data, std::string* text, LONG binaryConversion);
    LONG GetStatisticsMode(LONG* data, std::string* text, LONG binaryConversion);
    LONG LoadCounters(LONG* data, std::string* text, LONG binaryConversion);
    LONG SaveCounters(LONG value, std::string* text, LONG binaryConversion);

    void InitialiseBlock(const CRegUty& key, LONG counterCount);
    std::string ResolvePath(const char* name) const;
    int32_t CountersInUse() const;
    std::vector<const char*> NamePointers() const;
    LONG OpenDeviceKeyForWriting(CRegUty* key) const;
    void ReleaseAll();

    std::unique_ptr<RasEventLog> m_eventLog;
    bool m_bOpen = false;
    LONG m_lResultCodeExtended = 0;
    bool m_bEventLogAvailable = false;
    bool m_bSourceRegistered = false;
    bool m_bSharedView = false;

    std::string m_strDeviceClass;
    std::string m_strDeviceName;
    std::string m_strDescription;
    std::string m_strPortName;
    std::string m_strServerName;
    std::string m_strSourceName;
    std::string m_strModuleName;
    std::string m_strInsertPort;    // %1
    std::string m_strInsertDevice;  // %2
    std::vector<std::string> m_counterNames;
    ProcessIdentity m_self;  // this process in the block's user table

    fw::UniqueKernel m_hMapping;
    fw::Mutex m_mutex;
    fw::UniqueMappedView m_view;
    RASDATA* m_pData = nullptr;  // the shared view or m_private
    RASDATA m_private = {};
};
