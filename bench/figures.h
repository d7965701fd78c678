// Measurements made inside one process with the service open through a Session. Each returns
// its samples in microseconds and counts the attempts that did not do what was asked.
#pragma once

#include <string>
#include <vector>

#include "bench/sim_driver.h"
#include "tools/client/drawer_client.h"

namespace bench {

// One application's use of the drawer: the registered service driven by name, with a control
// object that stamps each event with sim::NowMicros() the moment it arrives.
using Session = client::DrawerClient;
using StatusCall = client::ControlObjectStub::Event;  // number, stamp, threadId
using client::PumpFor;
using client::PumpUntil;

// Creates the service object by ProgID; false (with the HRESULT in *hr) when that fails.
bool CreateSession(Session& session, HRESULT* hr);
// DeviceEnabled = TRUE; the ResultCode.
LONG Enable(const Session& session);

struct Samples {
    std::vector<double> micros;
    int failures = 0;
    std::string firstFailure;  // what went wrong first, for the report
    void Fail(const std::string& what) {
        if (failures++ == 0) firstFailure = what;
    }
};

// Bound of every wait for the service; far above anything a working service needs.
constexpr DWORD kWaitBoundMs = 10000;
// Quiet time after the service has reported a change, so that every sample starts from an idle
// service (its reader back at its wait), as a drawer opened by a cashier would find it.
constexpr DWORD kSettleMs = 20;

// Waits (pumping) for the first status update from index `from` on whose value is `value`;
// false when none came within the bound.
bool WaitForStatus(const Session& session, size_t from, LONG value, StatusCall* call);

// Makes this process's service read drawer 1 closed: closes it at the controller when needed
// and waits until the status update has arrived, then lets the service settle. Not timed.
bool EnsureClosed(const Session& session, SimDriver& sim);

// `count` OpenDrawer calls, call to return, each from a closed drawer.
Samples MeasureOpenDrawer(Session& session, SimDriver& sim, int count);

// `count` drawer changes made at the controller (open and close in turn), each from the change
// to the arrival of SOStatusUpdate on this (the application's) thread.
Samples MeasureStatusEvents(const Session& session, SimDriver& sim, int count);

// OpenService and Close of one service object, `count` times after one untimed warm-up.
void MeasureOpenClose(int count, Samples* open, Samples* close);

}  // namespace bench
