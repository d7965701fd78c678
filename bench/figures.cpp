// Measurements inside one process.
#include "bench/figures.h"

#include "bench/device.h"
#include "ports/sim_store.h"
#include "util/opos_constants.h"

namespace bench {

bool CreateSession(Session& session, HRESULT* hr) {
    client::ControlObjectStub::Options options;
    options.clock = &sim::NowMicros;
    session.UseControlObject(options);
    *hr = session.Create();
    if (SUCCEEDED(*hr)) session.IdOf(L"OpenDrawer", hr);
    return SUCCEEDED(*hr);
}

LONG Enable(const Session& session) {
    return session.Set(PIDX_DeviceEnabled, 1);
}

bool WaitForStatus(const Session& session, size_t from, LONG value, StatusCall* call) {
    const client::ControlObjectStub& control = session.co();
    size_t next = from;
    return PumpUntil(
        [&] {
            for (; next < control.EventCount(); ++next) {
                const StatusCall c = control.EventAt(next);
                if (c.number == value) {
                    *call = c;
                    return true;
                }
            }
            return false;
        },
        kWaitBoundMs);
}

bool EnsureClosed(const Session& session, SimDriver& sim) {
    if (session.DrawerOpened() == 0 && !sim.DrawerOpen()) return true;
    const size_t from = session.co().EventCount();
    const SimDriver::Change change = sim.SetDrawer(false);
    if (!change.done) return false;
    StatusCall call;
    // A drawer the service still reads open although the controller has it closed would give
    // no update; the property read below catches that.
    if (change.changed && !WaitForStatus(session, from, CASH_SUE_DRAWERCLOSED, &call)) {
        return false;
    }
    PumpFor(kSettleMs);
    return session.DrawerOpened() == 0;
}

Samples MeasureOpenDrawer(Session& session, SimDriver& sim, int count) {
    Samples samples;
    for (int i = 0; i < count; ++i) {
        if (!EnsureClosed(session, sim)) {
            samples.Fail("the drawer could not be closed at the controller");
            continue;
        }
        const uint64_t start = sim::NowMicros();
        const LONG result = session.OpenDrawer();
        const uint64_t end = sim::NowMicros();
        if (result != OPOS_SUCCESS) {
            samples.Fail("OpenDrawer returned " + std::to_string(result));
            continue;
        }
        samples.micros.push_back(static_cast<double>(end - start));
    }
    EnsureClosed(session, sim);
    return samples;
}

Samples MeasureStatusEvents(const Session& session, SimDriver& sim, int count) {
    Samples samples;
    if (!EnsureClosed(session, sim)) {
        samples.Fail("the drawer could not be closed at the controller");
        return samples;
    }
    const DWORD appThread = GetCurrentThreadId();
    for (int i = 0; i < count; ++i) {
        const bool open = i % 2 == 0;
        const size_t from = session.co().EventCount();
        const SimDriver::Change change = sim.SetDrawer(open);
        StatusCall call;
        if (!change.changed) {
            samples.Fail("the controller's drawer was not in the expected state");
        } else if (!WaitForStatus(session, from, open ? CASH_SUE_DRAWEROPEN : CASH_SUE_DRAWERCLOSED,
                                  &call)) {
            samples.Fail("no SOStatusUpdate within the bound");
        } else if (call.threadId != appThread) {
            samples.Fail("SOStatusUpdate arrived on another thread");
        } else {
            samples.micros.push_back(static_cast<double>(call.stamp - change.at));
        }
        PumpFor(kSettleMs);
    }
    EnsureClosed(session, sim);
    return samples;
}

void MeasureOpenClose(int count, Samples* open, Samples* close) {
    Session session;
    HRESULT hr = S_OK;
    if (!CreateSession(session, &hr)) {
        open->Fail("the service object could not be created");
        return;
    }
    for (int i = -1; i < count; ++i) {
        const uint64_t t0 = sim::NowMicros();
        const LONG opened = session.Open(kDeviceNameW);
        const uint64_t t1 = sim::NowMicros();
        if (opened != OPOS_SUCCESS) {
            open->Fail("OpenService returned " + std::to_string(opened));
            continue;
        }
        PumpFor(kSettleMs);
        const uint64_t t2 = sim::NowMicros();
        const LONG closed = session.Close();
        const uint64_t t3 = sim::NowMicros();
        if (closed != OPOS_SUCCESS) close->Fail("Close returned " + std::to_string(closed));
        if (i < 0) continue;  // the warm-up loads the port and trace libraries
        open->micros.push_back(static_cast<double>(t1 - t0));
        if (closed == OPOS_SUCCESS) close->micros.push_back(static_cast<double>(t3 - t2));
        PumpFor(kSettleMs);
    }
}

}  // namespace bench
