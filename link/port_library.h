// CPortLibrary: the service's binding to the port library. Loaded and unloaded only by the
// port-owner thread; once the port is open the input thread and the output thread issue
// requests through it concurrently (the library accepts that).
#pragma once

#include <windows.h>

#include "framework/handles.h"
#include "link/port_abi.h"

class CPortLibrary {
public:
    CPortLibrary() = default;
    CPortLibrary(const CPortLibrary&) = delete;
    CPortLibrary& operator=(const CPortLibrary&) = delete;
    ~CPortLibrary() { Unload(); }

    // Loads directory + file name (no separator added), calls "Init" and sends the open
    // request. 0 on success; otherwise the platform's error (detail word 1, 2 or 3 says
    // which stage), 14 when "Init" gives nothing, or the open request's own result.
    LONG Load(const PortOpenParams& params, const char* directory, const char* fileName);
    // Closes the port and frees the library; 6 when nothing is loaded.
    LONG Unload();
    bool IsLoaded() const { return static_cast<bool>(m_module); }

    LONG Read(void* buffer, DWORD count, DWORD* got);
    LONG Write(const void* buffer, DWORD count, DWORD* written);
    LONG WaitEvent(DWORD* mask, OVERLAPPED* overlapped);
    LONG Purge(DWORD flags);
    LONG ClearError(DWORD* errors, COMSTAT* status);
    LONG GetModemStatus(DWORD* status);
    LONG SetEventMask(DWORD mask);
    LONG LineError(const char* text, DWORD value);

private:
    LONG Request(PortWord* words);
    // Frees the library and forgets its entry points and port.
    void Free();

    fw::UniqueModule m_module;
    PortInitFn m_pfnInit = nullptr;
    PortTermFn m_pfnTerm = nullptr;
    PortWord m_hPort = 0;
    PortRequestFn m_pfnRequest = nullptr;
};
