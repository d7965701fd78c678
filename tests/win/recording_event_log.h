// An event log that records what the reliability records write, for the Wine tests: every
// record with its type, category, identifier, insertion strings and raw data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ras/event_log.h"

struct EventRecord {
    uint16_t type, category;
    uint32_t id;
    std::vector<std::string> strings;
    std::string data;
};

// What the recording event log saw; shared with the test after the log is handed over.
struct EventJournal {
    bool available = true, registerSucceeds = true, writeSucceeds = true;
    int registrations = 0, deregistrations = 0;
    std::string source;
    std::vector<EventRecord> records;
};

class RecordingEventLog final : public RasEventLog {
public:
    explicit RecordingEventLog(std::shared_ptr<EventJournal> journal)
        : m_journal(std::move(journal)) {}
    bool Available() override { return m_journal->available; }
    bool Register(const char* server, const char* source) override {
        ++m_journal->registrations;
        m_journal->source = std::string(source) + (server ? "@remote" : "");
        return m_registered = m_journal->registerSucceeds;
    }
    bool Write(uint16_t type, uint16_t category, uint32_t eventId, const char* const* strings,
               uint16_t stringCount, const void* data, uint32_t dataSize) override {
        if (!m_registered || !m_journal->writeSucceeds) return false;
        EventRecord record{type, category, eventId, {strings, strings + stringCount}, {}};
        if (data != nullptr) record.data.assign(static_cast<const char*>(data), dataSize);
        m_journal->records.push_back(record);
        return true;
    }
    void Deregister() override {
        if (m_registered) ++m_journal->deregistrations;
        m_registered = false;
    }

private:
    std::shared_ptr<EventJournal> m_journal;
    bool m_registered = false;
};
