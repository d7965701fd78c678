// Port libraries that misbehave on purpose, for the binding's failure stages, and one that
// records what it is given. Built several times with FAKE_PORT_MODE:
//   1 no "Init" export    2 no "Term" export    3 "Init" gives no handle (detail 77)
//   4 records the open request and refuses it with 5; counts "Term" calls
//   5 records everything and accepts every request
#include <windows.h>

#include <cstring>

#include "link/port_abi.h"

namespace {
PortOpenParams g_lastOpen = {};
char g_texts[8][128] = {};
LONG g_opens = 0;
LONG g_terms = 0;
LONG g_requests[64] = {};
LONG g_requestCount = 0;

void CopyText(int slot, PortWord text) {
    if (text) strncpy(g_texts[slot], reinterpret_cast<const char*>(text), 127);
}

[[maybe_unused]] LONG WINAPI Request(PortWord port, PortWord* request) {
    if (port != 0x5150) return 87;
    if (g_requestCount < 64) g_requests[g_requestCount++] = static_cast<LONG>(request[0]);
    if (request[0] == kPortOpen) {
        ++g_opens;
        memcpy(&g_lastOpen, request + 1, sizeof(g_lastOpen));
        CopyText(0, g_lastOpen.path);
        CopyText(1, g_lastOpen.dllName);
        CopyText(2, g_lastOpen.port);
        CopyText(3, g_lastOpen.deviceName);
        CopyText(4, g_lastOpen.moduleName);
        CopyText(5, g_lastOpen.settings);
        CopyText(6, g_lastOpen.deviceDescription);
        return FAKE_PORT_MODE == 4 ? 5 : 0;
    }
    return 0;
}
}  // namespace

extern "C" {

#if FAKE_PORT_MODE != 1
__declspec(dllexport) PortWord WINAPI Init(PortRequestFn* entry, LONG* detail) {
#if FAKE_PORT_MODE == 3
    *detail = 77;
    *entry = &Request;
    return 0;
#else
    *detail = 0;
    *entry = &Request;
    return 0x5150;
#endif
}
#endif

#if FAKE_PORT_MODE != 2
__declspec(dllexport) void WINAPI Term(PortWord) { ++g_terms; }
#endif

// For the tests: what the library was given.
__declspec(dllexport) const PortOpenParams* FakeLastOpen() { return &g_lastOpen; }
__declspec(dllexport) const char* FakeText(int slot) { return g_texts[slot]; }
__declspec(dllexport) LONG FakeOpens() { return g_opens; }
__declspec(dllexport) LONG FakeTerms() { return g_terms; }
__declspec(dllexport) LONG FakeRequestCount() { return g_requestCount; }
__declspec(dllexport) LONG FakeRequest(int i) { return g_requests[i]; }
}
