// Drives the simulated drawer controller from a test through `cdctl sim`, as a user would.
#pragma once

#include <windows.h>

#include <string>

// Runs `cdctl sim NAME ARGS` (cdctl from the output folder) and returns its exit code, or
// 999 when it did not finish in time.
inline DWORD Sim(const std::string& name, const std::string& args) {
    char dir[MAX_PATH] = {};
    GetEnvironmentVariableA("BRAMWICK_OUT_DIR", dir, MAX_PATH);
    std::string line = "\"" + std::string(dir) + "\\cdctl.exe\" sim " + name + " " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return 998;
    }
    CloseHandle(pi.hThread);
    DWORD code = 999;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(pi.hProcess, &code);
    }
    CloseHandle(pi.hProcess);
    return code;
}
