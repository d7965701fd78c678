// RASDATA: the reliability block every process that opens a device shares through a named
// page-file mapping. The layout is fixed (32-bit little-endian words, 944 bytes) because
// 32-bit and 64-bit builds of the service, in different processes, map the same block.
// Pure C++; no Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stats/device_sharing.h"

// Limits of the block.
constexpr int32_t kRasMaxCounters = 32;
constexpr size_t kRasCounterNameLength = 28;  // every counter name is exactly this long
constexpr size_t kRasCounterValueWidth = 10;  // decimal digits of the value field
constexpr size_t kRasCounterLineLength = 40;  // name, value, CR LF
constexpr size_t kRasCounterPathMax = 271;    // longest counter file path kept in the block
constexpr size_t kRasPathFieldSize = 272;     // the path and its terminator

// Event-log levels held in the block: 0 off, 1 enabled, n + 1 for verbose level n.
constexpr int32_t kRasLevelDisabled = 0;
constexpr int32_t kRasLevelEnabled = 1;

// Counter modes held in the block.
constexpr int32_t kRasModeDisable = 0;
constexpr int32_t kRasModeMemory = 1;
constexpr int32_t kRasModeFile = 2;
constexpr int32_t kRasModeNamedFile = 3;  // file named by DirectIO 112, not in the registry

constexpr bool RasModeUsesFile(int32_t mode) {
    return mode == kRasModeFile || mode == kRasModeNamedFile;
}

struct RASDATA {
    int32_t nUsers;                         // attached instances in running processes
    int32_t nEventLogLevel;                 // see kRasLevel*; read without the mutex by reports
    int32_t nStatisticsMode;                // see kRasMode*
    int32_t nVerboseLimit;                  // at least 1
    int32_t nCounters;                      // counters in use, 0 to kRasMaxCounters
    uint8_t abReserved[12];                 // zero
    char szCounterFile[kRasPathFieldSize];  // NUL-terminated; empty until resolved
    uint32_t adwCounters[kRasMaxCounters];
    USERTABLE users;  // the processes attached; nUsers is the sum of their opens
};

// The block holds no pointers, so one layout serves 32-bit and 64-bit processes alike.
static_assert(sizeof(RASDATA) == 944, "RASDATA is 944 bytes");
static_assert(offsetof(RASDATA, nUsers) == 0, "RASDATA layout");
static_assert(offsetof(RASDATA, nEventLogLevel) == 4, "RASDATA layout");
static_assert(offsetof(RASDATA, nStatisticsMode) == 8, "RASDATA layout");
static_assert(offsetof(RASDATA, nVerboseLimit) == 12, "RASDATA layout");
static_assert(offsetof(RASDATA, nCounters) == 16, "RASDATA layout");
static_assert(offsetof(RASDATA, abReserved) == 20, "RASDATA layout");
static_assert(offsetof(RASDATA, szCounterFile) == 32, "RASDATA layout");
static_assert(offsetof(RASDATA, adwCounters) == 304, "RASDATA layout");
static_assert(offsetof(RASDATA, users) == 432, "RASDATA layout");
static_assert(alignof(RASDATA) == 4, "RASDATA has no member wider than 32 bits");
