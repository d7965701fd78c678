// The soak's processes other than the supervisor: workers, which run drawer cycles, and
// watchers, which keep the device open and enabled and write down every drawer change they are
// told of. Both write a journal (tests/soak/soak_journal.h) line by line, so that a killed
// process leaves everything it wrote.
#pragma once

#include <windows.h>

#include <string>

namespace soak {

constexpr char kDevice[] = "BramwickSoak";
constexpr char kSim[] = "SIMSOAK1";

// The device's timeouts, and the bounds of each call that follow from them.
constexpr DWORD kCommandTimeout = 3000;
constexpr DWORD kSendReadyTimeout = 2000;
constexpr DWORD kSendDoneTimeout = 2000;
constexpr DWORD kOpenDrawerTimeout = 1500;
constexpr DWORD kAutoCloseMs = 200;

// Milliseconds of the machine's monotonic clock, the same in every process: the journals of
// different processes are compared by it.
inline long long Now() {
    return static_cast<long long>(GetTickCount64());
}

// Times drawer 1 of the soak's simulated controller has opened since its reset, brought up to
// date first; -1 when the controller cannot be reached.
long long SimOpenings();

// soak_driver worker DEVICE JOURNAL SLOT CYCLES SEED PROCESSES CLAIMS
//   CLAIMS: 1 when the worker claims the device in one cycle of ten, 0 when it never does.
int RunWorker(int argc, char** argv);
// soak_driver watcher DEVICE JOURNAL STOP_EVENT SEED
//   Keeps the device open and enabled in sessions of a few seconds and writes down every
//   drawer change until STOP_EVENT is set.
int RunWatcher(int argc, char** argv);

}  // namespace soak
