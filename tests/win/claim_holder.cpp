// A second process for the claim tests: opens a device, claims it, tells the test, then waits
// for the test's word and either releases the claim or ends without releasing it.
//   claim_holder DEVICE release|abandon
// Named events: "BramwickTest Claimed DEVICE" (set once claimed) and
// "BramwickTest Release DEVICE" (waited for, at most 30 s).
#include <windows.h>

#include <cstdio>
#include <string>

#include "so/cash_drawer.h"
#include "tests/win/test_control_object.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: claim_holder DEVICE release|abandon\n");
        return 2;
    }
    const std::string device = argv[1];
    const bool abandon = std::string(argv[2]) == "abandon";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HANDLE claimed = CreateEventA(nullptr, TRUE, FALSE, ("BramwickTest Claimed " + device).c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, ("BramwickTest Release " + device).c_str());

    IDispatch* object = nullptr;
    CCashDrawer::CreateInstance(IID_IDispatch, reinterpret_cast<void**>(&object));
    auto* drawer = static_cast<CCashDrawer*>(static_cast<fw::DispatchObject*>(object));
    TestControlObject* co = TestControlObject::Create();
    LONG open = drawer->OpenService("CashDrawer", device.c_str(), co);
    LONG claim = open == OPOS_SUCCESS ? drawer->Claim(0) : open;
    printf("open %ld claim %ld\n", static_cast<long>(open), static_cast<long>(claim));
    fflush(stdout);
    if (claim != OPOS_SUCCESS) return 1;
    SetEvent(claimed);
    WaitForSingleObject(release, 30000);
    if (abandon) ExitProcess(3);  // the claim mutex is left abandoned
    drawer->ReleaseDevice();
    drawer->Close();
    object->Release();
    co->Release();
    return 0;
}
