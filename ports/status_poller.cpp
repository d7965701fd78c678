// The status-request timer of an open port.
#include "ports/status_poller.h"

namespace ports {

bool StatusPoller::Start(HANDLE statusRequest, DWORD periodMs) {
    if (!m_stop.Create(true, false)) return false;
    try {
        m_thread = std::thread([this, statusRequest, periodMs] {
            while (m_stop.Wait(periodMs) == WAIT_TIMEOUT) SetEvent(statusRequest);
        });
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
}

void StatusPoller::Stop() {
    if (!m_thread.joinable()) return;
    m_stop.Set();
    m_thread.join();
}

}  // namespace ports
