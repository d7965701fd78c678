// CPU time of the running process.
#include "bench/cpu_time.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/handles.h"

namespace bench {
namespace {

double FileTimeMicros(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 10.0;  // 100 ns units
}

// The start of a small file (/proc files report no size: read what there is).
std::string ReadSmallFile(const std::string& path) {
    fw::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::string();
    char text[1024];
    DWORD got = 0;
    if (!ReadFile(file.get(), text, sizeof(text), &got, nullptr)) return std::string();
    return std::string(text, got);
}

// First field of a schedstat file: nanoseconds spent on a CPU. Negative when unreadable.
double SchedstatMicros(const std::string& path) {
    const std::string text = ReadSmallFile(path);
    char* end = nullptr;
    const unsigned long long ns = strtoull(text.c_str(), &end, 10);
    if (end == text.c_str()) return -1;
    return static_cast<double>(ns) / 1000.0;
}

}  // namespace

double ProcessCpuMicros() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    return FileTimeMicros(kernel) + FileTimeMicros(user);
}

unsigned long FindUnixPid(const std::string& token) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    unsigned long pid = 0;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9') continue;
        const std::string text =
            ReadSmallFile(std::string("Z:\\proc\\") + found.cFileName + "\\cmdline");
        if (text.find(token) != std::string::npos) pid = strtoul(found.cFileName, nullptr, 10);
    } while (pid == 0 && FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

std::vector<ThreadRun> ThreadRuns(unsigned long unixPid) {
    std::vector<ThreadRun> runs;
    if (unixPid == 0) return runs;
    const std::string folder = "Z:\\proc\\" + std::to_string(unixPid) + "\\task\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return runs;
    do {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9') continue;
        const std::string text = ReadSmallFile(folder + found.cFileName + "\\schedstat");
        unsigned long long ns = 0, waited = 0, slices = 0;
        if (sscanf(text.c_str(), "%llu %llu %llu", &ns, &waited, &slices) != 3) continue;
        runs.push_back({strtoul(found.cFileName, nullptr, 10), static_cast<double>(ns) / 1000.0,
                        static_cast<double>(slices)});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(runs.begin(), runs.end(),
              [](const ThreadRun& a, const ThreadRun& b) { return a.tid < b.tid; });
    return runs;
}

namespace {

double ThreadRunOf(unsigned long unixPid, unsigned long tid) {
    return SchedstatMicros("Z:\\proc\\" + std::to_string(unixPid) + "\\task\\" +
                           std::to_string(tid) + "\\schedstat");
}

double OthersRun(unsigned long unixPid, unsigned long selfTid) {
    const std::vector<ThreadRun> runs = ThreadRuns(unixPid);
    if (runs.empty()) return -1;
    double total = 0;
    for (const ThreadRun& r : runs) {
        if (r.tid != selfTid) total += r.runMicros;
    }
    return total;
}

}  // namespace

RunSplit ReadRunsBefore(unsigned long unixPid, unsigned long selfTid) {
    RunSplit split;
    if (unixPid == 0) return split;
    split.others = OthersRun(unixPid, selfTid);
    split.self = ThreadRunOf(unixPid, selfTid);
    return split;
}

RunSplit ReadRunsAfter(unsigned long unixPid, unsigned long selfTid) {
    RunSplit split;
    if (unixPid == 0) return split;
    split.self = ThreadRunOf(unixPid, selfTid);
    split.others = OthersRun(unixPid, selfTid);
    return split;
}

double RunBetween(const RunSplit& before, const RunSplit& after) {
    if (before.others < 0 || before.self < 0 || after.others < 0 || after.self < 0) return -1;
    return (after.others - before.others) + (after.self - before.self);
}

double UnixProcessRunMicros(unsigned long unixPid) {
    if (unixPid == 0) return -1;
    return SchedstatMicros("Z:\\proc\\" + std::to_string(unixPid) + "\\schedstat");
}

}  // namespace bench
