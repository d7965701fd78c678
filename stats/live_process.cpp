// Process identity and liveness for the user tables of the shared blocks.
#include "stats/live_process.h"

#include <windows.h>

#include "framework/handles.h"

namespace {

uint64_t CreationTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return uint64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime;
}

}  // namespace

ProcessIdentity CurrentProcessIdentity() {
    ProcessIdentity self;
    self.id = GetCurrentProcessId();
    self.started = CreationTime(GetCurrentProcess());
    return self;
}

bool IsProcessAlive(const ProcessIdentity& process) {
    fw::UniqueKernel handle(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process.id));
    if (!handle) return GetLastError() == ERROR_ACCESS_DENIED;
    if (WaitForSingleObject(handle.get(), 0) != WAIT_TIMEOUT) return false;
    const uint64_t started = CreationTime(handle.get());
    // Without a creation time to compare, the running process is taken for the recorded one.
    return started == 0 || process.started == 0 || started == process.started;
}
