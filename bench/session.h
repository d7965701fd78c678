// One application's use of the cash drawer: the registered service created by its ProgID and
// driven only through IDispatch, with the benchmark's control object behind it. Every call runs
// on the thread that created the session; that thread pumps messages while it waits, so the
// service can deliver its events there.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "bench/control_object.h"
#include "framework/disp_client.h"

namespace bench {

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Creates the service object by ProgID; false (with the HRESULT in *hr) when that fails.
    bool Create(HRESULT* hr);

    LONG Open(const wchar_t* deviceName);  // OpenService with our control object
    LONG Enable();                         // DeviceEnabled = TRUE
    LONG OpenDrawer();
    LONG Close();
    LONG DrawerOpened() const;

    ControlObject& control() const { return *m_control; }

private:
    fw::DispClient m_drawer;
    ControlObject* m_control = nullptr;
    DISPID m_openDrawerId = DISPID_UNKNOWN;  // looked up once, as a control object does
};

// Handles the calling thread's messages until `done` holds or `timeoutMs` has passed; also
// looks at `done` whenever one of `wakes` is signalled (a `done` that waits for a process or a
// manual-reset event must therefore test it). Returns what `done` said last.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               const std::vector<HANDLE>& wakes = {});

// Handles messages for `ms` milliseconds.
void PumpFor(DWORD ms);

}  // namespace bench
