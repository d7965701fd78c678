// The simulator backend: a port whose other end is a simulated drawer controller (sim_controller)
// kept in a machine-wide state file. A worker thread advances the controller, moves what reaches
// the port into the receive queue and completes the pending line-event wait; it sleeps until the
// next scheduled happening, a write of this process or a change signalled by `cdctl sim`.
// Line events follow the Windows serial driver: events of the current mask that occur while no
// wait is pending are recorded and complete the next wait at once; setting the mask completes a
// pending wait with mask 0 and keeps only the recorded events the new mask still asks for.
// Bytes are different: as long as any are queued, a mask with EV_RXCHAR finds them, whether it
// is set again or a wait starts. The service's reader sets mask 0 between read passes, so a
// frame that arrives then is recorded by no mask and would otherwise sit unread.
#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

#include "framework/handles.h"
#include "framework/sync.h"
#include "framework/thread.h"
#include "ports/port_backend.h"
#include "ports/port_settings.h"
#include "ports/sim_store.h"
#include "ports/win_sync.h"

namespace ports {
namespace {

constexpr DWORD kValidPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr size_t kMinReceiveQueue = 4096;
// Bounds the worker's sleep so that a lost signal costs at most this long.
constexpr DWORD kMaxIdleMs = 1000;
constexpr LONG kStatusPending = 0x103;  // STATUS_PENDING in the OVERLAPPED block

// Collects what the controller delivered while the state was locked.
struct Delivered : sim::HostSink {
    std::vector<uint8_t> bytes;
    DWORD events = 0;
    DWORD errors = 0;
    void Bytes(const uint8_t* data, size_t length) override {
        bytes.insert(bytes.end(), data, data + length);
        events |= EV_RXCHAR;
    }
    void Break() override {
        events |= EV_BREAK;
        errors |= CE_BREAK;
    }
    void LineError() override {
        events |= EV_ERR;
        errors |= CE_FRAME;
    }
};

class SimPort final : public PortBackend {
public:
    explicit SimPort(std::string name) : m_name(std::move(name)) {}
    ~SimPort() override { Close(); }

    static constexpr DWORD kBusyRetryMs = 50;

    static DWORD WorkProc(void* self) {
        static_cast<SimPort*>(self)->Work();
        return 0;
    }

    LONG Open(const PortOpenParams& p, LONG* stage) override {
        LineSettings settings;
        if (!ParseLineSettings(p.settings != 0 ? TextOf(p.settings) : kDefaultSettings,
                               &settings)) {
            *stage = kStageSettings;
            return ERROR_INVALID_PARAMETER;
        }
        uint32_t baud = settings.baud;
        if (p.dcb[kDcbBaudRate].set != 0) baud = static_cast<uint32_t>(p.dcb[kDcbBaudRate].value);

        // Like a COM port, a controller is open in one place at a time. A process that has
        // just died may still hold it for a moment while the system closes its handles, so a
        // busy controller is tried again until the restart time-out has passed.
        const DWORD patience =
            p.restartTimeout <= 0x7FFFFFFF ? static_cast<DWORD>(p.restartTimeout) : 0;
        const DWORD start = GetTickCount();
        for (;;) {
            m_token.reset(CreateEventA(nullptr, TRUE, FALSE, sim::PortTokenName(m_name).c_str()));
            if (m_token && GetLastError() != ERROR_ALREADY_EXISTS) break;
            m_token.reset();
            if (GetTickCount() - start >= patience) {
                *stage = kStageDevice;
                return ERROR_ACCESS_DENIED;
            }
            Sleep(kBusyRetryMs);
        }
        const DWORD opened = m_store.Open(m_name);
        if (opened != 0) return Fail(stage, kStageState, static_cast<LONG>(opened));
        {
            sim::Store::Access s = m_store.Lock();
            if (!s) return Fail(stage, kStageState, ERROR_SEM_TIMEOUT);
            sim::Advance(*s, s.now(), nullptr);
            sim::Attach(*s, s.now(), baud);
            m_seenCts = s->ctsChanges;
            m_seenDsr = s->dsrChanges;
        }
        m_mask = static_cast<DWORD>(p.eventMask);
        m_timeouts = TimeoutsOf(p);
        m_receiveLimit = std::max<size_t>(kMinReceiveQueue, p.inputQueueSize);
        if (!m_wake.Create(false, false) || !m_stop.Create(true, false)) {
            return Fail(stage, kStageThread, LastErrorResult());
        }
        if (!m_worker.Create(&SimPort::WorkProc, this)) {
            return Fail(stage, kStageThread, LastErrorResult());
        }
        m_worker.Resume();
        return 0;
    }

    void Close() override {
        if (m_worker.IsStarted()) {
            m_stop.Set();
            m_worker.WaitForExit();
        }
        {
            std::lock_guard<SrwLock> lock(m_lock);
            m_closed = true;
            CompleteWait(0);
        }
        m_readable.NotifyAll();
        if (m_token) {
            if (sim::Store::Access s = m_store.Lock()) sim::Detach(*s);
            m_token.reset();
        }
    }

    // Waits as the port's read time-outs say: a read interval of MAXDWORD with no totals returns
    // what is there; otherwise up to the total time-out (no total: until enough bytes arrive).
    LONG Read(void* buffer, DWORD count, DWORD* got) override {
        std::unique_lock<SrwLock> lock(m_lock);
        auto enough = [&] { return m_closed || m_received.size() >= count; };
        const COMMTIMEOUTS& t = m_timeouts;
        const bool immediate = t.ReadIntervalTimeout == MAXDWORD &&
                               t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
        const uint64_t totalMs = static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * count +
                                 t.ReadTotalTimeoutConstant;
        if (!immediate && totalMs == 0) {
            m_readable.Wait(lock, enough);
        } else if (!immediate) {
            m_readable.WaitFor(lock, static_cast<DWORD>(std::min<uint64_t>(totalMs, INFINITE - 1)),
                               enough);
        }
        const size_t n = std::min<size_t>(count, m_received.size());
        std::copy(m_received.begin(), m_received.begin() + n, static_cast<uint8_t*>(buffer));
        m_received.erase(m_received.begin(), m_received.begin() + n);
        *got = static_cast<DWORD>(n);
        return 0;
    }

    // Accepted whatever the modem lines say: refusing to write then is the caller's business.
    LONG Write(const void* buffer, DWORD count, DWORD* written) override {
        {
            sim::Store::Access s = m_store.Lock();
            if (!s) return ERROR_SEM_TIMEOUT;
            sim::Advance(*s, s.now(), nullptr);
            sim::HostWrite(*s, s.now(), static_cast<const uint8_t*>(buffer), count);
        }
        m_wake.Set();
        *written = count;
        return 0;
    }

    LONG WaitEvent(DWORD* mask, OVERLAPPED* ov) override {
        if (mask == nullptr || ov == nullptr || ov->hEvent == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        std::lock_guard<SrwLock> lock(m_lock);
        if (m_waitOv != nullptr || m_mask == 0) return ERROR_INVALID_PARAMETER;
        ResetEvent(ov->hEvent);
        m_waitMask = mask;
        m_waitOv = ov;
        ov->Internal = kStatusPending;
        ov->InternalHigh = 0;
        NoteQueuedBytes();
        if (m_history != 0) {
            const DWORD events = m_history;
            m_history = 0;
            CompleteWait(events);
        }
        return 0;
    }

    LONG Purge(DWORD flags) override {
        if ((flags & ~kValidPurgeFlags) != 0) return ERROR_INVALID_PARAMETER;
        if (flags & PURGE_RXCLEAR) {
            std::lock_guard<SrwLock> lock(m_lock);
            m_received.clear();
        }
        if (flags & (PURGE_TXCLEAR | PURGE_TXABORT)) {
            sim::Store::Access s = m_store.Lock();
            if (!s) return ERROR_SEM_TIMEOUT;
            sim::Advance(*s, s.now(), nullptr);
            sim::PurgeHostBytes(*s);
        }
        return 0;
    }

    LONG ClearError(DWORD* errors, COMSTAT* status) override {
        std::lock_guard<SrwLock> lock(m_lock);
        if (errors != nullptr) *errors = m_errors;
        m_errors = 0;
        if (status != nullptr) {
            *status = COMSTAT{};
            status->cbInQue = static_cast<DWORD>(m_received.size());
        }
        return 0;
    }

    LONG GetModemStatus(DWORD* status) override {
        sim::Store::Access s = m_store.Lock();
        if (!s) return ERROR_SEM_TIMEOUT;
        *status = (s->cts ? MS_CTS_ON : 0) | (s->dsr ? MS_DSR_ON : 0);
        return 0;
    }

    LONG SetEventMask(DWORD mask) override {
        std::lock_guard<SrwLock> lock(m_lock);
        m_mask = mask;
        m_history &= mask;
        CompleteWait(0);
        NoteQueuedBytes();
        return 0;
    }

    LONG LineError() override {
        std::lock_guard<SrwLock> lock(m_lock);
        m_errors = 0;
        return 0;
    }

private:
    LONG Fail(LONG* stage, OpenStage at, LONG result) {
        *stage = at;
        Close();
        return result;
    }

    // Called with m_lock held. Writes the mask word before setting the event: the waiter reads
    // the word as soon as it sees the event.
    void CompleteWait(DWORD events) {
        if (m_waitOv == nullptr) return;
        *m_waitMask = events;
        m_waitOv->Internal = 0;
        m_waitOv->InternalHigh = sizeof(DWORD);
        SetEvent(m_waitOv->hEvent);
        m_waitOv = nullptr;
        m_waitMask = nullptr;
    }

    // Called with m_lock held: unread bytes count as a receive event for a mask that has one.
    void NoteQueuedBytes() {
        if ((m_mask & EV_RXCHAR) != 0 && !m_received.empty()) m_history |= EV_RXCHAR;
    }

    // Called with m_lock held.
    void Raise(DWORD events) {
        m_history |= events & m_mask;
        if (m_history != 0 && m_waitOv != nullptr) {
            const DWORD history = m_history;
            m_history = 0;
            CompleteWait(history);
        }
    }

    void Work() {
        const HANDLE handles[] = {m_stop.get(), m_wake.get(), m_store.changedEvent()};
        for (;;) {
            Delivered delivered;
            DWORD sleepMs = kMaxIdleMs;
            if (sim::Store::Access s = m_store.Lock()) {
                sim::Advance(*s, s.now(), &delivered);
                if (s->ctsChanges != m_seenCts) delivered.events |= EV_CTS;
                if (s->dsrChanges != m_seenDsr) delivered.events |= EV_DSR;
                m_seenCts = s->ctsChanges;
                m_seenDsr = s->dsrChanges;
                const uint64_t next = sim::NextDue(*s, true);
                if (next != sim::kNever) {
                    const uint64_t ms = next > s.now() ? (next - s.now() + 999) / 1000 : 0;
                    sleepMs = static_cast<DWORD>(std::min<uint64_t>(ms, kMaxIdleMs));
                }
            }
            if (delivered.events != 0) {
                {
                    std::lock_guard<SrwLock> lock(m_lock);
                    for (uint8_t b : delivered.bytes) {
                        if (m_received.size() < m_receiveLimit) {
                            m_received.push_back(b);
                        } else {
                            m_errors |= CE_RXOVER;
                        }
                    }
                    m_errors |= delivered.errors;
                    Raise(delivered.events);
                }
                m_readable.NotifyAll();
            }
            if (WaitForMultipleObjects(3, handles, FALSE, sleepMs) == WAIT_OBJECT_0) return;
        }
    }

    const std::string m_name;
    sim::Store m_store;
    fw::UniqueKernel m_token;
    fw::Event m_wake;
    fw::Event m_stop;
    fw::WorkerThread m_worker;
    uint32_t m_seenCts = 0;  // change counts the worker has reported; worker only after Open
    uint32_t m_seenDsr = 0;

    SrwLock m_lock;  // guards everything below
    ConditionVariable m_readable;
    std::deque<uint8_t> m_received;
    size_t m_receiveLimit = kMinReceiveQueue;
    COMMTIMEOUTS m_timeouts{};
    DWORD m_errors = 0;
    DWORD m_mask = 0;
    DWORD m_history = 0;
    DWORD* m_waitMask = nullptr;
    OVERLAPPED* m_waitOv = nullptr;
    bool m_closed = false;
};

}  // namespace

std::unique_ptr<PortBackend> MakeSimPort(const std::string& name) {
    return std::make_unique<SimPort>(name);
}

}  // namespace ports
