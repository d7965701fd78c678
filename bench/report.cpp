// The benchmark's report.
#include "bench/report.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <utility>

#include "bench/device.h"
#include "bench/stats.h"
#include "ports/sim_controller.h"

namespace bench {
namespace {

// Goals of the figures that have one.
constexpr double kGoalOpenDrawerRatio = 1.02;
constexpr double kGoalEventRatio = 1.05;
constexpr double kGoalFanoutRatio = 1.2;
constexpr double kGoalIdleCpuPct = 0.05;

struct Row {
    std::string label;
    Summary summary;
    int failures = 0;
    double floor = 0;  // same unit as the samples; 0 when the row has no floor
    double scale = 1;  // divides the samples for display
    const char* unit = "ms";
};

void PrintRow(const Row& r) {
    const Summary& s = r.summary;
    printf("%-40s %4zu %10.3f %10.3f", r.label.c_str(), s.count, s.median / r.scale,
           s.p95 / r.scale);
    if (r.floor > 0 && s.count > 0) {
        printf(" %10.3f %8.4f %8.4f", r.floor / r.scale, s.median / r.floor, s.p95 / r.floor);
    } else {
        printf(" %10s %8s %8s", "-", "-", "-");
    }
    printf("  %s", r.unit);
    if (r.failures > 0) printf("  (%d failed)", r.failures);
    printf("\n");
}

double Ratio(double value, double by) {
    return value > 0 && by > 0 ? value / by : NAN;
}

// A figure's name as printed: BENCH_SUFFIX (for instance "_x86") tells the builds apart.
std::string FigureName(const char* name) {
    const char* suffix = getenv("BENCH_SUFFIX");
    return std::string(name) + (suffix != nullptr ? suffix : "");
}

std::string GoalText(const char* bareName, double value, double goal) {
    const std::string full = FigureName(bareName);
    const char* name = full.c_str();
    char text[160];
    if (std::isnan(value)) {
        snprintf(text, sizeof(text), "%s not measured", name);
    } else {
        snprintf(text, sizeof(text), "%s %.4f (goal <= %g: %s)", name, value, goal,
                 value <= goal ? "met" : "MISSED");
    }
    return text;
}

void PrintBench(const char* bareName, double value) {
    const std::string full = FigureName(bareName);
    const char* name = full.c_str();
    if (std::isnan(value)) {
        printf("BENCH %s nan\n", name);
    } else {
        printf("BENCH %s %.4f\n", name, value);
    }
}

void PrintSettings(const Results& r) {
    const LinkTimings& t = r.timings;
    printf("\nBramwick benchmark: device %s, simulated controller %s\n", kDeviceName, kSimName);
    printf(
        "settings: Port_Initialize_String %s (%u baud, 10 bits a byte), DetectDelay_Time %u "
        "ms, CommandType normal (%zu-byte commands), controller open-delay %u ms and "
        "reply-delay %u ms, every other value the product default (Trace_Enable on)\n",
        kPortSettings, t.baud, t.detectDelayMs, t.commandBytes, t.openDelayMs, t.replyDelayMs);
    printf(
        "floors: OpenDrawer %.3f ms = command %.3f + open-delay %u + frame %.3f + "
        "DetectDelay_Time %u; status event %.3f ms = frame + DetectDelay_Time; OpenService's "
        "status query %.3f ms = command + reply-delay + frame + DetectDelay_Time\n\n",
        OpenDrawerFloorMicros(t) / 1000, sim::WireTime(t.baud, t.commandBytes) / 1000.0,
        t.openDelayMs, sim::WireTime(t.baud, kFrameBytes) / 1000.0, t.detectDelayMs,
        StatusEventFloorMicros(t) / 1000, StatusQueryFloorMicros(t) / 1000);
}

void PrintIdleNotes(const IdleResult& idle) {
    if (idle.wallMicros <= 0) return;
    printf(
        "idle: %.1f s in %zu windows; GetProcessTimes %.3f ms (%.4f %% of one core; Wine "
        "counts it in 10 ms steps)",
        idle.wallMicros / 1e6, idle.windowPct.size(), idle.cpuMicros / 1000,
        100.0 * idle.cpuMicros / idle.wallMicros);
    if (!idle.windowRunPct.empty()) {
        printf("; Linux run time of its threads %.3f ms (%.4f %%)", idle.runMicros / 1000,
               100.0 * idle.runMicros / idle.wallMicros);
    }
    printf("\n");
    if (!idle.threadRunMicros.empty()) {
        printf("idle: per thread in creation order, ms/timeslices:");
        for (size_t t = 0; t < idle.threadRunMicros.size(); ++t) {
            printf(" %.3f/%.0f", idle.threadRunMicros[t] / 1000, idle.threadTimeslices[t]);
        }
        printf("\n");
    }
    if (!idle.windowServerPct.empty() && idle.serverBasePct >= 0) {
        printf(
            "idle: wineserver %.4f %% of one core before the device was opened, %.4f %% "
            "while it was open and idle\n",
            idle.serverBasePct, 100.0 * idle.serverMicros / idle.wallMicros);
    }
}

}  // namespace

bool Results::Ran(const std::string& figure) const {
    return std::find(measured.begin(), measured.end(), figure) != measured.end();
}

int Results::Failures() const {
    return openService.failures + closeService.failures + events.failures + openDrawer.failures +
           nonOwner.failures + fanout.samples.failures + idle.outcome.failures;
}

void PrintReport(const Results& r) {
    const double openDrawerFloor = OpenDrawerFloorMicros(r.timings);
    const double eventFloor = StatusEventFloorMicros(r.timings);
    const Summary os = Summarize(r.openService.micros);
    const Summary cs = Summarize(r.closeService.micros);
    const Summary od = Summarize(r.openDrawer.micros);
    const Summary odn = Summarize(r.nonOwner.micros);
    const Summary ev = Summarize(r.events.micros);
    const Summary fo = Summarize(r.fanout.samples.micros);

    PrintSettings(r);
    printf("%-40s %4s %10s %10s %10s %8s %8s\n", "figure", "n", "median", "p95", "floor", "med/fl",
           "p95/fl");
    if (r.Ran("openclose")) {
        PrintRow(
            {"OpenService", os, r.openService.failures, StatusQueryFloorMicros(r.timings), 1000});
        PrintRow({"Close", cs, r.closeService.failures, 0, 1000});
    }
    if (r.Ran("opendrawer")) {
        PrintRow({"OpenDrawer, port owner", od, r.openDrawer.failures, openDrawerFloor, 1000});
    }
    if (r.Ran("nonowner")) {
        PrintRow(
            {"OpenDrawer, not the port owner", odn, r.nonOwner.failures, openDrawerFloor, 1000});
    }
    if (r.Ran("events")) {
        PrintRow({"change -> SOStatusUpdate, 1 process", ev, r.events.failures, eventFloor, 1000});
    }
    if (r.Ran("fanout")) {
        PrintRow(
            {"change -> seen by all 8 processes", fo, r.fanout.samples.failures, ev.median, 1000});
        printf("(floor of the row above: the one-process median)\n");
    }
    if (r.Ran("idle")) {
        PrintRow({"idle CPU, GetProcessTimes, per window", Summarize(r.idle.windowPct),
                  r.idle.outcome.failures, 0, 1, "% of a core"});
        if (!r.idle.windowRunPct.empty()) {
            PrintRow({"  same, Linux run time of its threads", Summarize(r.idle.windowRunPct), 0, 0,
                      1, "% of a core"});
        }
        if (!r.idle.windowServerPct.empty()) {
            PrintRow({"  wineserver meanwhile", Summarize(r.idle.windowServerPct), 0, 0, 1,
                      "% of a core"});
        }
    }
    if (!r.fanout.medians.empty()) {
        printf("\nfan-out, median per process (ms):");
        for (size_t p = 0; p < r.fanout.medians.size(); ++p) {
            printf(" %s%.3f", p == 0 ? "owner " : "", r.fanout.medians[p] / 1000);
        }
        printf("\nfan-out, times each process was the last:");
        for (int n : r.fanout.lastSlot) printf(" %d", n);
        printf("\n");
    }
    PrintIdleNotes(r.idle);

    const std::pair<const char*, const Samples*> outcomes[] = {
        {"OpenService", &r.openService},
        {"Close", &r.closeService},
        {"OpenDrawer, owner", &r.openDrawer},
        {"OpenDrawer, not owner", &r.nonOwner},
        {"status events", &r.events},
        {"fan-out", &r.fanout.samples},
        {"idle", &r.idle.outcome},
    };
    for (const auto& [name, samples] : outcomes) {
        if (samples->failures > 0) {
            printf("FAILED %s: %d, first: %s\n", name, samples->failures,
                   samples->firstFailure.c_str());
        }
    }

    const double odRatio = Ratio(od.median, openDrawerFloor);
    const double odnRatio = Ratio(odn.median, openDrawerFloor);
    const double evRatio = Ratio(ev.median, eventFloor);
    const double foRatio = Ratio(fo.median, ev.median);
    const double idlePct =
        r.idle.wallMicros > 0 ? 100.0 * r.idle.cpuMicros / r.idle.wallMicros : NAN;
    printf("\n%s\n%s\n%s\n%s\n%s\n\n",
           GoalText("opendrawer_ratio", odRatio, kGoalOpenDrawerRatio).c_str(),
           GoalText("opendrawer_ratio_nonowner", odnRatio, kGoalOpenDrawerRatio).c_str(),
           GoalText("event_ratio", evRatio, kGoalEventRatio).c_str(),
           GoalText("fanout8_ratio", foRatio, kGoalFanoutRatio).c_str(),
           GoalText("idle_cpu_pct", idlePct, kGoalIdleCpuPct).c_str());
    PrintBench("opendrawer_ratio", odRatio);
    PrintBench("opendrawer_ratio_nonowner", odnRatio);
    PrintBench("event_ratio", evRatio);
    PrintBench("fanout8_ratio", foRatio);
    PrintBench("idle_cpu_pct", idlePct);
    PrintBench("openservice_ms", os.count > 0 ? os.median / 1000 : NAN);
    PrintBench("close_ms", cs.count > 0 ? cs.median / 1000 : NAN);
    fflush(stdout);
}

}  // namespace bench
