// Helpers of the port library tests: ZeZAZ.dll loaded from the output folder and used through
// "Init", "Term" and the request entry only, as the service uses it; cdctl.exe run as a second
// process; the line-event wait the service's reader performs. Main test thread only.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/module.h"
#include "link/port_abi.h"
#include "tests/win/sim_control.h"

namespace portlib {

using Bytes = std::vector<uint8_t>;

inline bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Polls `condition` every 5 ms until it holds or `limitMs` have passed.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD limitMs = 5000) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    while (!condition()) {
        if (GetTickCount64() >= end) return false;
        Sleep(5);
    }
    return true;
}

class Library {
public:
    ~Library() {
        if (m_module) FreeLibrary(m_module);
    }
    ::testing::AssertionResult Load() {
        const std::string path = testproc::OutDir() + "\\ZeZAZ.dll";
        m_module = LoadLibraryA(path.c_str());
        if (!m_module) return ::testing::AssertionFailure() << "cannot load " << path;
        init = fw::GetProc<PortInitFn>(m_module, "Init");
        term = fw::GetProc<PortTermFn>(m_module, "Term");
        if (!init || !term) return ::testing::AssertionFailure() << "Init or Term missing";
        return ::testing::AssertionSuccess();
    }
    PortInitFn init = nullptr;
    PortTermFn term = nullptr;

private:
    HMODULE m_module = nullptr;
};

struct OpenOptions {
    std::string port;
    std::string settings = "19200,N,8,1";
    LONG dllMode = 0;
    HANDLE statusRequest = nullptr;
};

// One session of the library: "Init" on construction, "Term" on destruction.
class Port {
public:
    explicit Port(const Library& lib) : m_lib(lib) { m_handle = lib.init(&m_entry, &m_initDetail); }
    ~Port() { Term(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void Term() {
        if (m_handle) m_lib.term(m_handle);
        m_handle = 0;
    }
    bool valid() const { return m_handle != 0 && m_entry != nullptr; }
    LONG detail() const { return m_detail; }

    LONG Request(std::initializer_list<PortWord> words, PortWord handle = 0) {
        std::vector<PortWord> record(words);
        return m_entry(handle ? handle : m_handle, record.data());
    }

    // The open request as the service builds it.
    LONG Open(const OpenOptions& o) {
        static const char kEmpty[] = "";
        const PortWord empty = reinterpret_cast<PortWord>(kEmpty);
        PortOpenRequest r{};
        r.code = kPortOpen;
        PortOpenParams& p = r.params;
        p.path = p.dllName = p.deviceName = p.eventLogPortName = p.deviceDescription = empty;
        p.restartHardwareId = empty;
        p.moduleName = reinterpret_cast<PortWord>("BRAMWICK");
        p.port = reinterpret_cast<PortWord>(o.port.c_str());
        p.statusRequestEvent = reinterpret_cast<PortWord>(o.statusRequest);
        p.eventMask = kPortEventMask;
        const PortWord timeouts[5] = {10, 0, 50, 0, 100};
        std::copy(timeouts, timeouts + 5, p.timeouts);
        p.inputQueueSize = p.outputQueueSize = 128;
        p.settings = reinterpret_cast<PortWord>(o.settings.c_str());
        for (DcbMember m : {kDcbBinary, kDcbDtrControl, kDcbRtsControl}) p.dcb[m] = {1, 1};
        for (DcbMember m : {kDcbOutxCtsFlow, kDcbOutxDsrFlow, kDcbDsrSensitivity, kDcbOutX, kDcbInX,
                            kDcbNull, kDcbEvtChar}) {
            p.dcb[m] = {1, 0};
        }
        p.dllMode = static_cast<PortWord>(o.dllMode);
        m_detail = 0;
        p.detailWord = reinterpret_cast<PortWord>(&m_detail);
        return m_entry(m_handle, reinterpret_cast<PortWord*>(&r));
    }
    LONG Close() { return Request({kPortClose}); }
    LONG Read(void* buffer, DWORD count, DWORD* got) {
        return Request({kPortRead, reinterpret_cast<PortWord>(buffer), count,
                        reinterpret_cast<PortWord>(got), 0});
    }
    LONG Write(const Bytes& bytes, DWORD* written) {
        return Request({kPortWrite, reinterpret_cast<PortWord>(bytes.data()), bytes.size(),
                        reinterpret_cast<PortWord>(written), 0});
    }
    LONG WaitEvent(DWORD* mask, OVERLAPPED* ov) {
        return Request(
            {kPortWaitEvent, reinterpret_cast<PortWord>(mask), reinterpret_cast<PortWord>(ov)});
    }
    LONG Purge(PortWord flags) { return Request({kPortPurge, flags}); }
    LONG ClearError(DWORD* errors, COMSTAT* stat) {
        return Request({kPortClearError, reinterpret_cast<PortWord>(errors),
                        reinterpret_cast<PortWord>(stat)});
    }
    LONG GetModemStatus(DWORD* status) {
        return Request({kPortGetModemStatus, reinterpret_cast<PortWord>(status)});
    }
    LONG SetEventMask(DWORD mask) { return Request({kPortSetEventMask, mask}); }
    LONG LineError() { return Request({kPortLineError, reinterpret_cast<PortWord>("PEEV"), 128}); }

    // Bytes waiting in the receive queue (0 when ClearError fails).
    DWORD InQueue() {
        DWORD errors = 0;
        COMSTAT stat{};
        return ClearError(&errors, &stat) == 0 ? stat.cbInQue : 0;
    }
    // Waits until at least `count` bytes are queued, then reads all that are there.
    Bytes ReadAtLeast(size_t count) {
        if (!WaitUntil([&] { return InQueue() >= count; })) return {};
        Bytes bytes(InQueue());
        DWORD got = 0;
        if (Read(bytes.data(), static_cast<DWORD>(bytes.size()), &got) != 0) return {};
        bytes.resize(got);
        return bytes;
    }

private:
    const Library& m_lib;
    PortRequestFn m_entry = nullptr;
    PortWord m_handle = 0;
    LONG m_initDetail = -1;
    LONG m_detail = 0;
};

// The service reader's wait: SetEventMask(0xD9), WaitEvent on its own block, then a wait on the
// block's event.
class LineWait {
public:
    LineWait() { m_ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~LineWait() { CloseHandle(m_ov.hEvent); }
    LineWait(const LineWait&) = delete;
    LineWait& operator=(const LineWait&) = delete;

    LONG Arm(Port& port) {
        m_mask = 0xDEADBEEF;
        const LONG r = port.SetEventMask(kPortEventMask);
        return r != 0 ? r : port.WaitEvent(&m_mask, &m_ov);
    }
    bool Signalled(DWORD limitMs = 5000) const {
        return WaitForSingleObject(m_ov.hEvent, limitMs) == WAIT_OBJECT_0;
    }
    DWORD mask() const { return m_mask; }
    OVERLAPPED* overlapped() { return &m_ov; }
    DWORD* maskWord() { return &m_mask; }

private:
    OVERLAPPED m_ov{};
    DWORD m_mask = 0;
};

// `cdctl ARGS` to its end: the exit code and what it printed, without the final line end.
inline testproc::Outcome RunCdctl(const std::string& args) {
    testproc::Outcome r = testproc::Cdctl(args, 20000);
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r')) {
        r.output.pop_back();
    }
    return r;
}

// A fresh state folder for the simulated controllers (BRAMWICK_SIM_DIR, inherited by cdctl)
// and a controller name no other test or concurrent run uses.
class SimScope {
public:
    SimScope() {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = testproc::NewTempFolder("bwsim_" + test);
        SetEnvironmentVariableA("BRAMWICK_SIM_DIR", m_folder.c_str());
        m_name = "SIM_" + std::to_string(GetCurrentProcessId()) + "_" + test.substr(0, 40);
        for (char& c : m_name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    ~SimScope() {
        SetEnvironmentVariableA("BRAMWICK_SIM_DIR", nullptr);
        DeleteFileA(StateFile().c_str());
        RemoveDirectoryA(m_folder.c_str());
    }
    const std::string& name() const { return m_name; }
    std::string StateFile() const { return m_folder + "\\" + m_name + ".sim"; }
    // `cdctl sim NAME args`.
    testproc::Outcome Sim(const std::string& args) const {
        return RunCdctl("sim " + m_name + " " + args);
    }

private:
    std::string m_folder;
    std::string m_name;
};

}  // namespace portlib
