// The soak: several applications use one drawer for many cycles while the process that owns
// the port is killed at random moments. Each application is a worker process of this program
// using the registered DLL as an application does; the supervisor (the same program) starts
// them, kills port owners, starts replacements, and checks at the end:
//   - no call took longer than its documented bound and no worker stopped making progress;
//   - no worker crashed (every worker not killed ends with status 0);
//   - the statistics counts are explained by the OpenDrawer calls the journals show;
//   - after every kill a successor had the port open within the takeover bound;
//   - workers that ran all their cycles hold no more handles at the end than after the first;
//   - afterwards the service still opens the drawer.
//
//   soak_driver run [--processes N] [--cycles N] [--kills N] [--kill-every MIN-MAX] [--seed N]
//                   [--mixed OTHER_DRIVER --mixed-out OTHER_OUT_DIR]
//   soak_driver worker DEVICE JOURNAL SLOT CYCLES SEED PROCESSES      (started by run)
// --mixed: every odd slot runs OTHER_DRIVER, this program built for the other bitness, whose
// modules are in OTHER_OUT_DIR: half the applications are 32-bit and half 64-bit, on one drawer
// set up in both registry views.
//
// A cycle: OpenService, ClaimDevice (without waiting) in one cycle of ten, DeviceEnabled,
// OpenDrawer, the simulated drawer closes by itself (auto-close), WaitForDrawerClose,
// RetrieveStatistics, ReleaseDevice, Close.
// Counted and not a failure: an OpenService that fails with 111 and OpenResult 456 because its
// status reply did not come in time (the port owner was killed meanwhile, or was busy waiting
// for the acknowledgement of a listener that died).
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/soak/drawer_session.h"
#include "tests/soak/soak_journal.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"

namespace {

constexpr char kDevice[] = "BramwickSoak";
constexpr char kSim[] = "SIMSOAK1";
constexpr DWORD kKilledCode = 0xDEAD;

// The device's timeouts, and the bounds of each call that follow from them.
constexpr DWORD kCommandTimeout = 3000;
constexpr DWORD kSendReadyTimeout = 2000;
constexpr DWORD kSendDoneTimeout = 2000;
constexpr DWORD kOpenDrawerTimeout = 1500;
constexpr DWORD kAutoCloseMs = 200;
constexpr DWORD kFanOutMs = 3000;  // a status fan-out waits this long for silent listeners
constexpr DWORD kSlackMs = 5000;   // thread starts and stops, scheduling of busy processes
constexpr DWORD kTakeoverMs = 20000;
constexpr DWORD kNoProgressMs = 120000;

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

// --- Journal ------------------------------------------------------------------------------

class Journal {
public:
    explicit Journal(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Journal() {
        if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    }
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
        WriteFile(m_file, text, static_cast<DWORD>(n), &written, nullptr);
    }
    bool ok() const { return m_file != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_file;
};

std::string ReadWhole(const std::string& path) {
    std::string text;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(f);
    return text;
}

void Pump() {
    PumpUntil([] { return true; }, 0);
}

// --- Worker -------------------------------------------------------------------------------

class Worker {
public:
    Worker(Journal& journal, const Bounds& bounds) : m_journal(journal), m_bounds(bounds) {}

    // Runs a call, writes it to the journal and checks its duration.
    template <class Call>
    LONG Timed(const char* name, DWORD bound, Call call) {
        const DWORD start = GetTickCount();
        const LONG result = call();
        const DWORD ms = GetTickCount() - start;
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

    void Cycle(soak::DrawerSession& s, std::mt19937& rng, const std::wstring& device) {
        const LONG open = Timed("open", m_bounds.open, [&] { return s.Open(device); });
        if (open != OPOS_SUCCESS) {
            const LONG openResult = s.OpenResult();
            m_journal.Line("open-refused %ld %ld", static_cast<long>(open),
                           static_cast<long>(openResult));
            if (open != soak::kFailure || openResult != soak::kOpenResultNoPort) {
                Violation("OpenService returned %ld with OpenResult %ld", static_cast<long>(open),
                          static_cast<long>(openResult));
            }
            return;
        }
        const bool claim = rng() % 10 == 0;
        bool claimed = false;
        if (claim) {
            const LONG r = Timed("claim", m_bounds.claim, [&] { return s.Claim(0); });
            if (r != OPOS_SUCCESS && r != soak::kTimeout) {
                Violation("ClaimDevice returned %ld", static_cast<long>(r));
            }
            claimed = r == OPOS_SUCCESS;
        }
        const LONG enabled = Timed("enable", m_bounds.enable, [&] {
            s.Set(PIDX_DeviceEnabled, 1);
            return s.ResultCode();
        });
        if (enabled != OPOS_SUCCESS) Violation("enabling returned %ld", static_cast<long>(enabled));

        m_journal.Line("od-begin");
        const DWORD start = GetTickCount();
        const LONG opened = s.OpenDrawer();
        const DWORD ms = GetTickCount() - start;
        m_journal.Line("od-end %ld %lu", static_cast<long>(opened), static_cast<unsigned long>(ms));
        if (ms > m_bounds.openDrawer) {
            Violation("OpenDrawer took %lu ms, more than its bound of %lu ms",
                      static_cast<unsigned long>(ms),
                      static_cast<unsigned long>(m_bounds.openDrawer));
        }
        Pump();

        const LONG waited =
            Timed("wait", m_bounds.wait, [&] { return s.WaitForDrawerClose(60000); });
        if (waited != OPOS_SUCCESS && waited != soak::kFailure && waited != soak::kClaimed) {
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
        }
        const LONG closed = Timed("close", m_bounds.close, [&] { return s.Close(); });
        if (closed != OPOS_SUCCESS) Violation("Close returned %ld", static_cast<long>(closed));
    }

private:
    Journal& m_journal;
    Bounds m_bounds;
    int m_violations = 0;
    std::map<std::string, long long> m_lastCounts;
};

int RunWorker(int argc, char** argv) {
    if (argc != 8) {
        fprintf(stderr, "usage: soak_driver worker DEVICE JOURNAL SLOT CYCLES SEED PROCESSES\n");
        return 2;
    }
    const std::wstring device(argv[2], argv[2] + strlen(argv[2]));
    Journal journal(argv[3]);
    if (!journal.ok()) return 3;
    const int cycles = atoi(argv[5]);
    std::mt19937 rng(static_cast<uint32_t>(strtoul(argv[6], nullptr, 10)));
    Worker worker(journal, BoundsFor(atoi(argv[7])));
    journal.Line("start %lu", static_cast<unsigned long>(GetCurrentProcessId()));

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        soak::DrawerSession session;
        if (!session.created()) {
            worker.Violation("the service cannot be created");
        } else {
            for (int c = 1; c <= cycles; ++c) {
                journal.Line("cycle %d", c);
                worker.Cycle(session, rng, device);
                if (c == 1) journal.Line("warm %ld", testproc::HandleCount());
            }
            journal.Line("done %d %ld", cycles, testproc::HandleCount());
        }
    }
    CoUninitialize();
    return worker.violations() == 0 ? 0 : 4;
}

// --- Supervisor ---------------------------------------------------------------------------

struct Options {
    int processes = 8;
    int cycles = 200;
    int kills = 16;
    DWORD killMin = 1500;
    DWORD killMax = 5000;
    uint32_t seed = 0;
    std::string mixedDriver;  // the other build's soak_driver.exe, for odd slots
    std::string mixedOut;     // the other build's modules
};

bool ParseOptions(int argc, char** argv, Options* o) {
    o->seed = GetTickCount();
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (v == nullptr) return false;
        if (a == "--processes") {
            o->processes = atoi(v);
        } else if (a == "--cycles") {
            o->cycles = atoi(v);
        } else if (a == "--kills") {
            o->kills = atoi(v);
        } else if (a == "--mixed") {
            o->mixedDriver = v;
        } else if (a == "--mixed-out") {
            o->mixedOut = v;
        } else if (a == "--seed") {
            o->seed = static_cast<uint32_t>(strtoul(v, nullptr, 10));
        } else if (a == "--kill-every") {
            if (sscanf(v, "%lu-%lu", &o->killMin, &o->killMax) != 2 || o->killMin > o->killMax) {
                return false;
            }
        } else {
            return false;
        }
        ++i;
    }
    return o->processes >= 1 && o->processes <= 60 && o->cycles >= 1 && o->kills >= 0 &&
           o->mixedDriver.empty() == o->mixedOut.empty();
}

std::string SelfPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

bool OwnsThePort(DWORD pid) {
    return testproc::PortOwnerProcessId() == pid;
}

struct Running {
    int slot;
    int number;
    int cycles;
    HANDLE process;
    DWORD pid;
    std::string journal;
    bool killed = false;
    bool hung = false;
    size_t journalSize = 0;
    DWORD lastProgress = 0;
};

class Supervisor {
public:
    explicit Supervisor(const Options& o) : m_o(o), m_rng(o.seed) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "BramwickSoak-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_dir.c_str(), nullptr);
        m_remaining.assign(static_cast<size_t>(o.processes), o.cycles);
        m_incarnations.assign(static_cast<size_t>(o.processes), 0);
    }

    int Run() {
        printf("soak: %d processes x %d cycles, up to %d kills every %lu-%lu ms, seed %u\n",
               m_o.processes, m_o.cycles, m_o.kills, static_cast<unsigned long>(m_o.killMin),
               static_cast<unsigned long>(m_o.killMax), m_o.seed);
        fflush(stdout);
        const bool mixed = !m_o.mixedDriver.empty();
        ScratchDevice device(
            kDevice, true,
            mixed ? std::vector<REGSAM>{KEY_WOW64_32KEY, KEY_WOW64_64KEY} : std::vector<REGSAM>{0});
        if (mixed) {
            // Each build loads the port library of its own bitness.
            const bool self64 = sizeof(void*) == 8;
            device.SetMakerPath(self64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY, testproc::OutDir());
            device.SetMakerPath(self64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY, m_o.mixedOut);
            printf("soak: mixed, odd slots run %s\n", m_o.mixedDriver.c_str());
        }
        device.SetText("Port", kSim);
        // With BRAMWICK_TRACE_DIR set every process traces there (docs/trace.md).
        char traceDir[MAX_PATH] = {};
        GetEnvironmentVariableA("BRAMWICK_TRACE_DIR", traceDir, MAX_PATH);
        device.SetText("Trace_Enable", traceDir[0] != '\0' ? "True" : "False");
        device.SetNumber("DetectDelay_Time", 20);
        device.SetNumber("Command_Timeout", kCommandTimeout);
        device.SetNumber("SendReady_Timeout", kSendReadyTimeout);
        device.SetNumber("SendDone_Timeout", kSendDoneTimeout);
        device.SetNumber("OpenDrawer_Timeout", kOpenDrawerTimeout);
        if (Sim(kSim, "reset") != 0 ||
            Sim(kSim, "autoclose " + std::to_string(kAutoCloseMs)) != 0) {
            Fail("the simulator cannot be set up");
            return Report();
        }
        // The statistics block lives while any process maps it; holding it keeps the counts of
        // the whole run in one block in memory however the workers die.
        HANDLE block = nullptr;
        {
            soak::DrawerSession session;
            if (!session.created() || session.Open(L"BramwickSoak") != OPOS_SUCCESS) {
                Fail("the service does not open before the run");
                return Report();
            }
            block =
                OpenFileMappingA(FILE_MAP_READ, FALSE, "RiVORI_STATUser_CASHDRAWER_BRAMWICKSOAK");
            session.Close();
        }
        if (block == nullptr) Fail("the statistics block cannot be held");

        const DWORD start = GetTickCount();
        for (int slot = 0; slot < m_o.processes; ++slot) Start(slot);
        Supervise();
        const DWORD elapsed = GetTickCount() - start;
        printf("soak: workers done after %lu s\n", static_cast<unsigned long>(elapsed / 1000));

        Check();
        if (block) CloseHandle(block);
        return Report();
    }

private:
    void Fail(const std::string& what) { m_violations.push_back(what); }

    void Start(int slot) {
        Running r;
        r.slot = slot;
        r.number = m_incarnations[static_cast<size_t>(slot)]++;
        r.cycles = m_remaining[static_cast<size_t>(slot)];
        r.journal =
            m_dir + "\\worker-" + std::to_string(slot) + "-" + std::to_string(r.number) + ".log";
        const uint32_t seed = m_o.seed + static_cast<uint32_t>(slot * 1000 + r.number);
        const bool other = !m_o.mixedDriver.empty() && slot % 2 == 1;
        std::string line = "\"" + (other ? m_o.mixedDriver : SelfPath()) + "\" worker " + kDevice +
                           " \"" + r.journal + "\" " + std::to_string(slot) + " " +
                           std::to_string(r.cycles) + " " + std::to_string(seed) + " " +
                           std::to_string(m_o.processes);
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            Fail("worker " + std::to_string(slot) + " cannot be started");
            return;
        }
        CloseHandle(pi.hThread);
        r.process = pi.hProcess;
        r.pid = pi.dwProcessId;
        r.lastProgress = GetTickCount();
        m_running.push_back(r);
    }

    // Ends a worker: its incarnation is read back, and a killed one's remaining cycles go to
    // a new process.
    void Ended(size_t index) {
        Running r = m_running[index];
        m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(index));
        DWORD code = 0;
        GetExitCodeProcess(r.process, &code);
        CloseHandle(r.process);
        soak::Incarnation inc;
        inc.slot = r.slot;
        inc.number = r.number;
        inc.killed = r.killed;
        inc.hung = r.hung;
        inc.exitCode = code;
        soak::ReadJournal(ReadWhole(r.journal), &inc);
        m_done.push_back(inc);
        if (r.killed && !r.hung) {
            int& remaining = m_remaining[static_cast<size_t>(r.slot)];
            remaining -= std::max(inc.cycles, 1);  // the interrupted cycle counts as used
            if (remaining > 0) Start(r.slot);
        }
    }

    DWORD Pick(DWORD low, DWORD high) {
        return low + static_cast<DWORD>(m_rng() % (high - low + 1));
    }

    void Supervise() {
        DWORD nextKill = GetTickCount() + Pick(m_o.killMin, m_o.killMax);
        DWORD killedAt = 0;
        DWORD killedPid = 0;
        bool watching = false;
        while (!m_running.empty()) {
            std::vector<HANDLE> handles;
            for (const Running& r : m_running) handles.push_back(r.process);
            const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                       handles.data(), FALSE, 100);
            if (which < WAIT_OBJECT_0 + handles.size()) {
                Ended(which - WAIT_OBJECT_0);
                continue;
            }
            const DWORD now = GetTickCount();
            // Progress: every worker writes to its journal at least once per call.
            for (Running& r : m_running) {
                WIN32_FILE_ATTRIBUTE_DATA data;
                size_t size = 0;
                if (GetFileAttributesExA(r.journal.c_str(), GetFileExInfoStandard, &data)) {
                    size = data.nFileSizeLow;
                }
                if (size != r.journalSize) {
                    r.journalSize = size;
                    r.lastProgress = now;
                } else if (!r.hung && now - r.lastProgress > kNoProgressMs) {
                    soak::Incarnation inc;
                    soak::ReadJournal(ReadWhole(r.journal), &inc);
                    Fail("worker " + std::to_string(r.slot) + "." + std::to_string(r.number) +
                         " made no progress for " + std::to_string(kNoProgressMs / 1000) +
                         " s; its last entry: " + inc.lastLine);
                    r.hung = true;
                    r.killed = true;
                    TerminateProcess(r.process, kKilledCode);
                }
            }
            // The successor of a killed owner.
            if (watching) {
                for (const Running& r : m_running) {
                    if (r.pid != killedPid && OwnsThePort(r.pid)) {
                        m_takeovers.push_back(now - killedAt);
                        watching = false;
                        break;
                    }
                }
                if (watching && now - killedAt > kTakeoverMs) {
                    Fail("no process took the port over within " +
                         std::to_string(kTakeoverMs / 1000) + " s of a kill");
                    watching = false;
                }
            }
            // The next kill, once the last one has a successor.
            if (!watching && m_kills < m_o.kills && static_cast<int32_t>(now - nextKill) >= 0) {
                for (Running& r : m_running) {
                    if (!r.killed && OwnsThePort(r.pid)) {
                        TerminateProcess(r.process, kKilledCode);
                        r.killed = true;
                        ++m_kills;
                        killedAt = GetTickCount();
                        killedPid = r.pid;
                        watching = true;
                        break;
                    }
                }
                nextKill = now + (watching ? Pick(m_o.killMin, m_o.killMax) : 100);
            }
        }
    }

    void Check() {
        soak::Accounting a;
        a.kills = m_kills;
        long refusals = 0;
        long cycles = 0;
        for (const soak::Incarnation& inc : m_done) {
            const std::string name = std::to_string(inc.slot) + "." + std::to_string(inc.number);
            cycles += inc.cycles;
            refusals += inc.openRefusals;
            for (const std::string& v : inc.violations) Fail("worker " + name + ": " + v);
            if (inc.killed) {
                a.killedGood += inc.goodOpens;
                a.killedFailed += inc.failedOpens;
                a.inFlight += inc.inFlight;
                continue;
            }
            a.survivorsGood += inc.goodOpens;
            a.survivorsFailed += inc.failedOpens;
            if (inc.exitCode != 0 && inc.violations.empty()) {
                char text[64];
                snprintf(text, sizeof(text), "0x%08lX", inc.exitCode);
                Fail("worker " + name + " ended with status " + text);
            }
            if (!inc.done) Fail("worker " + name + " did not finish its cycles");
            // Handles: the first cycle creates what lives as long as the process; after it
            // nothing may accumulate.
            if (inc.done && inc.cycles >= 10) {
                const long growth = inc.endHandles - inc.warmHandles;
                m_handleReport += " " + name + ":" + std::to_string(inc.warmHandles) + "->" +
                                  std::to_string(inc.endHandles);
                if (growth > 3) {
                    Fail("worker " + name + " grew from " + std::to_string(inc.warmHandles) +
                         " to " + std::to_string(inc.endHandles) + " handles over " +
                         std::to_string(inc.cycles) + " cycles");
                }
            }
        }
        printf("soak: %ld cycles in %zu processes, %d kills, %ld opens refused with 456\n", cycles,
               m_done.size(), m_kills, refusals);
        std::map<long, long> results;
        std::map<std::string, long> longest;
        for (const soak::Incarnation& inc : m_done) {
            for (const auto& [r, n] : inc.openDrawerResults) results[r] += n;
            for (const auto& [name, ms] : inc.longestMs)
                longest[name] = std::max(longest[name], ms);
        }
        std::string text;
        for (const auto& [r, n] : results)
            text += " " + std::to_string(r) + ":" + std::to_string(n);
        printf("soak: OpenDrawer results (result:calls):%s\n", text.c_str());
        text.clear();
        for (const auto& [name, ms] : longest) text += " " + name + " " + std::to_string(ms);
        printf("soak: longest calls (ms):%s\n", text.c_str());
        if (!m_takeovers.empty()) {
            printf("soak: takeover after a kill: longest %lu ms, all %zu within %lu s\n",
                   static_cast<unsigned long>(
                       *std::max_element(m_takeovers.begin(), m_takeovers.end())),
                   m_takeovers.size(), static_cast<unsigned long>(kTakeoverMs / 1000));
        }
        printf("soak: handles (after first cycle -> at end):%s\n", m_handleReport.c_str());

        // The counts of the whole run, then the drawer still opens.
        soak::DrawerSession session;
        if (!session.created() || session.Open(L"BramwickSoak") != OPOS_SUCCESS) {
            Fail("the service does not open after the run");
            return;
        }
        std::map<std::string, long long> counts;
        if (session.Counters(&counts) != OPOS_SUCCESS) {
            Fail("RetrieveStatistics fails after the run");
        } else {
            std::string why;
            if (!a.Explains(counts["DrawerGoodOpenCount"], counts["DrawerFailedOpenCount"], &why)) {
                Fail("statistics do not match the attempts: " + why);
            }
            printf("soak: %s; communication errors %lld\n", why.c_str(),
                   counts["CommunicationErrorCount"]);
            printf("soak: processes not killed made %ld good and %ld failed openings\n",
                   a.survivorsGood, a.survivorsFailed);
        }
        session.Set(PIDX_DeviceEnabled, 1);
        if (session.OpenDrawer() != OPOS_SUCCESS) Fail("OpenDrawer fails after the run");
        session.Close();
    }

    int Report() {
        for (const std::string& v : m_violations) printf("soak: VIOLATION %s\n", v.c_str());
        printf("soak: %s, %zu violations (journals in %s)\n",
               m_violations.empty() ? "passed" : "FAILED", m_violations.size(), m_dir.c_str());
        fflush(stdout);
        if (m_violations.empty()) {
            for (const soak::Incarnation& inc : m_done) {
                DeleteFileA((m_dir + "\\worker-" + std::to_string(inc.slot) + "-" +
                             std::to_string(inc.number) + ".log")
                                .c_str());
            }
            RemoveDirectoryA(m_dir.c_str());
        }
        return m_violations.empty() ? 0 : 1;
    }

    Options m_o;
    std::mt19937 m_rng;
    std::string m_dir;
    std::vector<int> m_remaining;
    std::vector<int> m_incarnations;
    std::vector<Running> m_running;
    std::vector<soak::Incarnation> m_done;
    std::vector<DWORD> m_takeovers;
    std::vector<std::string> m_violations;
    std::string m_handleReport;
    int m_kills = 0;
};

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc >= 2 && strcmp(argv[1], "worker") == 0) return RunWorker(argc, argv);
    Options o;
    if (argc < 2 || strcmp(argv[1], "run") != 0 || !ParseOptions(argc, argv, &o)) {
        fprintf(stderr,
                "usage: soak_driver run [--processes N] [--cycles N] [--kills N] "
                "[--kill-every MIN-MAX] [--seed N] [--mixed EXE --mixed-out DIR]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = Supervisor(o).Run();
    CoUninitialize();
    return result;
}
