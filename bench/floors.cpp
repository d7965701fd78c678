// Floors of the measured paths. Wire times come from the simulator's own formula, so the
// floor and the simulated line agree to the microsecond.
#include "bench/floors.h"

#include "ports/sim_controller.h"

namespace bench {
namespace {
constexpr double kMicrosPerMs = 1000.0;
}  // namespace

double OpenDrawerFloorMicros(const LinkTimings& t) {
    return static_cast<double>(sim::WireTime(t.baud, t.commandBytes)) +
           t.openDelayMs * kMicrosPerMs + static_cast<double>(sim::WireTime(t.baud, kFrameBytes)) +
           t.detectDelayMs * kMicrosPerMs;
}

double StatusEventFloorMicros(const LinkTimings& t) {
    return static_cast<double>(sim::WireTime(t.baud, kFrameBytes)) + t.detectDelayMs * kMicrosPerMs;
}

double StatusQueryFloorMicros(const LinkTimings& t) {
    return static_cast<double>(sim::WireTime(t.baud, t.commandBytes)) +
           t.replyDelayMs * kMicrosPerMs + static_cast<double>(sim::WireTime(t.baud, kFrameBytes)) +
           t.detectDelayMs * kMicrosPerMs;
}

}  // namespace bench
