// ZeZAZ.dll: the port library. "Init" creates a session and hands out the request entry; every
// request names its session by the handle "Init" returned. Open and close run on the service's
// port-owner thread; the other requests arrive from its input and output threads at the same
// time, so they share the session lock and open/close take it alone.
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "ports/win_sync.h"

#include "link/port_abi.h"
#include "ports/open_report.h"
#include "ports/port_backend.h"
#include "ports/port_settings.h"
#include "ports/status_poller.h"

namespace ports {
namespace {

class Session {
public:
    ~Session() { Close(); }

    LONG Handle(const PortWord* r) {
        switch (r[0]) {
            case kPortOpen:
                return Open(reinterpret_cast<const PortOpenRequest*>(r)->params);
            case kPortClose:
                Close();
                return 0;
            case kPortRead:
            case kPortWrite:
            case kPortWaitEvent:
            case kPortPurge:
            case kPortClearError:
            case kPortGetModemStatus:
            case kPortSetEventMask:
            case kPortLineError:
                break;
            default:
                return ERROR_INVALID_FUNCTION;
        }
        std::shared_lock<SrwLock> lock(m_lock);
        if (!m_port) return ERROR_INVALID_HANDLE;
        auto dword = [r](int i) { return static_cast<DWORD>(r[i]); };
        auto ptr = [r](int i) { return reinterpret_cast<void*>(r[i]); };
        switch (r[0]) {
            case kPortRead:
            case kPortWrite:
                if ((ptr(1) == nullptr && dword(2) != 0) || ptr(3) == nullptr) {
                    return ERROR_INVALID_PARAMETER;
                }
                return r[0] == kPortRead
                           ? m_port->Read(ptr(1), dword(2), static_cast<DWORD*>(ptr(3)))
                           : m_port->Write(ptr(1), dword(2), static_cast<DWORD*>(ptr(3)));
            case kPortWaitEvent:
                return m_port->WaitEvent(static_cast<DWORD*>(ptr(1)),
                                         static_cast<OVERLAPPED*>(ptr(2)));
            case kPortPurge:
                return m_port->Purge(dword(1));
            case kPortClearError:
                return m_port->ClearError(static_cast<DWORD*>(ptr(1)),
                                          static_cast<COMSTAT*>(ptr(2)));
            case kPortGetModemStatus:
                if (ptr(1) == nullptr) return ERROR_INVALID_PARAMETER;
                return m_port->GetModemStatus(static_cast<DWORD*>(ptr(1)));
            case kPortSetEventMask:
                return m_port->SetEventMask(dword(1));
            default:  // kPortLineError: the text and its size only describe the report
                return m_port->LineError();
        }
    }

    void Close() {
        std::unique_lock<SrwLock> lock(m_lock);
        m_poller.Stop();
        if (m_port) m_port->Close();
        m_port.reset();
    }

private:
    // A refused open leaves the step and the error in the service's detail word and in an
    // event-log record, so that the cause can be told from outside the service.
    LONG Open(const PortOpenParams& p) {
        std::unique_lock<SrwLock> lock(m_lock);
        if (m_port) return ERROR_ALREADY_INITIALIZED;
        LONG stage = 0;
        const LONG result = OpenPort(p, &stage);
        if (result != 0) {
            if (p.detailWord != 0) {
                *reinterpret_cast<LONG*>(p.detailWord) = OpenFailureDetail(stage, result);
            }
            ReportOpenFailure(p, stage, result);
        }
        return result;
    }

    LONG OpenPort(const PortOpenParams& p, LONG* stage) {
        std::string simName;
        const char* text = TextOf(p.port);
        if (text == nullptr || *text == '\0') {
            *stage = kStagePortName;
            return ERROR_INVALID_PARAMETER;
        }
        switch (ClassifyPort(text, &simName)) {
            case PortKind::Serial:
                m_port = MakeSerialPort();
                break;
            case PortKind::Simulator:
                m_port = MakeSimPort(simName);
                break;
            case PortKind::BadSimName:
                *stage = kStagePortName;
                return ERROR_INVALID_NAME;
        }
        LONG result = m_port->Open(p, stage);
        // DllMode arrives as a LONG: a negative value asks never, like 0.
        const LONG periodMs = static_cast<LONG>(p.dllMode);
        if (result == 0 && periodMs > 0 && p.statusRequestEvent != 0 &&
            !m_poller.Start(reinterpret_cast<HANDLE>(p.statusRequestEvent),
                            static_cast<DWORD>(periodMs))) {
            *stage = kStageThread;
            result = LastErrorResult();
            m_port->Close();
        }
        if (result != 0) m_port.reset();
        return result;
    }

    SrwLock m_lock;
    std::unique_ptr<PortBackend> m_port;
    StatusPoller m_poller;
};

// Sessions by handle. Never destroyed: at unload the loader lock is held, and a session that was
// not terminated may still have threads to join.
struct Sessions {
    SrwLock lock;
    std::map<PortWord, std::shared_ptr<Session>> byHandle;
    PortWord next = 1;
};

// Made on first use under a plain lock: a function-local static would need the C++ runtime's
// guard, whose thread bookkeeping keeps kernel handles this module cannot give back on unload.
SrwLock g_sessionsLock;
Sessions* g_sessions = nullptr;

Sessions& AllSessions() {
    std::lock_guard<SrwLock> lock(g_sessionsLock);
    if (g_sessions == nullptr) g_sessions = new Sessions;
    return *g_sessions;
}

std::shared_ptr<Session> Find(PortWord handle) {
    Sessions& all = AllSessions();
    std::lock_guard<SrwLock> lock(all.lock);
    const auto it = all.byHandle.find(handle);
    return it != all.byHandle.end() ? it->second : nullptr;
}

LONG WINAPI Request(PortWord port, PortWord* request) {
    if (request == nullptr) return ERROR_INVALID_PARAMETER;
    const std::shared_ptr<Session> session = Find(port);
    if (!session) return ERROR_INVALID_HANDLE;
    try {
        return session->Handle(request);
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;  // nothing else throws here: allocation failed
    }
}

}  // namespace
}  // namespace ports

// Exported through zezaz.def, which also keeps the 32-bit names undecorated.
extern "C" {

PortWord WINAPI Init(PortRequestFn* requestEntry, LONG* detail) {
    using namespace ports;
    if (detail != nullptr) *detail = 0;
    if (requestEntry == nullptr) {
        if (detail != nullptr) *detail = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // Once used, the library stays loaded until the process ends. The service loads it at
    // every open and frees it at every close, and in the 32-bit build the C++ runtime linked
    // in here takes a thread handle and an event at each load that no unload gives back: two
    // handles per session. Pinned, the cost is paid once; both builds behave alike.
    static const bool pinned = [] {
        HMODULE self = nullptr;
        return GetModuleHandleExW(
                   GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                   reinterpret_cast<LPCWSTR>(&Init), &self) != FALSE;
    }();
    (void)pinned;
    try {
        Sessions& all = AllSessions();
        std::lock_guard<SrwLock> lock(all.lock);
        const PortWord handle = all.next++;
        all.byHandle.emplace(handle, std::make_shared<Session>());
        *requestEntry = Request;
        return handle;
    } catch (...) {
        if (detail != nullptr) *detail = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
}

void WINAPI Term(PortWord port) {
    using namespace ports;
    std::shared_ptr<Session> session;
    {
        Sessions& all = AllSessions();
        std::lock_guard<SrwLock> lock(all.lock);
        const auto it = all.byHandle.find(port);
        if (it == all.byHandle.end()) return;
        session = std::move(it->second);
        all.byHandle.erase(it);
    }
    session->Close();
}

}  // extern "C"
