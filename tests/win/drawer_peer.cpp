// Another application with the drawer open, for the cross-process and claim tests. It creates
// the registered service by ProgID, acts as its control object and runs the steps it is given,
// pumping messages while it waits:
//   drawer_peer DEVICE STEP...
//   open | open=CODE          OpenService, expecting 0 or CODE
//   enable                    DeviceEnabled = 1
//   claim | release           ClaimDevice(0) or ReleaseDevice, expecting 0
//   opened=0|1                wait (at most 10 s) until DrawerOpened reads the value
//   signal=NAME               set the named event "BramwickTest NAME"
//   wait=NAME                 wait (at most 30 s) for "BramwickTest NAME"
//   opendrawer                OpenDrawer, expecting 0
//   opendrawer-unclaimed      OpenDrawer, expecting anything but 102 (OPOS_E_CLAIMED)
//   events=V,V,...            wait (at most 10 s) until the status updates received so far
//                             are exactly these values, in this order
//   close                     Close, expecting 0
//   crash                     end the process at once, without closing anything
// Exit code: 0 when every step did what was asked, otherwise 10 + the failing step's index.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/disp_client.h"
#include "tests/win/test_control_object.h"
#include "util/opos_constants.h"

namespace {

HANDLE NamedEvent(const std::string& name) {
    return CreateEventA(nullptr, TRUE, FALSE, ("BramwickTest " + name).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: drawer_peer DEVICE STEP...\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DrawerClient drawer;
    if (!drawer.AttachRegistered()) {
        fprintf(stderr, "drawer_peer: cannot create the service\n");
        return 3;
    }
    for (int i = 2; i < argc; ++i) {
        std::string step = argv[i];
        std::string arg;
        size_t eq = step.find('=');
        if (eq != std::string::npos) {
            arg = step.substr(eq + 1);
            step = step.substr(0, eq);
        }
        bool ok = true;
        if (step == "open") {
            LONG expected = arg.empty() ? OPOS_SUCCESS : atol(arg.c_str());
            LONG r = drawer.Open(argv[1]);
            ok = r == expected;
            printf("open %ld\n", static_cast<long>(r));
        } else if (step == "enable") {
            drawer.Set(PIDX_DeviceEnabled, 1);
        } else if (step == "claim") {
            ok = drawer.Long(L"ClaimDevice", 0) == OPOS_SUCCESS;
        } else if (step == "release") {
            ok = drawer.Long(L"ReleaseDevice") == OPOS_SUCCESS;
        } else if (step == "opened") {
            LONG want = atol(arg.c_str());
            ok = PumpUntil([&] { return drawer.Number(PIDXCash_DrawerOpened) == want; }, 10000);
        } else if (step == "opendrawer") {
            ok = drawer.Long(L"OpenDrawer") == OPOS_SUCCESS;
        } else if (step == "opendrawer-unclaimed") {
            ok = drawer.Long(L"OpenDrawer") != OPOS_E_CLAIMED;
        } else if (step == "events") {
            std::vector<LONG> want;
            for (const char* at = arg.c_str(); *at != '\0'; at += *at == ',' ? 1 : 0) {
                char* end = nullptr;
                want.push_back(strtol(at, &end, 10));
                at = end;
            }
            ok = PumpUntil([&] { return drawer.co()->StatusUpdates() == want; }, 10000);
            printf("events");
            for (LONG v : drawer.co()->StatusUpdates()) printf(" %ld", static_cast<long>(v));
            printf("\n");
        } else if (step == "signal") {
            HANDLE e = NamedEvent(arg);
            SetEvent(e);
            CloseHandle(e);
        } else if (step == "wait") {
            HANDLE e = NamedEvent(arg);
            ok = PumpUntil([&] { return WaitForSingleObject(e, 0) == WAIT_OBJECT_0; }, 30000);
            CloseHandle(e);
        } else if (step == "close") {
            ok = drawer.Long(L"Close") == OPOS_SUCCESS;
        } else if (step == "crash") {
            fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 9);
        } else {
            fprintf(stderr, "drawer_peer: unknown step %s\n", argv[i]);
            return 2;
        }
        fflush(stdout);
        if (!ok) {
            fprintf(stderr, "drawer_peer: step %d (%s) failed\n", i - 2, argv[i]);
            return 10 + (i - 2);
        }
    }
    drawer.Attach(nullptr);
    CoUninitialize();
    return 0;
}
