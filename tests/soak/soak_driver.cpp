// The soak: several applications use one drawer for many cycles while processes are killed at
// random moments: the process that owns the port, and processes that only listen. Each
// application is a worker process of this program using the registered DLL as an application
// does (tests/soak/soak_worker.cpp); some claim the device now and then, the others never do.
// Watchers keep the device open and enabled in sessions of a few seconds and write down every
// change they are told of. The supervisor (the same program) starts them all, kills, starts
// replacements, and checks at the end:
//   - no call took longer than its documented bound and no process stopped making progress;
//   - no process crashed (every process not killed ends with status 0);
//   - the statistics counts are the OpenDrawer calls the journals show (a call under way at a
//     kill may or may not count, see Accounting);
//   - no 102 while no other process held or sought a claim;
//   - no lost change: every process is told of open and closed in turn, and each watcher session
//     of as many openings as the simulated controller made meanwhile;
//   - after every owner kill a successor had the port open within the takeover bound;
//   - workers that ran all their cycles hold no more handles at the end than after the first;
//   - afterwards the service still opens the drawer.
//
//   soak_driver run [--processes N] [--cycles N] [--kills N] [--kill-every MIN-MAX] [--seed N]
//                   [--listener-kills N] [--unclaimed N] [--watchers N]
//                   [--mixed OTHER_DRIVER --mixed-out OTHER_OUT_DIR]
//   soak_driver worker ... / watcher ...      (started by run, tests/soak/soak_worker.h)
// --kills: port owners to kill; --listener-kills: processes to kill that do not own the port
// (workers and watchers); --unclaimed: workers that never claim.
// --mixed: every odd worker slot runs OTHER_DRIVER, this program built for the other bitness,
// whose modules are in OTHER_OUT_DIR: half the applications are 32-bit and half 64-bit, on one
// drawer set up in both registry views.
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

#include "ras/ras_names.h"
#include "stats/stat_names.h"
#include "tools/client/drawer_client.h"
#include "tests/soak/soak_journal.h"
#include "tests/soak/soak_options.h"
#include "tests/soak/soak_worker.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"

namespace {

using soak::kDevice;
using soak::kSim;
using soak::Options;
using soak::ParseOptions;
constexpr DWORD kKilledCode = 0xDEAD;
constexpr DWORD kTakeoverMs = 20000;
constexpr DWORD kNoProgressMs = 120000;

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

// --- Supervisor ---------------------------------------------------------------------------

std::string SelfPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

bool OwnsThePort(DWORD pid) {
    return testproc::PortOwnerProcessId() == pid;
}

struct Running {
    bool watcher = false;
    int slot = 0;  // workers: the slot; watchers: their number
    int number = 0;
    HANDLE process = nullptr;
    DWORD pid = 0;
    std::string journal;
    bool killed = false;
    bool hung = false;
    long long killedAt = -1;
    long long openingsAtKill = -1;
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
        m_stopName = "BramwickSoakStop-" + std::to_string(GetCurrentProcessId());
        m_stop.reset(CreateEventA(nullptr, TRUE, FALSE, m_stopName.c_str()));
        m_remaining.assign(static_cast<size_t>(o.processes), o.cycles);
        m_incarnations.assign(static_cast<size_t>(o.processes), 0);
    }

    int Run() {
        printf(
            "soak: %d processes x %d cycles (%d never claim), %d watchers; up to %d owner and "
            "%d listener kills every %lu-%lu ms, seed %u\n",
            m_o.processes, m_o.cycles, m_o.unclaimed, m_o.watchers, m_o.kills, m_o.listenerKills,
            static_cast<unsigned long>(m_o.killMin), static_cast<unsigned long>(m_o.killMax),
            m_o.seed);
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
        device.SetText("Trace_Enable",
                       testproc::Environment("BRAMWICK_TRACE_DIR").empty() ? "False" : "True");
        device.SetNumber("DetectDelay_Time", 20);
        device.SetNumber("Command_Timeout", soak::kCommandTimeout);
        device.SetNumber("SendReady_Timeout", soak::kSendReadyTimeout);
        device.SetNumber("SendDone_Timeout", soak::kSendDoneTimeout);
        device.SetNumber("OpenDrawer_Timeout", soak::kOpenDrawerTimeout);
        if (!m_stop || Sim(kSim, "reset") != 0 ||
            Sim(kSim, "autoclose " + std::to_string(soak::kAutoCloseMs)) != 0) {
            Fail("the simulator or the stop event cannot be set up");
            return Report();
        }
        // The statistics and reliability blocks live while any process maps them; holding them
        // keeps the counts of the whole run in memory however the workers die. The drawer-open
        // counter of the reliability records (in memory) counts the good openings a second time,
        // in a block and under a mutex of its own.
        device.SetText("Statistics", "Memory");
        fw::UniqueKernel block, rasBlock;
        {
            client::DrawerClient session;
            session.Create();
            if (!session.created() || session.Open(L"BramwickSoak") != OPOS_SUCCESS) {
                Fail("the service does not open before the run");
                return Report();
            }
            block.reset(OpenFileMappingA(FILE_MAP_READ, FALSE,
                                         StatMappingName("CashDrawer", kDevice).c_str()));
            rasBlock.reset(OpenFileMappingA(FILE_MAP_READ, FALSE,
                                            RasMappingName("CashDrawer", kDevice).c_str()));
            session.Close();
        }
        if (!block || !rasBlock) Fail("the statistics or reliability block cannot be held");

        const DWORD start = GetTickCount();
        for (int w = 0; w < m_o.watchers; ++w) StartWatcher();
        WaitForWatchers();
        for (int slot = 0; slot < m_o.processes; ++slot) Start(slot);
        Supervise();
        const DWORD elapsed = GetTickCount() - start;
        printf("soak: workers done after %lu s\n", static_cast<unsigned long>(elapsed / 1000));
        StopWatchers();

        Check();
        return Report();
    }

private:
    void Fail(const std::string& what) { m_violations.push_back(what); }

    bool Launch(const std::string& args, Running r) {
        const bool other = !r.watcher && !m_o.mixedDriver.empty() && r.slot % 2 == 1;
        std::string line = "\"" + (other ? m_o.mixedDriver : SelfPath()) + "\" " + args;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            Fail("cannot start: " + line);
            return false;
        }
        CloseHandle(pi.hThread);
        m_log += "start " + std::string(r.watcher ? "watcher " : "worker ") +
                 std::to_string(r.slot) + "." + std::to_string(r.number) + " pid " +
                 std::to_string(pi.dwProcessId) + (other ? " (other build)" : "") + " at " +
                 std::to_string(soak::Now()) + "\n";
        r.process = pi.hProcess;
        r.pid = pi.dwProcessId;
        r.lastProgress = GetTickCount();
        m_running.push_back(r);
        return true;
    }

    void Start(int slot) {
        Running r;
        r.slot = slot;
        r.number = m_incarnations[static_cast<size_t>(slot)]++;
        r.journal =
            m_dir + "\\worker-" + std::to_string(slot) + "-" + std::to_string(r.number) + ".log";
        const uint32_t seed = m_o.seed + static_cast<uint32_t>(slot * 1000 + r.number);
        const bool claims = slot < m_o.processes - m_o.unclaimed;
        if (Launch(std::string("worker ") + kDevice + " \"" + r.journal + "\" " +
                       std::to_string(slot) + " " +
                       std::to_string(m_remaining[static_cast<size_t>(slot)]) + " " +
                       std::to_string(seed) + " " + std::to_string(m_o.processes) + " " +
                       (claims ? "1" : "0"),
                   r)) {
            ++m_workers;
        }
    }

    void StartWatcher() {
        Running r;
        r.watcher = true;
        r.slot = m_watchersStarted++;
        r.journal = m_dir + "\\watcher-" + std::to_string(r.slot) + ".log";
        const uint32_t seed = m_o.seed + 500000u + static_cast<uint32_t>(r.slot);
        Launch(std::string("watcher ") + kDevice + " \"" + r.journal + "\" " + m_stopName + " " +
                   std::to_string(seed),
               r);
    }

    // The first watchers are enabled before any worker starts.
    void WaitForWatchers() {
        const DWORD start = GetTickCount();
        for (const Running& r : m_running) {
            soak::Incarnation inc;
            while (inc.watches.empty() && GetTickCount() - start < kTakeoverMs &&
                   WaitForSingleObject(r.process, 50) == WAIT_TIMEOUT) {
                soak::ReadJournal(ReadWhole(r.journal), &inc);
            }
            if (inc.watches.empty()) Fail("watcher " + std::to_string(r.slot) + " did not start");
        }
    }

    // Ends a process: its incarnation is read back, and a killed one is replaced (a worker by
    // one that runs its remaining cycles).
    void Ended(size_t index) {
        Running r = m_running[index];
        m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(index));
        DWORD code = 0;
        GetExitCodeProcess(r.process, &code);
        CloseHandle(r.process);
        soak::Incarnation inc;
        inc.watcher = r.watcher;
        inc.slot = r.slot;
        inc.number = r.number;
        inc.killed = r.killed;
        inc.hung = r.hung;
        inc.exitCode = code;
        soak::ReadJournal(ReadWhole(r.journal), &inc);
        if (r.killed) {
            if (!inc.watches.empty() && inc.watches.back().to < 0) {
                inc.watches.back().to = r.killedAt;
                inc.watches.back().openingsTo = r.openingsAtKill;
            }
            for (soak::Interval& claim : inc.claims) claim.to = std::min(claim.to, r.killedAt);
        }
        m_done.push_back(inc);
        if (r.watcher) {
            if (r.killed && m_workers > 0) StartWatcher();
            return;
        }
        --m_workers;
        if (r.killed && !r.hung) {
            int& remaining = m_remaining[static_cast<size_t>(r.slot)];
            remaining -= std::max(inc.cycles, 1);  // the interrupted cycle counts as used
            if (remaining > 0) Start(r.slot);
        }
    }

    // Kills and waits until the process is gone; the supervisor's log names each kill.
    void Kill(Running& r, const char* why) {
        TerminateProcess(r.process, kKilledCode);
        WaitForSingleObject(r.process, 10000);
        r.killed = true;
        r.killedAt = soak::Now();
        if (r.watcher) r.openingsAtKill = soak::SimOpenings();
        m_log += std::string(why) + " " + (r.watcher ? "watcher " : "worker ") +
                 std::to_string(r.slot) + "." + std::to_string(r.number) + " pid " +
                 std::to_string(r.pid) + " at " + std::to_string(r.killedAt) + "\n";
    }

    DWORD Pick(DWORD low, DWORD high) {
        return low + static_cast<DWORD>(m_rng() % (high - low + 1));
    }

    // A process that has the device open but does not own the port.
    Running* PickListener() {
        const DWORD owner = testproc::PortOwnerProcessId();
        std::vector<Running*> candidates;
        for (Running& r : m_running) {
            if (!r.killed && r.pid != owner) candidates.push_back(&r);
        }
        return candidates.empty() ? nullptr : candidates[m_rng() % candidates.size()];
    }

    // Progress: every process writes to its journal at least once per call; watchers wait.
    void CheckProgress(DWORD now) {
        for (Running& r : m_running) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            size_t size = 0;
            if (GetFileAttributesExA(r.journal.c_str(), GetFileExInfoStandard, &data)) {
                size = data.nFileSizeLow;
            }
            if (size != r.journalSize || r.watcher) {
                r.journalSize = size;
                r.lastProgress = now;
            } else if (!r.hung && now - r.lastProgress > kNoProgressMs) {
                soak::Incarnation inc;
                soak::ReadJournal(ReadWhole(r.journal), &inc);
                Fail("worker " + std::to_string(r.slot) + "." + std::to_string(r.number) +
                     " made no progress for " + std::to_string(kNoProgressMs / 1000) +
                     " s; its last entry: " + inc.lastLine);
                r.hung = true;
                Kill(r, "hung");
            }
        }
    }

    void Supervise() {
        DWORD nextKill = GetTickCount() + Pick(m_o.killMin, m_o.killMax);
        DWORD nextListenerKill = GetTickCount() + Pick(m_o.killMin, m_o.killMax);
        DWORD killedAt = 0;
        DWORD killedPid = 0;
        bool watching = false;
        while (m_workers > 0) {
            std::vector<HANDLE> handles;
            for (const Running& r : m_running) handles.push_back(r.process);
            const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                       handles.data(), FALSE, 100);
            if (which < WAIT_OBJECT_0 + handles.size()) {
                Ended(which - WAIT_OBJECT_0);
                continue;
            }
            const DWORD now = GetTickCount();
            CheckProgress(now);
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
            // The next owner kill, once the last one has a successor.
            if (!watching && m_ownerKills.size() < static_cast<size_t>(m_o.kills) &&
                static_cast<int32_t>(now - nextKill) >= 0) {
                for (Running& r : m_running) {
                    if (!r.killed && OwnsThePort(r.pid)) {
                        Kill(r, "owner");
                        m_ownerKills.push_back(r.killedAt);
                        killedAt = GetTickCount();
                        killedPid = r.pid;
                        watching = true;
                        break;
                    }
                }
                nextKill = now + (watching ? Pick(m_o.killMin, m_o.killMax) : 100);
            }
            if (m_listenerKills < m_o.listenerKills &&
                static_cast<int32_t>(now - nextListenerKill) >= 0) {
                if (Running* r = PickListener()) {
                    Kill(*r, "listener");
                    ++m_listenerKills;
                }
                nextListenerKill = now + Pick(m_o.killMin, m_o.killMax);
            }
        }
    }

    // The drawer closes by itself; then the watchers are told to stop.
    void StopWatchers() {
        Sleep(soak::kAutoCloseMs + 2000);
        SetEvent(m_stop.get());
        while (!m_running.empty()) {
            if (WaitForSingleObject(m_running.front().process, 30000) != WAIT_OBJECT_0) {
                Fail("watcher " + std::to_string(m_running.front().slot) + " did not stop");
                m_running.front().hung = true;
                Kill(m_running.front(), "hung");
            }
            Ended(0);
        }
    }

    // No lost change: open and closed in turn within each session of every process, and each
    // watcher session told of as many openings as the controller made meanwhile.
    void CheckChanges() {
        std::vector<std::string> problems;
        long changes = 0;
        long sessions = 0;
        for (const soak::Incarnation& inc : m_done) {
            const std::string name = (inc.watcher ? "watcher " : "worker ") +
                                     std::to_string(inc.slot) + "." + std::to_string(inc.number);
            problems.clear();
            soak::CheckAlternation(inc, &problems);
            for (const std::string& p : problems) Fail(name + " " + p);
            changes += static_cast<long>(inc.changes.size());
            for (const soak::Watch& w : inc.watches) {
                if (w.openingsFrom < 0 || w.openingsTo < 0) {
                    Fail(name + ": the simulator's count could not be read");
                    continue;
                }
                long kills = 0;
                for (long long at : m_ownerKills) kills += at >= w.from && at <= w.to;
                std::string why;
                if (!soak::WatchExplained(w, kills, &why)) Fail(name + " lost changes: " + why);
                ++sessions;
            }
        }
        problems.clear();
        soak::CheckRefusals(m_done, &problems);
        for (const std::string& p : problems) Fail(p);
        printf(
            "soak: %ld changes reported to %zu processes; %ld watcher sessions checked against "
            "the controller\n",
            changes, m_done.size(), sessions);
    }

    void Check() {
        soak::Accounting a;
        long refusals = 0;
        long cycles = 0;
        for (const soak::Incarnation& inc : m_done) {
            const std::string name = (inc.watcher ? "watcher " : "worker ") +
                                     std::to_string(inc.slot) + "." + std::to_string(inc.number);
            cycles += inc.cycles;
            refusals += inc.openRefusals;
            for (const std::string& v : inc.violations) Fail(name + ": " + v);
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
                Fail(name + " ended with status " + text);
            }
            if (inc.watcher) continue;
            if (!inc.done) Fail(name + " did not finish its cycles");
            // Handles: the first cycle creates what lives as long as the process; after it
            // nothing may accumulate.
            if (inc.done && inc.cycles >= 10) {
                const long growth = inc.endHandles - inc.warmHandles;
                m_handleReport += " " + name + ":" + std::to_string(inc.warmHandles) + "->" +
                                  std::to_string(inc.endHandles);
                if (growth > 3) {
                    Fail(name + " grew from " + std::to_string(inc.warmHandles) + " to " +
                         std::to_string(inc.endHandles) + " handles over " +
                         std::to_string(inc.cycles) + " cycles");
                }
            }
        }
        printf(
            "soak: %ld cycles in %zu processes, %zu owner and %d listener kills, %ld opens "
            "refused with 456\n",
            cycles, m_done.size(), m_ownerKills.size(), m_listenerKills, refusals);
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
        CheckChanges();

        // The counts of the whole run, then the drawer still opens.
        client::DrawerClient session;
        session.Create();
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
            // The drawer-open counter follows the good openings by the same rule.
            const long long drawerOpens = session.DrawerOpenCount();
            if (drawerOpens < a.Good() || drawerOpens > a.Good() + a.inFlight) {
                Fail("the drawer-open counter " + std::to_string(drawerOpens) +
                     " does not match the good openings: " + why);
            }
            printf("soak: %s; drawer-open counter %lld; communication errors %lld\n", why.c_str(),
                   drawerOpens, counts["CommunicationErrorCount"]);
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
        if (!m_violations.empty()) {
            FILE* log = fopen((m_dir + "\\supervisor.log").c_str(), "w");
            if (log) {
                fputs(m_log.c_str(), log);
                fclose(log);
            }
        } else {
            WIN32_FIND_DATAA found;
            HANDLE find = FindFirstFileA((m_dir + "\\*.log").c_str(), &found);
            if (find != INVALID_HANDLE_VALUE) {
                do {
                    DeleteFileA((m_dir + "\\" + found.cFileName).c_str());
                } while (FindNextFileA(find, &found));
                FindClose(find);
            }
            RemoveDirectoryA(m_dir.c_str());
        }
        return m_violations.empty() ? 0 : 1;
    }

    Options m_o;
    std::mt19937 m_rng;
    std::string m_dir;
    std::string m_stopName;
    fw::UniqueKernel m_stop;
    std::vector<int> m_remaining;
    std::vector<int> m_incarnations;
    std::vector<Running> m_running;
    std::vector<soak::Incarnation> m_done;
    std::vector<DWORD> m_takeovers;
    std::vector<long long> m_ownerKills;  // when
    std::vector<std::string> m_violations;
    std::string m_handleReport;
    std::string m_log;  // the kills, written beside the journals when the run fails
    int m_workers = 0;
    int m_watchersStarted = 0;
    int m_listenerKills = 0;
};

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc >= 2 && strcmp(argv[1], "worker") == 0) return soak::RunWorker(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "watcher") == 0) return soak::RunWatcher(argc, argv);
    Options o;
    if (argc < 2 || strcmp(argv[1], "run") != 0 || !ParseOptions(argc, argv, &o)) {
        fprintf(stderr,
                "usage: soak_driver run [--processes N] [--cycles N] [--kills N] "
                "[--listener-kills N] [--unclaimed N] [--watchers N] [--kill-every MIN-MAX] "
                "[--seed N] [--mixed EXE --mixed-out DIR]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = Supervisor(o).Run();
    CoUninitialize();
    return result;
}
