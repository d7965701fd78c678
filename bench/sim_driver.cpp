// Direct changes to the simulated controller's state.
#include "bench/sim_driver.h"

#include "ports/sim_controller.h"

namespace bench {

bool SimDriver::Reset() {
    {
        sim::Store::Access s = m_store.Lock();
        if (!s) return false;
        sim::Advance(*s, s.now(), nullptr);
        sim::Reset(*s, s.now());
    }
    m_store.SignalChanged();
    return true;
}

SimDriver::Change SimDriver::SetDrawer(bool open) {
    Change change;
    {
        sim::Store::Access s = m_store.Lock();
        if (!s) return change;
        sim::Advance(*s, s.now(), nullptr);
        change.done = true;
        change.changed = sim::SetDrawer(*s, s.now(), 0, open);
        change.at = s.now();
    }
    m_store.SignalChanged();  // the port's worker looks at the state at once
    return change;
}

bool SimDriver::DrawerOpen() {
    sim::Store::Access s = m_store.Lock();
    return s && s->drawerOpen[0] != 0;
}

bool SimDriver::ReadTimings(LinkTimings* timings) {
    sim::Store::Access s = m_store.Lock();
    if (!s) return false;
    timings->baud = s->baud;
    timings->openDelayMs = s->openDelayMs;
    timings->replyDelayMs = s->replyDelayMs;
    return true;
}

}  // namespace bench
