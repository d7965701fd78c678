// bramwick_bench: how fast the cash-drawer service answers, measured against the least time the
// drawer link allows. It drives the registered service through IDispatch, as a control object
// does, against a simulated controller, and prints a table and one "BENCH <name> <value>" line
// per figure. See docs/performance.md.
//   bramwick_bench [run]   measure (the other roles, see roles.h, are its helper processes)
// Environment:
//   BENCH_IDLE_SECONDS     length of the idle-CPU measurement (default 60)
//   BENCH_FIGURES          comma-separated subset of openclose, events, opendrawer, nonowner,
//                          fanout, idle (default all)
//   BENCH_WINESERVER_PID   Linux pid of the prefix's wineserver, for the idle report
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/orchestrator.h"
#include "bench/roles.h"

int main(int argc, char** argv) {
    const std::string role = argc > 1 ? argv[1] : "run";
    const int arg = argc > 2 ? atoi(argv[2]) : 0;
    if (role == "run") return bench::RunOrchestrator();
    if (role == "peer" && argc > 3) {
        return bench::RunPeer(arg, static_cast<DWORD>(strtoul(argv[3], nullptr, 10)));
    }
    if (role == "nonowner") return bench::RunNonOwner(arg);
    if (role == "idle" && argc > 3) return bench::RunIdle(arg, argv[3]);
    fprintf(stderr, "usage: bramwick_bench [run]\n");
    return 2;
}
