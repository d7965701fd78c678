// Another application on the drawer, for the cross-process tests: it creates the service as a
// control object does, acts as its control object and runs its steps in order, pumping
// messages while it waits:
//   drawer_peer [--dll PATH] DEVICE STEP...
//   --dll PATH          the service from that copy of the module instead of the registered one
// A step is NAME or NAME=ARG. The calls take an expected result as ARG (0 when none is given;
// "!CODE" means anything but CODE):
//   open  enable  claim  release  opendrawer  close
//   opened=0|1          wait (at most 10 s) until DrawerOpened reads the value
//   events=V,V,...      wait (at most 10 s) until the status updates received so far are
//                       exactly these values, in this order
//   signal=NAME         set the named event "BramwickTest NAME"
//   wait=NAME           wait (at most 30 s) for it
//   sim=NAME:ARGS       `cdctl sim NAME ARGS` ('_' for blanks), expecting exit code 0
//   sleep=MS            wait MS milliseconds
//   crash               end the process at once with exit code 9, closing nothing
// Prints each step with what it got. Exit code: 0 when every step did what was asked, 3 when
// the service cannot be created, 4 when it called the control object in a way no control
// object expects, otherwise 10 + the index of the first step that did not.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "tests/win/sim_control.h"
#include "tools/client/drawer_client.h"
#include "util/opos_constants.h"

namespace {

// Runs one step; false when it did not give what was asked.
bool Run(client::DrawerClient& drawer, const char* device, const std::string& step,
         const std::string& arg) {
    const bool anythingBut = !arg.empty() && arg[0] == '!';
    const LONG expected = atol(arg.c_str() + (anythingBut ? 1 : 0));
    auto check = [&](LONG got) {
        printf("%s %ld\n", step.c_str(), static_cast<long>(got));
        return anythingBut ? got != expected : got == expected;
    };
    if (step == "open") return check(drawer.Open(std::string(device)));
    if (step == "enable") return check(drawer.Set(PIDX_DeviceEnabled, 1));
    if (step == "claim") return check(drawer.Claim(0));
    if (step == "release") return check(drawer.Release());
    if (step == "opendrawer") return check(drawer.OpenDrawer());
    if (step == "waitforclose") return check(drawer.WaitForDrawerClose(1000));
    if (step == "close") return check(drawer.Close());
    if (step == "opened") {
        return client::PumpUntil([&] { return drawer.DrawerOpened() == expected; }, 10000);
    }
    if (step == "events") {
        std::vector<LONG> want;
        for (const char* at = arg.c_str(); *at != '\0'; at += *at == ',' ? 1 : 0) {
            char* end = nullptr;
            want.push_back(strtol(at, &end, 10));
            at = end;
        }
        const bool ok =
            client::PumpUntil([&] { return drawer.co().StatusUpdates() == want; }, 10000);
        printf("events");
        for (LONG v : drawer.co().StatusUpdates()) printf(" %ld", static_cast<long>(v));
        printf("\n");
        return ok;
    }
    if (step == "signal" || step == "wait") {
        fw::UniqueKernel event(testproc::Named(arg));
        if (step == "signal") return SetEvent(event.get()) != FALSE;
        return client::PumpUntil(
            [&] { return WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0; }, 30000);
    }
    if (step == "sim") {
        const size_t colon = arg.find(':');
        std::string args = colon == std::string::npos ? "" : arg.substr(colon + 1);
        std::replace(args.begin(), args.end(), '_', ' ');
        return Sim(arg.substr(0, colon), args) == 0;
    }
    if (step == "sleep") {
        client::PumpFor(static_cast<DWORD>(expected));
        return true;
    }
    if (step == "crash") {
        fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 9);
    }
    fprintf(stderr, "drawer_peer: unknown step %s\n", step.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dll = nullptr;
    if (argc > 2 && strcmp(argv[1], "--dll") == 0) {
        dll = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: drawer_peer [--dll PATH] DEVICE STEP...\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        client::DrawerClient drawer;
        if (FAILED(dll ? drawer.CreateFromModule(dll) : drawer.Create())) {
            fprintf(stderr, "drawer_peer: cannot create the service\n");
            return 3;
        }
        for (int i = 2; i < argc && exitCode == 0; ++i) {
            std::string step = argv[i];
            std::string arg;
            const size_t eq = step.find('=');
            if (eq != std::string::npos) {
                arg = step.substr(eq + 1);
                step.resize(eq);
            }
            if (!Run(drawer, argv[1], step, arg)) {
                fprintf(stderr, "drawer_peer: step %d (%s) failed\n", i - 2, argv[i]);
                exitCode = 10 + (i - 2);
            }
            fflush(stdout);
        }
        for (const std::string& call : drawer.co().Unexpected()) {
            fprintf(stderr, "drawer_peer: the control object was called unexpectedly: %s\n",
                    call.c_str());
            if (exitCode == 0) exitCode = 4;
        }
    }
    CoUninitialize();
    return exitCode;
}
