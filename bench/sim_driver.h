// The benchmark's hand on the simulated controller: it changes drawer 1 directly in the
// controller's state, as `cdctl sim` does, and notes the controller time of the change, which is
// where every status measurement starts.
#pragma once

#include <cstdint>
#include <string>

#include "bench/floors.h"
#include "ports/sim_store.h"

namespace bench {

class SimDriver {
public:
    // Opens the controller's state; 0 or a Win32 error code.
    DWORD Open(const std::string& name) { return m_store.Open(name); }

    // `cdctl sim NAME reset`: defaults, both drawers closed, nothing on its way.
    bool Reset();

    struct Change {
        bool done = false;     // the state could be locked
        bool changed = false;  // the drawer was in the other state before
        uint64_t at = 0;       // controller time of the change, sim::NowMicros()
    };
    // Opens or closes drawer 1 at once; the controller sends its frame from then on.
    Change SetDrawer(bool open);

    bool DrawerOpen();

    // Line speed of the attached port and the controller's delays (DetectDelay_Time and the
    // command length are the service's and are left as they are).
    bool ReadTimings(LinkTimings* timings);

private:
    sim::Store m_store;
};

}  // namespace bench
