// The status-request timer of an open port.
#include "ports/status_poller.h"

namespace ports {

bool StatusPoller::Start(HANDLE statusRequest, DWORD periodMs) {
    if (!m_stop.Create(true, false)) return false;
    m_statusRequest = statusRequest;
    m_periodMs = periodMs;
    if (!m_thread.Create(&StatusPoller::Run, this)) return false;
    m_thread.Resume();
    return true;
}

void StatusPoller::Stop() {
    if (!m_thread.IsStarted()) return;
    m_stop.Set();
    m_thread.WaitForExit();
}

DWORD StatusPoller::Run(void* self) {
    auto* poller = static_cast<StatusPoller*>(self);
    while (poller->m_stop.Wait(poller->m_periodMs) == WAIT_TIMEOUT) SetEvent(poller->m_statusRequest);
    return 0;
}

}  // namespace ports
