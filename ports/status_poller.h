// Asks the service for a status query every DllMode milliseconds by setting its status-request
// event (word 8 of the open request), for controllers that do not report drawer changes by
// themselves. One thread per open port; started by the open request, stopped by close.
#pragma once

#include <windows.h>

#include "framework/sync.h"
#include "framework/thread.h"

namespace ports {

class StatusPoller {
public:
    StatusPoller() = default;
    StatusPoller(const StatusPoller&) = delete;
    StatusPoller& operator=(const StatusPoller&) = delete;
    ~StatusPoller() { Stop(); }

    // Returns false (GetLastError says why) when the thread cannot be started.
    bool Start(HANDLE statusRequest, DWORD periodMs);
    void Stop();

private:
    fw::Event m_stop;
    static DWORD Run(void* self);

    HANDLE m_statusRequest = nullptr;
    DWORD m_periodMs = 0;
    fw::WorkerThread m_thread;
};

}  // namespace ports
