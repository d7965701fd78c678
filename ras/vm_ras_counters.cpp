// CVmRAS: the reliability counters, DirectIO 112 to 115 and the counter file. Every function
// here runs while the caller holds the RAS mutex (IncrementCounter takes it itself).
#include <algorithm>
#include <cstring>
#include <memory>

#include "messages.h"
#include "ras/counter_file.h"
#include "ras/counter_file_rules.h"
#include "ras/counter_path.h"
#include "ras/counter_text.h"
#include "ras/ras_rules.h"
#include "ras/vm_ras.h"
#include "util/opos_constants.h"
#include "util/opostr.h"
#include "util/reg_uty.h"

static_assert(kRasMsgCounterFileSetAside == MSG_COUNTER_FILE_SET_ASIDE,
              "identifier of the message table");
static_assert(kRasMsgCounterFileRefused == MSG_COUNTER_FILE_REFUSED,
              "identifier of the message table");
static_assert(kRasEventTypeWarning == EVENTLOG_WARNING_TYPE, "event type of warning records");

namespace {

// The DirectIO string argument as bytes under the binary conversion; empty when it does not
// convert (no string, no characters of the mode).
std::string BytesFromArgument(const std::string& text, LONG binaryConversion) {
    COPOStr conversion;
    int32_t length = 0;
    std::unique_ptr<uint8_t[]> bytes(
        conversion.StringToBytes(text.c_str(), &length, binaryConversion));
    if (!bytes || length <= 0) return {};
    return std::string(reinterpret_cast<const char*>(bytes.get()), static_cast<size_t>(length));
}

std::string ArgumentFromBytes(const std::string& bytes, LONG binaryConversion) {
    COPOStr conversion;
    return conversion.BytesToString(reinterpret_cast<const uint8_t*>(bytes.data()),
                                    static_cast<int32_t>(bytes.size()), binaryConversion);
}

// A file name in the DirectIO string argument: false when it holds a NUL, before or after the
// conversion, which would end the name early and so name another file.
bool NameFromArgument(const std::string& text, LONG binaryConversion, std::string* name) {
    if (text.find('\0') != std::string::npos) return false;
    *name = BytesFromArgument(text, binaryConversion);
    return name->find('\0') == std::string::npos;
}

void StorePath(RASDATA* block, const std::string& path) {
    std::memset(block->szCounterFile, 0, sizeof(block->szCounterFile));
    std::memcpy(block->szCounterFile, path.data(), std::min(path.size(), kRasCounterPathMax));
}

}  // namespace

LONG CVmRAS::IncrementCounter(LONG index) {
    if (!m_bOpen) return OPOS_E_CLOSED;
    if (index < 0 || index >= CountersInUse()) return OPOS_E_ILLEGAL;
    auto guard = m_mutex.Acquire(INFINITE);
    if (!guard.owned()) return OPOS_E_FAILURE;
    ++m_pData->adwCounters[index];  // unsigned: 4294967295 wraps to 0
    // In the file modes the count reaches the file before the mutex is given back, so a
    // process killed right after loses nothing and no later save writes an older value. The
    // count stands even when the write fails; the next change or the last close tries again.
    if (RasModeUsesFile(m_pData->nStatisticsMode)) SaveCounters(0, nullptr, OPOS_BC_NONE);
    return OPOS_SUCCESS;
}

void CVmRAS::LoadCounterFile(const CRegUty& key) {
    std::unique_ptr<char[]> name(key.GetPathString("StatFileName"));
    StorePath(m_pData, ResolvePath(name.get()));
    // A missing file, one that cannot be opened and an empty one start the counters at 0.
    std::string contents;
    if (LookAtFile(m_pData->szCounterFile, kCounterFileLookLimit, &contents) != OPOS_SUCCESS) {
        return;
    }
    std::vector<const char*> names = NamePointers();
    switch (ClassifyCounterFile(contents, names.data(), CountersInUse(), m_pData->adwCounters)) {
        case CounterFileKind::Empty:
        case CounterFileKind::Counters:
            break;
        case CounterFileKind::Damaged:
            SetAside(m_pData->szCounterFile);  // the counters start again in a new file
            break;
        case CounterFileKind::Foreign:
            ReportCounterFile(EVENTLOG_ERROR_TYPE, kRasMsgCounterFileRefused,
                              m_pData->szCounterFile, std::string());
            break;
    }
}

LONG CVmRAS::MakeRoomFor(const std::string& path, bool setDamagedAside) {
    std::string contents;
    const LONG looked = LookAtFile(path, kCounterFileLookLimit, &contents);
    if (looked == OPOS_E_NOEXIST) return OPOS_SUCCESS;  // nothing there (the write tells why)
    if (looked != OPOS_SUCCESS) return looked;          // what is there cannot be seen: keep it
    std::vector<const char*> names = NamePointers();
    std::vector<uint32_t> scratch(static_cast<size_t>(CountersInUse()) + 1, 0);
    switch (ClassifyCounterFile(contents, names.data(), CountersInUse(), scratch.data())) {
        case CounterFileKind::Empty:
        case CounterFileKind::Counters:
            return OPOS_SUCCESS;
        case CounterFileKind::Damaged:
            if (setDamagedAside) return SetAside(path);
            break;
        case CounterFileKind::Foreign:
            break;
    }
    ReportCounterFile(EVENTLOG_ERROR_TYPE, kRasMsgCounterFileRefused, path, std::string());
    return OPOS_E_FAILURE;
}

LONG CVmRAS::SetAside(const std::string& path) {
    std::string aside;
    if (SetCounterFileAside(path, &aside) != OPOS_SUCCESS) {
        ReportCounterFile(EVENTLOG_ERROR_TYPE, kRasMsgCounterFileRefused, path, std::string());
        return OPOS_E_FAILURE;
    }
    ReportCounterFile(EVENTLOG_WARNING_TYPE, kRasMsgCounterFileSetAside, path, aside);
    return OPOS_SUCCESS;
}

void CVmRAS::ReportCounterFile(WORD type, DWORD eventId, const std::string& file,
                               const std::string& keptAs) {
    const char* inserts[] = {file.c_str(), keptAs.c_str()};
    ReportEvent(kRasReportNormal, type, eventId, 0, nullptr, keptAs.empty() ? 1 : 2, inserts);
}

LONG CVmRAS::SaveAtLastClose() {
    // Every change reached the file when it was made; a file that holds the counters already
    // is left exactly as it is, so that a program that only looked changes nothing.
    std::string contents, text;
    std::vector<const char*> names = NamePointers();
    if (LookAtFile(m_pData->szCounterFile, kCounterFileLookLimit, &contents) == OPOS_SUCCESS &&
        CounterTextFromFile(contents, &text) &&
        text == BuildCounterText(names.data(), m_pData->adwCounters, CountersInUse())) {
        return OPOS_SUCCESS;
    }
    return SaveCounters(0, nullptr, OPOS_BC_NONE);
}

LONG CVmRAS::SetStatisticsMode(LONG* data, std::string* text, LONG binaryConversion) {
    const uint32_t value = static_cast<uint32_t>(*data);
    const bool store = (value & kRasStoreInRegistry) != 0;
    const uint32_t mode = value & ~kRasStoreInRegistry;
    if (mode > kRasModeNamedFile || CountersInUse() == 0) return OPOS_E_ILLEGAL;

    // A file mode without a file yet: find and probe the file before anything changes.
    const bool choosesFile =
        mode == kRasModeNamedFile || (mode == kRasModeFile && m_pData->szCounterFile[0] == '\0');
    bool nameIsNone = true;
    std::string path;
    if (choosesFile) {
        std::string name;
        if (mode == kRasModeNamedFile &&
            (text == nullptr || !NameFromArgument(*text, binaryConversion, &name))) {
            return OPOS_E_ILLEGAL;
        }
        nameIsNone = CounterNameIsNone(name.c_str());
        path = ResolvePath(nameIsNone ? nullptr : name.c_str());
        PrepareCounterFolder(path, CounterDataFolder(m_strModuleName.c_str()));
        LONG check = CheckCounterFile(path);
        if (check == OPOS_SUCCESS) check = MakeRoomFor(path, true);
        if (check != OPOS_SUCCESS) return check;
    }

    if (store) {
        CRegUty key;
        if (OpenDeviceKeyForWriting(&key) != OPOS_SUCCESS) return OPOS_E_FAILURE;
        LONG result = key.SetString("Statistics", StatisticsModeText(static_cast<int32_t>(mode)));
        if (result == OPOS_SUCCESS && mode == kRasModeNamedFile) {
            result = key.SetPathString("StatFileName", nameIsNone ? "" : path.c_str());
        }
        if (result != OPOS_SUCCESS) return result;
    }

    // A named file stored in the registry is an ordinary file setting from now on; so is a
    // named file without a name (it is the default file).
    int32_t newMode = static_cast<int32_t>(mode);
    if (mode == kRasModeNamedFile && (store || nameIsNone)) newMode = kRasModeFile;
    m_pData->nStatisticsMode = newMode;
    if (choosesFile) StorePath(m_pData, path);
    return OPOS_SUCCESS;
}

LONG CVmRAS::GetStatisticsMode(LONG* data, std::string* text, LONG binaryConversion) {
    *data = m_pData->nStatisticsMode;
    if (!RasModeUsesFile(m_pData->nStatisticsMode)) return OPOS_SUCCESS;
    if (text == nullptr) return OPOS_E_ILLEGAL;
    if (m_pData->szCounterFile[0] == '\0') {
        const std::string path = ResolvePath(nullptr);
        if (path.empty()) return OPOS_E_ILLEGAL;
        StorePath(m_pData, path);
    }
    *text = ArgumentFromBytes(m_pData->szCounterFile, binaryConversion);
    return OPOS_SUCCESS;
}

LONG CVmRAS::LoadCounters(LONG* data, std::string* text, LONG binaryConversion) {
    const LONG value = *data;
    const int32_t count = CountersInUse();
    if (value < 0 || value > 2 || count == 0 || m_pData->nStatisticsMode == kRasModeDisable) {
        return OPOS_E_ILLEGAL;
    }

    std::string counterText;
    if (value == 1 || value == 2) {
        if (text == nullptr || text->empty()) return OPOS_E_ILLEGAL;
        counterText = BytesFromArgument(*text, binaryConversion);
        if (counterText.empty()) return OPOS_E_ILLEGAL;
    }
    if (value == 2) {
        std::string path;  // used as given, not resolved
        if (!NameFromArgument(*text, binaryConversion, &path)) return OPOS_E_ILLEGAL;
        std::string contents;
        const LONG read = ReadCounterFile(path, &contents);
        if (read != OPOS_SUCCESS) return read;
        // A file is read as leniently as the counter file; a text given here is taken exactly.
        if (!CounterTextFromFile(contents, &counterText)) counterText = contents;
    }

    LONG result = OPOS_SUCCESS;
    if (value == 0) {
        std::memset(m_pData->adwCounters, 0, sizeof(uint32_t) * static_cast<size_t>(count));
    } else {
        std::vector<const char*> names = NamePointers();
        result = ParseCounterText(counterText.data(), counterText.size(), names.data(), count,
                                  m_pData->adwCounters);
    }
    if (result == OPOS_SUCCESS && RasModeUsesFile(m_pData->nStatisticsMode)) {
        return SaveCounters(0, nullptr, binaryConversion);
    }
    return result;
}

LONG CVmRAS::SaveCounters(LONG value, std::string* text, LONG binaryConversion) {
    const int32_t count = CountersInUse();
    const int32_t mode = m_pData->nStatisticsMode;
    if (value < 0 || value > 2 || count == 0 || mode == kRasModeDisable ||
        (value == 0 && mode == kRasModeMemory) || (value != 0 && text == nullptr)) {
        return OPOS_E_ILLEGAL;
    }

    std::vector<const char*> names = NamePointers();
    const std::string counterText = BuildCounterText(names.data(), m_pData->adwCounters, count);
    if (value == 1) {
        *text = ArgumentFromBytes(counterText, binaryConversion);
        return OPOS_SUCCESS;
    }
    std::string path;
    if (value == 0) {
        path = m_pData->szCounterFile;
        PrepareCounterFolder(path, CounterDataFolder(m_strModuleName.c_str()));
    } else if (!NameFromArgument(*text, binaryConversion, &path) || path.empty()) {
        return OPOS_E_ILLEGAL;  // used as given, not resolved
    }
    // Only the service's own counter file is kept aside when it went bad; a file named for
    // one copy must already be a counter file, or not be there.
    const LONG room = MakeRoomFor(path, value == 0);
    if (room != OPOS_SUCCESS) return room;
    return WriteCounterFile(path, counterText);
}

std::string CVmRAS::ResolvePath(const char* name) const {
    return ResolveCounterFilePath(name, m_strDeviceName,
                                  CounterDataFolder(m_strModuleName.c_str()));
}

int32_t CVmRAS::CountersInUse() const {
    if (m_pData == nullptr) return 0;
    // A block made by another build could announce more counters than this object has names.
    const int32_t inBlock = m_pData->nCounters;
    const int32_t named = static_cast<int32_t>(m_counterNames.size());
    return inBlock < named ? (inBlock > 0 ? inBlock : 0) : named;
}

std::vector<const char*> CVmRAS::NamePointers() const {
    std::vector<const char*> names;
    names.reserve(m_counterNames.size());
    for (const std::string& name : m_counterNames) names.push_back(name.c_str());
    return names;
}
