// The simulated drawer controller: its state, laid out as it is stored in the machine-wide state
// file, and the state machine that drives it. No Windows headers: every operation takes "now" in
// microseconds of a clock that all processes of the machine share, so one state can be driven by
// the port library of one process and changed by `cdctl sim` from another. Callers hold the
// controller's lock around every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/drawer_protocol.h"

namespace sim {

constexpr uint32_t kDefaultReplyDelayMs = 10;
constexpr uint32_t kDefaultOpenDelayMs = 50;
constexpr uint32_t kDefaultBaud = 19200;
constexpr uint32_t kMaxDelayMs = 3600000;  // one hour: longer delays are typing mistakes
constexpr uint32_t kBitsPerByte = 10;      // start bit, eight data bits, stop bit
constexpr uint64_t kNever = UINT64_MAX;

constexpr size_t kChunkBytes = 64;  // bytes one scheduled transfer carries
constexpr size_t kMaxActions = 32;  // scheduled actions the controller can hold
constexpr size_t kDrawers = 2;

enum class ActionKind : uint8_t {
    Free = 0,
    HostBytes,     // bytes from the port reach the controller
    StatusReply,   // the controller answers a status command
    OpenDrawer,    // the solenoid of drawer `arg` has opened it
    Deliver,       // bytes from the controller reach the port
    DeliverBreak,  // a break condition reaches the port
    DeliverError,  // a framing error reaches the port
};

// One scheduled happening. `due` is when it takes effect; `seq` orders actions due together.
struct Action {
    uint64_t due;
    uint32_t seq;
    ActionKind kind;
    uint8_t arg;
    uint8_t length;
    uint8_t reserved;
    uint8_t data[kChunkBytes];
};
static_assert(sizeof(Action) == 80, "fixed layout");

// The whole controller. Plain data of fixed layout, so 32-bit and 64-bit processes share it.
// Times are microseconds of the shared clock; delays are milliseconds as configured.
struct State {
    uint32_t magic;
    uint32_t version;
    uint32_t size;
    uint32_t dropped;  // actions that found the table full

    uint64_t lastNow;  // latest time the state was advanced to
    uint64_t openedAt[kDrawers];
    uint64_t hostLineFree;    // when the port-to-controller line is idle again
    uint64_t deviceLineFree;  // when the controller-to-port line is idle again

    uint8_t drawerOpen[kDrawers];
    uint8_t cts;
    uint8_t dsr;
    uint8_t answering;
    uint8_t notify;
    uint8_t autoCloseOn;
    uint8_t attached;  // a port has the controller open

    uint32_t replyDelayMs;
    uint32_t openDelayMs;
    uint32_t autoCloseMs;
    uint32_t baud;
    uint32_t ctsChanges;  // counted so that a reader notices every change, even a quick toggle
    uint32_t dsrChanges;
    uint32_t nextSeq;
    uint32_t openings;  // times drawer 1 went from closed to open since the last reset

    // Command parser: the bytes of the command being received.
    uint8_t parse[3];
    uint8_t parseLength;
    uint8_t reserved[4];

    Action actions[kMaxActions];
};
static_assert(offsetof(State, actions) == 104, "fixed layout");
static_assert(sizeof(State) == 104 + kMaxActions * sizeof(Action), "fixed layout");

constexpr uint32_t kStateMagic = 0x4D535742;  // "BWSM"
constexpr uint32_t kStateVersion = 1;

// Receives what the controller sends once it reaches the port.
class HostSink {
public:
    virtual ~HostSink() = default;
    virtual void Bytes(const uint8_t* data, size_t length) = 0;
    virtual void Break() = 0;
    virtual void LineError() = 0;
};

// Time `bytes` bytes take on the line at `baud`, rounded up to whole microseconds.
uint64_t WireTime(uint32_t baud, size_t bytes);

bool IsValid(const State& s);
// A fresh controller: defaults, no port attached.
void Initialize(State& s, uint64_t now);
// The controller restarts with its defaults (drawers closed, lines on, answering, default
// delays, notification on, no auto-close) and forgets everything scheduled. An attached port
// stays attached; line changes count as changes.
void Reset(State& s, uint64_t now);

// Carries out everything due up to `now`, in time order. Without a sink (a caller that is not
// the port) deliveries to the port stay scheduled for the port to collect.
void Advance(State& s, uint64_t now, HostSink* sink);
// When the next scheduled happening is due; kNever when nothing is scheduled.
uint64_t NextDue(const State& s, bool withDeliveries);

// A port opens or closes the controller. Either way the line is idle afterwards: bytes on their
// way in either direction are lost, as on a real line that is plugged in or out.
void Attach(State& s, uint64_t now, uint32_t baud);
void Detach(State& s);

// Bytes written by the port; they reach the controller after their wire time.
void HostWrite(State& s, uint64_t now, const uint8_t* data, size_t length);
// Drops written bytes that have not reached the controller yet.
void PurgeHostBytes(State& s);

// Changes made by hand. SetDrawer reports whether the drawer changed.
bool SetDrawer(State& s, uint64_t now, size_t index, bool open);
void SetCts(State& s, bool on);
void SetDsr(State& s, bool on);

// One-shot injections into the line towards the port. They fail when no port is attached or
// the schedule is full.
bool InjectBytes(State& s, uint64_t now, const uint8_t* data, size_t length);
bool InjectBreak(State& s, uint64_t now);
bool InjectError(State& s, uint64_t now);

// "drawer1=open drawer2=closed cts=on dsr=on answer=on reply-delay=10 open-delay=50 notify=on
// autoclose=off"
std::string ShowLine(const State& s);

}  // namespace sim
