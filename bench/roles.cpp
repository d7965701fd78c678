// The processes the orchestrator starts.
#include "bench/roles.h"

#include <cstdlib>
#include <memory>

#include "bench/cpu_time.h"
#include "bench/device.h"
#include "bench/figures.h"
#include "bench/sim_driver.h"
#include "util/opos_constants.h"

namespace bench {
namespace {

struct Recorder {
    Session* session;
    SharedArea* area;
    int slot;
    DWORD appThread;
};

void Record(const StatusCall& call, Recorder* r) {
    SharedBlock& b = r->area->block();
    const LONG index = b.seen[r->slot];
    if (index < kMaxRounds) {
        b.seenMicros[r->slot][index] = call.stamp;
        b.seenValue[r->slot][index] = call.number;
        b.seenOpened[r->slot][index] = r->session->DrawerOpened();
        b.seenOnAppThread[r->slot][index] = call.threadId == r->appThread ? 1 : 0;
        InterlockedExchange(&b.seen[r->slot], index + 1);  // publishes the entries above
    }
    r->area->Report();
}

// COM, the shared area, and the service opened and enabled; the slot says how far it got.
class Child {
public:
    explicit Child(int slot) : m_slot(slot) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_areaOpen = m_area.Open();
    }
    ~Child() {
        m_session.reset();
        CoUninitialize();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Start() {
        if (!m_areaOpen) return false;
        m_session = std::make_unique<Session>();
        HRESULT hr = S_OK;
        if (!CreateSession(*m_session, &hr)) return Fail(kSlotNoService);
        if (m_session->Open(kDeviceNameW) != OPOS_SUCCESS) return Fail(kSlotOpenFailed);
        if (Enable(*m_session) != OPOS_SUCCESS) return Fail(kSlotEnableFailed);
        return true;
    }
    bool Fail(SlotState state) {
        Set(state);
        return false;
    }
    void Set(SlotState state) {
        if (!m_areaOpen) return;  // nobody to tell: the orchestrator sees the process end
        InterlockedExchange(&m_area->state[m_slot], state);
        m_area.Report();
    }
    int Finish(int code) {
        m_session->Close();
        Set(kSlotFinished);
        return code;
    }
    Session& session() { return *m_session; }
    SharedArea& area() { return m_area; }

private:
    int m_slot;
    SharedArea m_area;
    bool m_areaOpen = false;
    std::unique_ptr<Session> m_session;
};

}  // namespace

void RecordStatusInto(Session& session, SharedArea& area, int slot) {
    // Lives as long as the process: the session keeps calling back until it is closed.
    auto* recorder = new Recorder{&session, &area, slot, GetCurrentThreadId()};
    session.co().onEvent = [recorder](const StatusCall& call) { Record(call, recorder); };
}

int RunPeer(int slot, DWORD orchestratorPid) {
    if (slot < 1 || slot >= kMaxProcesses) return 2;
    // A peer outlives nothing: it ends with the orchestrator if that ends without telling it.
    fw::UniqueKernel orchestrator(OpenProcess(SYNCHRONIZE, FALSE, orchestratorPid));
    if (!orchestrator) return 2;
    Child child(slot);
    if (!child.Start()) return 3;
    RecordStatusInto(child.session(), child.area(), slot);
    child.Set(kSlotReady);
    const HANDLE stop = child.area().stop();
    PumpUntil(
        [&] {
            return WaitForSingleObject(stop, 0) == WAIT_OBJECT_0 ||
                   WaitForSingleObject(orchestrator.get(), 0) == WAIT_OBJECT_0;
        },
        INFINITE - 1, {stop, orchestrator.get()});
    return child.Finish(0);
}

int RunNonOwner(int count) {
    if (count < 1 || count > kMaxSamples) return 2;
    SimDriver sim;
    const bool simOpened = sim.Open(kSimName) == 0;
    Child child(1);
    if (!simOpened) {
        child.Fail(kSlotNoSimulator);
        return 3;
    }
    if (!child.Start()) return 3;
    child.Set(kSlotReady);
    const Samples samples = MeasureOpenDrawer(child.session(), sim, count);
    SharedBlock& b = child.area().block();
    LONG n = 0;
    for (double v : samples.micros) b.sampleMicros[n++] = v;
    b.sampleFailures = samples.failures;
    InterlockedExchange(&b.samples, n);
    return child.Finish(samples.failures == 0 ? 0 : 1);
}

int RunIdle(int seconds, const std::string& token) {
    if (seconds < 1) return 2;
    const char* server = getenv("BENCH_WINESERVER_PID");
    const unsigned long serverPid = server != nullptr ? strtoul(server, nullptr, 10) : 0;
    const DWORD windowMs = static_cast<DWORD>(seconds) * 1000 / kIdleWindows;
    Child child(1);
    // What the wineserver does for the prefix's other processes: one window before the device
    // is opened.
    const double base0 = UnixProcessRunMicros(serverPid);
    const uint64_t baseWall0 = sim::NowMicros();
    PumpFor(windowMs);
    const uint64_t baseWall1 = sim::NowMicros();
    const double base1 = UnixProcessRunMicros(serverPid);
    if (!child.Start()) return 3;
    SharedBlock& b = child.area().block();
    b.serverBaseWallMicros = static_cast<double>(baseWall1 - baseWall0);
    b.serverBaseMicros = base0 >= 0 && base1 >= 0 ? base1 - base0 : -1;
    child.Set(kSlotReady);
    PumpFor(kIdleSettleMs);  // the open's own work is done; only the service's waits remain

    // The /proc readings stay outside the GetProcessTimes pairs, and this (the main) thread's
    // own run time is read closest to each window, so that neither counts the readings.
    const unsigned long selfPid = FindUnixPid(token);
    const std::vector<ThreadRun> runs0 = ThreadRuns(selfPid);
    for (int w = 0; w < kIdleWindows; ++w) {
        const double srv0 = UnixProcessRunMicros(serverPid);
        const RunSplit run0 = ReadRunsBefore(selfPid, selfPid);
        const double cpu0 = ProcessCpuMicros();
        const uint64_t wall0 = sim::NowMicros();
        PumpFor(windowMs);
        const uint64_t wall1 = sim::NowMicros();
        const double cpu1 = ProcessCpuMicros();
        const RunSplit run1 = ReadRunsAfter(selfPid, selfPid);
        const double srv1 = UnixProcessRunMicros(serverPid);
        b.windowWallMicros[w] = static_cast<double>(wall1 - wall0);
        b.windowCpuMicros[w] = cpu1 - cpu0;
        b.windowRunMicros[w] = RunBetween(run0, run1);
        b.windowServerMicros[w] = srv0 >= 0 && srv1 >= 0 ? srv1 - srv0 : -1;
        InterlockedExchange(&b.windows, w + 1);
    }
    // Per thread over the whole period (this includes the readings above, on the main thread),
    // matched by id: threads that lived through all of it.
    const std::vector<ThreadRun> runs1 = ThreadRuns(selfPid);
    LONG n = 0;
    for (const ThreadRun& after : runs1) {
        for (const ThreadRun& before : runs0) {
            if (before.tid != after.tid || n >= kMaxThreads) continue;
            b.threadRunMicros[n] = after.runMicros - before.runMicros;
            b.threadTimeslices[n] = after.timeslices - before.timeslices;
            ++n;
        }
    }
    b.idleThreads = n;
    return child.Finish(0);
}

}  // namespace bench
