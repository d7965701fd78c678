// Workers and watchers of the soak (tests/soak/soak_worker.h; the cycle: docs/reliability.md).
#include "tests/soak/soak_worker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "ports/sim_store.h"
#include "tools/client/drawer_client.h"
#include "tests/soak/soak_journal.h"
#include "tests/win/sim_control.h"

namespace soak {

long long SimOpenings() {
    sim::Store store;
    if (store.Open(kSim) != 0) return -1;
    sim::Store::Access s = store.Lock();
    if (!s) return -1;
    sim::Advance(*s, s.now(), nullptr);
    return s->openings;
}

namespace {

constexpr DWORD kFanOutMs = 3000;  // a status fan-out waits this long for a silent listener
constexpr DWORD kSlackMs = 5000;   // thread starts and stops, scheduling of busy processes

struct Bounds {
    DWORD open, claim, enable, openDrawer, wait, statistics, close;
};

// Commands pass one at a time: one may queue behind an exchange of every other process.
Bounds BoundsFor(int processes) {
    const DWORD exchange = kSendReadyTimeout + kSendDoneTimeout;
    const DWORD queue = static_cast<DWORD>(processes - 1) * exchange;
    Bounds b;
    b.open = queue + exchange + kCommandTimeout + kSlackMs;
    b.claim = b.enable = b.statistics = kSlackMs;
    b.openDrawer = 2 * (queue + exchange) + kOpenDrawerTimeout + kSlackMs;
    // Closed by the simulator after kAutoCloseMs; a new owner must first learn the state.
    b.wait = kAutoCloseMs + queue + exchange + kCommandTimeout + kFanOutMs + kSlackMs;
    b.close = kFanOutMs + queue + exchange + kSlackMs;
    return b;
}

class Journal {
public:
    explicit Journal(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    // Each line goes to the file at once: a killed process leaves everything it wrote.
    template <class... A>
    void Line(const char* format, A... args) {
        char text[512];
        const int n = snprintf(text, sizeof(text) - 1, format, args...);
        if (n < 0) return;
        const DWORD length = static_cast<DWORD>(std::min(n, static_cast<int>(sizeof(text)) - 2));
        text[length] = '\n';
        DWORD written = 0;
        WriteFile(m_file.get(), text, length + 1, &written, nullptr);
    }
    bool ok() const { return static_cast<bool>(m_file); }

private:
    fw::UniqueFile m_file;
};

void Pump() {
    client::PumpUntil([] { return true; }, 0);
}

// Every drawer change the control object is told of goes to the journal as it arrives.
void JournalChanges(client::DrawerClient& s, Journal& journal) {
    s.co().onEvent = [&journal](const client::ControlObjectStub::Event& event) {
        if (event.kind == client::ControlObjectStub::Event::Kind::StatusUpdate &&
            (event.number == CASH_SUE_DRAWERCLOSED || event.number == CASH_SUE_DRAWEROPEN)) {
            journal.Line("ev %ld %lld %lu", event.number, Now(), testproc::PortOwnerProcessId());
        }
    };
}

class Worker {
public:
    Worker(Journal& journal, const Bounds& bounds, bool claims)
        : m_journal(journal), m_bounds(bounds), m_claims(claims) {}

    // Runs and journals a call, checking its duration and result (any when `allowed` is
    // empty); a call refused by the dispatch layer is a violation, journaled as -1.
    template <class Call>
    LONG Timed(const char* name, DWORD bound, Call call, std::initializer_list<LONG> allowed) {
        const DWORD start = GetTickCount();
        LONG result = call();
        const DWORD ms = GetTickCount() - start;
        m_returnedAt = Now();
        if (const HRESULT hr = m_session->LastResult(); FAILED(hr)) {
            Violation("%s failed in IDispatch::Invoke with HRESULT 0x%08lX", name,
                      static_cast<unsigned long>(hr));
            result = -1;
        } else if (allowed.size() > 0 &&
                   std::find(allowed.begin(), allowed.end(), result) == allowed.end()) {
            Violation("%s returned %ld", name, result);
        }
        m_journal.Line("call %s %ld %lu", name, result, ms);
        if (ms > bound) Violation("%s took %lu ms, more than its bound of %lu ms", name, ms, bound);
        Pump();
        return result;
    }
    template <class... A>
    void Violation(const char* format, A... args) {
        char text[400];
        snprintf(text, sizeof(text), format, args...);
        m_journal.Line("violation %s", text);
        ++m_violations;
    }
    int violations() const { return m_violations; }

    void Cycle(client::DrawerClient& s, std::mt19937& rng, const std::wstring& device) {
        m_session = &s;
        // An open may fail only with 111 and OpenResult 456: its owner was killed meanwhile.
        const LONG open =
            Timed("open", m_bounds.open, [&] { return s.Open(device); }, {OPOS_SUCCESS, kFailure});
        if (open != OPOS_SUCCESS) {
            const LONG openResult = s.OpenResult(), extended = s.Number(PIDX_ResultCodeExtended);
            m_journal.Line("open-refused %ld %ld %ld", open, openResult, extended);
            if (open == kFailure && openResult != kOpenResultNoPort) {
                Violation("OpenService returned %ld with OpenResult %ld (extended %ld)", open,
                          openResult, extended);
            }
            return;
        }
        bool claimed = false;
        if (rng() % 10 == 0 && m_claims) {
            m_journal.Line("claim-begin %lld", Now());
            claimed = Timed("claim", m_bounds.claim, [&] { return s.Claim(0); },
                            {OPOS_SUCCESS, kTimeout}) == OPOS_SUCCESS;
            if (!claimed) m_journal.Line("released %lld", Now());
        }
        Timed("enable", m_bounds.enable,
              [&] {
                  s.Set(PIDX_DeviceEnabled, 1);
                  return s.ResultCode();
              },
              {OPOS_SUCCESS});

        m_journal.Line("od-begin %lld", Now());
        const LONG opened = Timed("opendrawer", m_bounds.openDrawer, [&] { return s.OpenDrawer(); },
                                  {});  // the supervisor judges its result
        m_journal.Line("od-end %ld %lld", opened, m_returnedAt);

        m_journal.Line("wait-begin %lld", Now());
        const LONG waited =
            Timed("wait", m_bounds.wait, [&] { return s.WaitForDrawerClose(60000); },
                  {OPOS_SUCCESS, kFailure, kClaimed});
        m_journal.Line("wait-end %ld %lld", waited, m_returnedAt);

        std::map<std::string, long long> counters;
        const LONG stats = Timed("statistics", m_bounds.statistics,
                                 [&] { return s.Counters(&counters); }, {OPOS_SUCCESS});
        if (stats == OPOS_SUCCESS && counters.size() != 4) {
            Violation("RetrieveStatistics gave %d counters", static_cast<int>(counters.size()));
        }
        // The block lives as long as the run: its counts only ever grow.
        for (const auto& [name, value] : counters) {
            long long& last = m_lastCounts[name];
            if (value < last)
                Violation("%s went back from %lld to %lld", name.c_str(), last, value);
            last = value;
        }
        if (claimed) {
            Timed("release", m_bounds.claim, [&] { return s.Release(); }, {OPOS_SUCCESS});
            m_journal.Line("released %lld", Now());
        }
        Timed("close", m_bounds.close, [&] { return s.Close(); }, {OPOS_SUCCESS});
    }

private:
    Journal& m_journal;
    Bounds m_bounds;
    bool m_claims;
    client::DrawerClient* m_session = nullptr;
    long long m_returnedAt = 0;  // when the last timed call returned
    int m_violations = 0;
    std::map<std::string, long long> m_lastCounts;
};

}  // namespace

int RunWorker(int argc, char** argv) {
    if (argc != 9) return 2;
    const std::wstring device(argv[2], argv[2] + strlen(argv[2]));
    Journal journal(argv[3]);
    if (!journal.ok()) return 3;
    const int cycles = atoi(argv[5]);
    std::mt19937 rng(static_cast<uint32_t>(strtoul(argv[6], nullptr, 10)));
    Worker worker(journal, BoundsFor(atoi(argv[7])), atoi(argv[8]) != 0);
    journal.Line("start %lu", GetCurrentProcessId());

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        client::DrawerClient session;
        session.Create();
        if (!session.created()) {
            worker.Violation("the service cannot be created");
        } else {
            JournalChanges(session, journal);
            for (int c = 1; c <= cycles; ++c) {
                journal.Line("cycle %d", c);
                worker.Cycle(session, rng, device);
                if (c == 1) journal.Line("warm %ld", testproc::HandleCount());
            }
            for (const std::string& call : session.co().Unexpected()) {
                worker.Violation("the control object was called unexpectedly: %s", call.c_str());
            }
            journal.Line("done %d %ld", cycles, testproc::HandleCount());
        }
    }
    CoUninitialize();
    return worker.violations() == 0 ? 0 : 4;
}

int RunWatcher(int argc, char** argv) {
    if (argc != 6) return 2;
    const std::wstring device(argv[2], argv[2] + strlen(argv[2]));
    Journal journal(argv[3]);
    fw::UniqueKernel stop(OpenEventA(SYNCHRONIZE, FALSE, argv[4]));
    if (!journal.ok() || !stop) return 3;
    std::mt19937 rng(static_cast<uint32_t>(strtoul(argv[5], nullptr, 10)));
    journal.Line("start %lu", GetCurrentProcessId());

    int result = 0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        client::DrawerClient session;
        session.Create();
        JournalChanges(session, journal);
        HANDLE stopHandle = stop.get();
        // Sessions of 3 to 8 s: a closing watcher goes to the back of the port's queue.
        for (int n = 1; result == 0 && WaitForSingleObject(stopHandle, 0) == WAIT_TIMEOUT; ++n) {
            journal.Line("session %d", n);
            LONG opened = session.created() ? session.Open(device) : -1;
            if (opened == OPOS_SUCCESS) {
                session.Set(PIDX_DeviceEnabled, 1);
                opened = session.ResultCode();
            }
            if (opened != OPOS_SUCCESS) {
                const LONG openResult = session.created() ? session.OpenResult() : 0;
                session.Close();
                // As for workers: a status reply lost to a killed owner is no fault.
                if (opened == kFailure && openResult == kOpenResultNoPort) continue;
                journal.Line("violation the watcher cannot open and enable the device (%ld, %ld)",
                             opened, openResult);
                result = 4;
                break;
            }
            journal.Line("watching %lld %lld", Now(), SimOpenings());
            const DWORD until = GetTickCount() + 3000 + rng() % 5000;
            for (DWORD now = GetTickCount(); static_cast<int32_t>(until - now) > 0;
                 now = GetTickCount()) {
                if (MsgWaitForMultipleObjects(1, &stopHandle, FALSE, until - now, QS_ALLINPUT) ==
                    WAIT_OBJECT_0) {
                    break;
                }
                Pump();
            }
            Pump();
            journal.Line("stopped %lld %lld", Now(), SimOpenings());
            session.Close();
        }
    }
    CoUninitialize();
    return result;
}

}  // namespace soak
