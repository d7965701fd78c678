// A second application for the fault matrix, started where the test wants it (for instance
// from a folder without the trace library). It creates the registered service by ProgID and
// runs its steps in order:
//   fault_peer [--dll PATH] DEVICE STEP...
//   --dll PATH         the service from that copy of the module instead of the registered one
//   open[=CODE]        OpenService, expecting 0 or CODE
//   enable             DeviceEnabled = 1
//   opendrawer[=CODE]  OpenDrawer, expecting 0 or CODE
//   close              Close, expecting 0
//   sim:NAME:ARGS      `cdctl sim NAME ARGS` ('_' for blanks), expecting exit code 0
//   sleep:MS           waits MS milliseconds
// Prints each step's result. Exit code: 0 when every step gave what was expected, 3 when the
// service cannot be created, otherwise 10 + the index of the first step that did not.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tests/soak/drawer_session.h"
#include "tests/win/sim_control.h"

int main(int argc, char** argv) {
    const char* dll = nullptr;
    if (argc > 2 && strcmp(argv[1], "--dll") == 0) {
        dll = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: fault_peer [--dll PATH] DEVICE STEP...\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        std::unique_ptr<soak::DrawerSession> made = dll ? std::make_unique<soak::DrawerSession>(dll)
                                                        : std::make_unique<soak::DrawerSession>();
        soak::DrawerSession& session = *made;
        if (!session.created()) {
            fprintf(stderr, "fault_peer: cannot create the service\n");
            return 3;
        }
        const std::wstring device(argv[1], argv[1] + strlen(argv[1]));
        for (int i = 2; i < argc && exitCode == 0; ++i) {
            std::string step = argv[i];
            LONG expected = OPOS_SUCCESS;
            const size_t eq = step.find('=');
            if (eq != std::string::npos) {
                expected = atol(step.c_str() + eq + 1);
                step.resize(eq);
            }
            LONG result;
            if (step == "open") {
                result = session.Open(device);
            } else if (step == "enable") {
                session.Set(PIDX_DeviceEnabled, 1);
                result = session.ResultCode();
            } else if (step == "opendrawer") {
                result = session.OpenDrawer();
            } else if (step == "close") {
                result = session.Close();
            } else if (step.rfind("sim:", 0) == 0) {
                // sim:NAME:ARGS, with '_' for blanks: a fault made between two steps.
                const size_t colon = step.find(':', 4);
                std::string args = colon == std::string::npos ? "" : step.substr(colon + 1);
                std::replace(args.begin(), args.end(), '_', ' ');
                result = static_cast<LONG>(Sim(step.substr(4, colon - 4), args));
            } else if (step.rfind("sleep:", 0) == 0) {
                Sleep(static_cast<DWORD>(atol(step.c_str() + 6)));
                result = OPOS_SUCCESS;
            } else {
                fprintf(stderr, "fault_peer: unknown step %s\n", argv[i]);
                return 2;
            }
            printf("%s %ld\n", step.c_str(), static_cast<long>(result));
            fflush(stdout);
            if (result != expected) exitCode = 10 + (i - 2);
        }
    }
    CoUninitialize();
    return exitCode;
}
