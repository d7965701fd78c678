// Helpers of the reliability-record tests: a scratch device key, a scratch folder, whole-file
// access, and an event log that records instead of writing.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ras/event_log.h"
#include "ras/ras_rules.h"
#include "tests/win/sim_control.h"
#include "tests/win/test_util.h"

namespace rastest {

constexpr char kClass[] = "BramwickRasTest";
constexpr char kClassKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\BramwickRasTest";
constexpr char kDrawerOpenCount[] = "DrawerOpenCount             ";

// The device key of one test under the test device class; the class key goes with it.
class ScratchKey {
public:
    explicit ScratchKey(std::string device) : m_device(std::move(device)) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, Path().c_str());
        HKEY key = nullptr;
        m_created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, Path().c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (m_created) RegCloseKey(key);
    }
    ~ScratchKey() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey); }
    bool created() const { return m_created; }
    const std::string& device() const { return m_device; }
    std::string Path() const { return RasDeviceKeyPath(kClass, m_device); }

    void SetText(const char* name, const std::string& text) {
        testutil::WriteRegText(HKEY_LOCAL_MACHINE, Path(), name, text);
    }
    void SetNumber(const char* name, DWORD value) {
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, Path().c_str(), name, REG_DWORD, &value, sizeof(value));
    }
    // The REG_SZ value, or "<absent>".
    std::string Text(const char* name) const {
        const testutil::RegValue v = testutil::ReadRegValue(HKEY_LOCAL_MACHINE, Path(), name);
        return v.type == REG_SZ ? v.text : "<absent>";
    }

private:
    std::string m_device;
    bool m_created = false;
};

// A folder of its own under the temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
        : m_path(std::filesystem::temp_directory_path() /
                 ("BramwickRas" + std::to_string(GetCurrentProcessId()))) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
        std::filesystem::create_directories(m_path, ignored);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline bool WriteWholeFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(file << contents);
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A counter line as the service writes it.
inline std::string CounterLine(unsigned long value) {
    const std::string digits = std::to_string(value);
    return kDrawerOpenCount + std::string(10 - digits.size(), ' ') + digits + "\r\n";
}

struct Record {
    uint16_t type;
    uint16_t category;
    uint32_t id;
    std::vector<std::string> strings;
    std::string data;
};

// What the recording event log saw; shared with the test after the log is handed over.
struct Journal {
    bool available = true;
    bool registerSucceeds = true;
    bool writeSucceeds = true;
    int registrations = 0;
    int deregistrations = 0;
    std::string source;
    std::vector<Record> records;
};

class RecordingEventLog final : public RasEventLog {
public:
    explicit RecordingEventLog(std::shared_ptr<Journal> journal) : m_journal(std::move(journal)) {}
    bool Available() override { return m_journal->available; }
    bool Register(const char* server, const char* source) override {
        ++m_journal->registrations;
        m_journal->source = std::string(source) + (server ? "@remote" : "");
        return m_registered = m_journal->registerSucceeds;
    }
    bool Write(uint16_t type, uint16_t category, uint32_t eventId, const char* const* strings,
               uint16_t stringCount, const void* data, uint32_t dataSize) override {
        if (!m_registered || !m_journal->writeSucceeds) return false;
        Record record{type, category, eventId, {strings, strings + stringCount}, {}};
        if (data != nullptr) record.data.assign(static_cast<const char*>(data), dataSize);
        m_journal->records.push_back(record);
        return true;
    }
    void Deregister() override {
        if (m_registered) ++m_journal->deregistrations;
        m_registered = false;
    }

private:
    std::shared_ptr<Journal> m_journal;
    bool m_registered = false;
};

// The running test program: a loaded module whose folder takes relative counter file names.
inline std::string ProgramPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}
inline std::string ProgramName() {
    return ProgramPath().substr(testproc::ExeDir().size());
}

}  // namespace rastest
