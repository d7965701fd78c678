// The state file and kernel objects of a simulated controller.
#include "ports/sim_store.h"

namespace sim {

uint64_t NowMicros() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    const uint64_t f = static_cast<uint64_t>(frequency.QuadPart);
    const uint64_t c = static_cast<uint64_t>(counter.QuadPart);
    // Split so that the product cannot overflow after a long uptime.
    return c / f * 1000000 + c % f * 1000000 / f;
}

namespace {

std::string Environment(const char* name) {
    char buffer[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

// Creates every missing folder of `path`. Prefixes that cannot be created (a drive, a server
// or share name) are passed over; what counts is that the whole path ends up a folder.
bool CreateFolders(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '\\' || path[i] == '/') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string StateFolder() {
    std::string folder = Environment("BRAMWICK_SIM_DIR");
    if (folder.empty()) {
        std::string data = Environment("ProgramData");
        if (data.empty()) data = "C:\\ProgramData";
        folder = data + "\\Bramwick\\Sim";
    }
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

std::string ObjectName(const char* what, const std::string& name) {
    return std::string("Global\\Bramwick Sim ") + what + " " + name;
}

std::string PortTokenName(const std::string& name) {
    return ObjectName("Port", name);
}

DWORD Store::Open(const std::string& name) {
    m_name = name;
    const std::string folder = StateFolder();
    if (!CreateFolders(folder)) return GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
    m_path = folder + "\\" + name + ".sim";
    if (!m_lock.Create(ObjectName("Lock", name).c_str())) return GetLastError();
    if (!m_changed.Create(false, false, ObjectName("Changed", name).c_str())) {
        return GetLastError();
    }
    m_file.reset(CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) return GetLastError();
    // A shorter file grows to the state's size with zeros, which the first Lock initialises.
    m_mapping.reset(
        CreateFileMappingA(m_file.get(), nullptr, PAGE_READWRITE, 0, sizeof(State), nullptr));
    if (!m_mapping) return GetLastError();
    m_view.reset(MapViewOfFile(m_mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(State)));
    if (!m_view) return GetLastError();
    return 0;
}

Store::Access Store::Lock() const {
    fw::MutexGuard guard = m_lock.Acquire(kLockWaitMs);
    if (!guard.owned() || !m_view) return Access(std::move(guard), nullptr, 0);
    State* state = static_cast<State*>(m_view.get());
    const uint64_t now = NowMicros();
    // An abandoned lock means a process died while changing the state; the checks below catch
    // what that could have broken.
    if (!IsValid(*state)) Initialize(*state, now);
    if (state->attached) {
        fw::UniqueKernel token(OpenEventA(SYNCHRONIZE, FALSE, PortTokenName(m_name).c_str()));
        if (!token) Detach(*state);
    }
    return Access(std::move(guard), state, now);
}

}  // namespace sim
