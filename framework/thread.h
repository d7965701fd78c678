// Worker threads as the service runs them: created suspended, resumed by the owner, stopped
// only cooperatively (a stop flag and a wake event, then a poll of the exit code every 10 ms).
// Never terminated. Owned by the object that started them; used from its thread only.
#pragma once

#include <windows.h>

#include "framework/handles.h"

namespace fw {

class WorkerThread {
public:
    using Procedure = DWORD (*)(void* parameter);

    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread();

    // Creates the thread suspended with the default stack size and the given priority.
    // Returns false (GetLastError tells why) when it cannot be created.
    bool Create(Procedure procedure, void* parameter, int priority = THREAD_PRIORITY_NORMAL);
    void Resume() const;
    bool IsStarted() const { return static_cast<bool>(m_handle); }
    HANDLE get() const { return m_handle.get(); }

    // Waits for the thread to end: while its exit code reads still-active, resumes it (it may
    // have been left suspended), sleeps 10 ms and looks again; then forgets the thread.
    // The caller has already set the thread's stop flag and woken it.
    void WaitForExit();

private:
    static DWORD WINAPI Start(void* self);

    UniqueKernel m_handle;
    Procedure m_procedure = nullptr;
    void* m_parameter = nullptr;
};

}  // namespace fw
