// The event log as the reliability records see it. The service writes through the Windows
// event log (ras/windows_event_log.h); tests put a recorder in its place to see exactly which
// records would be written. Pure C++; no Windows headers.
#pragma once

#include <cstdint>

class RasEventLog {
public:
    virtual ~RasEventLog() = default;

    // Whether the system has an event log at all.
    virtual bool Available() = 0;
    // Registers the event source on the server (null: this machine). False when that fails.
    virtual bool Register(const char* server, const char* source) = 0;
    // Writes one record through the registered source: event type, category, full 32-bit
    // message identifier, insertion strings (UTF-8; a byte text that is not UTF-8 is ANSI)
    // and raw data. False when the write fails.
    virtual bool Write(uint16_t type, uint16_t category, uint32_t eventId,
                       const char* const* strings, uint16_t stringCount, const void* data,
                       uint32_t dataSize) = 0;
    // Gives up the source; harmless when none is registered.
    virtual void Deregister() = 0;
};
