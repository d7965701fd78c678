// The orchestrating process: sets up the device and the controller, measures each figure in
// turn (starting its helper processes where a figure needs more than one process), and prints
// the report. Figures run one after the other, never at the same time.
#include "bench/orchestrator.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "bench/device.h"
#include "bench/report.h"
#include "bench/roles.h"
#include "bench/stats.h"
#include "framework/module.h"
#include "framework/wide_text.h"
#include "util/opos_constants.h"

namespace bench {
namespace {

constexpr int kOpenCloseCount = 10;
constexpr int kStatusEventCount = 40;
constexpr int kOpenDrawerCount = 50;
constexpr int kFanoutProcesses = 8;
constexpr int kFanoutRounds = 30;
constexpr int kDefaultIdleSeconds = 60;
constexpr DWORD kChildStartBoundMs = 60000;
constexpr char kAllFigures[] = "openclose,events,opendrawer,nonowner,fanout,idle";

void Progress(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Progress(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("# ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    fflush(stdout);
}

std::vector<std::string> SelectedFigures() {
    const char* text = getenv("BENCH_FIGURES");
    std::stringstream list(text != nullptr && text[0] != '\0' ? text : kAllFigures);
    std::vector<std::string> figures;
    for (std::string name; std::getline(list, name, ',');) {
        if (!name.empty()) figures.push_back(name);
    }
    return figures;
}

fw::UniqueKernel Spawn(const std::string& arguments) {
    std::wstring line = L"\"" + fw::ModulePath(nullptr) + L"\" " + fw::Utf8ToWide(arguments);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return fw::UniqueKernel();
    }
    CloseHandle(pi.hThread);
    return fw::UniqueKernel(pi.hProcess);
}

bool Ended(HANDLE process) {
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

DWORD ExitCode(HANDLE process) {
    DWORD code = 999;
    GetExitCodeProcess(process, &code);
    return code;
}

// Waits (pumping, so this process's own service can deliver its events) until the child in
// `slot` is ready or has failed or ended.
bool WaitReady(SharedArea& area, int slot, HANDLE process, DWORD boundMs = kChildStartBoundMs) {
    PumpUntil([&] { return area->state[slot] != kSlotStarting || Ended(process); }, boundMs,
              {area.reported(), process});
    return area->state[slot] == kSlotReady;
}

// OpenDrawer from a second process while this one owns the port.
Samples MeasureNonOwner(SharedArea& area) {
    Samples samples;
    area->state[1] = kSlotStarting;
    area->samples = 0;
    area->sampleFailures = 0;
    fw::UniqueKernel child = Spawn("nonowner " + std::to_string(kOpenDrawerCount));
    if (!child) {
        samples.Fail("the process could not be started");
        return samples;
    }
    if (!WaitReady(area, 1, child.get())) {
        samples.Fail("the process could not open the device (state " +
                     std::to_string(area->state[1]) + ")");
        return samples;
    }
    PumpUntil([&] { return Ended(child.get()); }, kOpenDrawerCount * kWaitBoundMs, {child.get()});
    for (LONG i = 0; i < area->samples; ++i) samples.micros.push_back(area->sampleMicros[i]);
    for (LONG i = 0; i < area->sampleFailures; ++i) samples.Fail("OpenDrawer in the process");
    if (!Ended(child.get()) || ExitCode(child.get()) > 1) {
        samples.Fail("the process ended with " + std::to_string(ExitCode(child.get())));
    }
    return samples;
}

// Drawer changes seen by every process with the device open; each sample is the time from the
// change to the last process's SOStatusUpdate.
void MeasureFanoutRounds(const Session& session, SimDriver& sim, SharedArea& area,
                         FanoutResult* result) {
    SharedBlock& b = area.block();
    std::vector<std::vector<double>> perSlot(kFanoutProcesses);
    result->lastSlot.assign(kFanoutProcesses, 0);
    if (!EnsureClosed(session, sim)) {
        result->samples.Fail("the drawer could not be closed at the controller");
        return;
    }
    for (int r = 0; r < kFanoutRounds; ++r) {
        const bool open = r % 2 == 0;
        const LONG want = open ? CASH_SUE_DRAWEROPEN : CASH_SUE_DRAWERCLOSED;
        std::vector<LONG> from(kFanoutProcesses);
        for (int p = 0; p < kFanoutProcesses; ++p) from[p] = b.seen[p];
        const SimDriver::Change change = sim.SetDrawer(open);
        // Each process's first update after the change with the wanted value.
        std::vector<int> found(kFanoutProcesses, -1);
        auto allSeen = [&] {
            bool all = true;
            for (int p = 0; p < kFanoutProcesses; ++p) {
                for (LONG i = from[p]; found[p] < 0 && i < b.seen[p]; ++i) {
                    if (b.seenValue[p][i] == want) found[p] = static_cast<int>(i);
                }
                all = all && found[p] >= 0;
            }
            return all;
        };
        if (!change.changed) {
            result->samples.Fail("the controller's drawer was not in the expected state");
        } else if (!PumpUntil(allSeen, kWaitBoundMs, {area.reported()})) {
            result->samples.Fail("not every process saw the change within the bound");
        } else {
            double latest = 0;
            int latestSlot = 0;
            bool good = true;
            for (int p = 0; p < kFanoutProcesses; ++p) {
                const int i = found[p];
                good = good && b.seenOpened[p][i] == want && b.seenOnAppThread[p][i] == 1;
                const double t = static_cast<double>(b.seenMicros[p][i] - change.at);
                perSlot[p].push_back(t);
                if (t > latest) {
                    latest = t;
                    latestSlot = p;
                }
            }
            if (!good) {
                result->samples.Fail(
                    "a process saw the update without the new DrawerOpened, "
                    "or not on its application's thread");
            } else {
                result->samples.micros.push_back(latest);
                ++result->lastSlot[latestSlot];
            }
        }
        PumpFor(kSettleMs);
    }
    for (const std::vector<double>& times : perSlot) {
        result->medians.push_back(Summarize(times).median);
    }
}

// Starts the other seven processes one after the other (two opens at the same moment would
// race for the reply to their status queries), measures, and lets them close.
FanoutResult MeasureFanout(Session& session, SimDriver& sim, SharedArea& area) {
    FanoutResult result;
    area->seen[0] = 0;
    RecordStatusInto(session, area, 0);
    std::vector<fw::UniqueKernel> peers;
    bool ready = true;
    for (int slot = 1; slot < kFanoutProcesses && ready; ++slot) {
        area->state[slot] = kSlotStarting;
        area->seen[slot] = 0;
        peers.push_back(
            Spawn("peer " + std::to_string(slot) + " " + std::to_string(GetCurrentProcessId())));
        ready = peers.back() && WaitReady(area, slot, peers.back().get());
        if (!ready) result.samples.Fail("peer " + std::to_string(slot) + " did not open");
    }
    if (ready) MeasureFanoutRounds(session, sim, area, &result);
    SetEvent(area.stop());
    for (const fw::UniqueKernel& peer : peers) {
        if (peer) PumpUntil([&] { return Ended(peer.get()); }, kWaitBoundMs, {peer.get()});
    }
    ResetEvent(area.stop());
    session.co().onEvent = nullptr;
    EnsureClosed(session, sim);
    return result;
}

// A process of its own with the device open and enabled as its only user.
IdleResult MeasureIdle(SharedArea& area, int seconds) {
    IdleResult idle;
    area->state[1] = kSlotStarting;
    area->windows = 0;
    area->idleThreads = 0;
    const std::string token = "bench-idle-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(sim::NowMicros());
    fw::UniqueKernel child = Spawn("idle " + std::to_string(seconds) + " " + token);
    const DWORD baselineMs = static_cast<DWORD>(seconds) * 1000 / kIdleWindows;
    if (!child || !WaitReady(area, 1, child.get(), kChildStartBoundMs + baselineMs)) {
        idle.outcome.Fail("the idle process could not open the device");
        return idle;
    }
    PumpUntil([&] { return Ended(child.get()); },
              static_cast<DWORD>(seconds) * 1000 + kChildStartBoundMs, {child.get()});
    bool runKnown = true, serverKnown = true;
    std::vector<double> runPct, serverPct;
    for (LONG w = 0; w < area->windows; ++w) {
        const double wall = area->windowWallMicros[w];
        idle.wallMicros += wall;
        idle.cpuMicros += area->windowCpuMicros[w];
        idle.runMicros += area->windowRunMicros[w];
        idle.serverMicros += area->windowServerMicros[w];
        idle.windowPct.push_back(100.0 * area->windowCpuMicros[w] / wall);
        runPct.push_back(100.0 * area->windowRunMicros[w] / wall);
        serverPct.push_back(100.0 * area->windowServerMicros[w] / wall);
        runKnown = runKnown && area->windowRunMicros[w] >= 0;
        serverKnown = serverKnown && area->windowServerMicros[w] >= 0;
    }
    if (runKnown) idle.windowRunPct = runPct;
    if (serverKnown) idle.windowServerPct = serverPct;
    if (area->windows < kIdleWindows || area->state[1] != kSlotFinished) {
        idle.outcome.Fail("the idle process ended early");
    }
    for (LONG t = 0; t < area->idleThreads; ++t) {
        idle.threadRunMicros.push_back(area->threadRunMicros[t]);
        idle.threadTimeslices.push_back(area->threadTimeslices[t]);
    }
    if (area->serverBaseMicros >= 0 && area->serverBaseWallMicros > 0) {
        idle.serverBasePct = 100.0 * area->serverBaseMicros / area->serverBaseWallMicros;
    }
    return idle;
}

// The figures that need this process to own the port with the device open and enabled.
bool MeasureAsOwner(SimDriver& sim, SharedArea& area, Results* r) {
    Session session;
    HRESULT hr = S_OK;
    if (!CreateSession(session, &hr) || session.Open(kDeviceNameW) != OPOS_SUCCESS ||
        Enable(session) != OPOS_SUCCESS) {
        fprintf(stderr, "bramwick_bench: cannot open and enable %s (0x%08lX)\n", kDeviceName,
                static_cast<unsigned long>(hr));
        return false;
    }
    sim.ReadTimings(&r->timings);  // the baud rate is the open port's
    if (r->Ran("events")) {
        Progress("status events in one process, %d changes", kStatusEventCount);
        r->events = MeasureStatusEvents(session, sim, kStatusEventCount);
    }
    if (r->Ran("opendrawer")) {
        Progress("OpenDrawer in the port owner, %d calls", kOpenDrawerCount);
        r->openDrawer = MeasureOpenDrawer(session, sim, kOpenDrawerCount);
    }
    if (r->Ran("nonowner")) {
        Progress("OpenDrawer in a process that does not own the port, %d calls", kOpenDrawerCount);
        r->nonOwner = MeasureNonOwner(area);
    }
    if (r->Ran("fanout")) {
        Progress("fan-out to %d processes, %d changes", kFanoutProcesses, kFanoutRounds);
        r->fanout = MeasureFanout(session, sim, area);
    }
    session.Close();
    return true;
}

}  // namespace

int RunOrchestrator() {
    Results r;
    const char* idleText = getenv("BENCH_IDLE_SECONDS");
    r.idleSeconds =
        idleText != nullptr && atoi(idleText) > 0 ? atoi(idleText) : kDefaultIdleSeconds;
    r.measured = SelectedFigures();
    // The fan-out figure is a ratio to the one-process figure of the same run.
    if (r.Ran("fanout") && !r.Ran("events")) r.measured.push_back("events");
    r.timings.detectDelayMs = kDetectDelayMs;
    r.timings.commandBytes = kCommandBytes;

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    SharedArea area;
    if (!area.Open()) {
        fprintf(stderr, "bramwick_bench: cannot create the shared block\n");
        return 2;
    }
    ZeroMemory(&area.block(), sizeof(SharedBlock));
    ResetEvent(area.stop());
    BenchDevice device;
    SimDriver sim;
    if (!device.Create() || sim.Open(kSimName) != 0 || !sim.Reset()) {
        fprintf(stderr, "bramwick_bench: cannot set up the device %s or the controller %s\n",
                kDeviceName, kSimName);
        device.Remove();
        return 2;
    }
    sim.ReadTimings(&r.timings);

    if (r.Ran("openclose")) {
        Progress("OpenService and Close, %d times", kOpenCloseCount);
        MeasureOpenClose(kOpenCloseCount, &r.openService, &r.closeService);
    }
    if ((r.Ran("events") || r.Ran("opendrawer") || r.Ran("nonowner") || r.Ran("fanout")) &&
        !MeasureAsOwner(sim, area, &r)) {
        device.Remove();
        return 2;
    }
    if (r.Ran("idle")) {
        Progress("idle CPU of a process with the device open and enabled, %d s", r.idleSeconds);
        r.idle = MeasureIdle(area, r.idleSeconds);
    }
    device.Remove();

    PrintReport(r);
    CoUninitialize();
    return r.Failures() == 0 ? 0 : 1;
}

}  // namespace bench
