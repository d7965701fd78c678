// A test's surroundings: other programs (cdctl from the output folder, where `cdctl sim` drives
// the simulated drawer controller as a user would, and the helpers beside the test) and
// scratch folders.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "framework/handles.h"
#include "framework/module.h"
#include "framework/wide_text.h"
#include "link/shared_state.h"

namespace testproc {

inline std::string Environment(const char* name) {
    char buffer[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

// The folder with the DLLs, cdctl.exe and ZeZAZ.dll; the test environment names it.
inline std::string OutDir() {
    return Environment("BRAMWICK_OUT_DIR");
}

// The running test program's folder, ending with its separator.
inline std::string ExeDir() {
    const std::string path = fw::WideToUtf8(fw::ModulePath(nullptr));
    return path.substr(0, path.find_last_of('\\') + 1);
}

// A new folder in the temporary folder, "PREFIX_N" with the first N not taken (Wine reuses
// process ids, so an id does not make a name unique); empty when none could be made.
inline std::string NewTempFolder(const std::string& prefix) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (int i = 0; i < 1000; ++i) {
        const std::string candidate = temp + prefix + "_" + std::to_string(i);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) return candidate;
    }
    return std::string();
}

// Another process. With `capture`, what it writes to standard output and error is collected
// while Wait waits (a process it starts may hold the pipe open much longer than it runs).
class Process {
public:
    // commandLine in UTF-8, started through the wide call so that any character reaches the
    // program as it was given. env: an environment block (NUL-separated, ending with an
    // empty entry); folder: the working folder. Empty means this process's own.
    explicit Process(const std::string& commandLine, bool capture = false,
                     std::string env = std::string(), const std::string& folder = std::string()) {
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        if (capture && CreatePipe(&m_read, &writeEnd, &sa, 0)) {
            SetHandleInformation(m_read, HANDLE_FLAG_INHERIT, 0);
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            si.hStdOutput = si.hStdError = writeEnd;
        }
        std::wstring line = fw::Utf8ToWide(commandLine);
        std::wstring environment = fw::Utf8ToWide(env);
        PROCESS_INFORMATION pi = {};
        // Under load Wine now and then refuses a process start for a moment: try again, and
        // say so, rather than fail the test on the machine's account.
        for (int attempt = 0; attempt < 3 && m_process == nullptr; ++attempt) {
            if (CreateProcessW(
                    nullptr, &line[0], nullptr, nullptr, writeEnd != nullptr,
                    CREATE_UNICODE_ENVIRONMENT, environment.empty() ? nullptr : &environment[0],
                    folder.empty() ? nullptr : fw::Utf8ToWide(folder).c_str(), &si, &pi)) {
                m_process = pi.hProcess;
                CloseHandle(pi.hThread);
            } else {
                fprintf(stderr, "process start failed (error %lu): %s\n",
                        static_cast<unsigned long>(GetLastError()), commandLine.c_str());
                line = fw::Utf8ToWide(commandLine);
                Sleep(200);
            }
        }
        if (writeEnd) CloseHandle(writeEnd);
    }
    Process(Process&& other) noexcept
        : m_process(std::exchange(other.m_process, nullptr)),
          m_read(std::exchange(other.m_read, nullptr)),
          m_output(std::move(other.m_output)) {}
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (m_process) CloseHandle(m_process);
        if (m_read) CloseHandle(m_read);
    }

    bool started() const { return m_process != nullptr; }
    HANDLE handle() const { return m_process; }
    // The exit code; 998 when it did not start, 999 when it did not end in time (it is then
    // ended).
    DWORD Wait(DWORD ms = 30000) {
        if (!m_process) return 998;
        const ULONGLONG deadline = GetTickCount64() + ms;
        DWORD wait = WAIT_TIMEOUT;
        do {
            Drain();
            wait = WaitForSingleObject(m_process, m_read ? 20 : ms);
        } while (wait == WAIT_TIMEOUT && m_read && GetTickCount64() < deadline);
        Drain();
        DWORD code = 999;
        if (wait != WAIT_OBJECT_0) TerminateProcess(m_process, 999);
        if (wait == WAIT_OBJECT_0) GetExitCodeProcess(m_process, &code);
        return code;
    }
    const std::string& output() const { return m_output; }

private:
    void Drain() {
        DWORD available = 0, got = 0;
        char buffer[4096];
        while (m_read && PeekNamedPipe(m_read, nullptr, 0, nullptr, &available, nullptr) &&
               available > 0 &&
               ReadFile(m_read, buffer, available < sizeof(buffer) ? available : sizeof(buffer),
                        &got, nullptr) &&
               got > 0) {
            m_output.append(buffer, got);
        }
    }

    HANDLE m_process = nullptr;
    HANDLE m_read = nullptr;
    std::string m_output;
};

// The process whose reader has the drawer's port open, as the service's shared link state
// records it for both builds; 0 when none has or the state does not exist.
inline DWORD PortOwnerProcessId() {
    fw::UniqueKernel mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, kSharedLinkMappingName));
    if (!mapping) return 0;
    fw::UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    return view ? static_cast<DWORD>(
                      static_cast<const SharedLinkState*>(view.get())->nOwnerProcessId)
                : 0;
}

// Open handles of this process. Wine answers GetProcessHandleCount with 0, so there the handle
// table is walked instead: handle values are multiples of 4, and GetHandleInformation succeeds
// exactly for the open ones.
inline long HandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
        return static_cast<long>(count);
    }
    long open = 0;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    }
    return open;
}

// "BramwickTest NAME": the named events a test and its peers signal each other with.
inline HANDLE Named(const std::string& name) {
    return CreateEventA(nullptr, TRUE, FALSE, ("BramwickTest " + name).c_str());
}

// drawer_peer (the one beside the test unless `exe` names another) running its steps on a
// device; see tests/win/drawer_peer.cpp for the steps.
inline Process Peer(const std::string& device, const std::string& steps, bool capture = false,
                    const std::string& exe = std::string()) {
    const std::string program = exe.empty() ? ExeDir() + "drawer_peer.exe" : exe;
    return Process("\"" + program + "\" \"" + device + "\" " + steps, capture);
}

struct Outcome {
    DWORD code = 999;    // as Process::Wait gives it
    std::string output;  // standard output and standard error together
};

// Runs `cdctl ARGS` (cdctl from the output folder) to its end and collects what it prints.
inline Outcome Cdctl(const std::string& args, DWORD ms = 60000) {
    Process p("\"" + OutDir() + "\\cdctl.exe\" " + args, true);
    const DWORD code = p.Wait(ms);
    return {code, p.output()};
}

}  // namespace testproc

// Runs `cdctl sim NAME ARGS` and returns its exit code, or 999 when it did not finish in time.
inline DWORD Sim(const std::string& name, const std::string& args) {
    return testproc::Cdctl("sim " + name + " " + args, 30000).code;
}
