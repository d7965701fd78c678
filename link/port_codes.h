// The results and detail words of the port library interface that callers tell apart, shared
// by the service's binding and by cdctl, which explains them. Pure; no Windows headers.
#pragma once

#include <cstdint>

// Results the service relies on besides 0 (success).
constexpr int32_t kPortResultNotLoaded = 6;    // a request while no library is loaded
constexpr int32_t kPortResultInitFailed = 14;  // "Init" gave no handle or no request entry

// Stages of a failed load, left in the detail word.
constexpr int32_t kPortDetailLoadFailed = 1;
constexpr int32_t kPortDetailNoInit = 2;
constexpr int32_t kPortDetailNoTerm = 3;
