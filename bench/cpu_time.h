// CPU time of the running process, three ways: what Windows reports (GetProcessTimes, the
// figure), and, where the benchmark runs under Wine on Linux, the kernel's run time of each
// thread of this process and of the wineserver that serves it (from /proc, read through the Z:
// drive), which show what the Windows view rounds away or leaves out.
// Under Wine the wineserver opens files for its clients, so /proc/self is the wineserver: the
// process finds its own Linux pid by a token on its command line instead.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// Kernel plus user time of this process by GetProcessTimes, in microseconds.
double ProcessCpuMicros();

// The Linux pid of the process whose command line contains `token` (which must be unique to
// the caller); 0 when there is none or /proc cannot be read.
unsigned long FindUnixPid(const std::string& token);

// One thread's figures from /proc/PID/task/TID/schedstat.
struct ThreadRun {
    unsigned long tid;
    double runMicros;   // time on a CPU
    double timeslices;  // times it was put on a CPU: its wake-ups, near enough
};

// The threads of Linux process `unixPid`, in the order they were created (ascending ids);
// empty when not available.
std::vector<ThreadRun> ThreadRuns(unsigned long unixPid);

// Run time of the threads of `unixPid`, split so that a thread reading /proc does not count its
// own reading: the calling thread (Linux id `selfTid`; under Wine the main thread's id is the
// pid) is read last before a measured interval and first after it.
struct RunSplit {
    double others = -1;  // every thread but the caller
    double self = -1;    // the caller
};
RunSplit ReadRunsBefore(unsigned long unixPid, unsigned long selfTid);
RunSplit ReadRunsAfter(unsigned long unixPid, unsigned long selfTid);
// Run time between the two readings, in microseconds; negative when either was unavailable.
double RunBetween(const RunSplit& before, const RunSplit& after);

// Run time of the Linux process `unixPid` (the wineserver: one thread) from
// /proc/PID/schedstat, in microseconds; negative when not available or when `unixPid` is 0.
double UnixProcessRunMicros(unsigned long unixPid);

}  // namespace bench
