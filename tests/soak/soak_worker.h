// The soak's workers (drawer cycles) and watchers (enabled sessions that write down every
// change); both journal line by line (tests/soak/soak_journal.h).
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

// The monotonic clock in ms, the same in every process.
inline long long Now() {
    return static_cast<long long>(GetTickCount64());
}

// Openings of the simulated drawer 1 since its reset, or -1 when it cannot be reached.
long long SimOpenings();

// soak_driver worker DEVICE JOURNAL SLOT CYCLES SEED PROCESSES CLAIMS
//   CLAIMS: 1 when the worker claims the device in one cycle of ten, 0 when it never does.
int RunWorker(int argc, char** argv);
// soak_driver watcher DEVICE JOURNAL STOP_EVENT SEED
//   Runs until STOP_EVENT is set.
int RunWatcher(int argc, char** argv);

}  // namespace soak
