// Worker threads: suspended creation, cooperative stop.
#include "framework/thread.h"

namespace fw {

WorkerThread::~WorkerThread() {
    // An owner that forgot to stop its thread must not leave it running on freed memory.
    if (m_handle) WaitForExit();
}

bool WorkerThread::Create(Procedure procedure, void* parameter, int priority) {
    m_procedure = procedure;
    m_parameter = parameter;
    m_handle.reset(CreateThread(nullptr, 0, &WorkerThread::Start, this, CREATE_SUSPENDED, nullptr));
    if (!m_handle) return false;
    SetThreadPriority(m_handle.get(), priority);
    return true;
}

void WorkerThread::Resume() const {
    if (m_handle) ResumeThread(m_handle.get());
}

void WorkerThread::WaitForExit() {
    if (!m_handle) return;
    DWORD code = 0;
    while (GetExitCodeThread(m_handle.get(), &code) && code == STILL_ACTIVE) {
        ResumeThread(m_handle.get());
        Sleep(10);
    }
    m_handle.reset();
}

DWORD WINAPI WorkerThread::Start(void* self) {
    auto* thread = static_cast<WorkerThread*>(self);
    return thread->m_procedure(thread->m_parameter);
}

}  // namespace fw
