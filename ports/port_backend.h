// One open port as the request entry sees it: a serial port or a simulated controller. The
// session (zezaz.cpp) serialises Open and Close against everything else; the other requests
// arrive from the service's input and output threads at the same time and each backend keeps
// itself consistent for that.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "link/port_abi.h"
#include "ports/open_step.h"

namespace ports {

class PortBackend {
public:
    virtual ~PortBackend() = default;
    // 0 or a Win32 error code; on failure *stage says which step failed.
    virtual LONG Open(const PortOpenParams& params, LONG* stage) = 0;
    virtual void Close() = 0;
    virtual LONG Read(void* buffer, DWORD count, DWORD* got) = 0;
    virtual LONG Write(const void* buffer, DWORD count, DWORD* written) = 0;
    virtual LONG WaitEvent(DWORD* mask, OVERLAPPED* overlapped) = 0;
    virtual LONG Purge(DWORD flags) = 0;
    virtual LONG ClearError(DWORD* errors, COMSTAT* status) = 0;
    virtual LONG GetModemStatus(DWORD* status) = 0;
    virtual LONG SetEventMask(DWORD mask) = 0;
    // The service reports a break or line error it has seen; the port forgets the recorded
    // error conditions so the next ClearError starts clean.
    virtual LONG LineError() = 0;
};

std::unique_ptr<PortBackend> MakeSerialPort();
std::unique_ptr<PortBackend> MakeSimPort(const std::string& name);

// GetLastError() as a request result: never 0, because 0 would read as success.
inline LONG LastErrorResult() {
    const DWORD e = GetLastError();
    return e != 0 ? static_cast<LONG>(e) : ERROR_GEN_FAILURE;
}

inline const char* TextOf(PortWord word) {
    return reinterpret_cast<const char*>(word);
}

constexpr const char* kDefaultSettings = "19200,N,8,1";

inline COMMTIMEOUTS TimeoutsOf(const PortOpenParams& p) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = static_cast<DWORD>(p.timeouts[0]);
    t.ReadTotalTimeoutMultiplier = static_cast<DWORD>(p.timeouts[1]);
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(p.timeouts[2]);
    t.WriteTotalTimeoutMultiplier = static_cast<DWORD>(p.timeouts[3]);
    t.WriteTotalTimeoutConstant = static_cast<DWORD>(p.timeouts[4]);
    return t;
}

}  // namespace ports
