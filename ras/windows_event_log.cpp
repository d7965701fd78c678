// Event-log records through the Windows event log.
#include "ras/windows_event_log.h"

bool WindowsEventLog::Available() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool WindowsEventLog::Register(const char* server, const char* source) {
    m_source.reset(RegisterEventSourceA(server, source));
    return static_cast<bool>(m_source);
}

bool WindowsEventLog::Write(uint16_t type, uint16_t category, uint32_t eventId,
                            const char* const* strings, uint16_t stringCount, const void* data,
                            uint32_t dataSize) {
    if (!m_source) return false;
    // ReportEventA only reads the strings and the data; its prototype is not const-correct.
    return ReportEventA(m_source.get(), type, category, eventId, nullptr, stringCount, dataSize,
                        const_cast<LPCSTR*>(strings), const_cast<void*>(data)) != FALSE;
}
