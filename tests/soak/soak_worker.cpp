// Workers and watchers of the soak (tests/soak/soak_worker.h).
//
// A worker's cycle: OpenService, ClaimDevice (without waiting) in one cycle of ten when the
// worker claims at all, DeviceEnabled, OpenDrawer, the simulated drawer closes by itself
// (auto-close), WaitForDrawerClose, RetrieveStatistics, ReleaseDevice, Close.
// Counted and not a failure: an OpenService that fails with 111 and OpenResult 456 because its
// status reply did not come in time (the port owner was killed meanwhile).
#include "tests/soak/soak_worker.h"

#include <algorithm>
#include <cstdarg>
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

// Commands of all processes pass one at a time; each holds the line at most for
// SendReady_Timeout + SendDone_Timeout, so a command may queue behind one of every other
// process.
Bounds BoundsFor(int processes) {
    const DWORD exchange = kSendReadyTimeout + kSendDoneTimeout;
    const DWORD queue = static_cast<DWORD>(processes - 1) * exchange;
    Bounds b;
    b.open = queue + exchange + kCommandTimeout + kSlackMs;
    b.claim = kSlackMs;
    b.enable = kSlackMs;
    b.openDrawer = 2 * (queue + exchange) + kOpenDrawerTimeout + kSlackMs;
    // Closed by the simulator after kAutoCloseMs; a new owner must first learn the state.
    b.wait = kAutoCloseMs + queue + exchange + kCommandTimeout + kFanOutMs + kSlackMs;
    b.statistics = kSlackMs;
    b.close = kFanOutMs + queue + exchange + kSlackMs;
    return b;
}

class Journal {
public:
    explicit Journal(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    // Each line goes to the file at once: a killed process leaves everything it wrote.
    void Line(const char* format, ...) {
        char text[512];
        va_list args;
        va_start(args, format);
        int n = vsnprintf(text, sizeof(text) - 2, format, args);
        va_end(args);
        if (n < 0) return;
        n = std::min(n, static_cast<int>(sizeof(text)) - 2);
        text[n++] = '\n';
        DWORD written = 0;
        WriteFile(m_file.get(), text, static_cast<DWORD>(n), &written, nullptr);
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
        const LONG status = event.number;
        if (event.kind != client::ControlObjectStub::Event::Kind::StatusUpdate) return;
        if (status == CASH_SUE_DRAWERCLOSED || status == CASH_SUE_DRAWEROPEN) {
            journal.Line("ev %ld %lld %lu", static_cast<long>(status), Now(),
                         static_cast<unsigned long>(testproc::PortOwnerProcessId()));
        }
    };
}

class Worker {
public:
    Worker(Journal& journal, const Bounds& bounds, bool claims)
        : m_journal(journal), m_bounds(bounds), m_claims(claims) {}

    // A call the dispatch layer refused or that threw gives 0 through DispClient: that must not
    // pass for success. Such a call is a violation and journaled as -1.
    LONG Checked(client::DrawerClient& s, const char* name, LONG result) {
        const HRESULT hr = s.LastResult();
        if (SUCCEEDED(hr)) return result;
        Violation("%s failed in IDispatch::Invoke with HRESULT 0x%08lX", name,
                  static_cast<unsigned long>(hr));
        return -1;
    }

    // Runs a call, writes it to the journal and checks its duration.
    template <class Call>
    LONG Timed(const char* name, DWORD bound, Call call) {
        const DWORD start = GetTickCount();
        const LONG result = Checked(*m_session, name, call());
        const DWORD ms = GetTickCount() - start;
        m_returnedAt = Now();
        m_journal.Line("call %s %ld %lu", name, static_cast<long>(result),
                       static_cast<unsigned long>(ms));
        if (ms > bound) {
            Violation("%s took %lu ms, more than its bound of %lu ms", name,
                      static_cast<unsigned long>(ms), static_cast<unsigned long>(bound));
        }
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
        const LONG open = Timed("open", m_bounds.open, [&] { return s.Open(device); });
        if (open != OPOS_SUCCESS) {
            const LONG openResult = s.OpenResult();
            const LONG extended = s.Number(PIDX_ResultCodeExtended);
            m_journal.Line("open-refused %ld %ld %ld", static_cast<long>(open),
                           static_cast<long>(openResult), static_cast<long>(extended));
            if (open != kFailure || openResult != kOpenResultNoPort) {
                Violation("OpenService returned %ld with OpenResult %ld (extended %ld)",
                          static_cast<long>(open), static_cast<long>(openResult),
                          static_cast<long>(extended));
            }
            return;
        }
        const bool claim = rng() % 10 == 0 && m_claims;
        bool claimed = false;
        if (claim) {
            m_journal.Line("claim-begin %lld", Now());
            const LONG r = Timed("claim", m_bounds.claim, [&] { return s.Claim(0); });
            if (r != OPOS_SUCCESS && r != kTimeout) {
                Violation("ClaimDevice returned %ld", static_cast<long>(r));
            }
            claimed = r == OPOS_SUCCESS;
            if (!claimed) m_journal.Line("released %lld", Now());
        }
        const LONG enabled = Timed("enable", m_bounds.enable, [&] {
            s.Set(PIDX_DeviceEnabled, 1);
            return s.ResultCode();
        });
        if (enabled != OPOS_SUCCESS) Violation("enabling returned %ld", static_cast<long>(enabled));

        m_journal.Line("od-begin %lld", Now());
        const LONG opened =
            Timed("opendrawer", m_bounds.openDrawer, [&] { return s.OpenDrawer(); });
        m_journal.Line("od-end %ld %lld", static_cast<long>(opened), m_returnedAt);

        m_journal.Line("wait-begin %lld", Now());
        const LONG waited =
            Timed("wait", m_bounds.wait, [&] { return s.WaitForDrawerClose(60000); });
        m_journal.Line("wait-end %ld %lld", static_cast<long>(waited), m_returnedAt);
        if (waited != OPOS_SUCCESS && waited != kFailure && waited != kClaimed) {
            Violation("WaitForDrawerClose returned %ld", static_cast<long>(waited));
        }

        std::map<std::string, long long> counters;
        const LONG stats =
            Timed("statistics", m_bounds.statistics, [&] { return s.Counters(&counters); });
        if (stats != OPOS_SUCCESS || counters.size() != 4) {
            Violation("RetrieveStatistics returned %ld with %d counters", static_cast<long>(stats),
                      static_cast<int>(counters.size()));
        } else {
            // The block lives as long as the run: its counts only ever grow.
            for (const auto& [name, value] : counters) {
                long long& last = m_lastCounts[name];
                if (value < last) {
                    Violation("%s went back from %lld to %lld", name.c_str(), last, value);
                }
                last = value;
            }
        }
        if (claimed) {
            const LONG r = Timed("release", m_bounds.claim, [&] { return s.Release(); });
            if (r != OPOS_SUCCESS) Violation("ReleaseDevice returned %ld", static_cast<long>(r));
            m_journal.Line("released %lld", Now());
        }
        const LONG closed = Timed("close", m_bounds.close, [&] { return s.Close(); });
        if (closed != OPOS_SUCCESS) Violation("Close returned %ld", static_cast<long>(closed));
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
    if (argc != 9) {
        fprintf(stderr,
                "usage: soak_driver worker DEVICE JOURNAL SLOT CYCLES SEED PROCESSES CLAIMS\n");
        return 2;
    }
    const std::wstring device(argv[2], argv[2] + strlen(argv[2]));
    Journal journal(argv[3]);
    if (!journal.ok()) return 3;
    const int cycles = atoi(argv[5]);
    std::mt19937 rng(static_cast<uint32_t>(strtoul(argv[6], nullptr, 10)));
    Worker worker(journal, BoundsFor(atoi(argv[7])), atoi(argv[8]) != 0);
    journal.Line("start %lu", static_cast<unsigned long>(GetCurrentProcessId()));

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
    if (argc != 6) {
        fprintf(stderr, "usage: soak_driver watcher DEVICE JOURNAL STOP_EVENT SEED\n");
        return 2;
    }
    const std::wstring device(argv[2], argv[2] + strlen(argv[2]));
    Journal journal(argv[3]);
    fw::UniqueKernel stop(OpenEventA(SYNCHRONIZE, FALSE, argv[4]));
    if (!journal.ok() || !stop) return 3;
    std::mt19937 rng(static_cast<uint32_t>(strtoul(argv[5], nullptr, 10)));
    journal.Line("start %lu", static_cast<unsigned long>(GetCurrentProcessId()));

    int result = 0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        client::DrawerClient session;
        session.Create();
        JournalChanges(session, journal);
        HANDLE stopHandle = stop.get();
        // Sessions of 3 to 8 s: a watcher that closes goes to the back of the queue for the
        // port, so that the owners killed are mostly workers, and hands the port on when it
        // owns it.
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
                             static_cast<long>(opened), static_cast<long>(openResult));
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
