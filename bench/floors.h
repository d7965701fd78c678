// The least time each measured path can take, from what the simulated controller and the
// service's settings prescribe. Everything else a measurement shows is the service's (and the
// platform's) own cost.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

// The settings that fix the floors, as configured for the benchmark device and read back from
// the controller's state.
struct LinkTimings {
    uint32_t baud = 0;           // line speed of the port settings
    uint32_t openDelayMs = 0;    // controller: command received -> drawer open and frame sent
    uint32_t replyDelayMs = 0;   // controller: status command received -> reply sent
    uint32_t detectDelayMs = 0;  // service: pause before the reader's second look
    size_t commandBytes = 0;     // drawer-open and status command length (3 or 4)
};

constexpr size_t kFrameBytes = 4;  // ESC type bits CR

// OpenDrawer: the command on the line, the controller's open delay, the answer frame on the
// line, then the reader's second look after DetectDelay_Time.
double OpenDrawerFloorMicros(const LinkTimings& t);

// A drawer change made at the controller: the frame on the line, then the second look.
double StatusEventFloorMicros(const LinkTimings& t);

// OpenService's status query: command, reply delay, reply frame, second look.
double StatusQueryFloorMicros(const LinkTimings& t);

}  // namespace bench
