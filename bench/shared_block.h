// What the benchmark's processes tell each other: one named mapping with a fixed layout and two
// named events. The orchestrating process is slot 0; the processes it starts take slots 1 to 7.
// Times are sim::NowMicros(), the performance counter every process of the machine shares.
#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/handles.h"

namespace bench {

constexpr int kMaxProcesses = 8;
constexpr int kMaxRounds = 128;   // status updates one process can report
constexpr int kMaxSamples = 128;  // OpenDrawer times of the process that does not own the port
constexpr int kMaxWindows = 16;   // idle measurement windows
constexpr int kMaxThreads = 32;   // threads of the idle process that are reported

struct SharedBlock {
    // Slot state: a SlotState (roles.h): starting, ready, finished, or how it failed.
    volatile LONG state[kMaxProcesses];
    // Status updates seen by each process, in order: arrival time, status, DrawerOpened read
    // inside the callback, and whether the call came on the application's thread.
    volatile LONG seen[kMaxProcesses];
    uint64_t seenMicros[kMaxProcesses][kMaxRounds];
    LONG seenValue[kMaxProcesses][kMaxRounds];
    LONG seenOpened[kMaxProcesses][kMaxRounds];
    LONG seenOnAppThread[kMaxProcesses][kMaxRounds];

    // OpenDrawer from the process that does not own the port.
    volatile LONG samples;
    volatile LONG sampleFailures;
    double sampleMicros[kMaxSamples];

    // Idle process: per window, wall time, the CPU time of the process by GetProcessTimes, the
    // Linux run time of its threads and the wineserver's run time; over all windows, each
    // thread's run time and timeslices; the wineserver's run time in one window before the
    // device was opened. Negative: not available.
    volatile LONG windows;
    double windowWallMicros[kMaxWindows];
    double windowCpuMicros[kMaxWindows];
    double windowRunMicros[kMaxWindows];
    double windowServerMicros[kMaxWindows];
    LONG idleThreads;
    double threadRunMicros[kMaxThreads];
    double threadTimeslices[kMaxThreads];
    double serverBaseWallMicros;
    double serverBaseMicros;
};

// The mapping and the events, opened (or created) by every benchmark process.
class SharedArea {
public:
    bool Open();
    SharedBlock* operator->() const { return m_block; }
    SharedBlock& block() const { return *m_block; }
    // Auto-reset: set by a child after each report, so the orchestrator looks again.
    HANDLE reported() const { return m_reported.get(); }
    // Manual-reset: set by the orchestrator when the children are to close and end.
    HANDLE stop() const { return m_stop.get(); }
    void Report() const { SetEvent(m_reported.get()); }

private:
    fw::UniqueKernel m_mapping;
    fw::UniqueMappedView m_view;
    SharedBlock* m_block = nullptr;
    fw::UniqueKernel m_reported;
    fw::UniqueKernel m_stop;
};

}  // namespace bench
