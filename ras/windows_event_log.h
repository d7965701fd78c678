// The Windows event log behind RasEventLog: RegisterEventSourceA, ReportEventW (the inserts
// given in UTF-8, see fw::Utf8ToWide) and DeregisterEventSource. The records are displayed with the
// message table of the DLL that is registered as the source's message file.
#pragma once

#include <windows.h>

#include "framework/handles.h"
#include "ras/event_log.h"

class WindowsEventLog final : public RasEventLog {
public:
    bool Available() override { return true; }  // every system this runs on has one
    bool Register(const char* server, const char* source) override;
    bool Write(uint16_t type, uint16_t category, uint32_t eventId, const char* const* strings,
               uint16_t stringCount, const void* data, uint32_t dataSize) override;
    void Deregister() override { m_source.reset(); }

private:
    fw::UniqueEventSource m_source;
};
