// Event-log records through the Windows event log.
#include "ras/windows_event_log.h"

#include <new>
#include <string>
#include <vector>

#include "framework/wide_text.h"

bool WindowsEventLog::Register(const char* server, const char* source) {
    m_source.reset(RegisterEventSourceA(server, source));
    return static_cast<bool>(m_source);
}

bool WindowsEventLog::Write(uint16_t type, uint16_t category, uint32_t eventId,
                            const char* const* strings, uint16_t stringCount, const void* data,
                            uint32_t dataSize) {
    if (!m_source) return false;
    // The inserts hold names (device, counter file) in any script: the wide call shows them.
    std::vector<std::wstring> wide;
    std::vector<LPCWSTR> inserts;
    try {
        wide.resize(stringCount);
        inserts.resize(stringCount);
        for (uint16_t i = 0; i < stringCount; ++i) {
            wide[i] = fw::Utf8ToWide(strings[i] != nullptr ? strings[i] : "");
            inserts[i] = wide[i].c_str();
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    // ReportEventW only reads the data; its prototype is not const-correct.
    return ReportEventW(m_source.get(), type, category, eventId, nullptr, stringCount, dataSize,
                        stringCount ? inserts.data() : nullptr, const_cast<void*>(data)) != FALSE;
}
