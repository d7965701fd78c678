// The simulated drawer controller's state machine. Everything that takes time is an action in a
// small table, carried out in (due, seq) order, and an action's follow-ups are scheduled from the
// action's own due time, so the outcome does not depend on how late a caller advances the state.
#include "ports/sim_controller.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

constexpr uint64_t kMicrosPerMs = 1000;
constexpr uint64_t kMicrosPerSecond = 1000000;
// The clock may run backwards only when the machine restarted; smaller steps are two processes
// reading it in a different order than they took the lock.
constexpr uint64_t kRestartStep = kMicrosPerSecond;

bool IsDelivery(ActionKind k) {
    return k == ActionKind::Deliver || k == ActionKind::DeliverBreak ||
           k == ActionKind::DeliverError;
}

// Deliveries and bytes in flight belong to the line, not to the controller.
bool IsLineTraffic(ActionKind k) {
    return IsDelivery(k) || k == ActionKind::HostBytes;
}

bool Schedule(State& s, uint64_t due, ActionKind kind, uint8_t arg, const uint8_t* data,
              size_t length) {
    for (Action& a : s.actions) {
        if (a.kind != ActionKind::Free) continue;
        a.due = due;
        a.seq = s.nextSeq++;
        a.kind = kind;
        a.arg = arg;
        a.length = static_cast<uint8_t>(length);
        if (length > 0) memcpy(a.data, data, length);
        return true;
    }
    ++s.dropped;
    return false;
}

void DropLineTraffic(State& s) {
    for (Action& a : s.actions) {
        if (IsLineTraffic(a.kind)) a.kind = ActionKind::Free;
    }
}

void ResetParser(State& s) {
    s.parseLength = 0;
}

uint8_t StatusBits(const State& s) {
    return static_cast<uint8_t>((s.drawerOpen[0] ? kFrameDrawer1Bit : 0) |
                                (s.drawerOpen[1] ? kFrameDrawer2Bit : 0));
}

// Puts bytes on the line towards the port, behind whatever is still being sent. The port sees
// a transfer whole once its last byte has arrived, as a receiver with a FIFO hands it over.
bool SendToHost(State& s, uint64_t at, ActionKind kind, const uint8_t* data, size_t length) {
    if (!s.attached) return false;
    uint64_t start = std::max(at, s.deviceLineFree);
    bool ok = true;
    do {
        const size_t n = std::min(length, kChunkBytes);
        const uint64_t due = start + WireTime(s.baud, n);
        ok = Schedule(s, due, kind, 0, data, n) && ok;
        start = due;
        data += n;
        length -= n;
    } while (length > 0);
    s.deviceLineFree = start;
    return ok;
}

void SendFrame(State& s, uint64_t at, uint8_t type) {
    const uint8_t frame[4] = {kFrameStart, type, StatusBits(s), kFrameEnd};
    SendToHost(s, at, ActionKind::Deliver, frame, sizeof(frame));
}

void Command(State& s, uint64_t at, uint8_t code, uint8_t arg) {
    if (!s.answering) return;  // swallowed
    if (code == kCommandOpen && arg < kDrawers) {
        Schedule(s, at + s.openDelayMs * kMicrosPerMs, ActionKind::OpenDrawer, arg, nullptr, 0);
    } else if (code == kCommandStatus && arg == kStatusSelector) {
        Schedule(s, at + s.replyDelayMs * kMicrosPerMs, ActionKind::StatusReply, 0, nullptr, 0);
    }
}

// Commands are three bytes, optionally followed by a fourth (the pulse width, or the 0x00 of the
// status command) that the controller does not need: between commands anything but an ESC is
// passed over, and an ESC always starts a new command, so the controller finds its way back
// after noise or a pulse width that happens to be 0x1B.
void ReceiveByte(State& s, uint64_t at, uint8_t b) {
    if (b == kFrameStart) {
        s.parse[0] = b;
        s.parseLength = 1;
        return;
    }
    if (s.parseLength == 0) return;
    s.parse[s.parseLength++] = b;
    if (s.parseLength == 3) {
        s.parseLength = 0;
        Command(s, at, s.parse[1], s.parse[2]);
    }
}

void ChangeDrawer(State& s, uint64_t at, size_t index, bool open) {
    if (open && index == 0 && !s.drawerOpen[0]) ++s.openings;
    s.drawerOpen[index] = open ? 1 : 0;
    if (open) s.openedAt[index] = at;
}

// The earliest pending happening: a scheduled action, or a drawer whose auto-close is due.
struct Next {
    uint64_t due = kNever;
    int action = -1;     // index into actions
    int autoClose = -1;  // drawer to close
};

Next FindNext(const State& s, bool withDeliveries) {
    Next next;
    uint32_t bestSeq = 0;
    for (size_t i = 0; i < kMaxActions; ++i) {
        const Action& a = s.actions[i];
        if (a.kind == ActionKind::Free || (!withDeliveries && IsDelivery(a.kind))) continue;
        // Sequence numbers wrap; compare them by difference.
        if (a.due < next.due ||
            (a.due == next.due && next.action >= 0 && static_cast<int32_t>(a.seq - bestSeq) < 0)) {
            next.due = a.due;
            next.action = static_cast<int>(i);
            bestSeq = a.seq;
        }
    }
    if (s.autoCloseOn) {
        for (size_t d = 0; d < kDrawers; ++d) {
            if (!s.drawerOpen[d]) continue;
            const uint64_t due = s.openedAt[d] + s.autoCloseMs * kMicrosPerMs;
            if (due < next.due) {
                next.due = due;
                next.action = -1;
                next.autoClose = static_cast<int>(d);
            }
        }
    }
    return next;
}

void Carry(State& s, Action& a, HostSink* sink) {
    const Action copy = a;
    a.kind = ActionKind::Free;
    switch (copy.kind) {
        case ActionKind::HostBytes:
            for (size_t i = 0; i < copy.length; ++i) ReceiveByte(s, copy.due, copy.data[i]);
            break;
        case ActionKind::StatusReply:
            SendFrame(s, copy.due, kFrameStatusReply);
            break;
        case ActionKind::OpenDrawer:
            if (!s.drawerOpen[copy.arg]) ChangeDrawer(s, copy.due, copy.arg, true);
            SendFrame(s, copy.due, kFrameDrawerEvent);
            break;
        case ActionKind::Deliver:
            sink->Bytes(copy.data, copy.length);
            break;
        case ActionKind::DeliverBreak:
            sink->Break();
            break;
        case ActionKind::DeliverError:
            sink->LineError();
            break;
        case ActionKind::Free:
            break;
    }
}

// After a restart of the machine the clock starts again near zero: move every stored time back
// by the same step so that pending happenings keep their distance from now.
void Rebase(State& s, uint64_t step) {
    auto back = [step](uint64_t& t) { t = t > step ? t - step : 0; };
    for (Action& a : s.actions) back(a.due);
    for (uint64_t& t : s.openedAt) back(t);
    back(s.hostLineFree);
    back(s.deviceLineFree);
    back(s.lastNow);
}

void SetDefaults(State& s) {
    s.drawerOpen[0] = s.drawerOpen[1] = 0;
    s.answering = 1;
    s.notify = 1;
    s.autoCloseOn = 0;
    s.autoCloseMs = 0;
    s.replyDelayMs = kDefaultReplyDelayMs;
    s.openDelayMs = kDefaultOpenDelayMs;
    for (Action& a : s.actions) a.kind = ActionKind::Free;
    ResetParser(s);
}

}  // namespace

uint64_t WireTime(uint32_t baud, size_t bytes) {
    if (baud == 0) baud = kDefaultBaud;
    const uint64_t bits = static_cast<uint64_t>(bytes) * kBitsPerByte * kMicrosPerSecond;
    return (bits + baud - 1) / baud;
}

// The state lives in a file anyone may edit: check everything that indexes or sizes memory.
bool IsValid(const State& s) {
    if (s.magic != kStateMagic || s.version != kStateVersion || s.size != sizeof(State) ||
        s.parseLength >= 3 || s.baud == 0) {
        return false;
    }
    for (const Action& a : s.actions) {
        if (a.kind > ActionKind::DeliverError || a.arg >= kDrawers || a.length > kChunkBytes) {
            return false;
        }
    }
    return true;
}

void Initialize(State& s, uint64_t now) {
    memset(&s, 0, sizeof(s));
    s.magic = kStateMagic;
    s.version = kStateVersion;
    s.size = sizeof(State);
    s.baud = kDefaultBaud;
    s.cts = 1;
    s.dsr = 1;
    s.lastNow = now;
    s.hostLineFree = s.deviceLineFree = now;
    SetDefaults(s);
}

void Reset(State& s, uint64_t now) {
    SetDefaults(s);
    s.openings = 0;
    SetCts(s, true);
    SetDsr(s, true);
    s.hostLineFree = s.deviceLineFree = std::max(now, s.lastNow);
}

void Advance(State& s, uint64_t now, HostSink* sink) {
    if (now + kRestartStep < s.lastNow) Rebase(s, s.lastNow - now);
    now = std::max(now, s.lastNow);
    for (;;) {
        const Next next = FindNext(s, sink != nullptr);
        if (next.due > now) break;
        if (next.action >= 0) {
            Carry(s, s.actions[next.action], sink);
        } else {
            ChangeDrawer(s, next.due, static_cast<size_t>(next.autoClose), false);
            if (s.notify) SendFrame(s, next.due, kFrameDrawerEvent);
        }
    }
    s.lastNow = now;
}

uint64_t NextDue(const State& s, bool withDeliveries) {
    return FindNext(s, withDeliveries).due;
}

void Attach(State& s, uint64_t now, uint32_t baud) {
    DropLineTraffic(s);
    ResetParser(s);
    s.attached = 1;
    s.baud = baud != 0 ? baud : kDefaultBaud;
    s.hostLineFree = s.deviceLineFree = std::max(now, s.lastNow);
}

void Detach(State& s) {
    DropLineTraffic(s);
    ResetParser(s);
    s.attached = 0;
}

void HostWrite(State& s, uint64_t now, const uint8_t* data, size_t length) {
    uint64_t start = std::max(now, s.hostLineFree);
    while (length > 0) {
        const size_t n = std::min(length, kChunkBytes);
        const uint64_t due = start + WireTime(s.baud, n);
        Schedule(s, due, ActionKind::HostBytes, 0, data, n);
        start = due;
        data += n;
        length -= n;
    }
    s.hostLineFree = start;
}

void PurgeHostBytes(State& s) {
    for (Action& a : s.actions) {
        if (a.kind == ActionKind::HostBytes) a.kind = ActionKind::Free;
    }
    s.hostLineFree = s.lastNow;
}

bool SetDrawer(State& s, uint64_t now, size_t index, bool open) {
    if (index >= kDrawers || (s.drawerOpen[index] != 0) == open) return false;
    ChangeDrawer(s, now, index, open);
    if (s.notify) SendFrame(s, now, kFrameDrawerEvent);
    return true;
}

void SetCts(State& s, bool on) {
    if ((s.cts != 0) == on) return;
    s.cts = on ? 1 : 0;
    ++s.ctsChanges;
}

void SetDsr(State& s, bool on) {
    if ((s.dsr != 0) == on) return;
    s.dsr = on ? 1 : 0;
    ++s.dsrChanges;
}

bool InjectBytes(State& s, uint64_t now, const uint8_t* data, size_t length) {
    if (length == 0) return s.attached != 0;
    return SendToHost(s, now, ActionKind::Deliver, data, length);
}

bool InjectBreak(State& s, uint64_t now) {
    return SendToHost(s, now, ActionKind::DeliverBreak, nullptr, 0);
}

bool InjectError(State& s, uint64_t now) {
    return SendToHost(s, now, ActionKind::DeliverError, nullptr, 0);
}

std::string ShowLine(const State& s) {
    auto onOff = [](uint8_t v) { return v ? "on" : "off"; };
    auto drawer = [](uint8_t v) { return v ? "open" : "closed"; };
    std::string line;
    line += "drawer1=" + std::string(drawer(s.drawerOpen[0]));
    line += " drawer2=" + std::string(drawer(s.drawerOpen[1]));
    line += " cts=" + std::string(onOff(s.cts));
    line += " dsr=" + std::string(onOff(s.dsr));
    line += " answer=" + std::string(onOff(s.answering));
    line += " reply-delay=" + std::to_string(s.replyDelayMs);
    line += " open-delay=" + std::to_string(s.openDelayMs);
    line += " notify=" + std::string(onOff(s.notify));
    line += " autoclose=" + (s.autoCloseOn ? std::to_string(s.autoCloseMs) : std::string("off"));
    line += " openings=" + std::to_string(s.openings);
    return line;
}

}  // namespace sim
