// The benchmark's orchestrating process (see orchestrator.cpp).
#pragma once

namespace bench {

// Measures the figures named by BENCH_FIGURES (default all: openclose, events, opendrawer,
// nonowner, fanout, idle), prints the report; 0 when every attempt did what was asked.
int RunOrchestrator();

}  // namespace bench
