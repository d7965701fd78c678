// The steps of our port library's open request, and how a failed one is passed on: the step
// and the Win32 error share the service's detail word, and the event-log record names the
// step as its operation. Read by the library and by cdctl, which explains a failed open.
// Pure; no Windows headers.
#pragma once

#include <cstdint>

namespace ports {

// The step of the open request that failed.
enum OpenStage : int32_t {
    kStagePortName = 1,  // no port text, or a simulator name that cannot be used
    kStageDevice = 2,    // the port cannot be opened (missing, or open elsewhere)
    kStageQueues = 3,    // queue sizes
    kStageSettings = 4,  // settings text or DCB changes
    kStageTimeouts = 5,
    kStageEventMask = 6,
    kStageState = 7,   // the simulator's state file or its lock
    kStageThread = 8,  // a worker thread of the library
};

// The detail word after a refused open request: the step in bits 16 to 23, the Win32 error in
// the low 16 bits. The service's own loading stages (1 to 3, no "Init" and so on) stay below
// 0x10000, so a reader tells the two apart.
constexpr int32_t OpenFailureDetail(int32_t step, int32_t error) {
    return static_cast<int32_t>((static_cast<uint32_t>(step) & 0xFF) << 16 |
                                (static_cast<uint32_t>(error) & 0xFFFF));
}
constexpr int32_t OpenFailureStep(int32_t detail) {
    return static_cast<int32_t>((static_cast<uint32_t>(detail) >> 16) & 0xFF);
}
constexpr int32_t OpenFailureError(int32_t detail) {
    return static_cast<int32_t>(static_cast<uint32_t>(detail) & 0xFFFF);
}

// The step as the operation (%3) of event-log message 111, "%3 failed on %2 connected to %1.",
// in the language of the service's records (0 Japanese, 1 English); UTF-8. Null for a step
// that is not one of the above.
const char* OpenStepOperation(int32_t step, int32_t language);

}  // namespace ports
