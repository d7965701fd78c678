// The soak's supervisor (docs/reliability.md, "Soak", lists what it checks): starts watchers and
// workers (tests/soak/soak_worker.h) on one simulated drawer, kills port owners and listeners at
// random, replaces them, and judges the journals and the statistics at the end.
//   soak_driver run [--processes N] [--cycles N] [--kills N] [--kill-every MIN-MAX] [--seed N]
//                   [--listener-kills N] [--unclaimed N] [--watchers N]
//                   [--mixed OTHER_DRIVER --mixed-out OTHER_OUT_DIR]
// --kills: port owners to kill; --listener-kills: other processes to kill; --unclaimed: workers
// that never claim; --mixed: odd worker slots run the other bitness's driver (its modules in
// OTHER_OUT_DIR) on a device set up in both registry views.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "framework/module.h"
#include "framework/wide_text.h"
#include "ras/ras_names.h"
#include "stats/stat_names.h"
#include "tools/client/drawer_client.h"
#include "tests/soak/soak_journal.h"
#include "tests/soak/soak_worker.h"
#include "tests/win/scratch_device.h"
#include "tests/win/sim_control.h"

namespace {

using soak::kDevice;
using soak::kSim;
constexpr DWORD kKilledCode = 0xDEAD;
constexpr DWORD kTakeoverMs = 20000;
constexpr DWORD kNoProgressMs = 120000;

struct Options {
    int processes = 8, cycles = 200, kills = 16, listenerKills = 16, unclaimed = -1, watchers = 2;
    unsigned long killMin = 1500, killMax = 5000;
    uint32_t seed = GetTickCount();
    std::string mixedDriver, mixedOut;  // the other build's soak_driver.exe and its modules
};

bool ParseOptions(int argc, char** argv, Options* o) {
    const std::map<std::string, int*> numbers = {
        {"--processes", &o->processes}, {"--cycles", &o->cycles},
        {"--kills", &o->kills},         {"--listener-kills", &o->listenerKills},
        {"--unclaimed", &o->unclaimed}, {"--watchers", &o->watchers}};
    if (argc % 2 != 0) return false;
    for (int i = 2; i < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        char* end = nullptr;
        const long n = strtol(v.c_str(), &end, 10);
        if (auto it = numbers.find(a); it != numbers.end()) {
            if (*end != '\0' || n < 0 || n > 100000) return false;
            *it->second = static_cast<int>(n);
        } else if (a == "--mixed" || a == "--mixed-out") {
            (a == "--mixed" ? o->mixedDriver : o->mixedOut) = v;
        } else if (a == "--seed") {
            o->seed = static_cast<uint32_t>(strtoul(v.c_str(), nullptr, 10));
        } else if (a != "--kill-every" ||
                   sscanf(v.c_str(), "%lu-%lu", &o->killMin, &o->killMax) != 2 ||
                   o->killMin > o->killMax) {
            return false;
        }
    }
    if (o->unclaimed < 0) o->unclaimed = o->processes / 2;
    return o->processes >= 1 && o->processes <= 60 && o->cycles >= 1 &&
           o->unclaimed <= o->processes && o->watchers <= 8 &&
           o->mixedDriver.empty() == o->mixedOut.empty();
}

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

template <class... A>
std::string Format(const char* format, A... args) {
    char text[1024];
    snprintf(text, sizeof(text), format, args...);
    return text;
}

// "worker 3.1": the second process of slot 3.
template <class Process>
std::string NameOf(const Process& p) {
    return Format("%s %d.%d", p.watcher ? "watcher" : "worker", p.slot, p.number);
}

bool OwnsThePort(DWORD pid) {
    return testproc::PortOwnerProcessId() == pid;
}

struct Running {
    bool watcher = false, killed = false, hung = false;
    int slot = 0, number = 0;  // watchers: their number, and 0
    HANDLE process = nullptr;
    DWORD pid = 0, lastProgress = 0;
    std::string journal;
    long long killedAt = -1, openingsAtKill = -1;
    size_t journalSize = 0;
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
            "soak: %d processes x %d cycles (%d never claim), %d watchers, %d owner and %d "
            "listener kills every %lu-%lu ms, seed %u\n",
            m_o.processes, m_o.cycles, m_o.unclaimed, m_o.watchers, m_o.kills, m_o.listenerKills,
            m_o.killMin, m_o.killMax, m_o.seed);
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
        for (const auto& [name, ms] : {std::pair{"DetectDelay_Time", DWORD{20}},
                                       {"Command_Timeout", soak::kCommandTimeout},
                                       {"SendReady_Timeout", soak::kSendReadyTimeout},
                                       {"SendDone_Timeout", soak::kSendDoneTimeout},
                                       {"OpenDrawer_Timeout", soak::kOpenDrawerTimeout}}) {
            device.SetNumber(name, ms);
        }
        if (!m_stop || Sim(kSim, "reset") != 0 ||
            Sim(kSim, "autoclose " + std::to_string(soak::kAutoCloseMs)) != 0) {
            Fail("the simulator or the stop event cannot be set up");
            return Report();
        }
        // Held, the statistics and reliability blocks keep the whole run's counts in memory.
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
        for (int w = 0; w < m_o.watchers; ++w) Start(0, true);
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

    // A worker for `slot` that runs the slot's remaining cycles, or the next watcher.
    void Start(int slot, bool watcher = false) {
        Running r;
        r.watcher = watcher;
        r.slot = watcher ? m_watchersStarted++ : slot;
        r.number = watcher ? 0 : m_incarnations[static_cast<size_t>(slot)]++;
        r.journal = Format("%s\\%s-%d-%d.log", m_dir.c_str(), watcher ? "watcher" : "worker",
                           r.slot, r.number);
        const bool other = !watcher && !m_o.mixedDriver.empty() && slot % 2 == 1;
        const std::string self = fw::WideToUtf8(fw::ModulePath(nullptr));
        std::string line =
            Format("\"%s\" %s %s \"%s\" ", other ? m_o.mixedDriver.c_str() : self.c_str(),
                   watcher ? "watcher" : "worker", kDevice, r.journal.c_str());
        if (watcher) {
            line += Format("%s %u", m_stopName.c_str(), m_o.seed + 500000u + r.slot);
        } else {
            line += Format("%d %d %u %d %d", slot, m_remaining[static_cast<size_t>(slot)],
                           m_o.seed + static_cast<uint32_t>(slot * 1000 + r.number), m_o.processes,
                           slot < m_o.processes - m_o.unclaimed ? 1 : 0);
        }
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi)) {
            Fail("cannot start: " + line);
            return;
        }
        CloseHandle(pi.hThread);
        m_log += Format("start %s pid %lu%s at %lld\n", NameOf(r).c_str(), pi.dwProcessId,
                        other ? " (other build)" : "", soak::Now());
        r.process = pi.hProcess;
        r.pid = pi.dwProcessId;
        r.lastProgress = GetTickCount();
        m_running.push_back(r);
        m_workers += watcher ? 0 : 1;
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

    // Reads back an ended process's journal and replaces a killed one.
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
            if (r.killed && m_workers > 0) Start(0, true);
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
        m_log += Format("%s %s pid %lu at %lld\n", why, NameOf(r).c_str(), r.pid, r.killedAt);
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
                Fail(NameOf(r) + " made no progress for " + std::to_string(kNoProgressMs / 1000) +
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

    // No lost change: alternation within sessions, watcher sessions against the controller.
    void CheckChanges() {
        long changes = 0, sessions = 0;
        for (const soak::Incarnation& inc : m_done) {
            const std::string name = NameOf(inc);
            soak::CheckAlternation(inc, name + " ", &m_violations);
            changes += static_cast<long>(inc.changes.size());
            for (const soak::Watch& w : inc.watches) {
                long kills = 0;
                for (long long at : m_ownerKills) kills += at >= w.from && at <= w.to;
                std::string why;
                if (w.openingsFrom < 0 || w.openingsTo < 0) {
                    Fail(name + ": the simulator's count could not be read");
                } else if (++sessions, !soak::WatchExplained(w, kills, &why)) {
                    Fail(name + " lost changes: " + why);
                }
            }
        }
        soak::CheckRefusals(m_done, &m_violations);
        printf(
            "soak: %ld changes reported to %zu processes; %ld watcher sessions checked against "
            "the controller\n",
            changes, m_done.size(), sessions);
    }

    void Check() {
        soak::Accounting a;
        long refusals = 0, cycles = 0;
        std::map<long, long> results;
        std::map<std::string, long> longest;
        for (const soak::Incarnation& inc : m_done) {
            const std::string name = NameOf(inc);
            cycles += inc.cycles;
            refusals += inc.openRefusals;
            for (const auto& [r, n] : inc.openDrawerResults) results[r] += n;
            for (const auto& [call, ms] : inc.longestMs)
                longest[call] = std::max(longest[call], ms);
            for (const std::string& v : inc.violations) Fail(name + ": " + v);
            (inc.killed ? a.killedGood : a.survivorsGood) += inc.goodOpens;
            (inc.killed ? a.killedFailed : a.survivorsFailed) += inc.failedOpens;
            if (inc.killed) {
                a.inFlight += inc.inFlight;
                continue;
            }
            if (inc.exitCode != 0 && inc.violations.empty()) {
                Fail(Format("%s ended with status 0x%08lX", name.c_str(), inc.exitCode));
            }
            if (inc.watcher) continue;
            if (!inc.done) Fail(name + " did not finish its cycles");
            // Handles: nothing may accumulate after the first cycle.
            if (inc.done && inc.cycles >= 10) {
                m_handleReport +=
                    Format(" %s:%ld->%ld", name.c_str(), inc.warmHandles, inc.endHandles);
                if (inc.endHandles - inc.warmHandles > 3) {
                    Fail(Format("%s grew from %ld to %ld handles over %d cycles", name.c_str(),
                                inc.warmHandles, inc.endHandles, inc.cycles));
                }
            }
        }
        std::string text;
        for (const auto& [r, n] : results) text += Format(" %ld:%ld", r, n);
        text += "; longest calls (ms):";
        for (const auto& [call, ms] : longest) text += Format(" %s %ld", call.c_str(), ms);
        const DWORD takeover =
            m_takeovers.empty() ? 0 : *std::max_element(m_takeovers.begin(), m_takeovers.end());
        printf(
            "soak: %ld cycles in %zu processes, %zu owner and %d listener kills (longest "
            "takeover %lu ms), %ld opens refused with 456; OpenDrawer result:calls%s; handles "
            "after the first cycle -> at end:%s\n",
            cycles, m_done.size(), m_ownerKills.size(), m_listenerKills, takeover, refusals,
            text.c_str(), m_handleReport.c_str());
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
                Fail(Format("the drawer-open counter %lld does not match the good openings: %s",
                            drawerOpens, why.c_str()));
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
            std::ofstream(m_dir + "\\supervisor.log") << m_log;
            return 1;
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
        return 0;
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
        fprintf(stderr, "usage: soak_driver run [--OPTION VALUE]... (see soak_driver.cpp)\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = Supervisor(o).Run();
    CoUninitialize();
    return result;
}
