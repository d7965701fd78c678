// What one benchmark run measured, and how it is printed: a table with the median and the
// 95th percentile of every figure, its floor where it has one, the goals, and one
// "BENCH <name> <value>" line per figure.
#pragma once

#include <string>
#include <vector>

#include "bench/figures.h"
#include "bench/floors.h"

namespace bench {

struct FanoutResult {
    Samples samples;              // change -> the last of all processes saw it
    std::vector<int> lastSlot;    // how often each process was the last
    std::vector<double> medians;  // median per process; slot 0 owns the port
};

// Per window, % of one core: GetProcessTimes (the figure), the Linux run time of the process's
// threads, the wineserver's run time. The two /proc series are empty when not available.
struct IdleResult {
    Samples outcome;  // no samples: only failures
    std::vector<double> windowPct;
    std::vector<double> windowRunPct;
    std::vector<double> windowServerPct;
    double cpuMicros = 0;  // GetProcessTimes over all windows
    double runMicros = 0;  // Linux run time over all windows
    double serverMicros = 0;
    double wallMicros = 0;
    std::vector<double> threadRunMicros;  // Linux run time per thread, creation order
    std::vector<double> threadTimeslices;
    double serverBasePct = -1;  // wineserver before the device was opened; <0 unknown
};

struct Results {
    LinkTimings timings;
    int idleSeconds = 0;
    std::vector<std::string> measured;  // figures that ran, by their selector names
    Samples openService, closeService;
    Samples events;      // change -> SOStatusUpdate, one process
    Samples openDrawer;  // port owner
    Samples nonOwner;
    FanoutResult fanout;
    IdleResult idle;

    bool Ran(const std::string& figure) const;
    int Failures() const;
};

// Prints the table, the notes and the BENCH lines to standard output.
void PrintReport(const Results& r);

}  // namespace bench
