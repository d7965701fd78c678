// The cash-drawer service driven as an OPOS control object drives it: created by its ProgID (or
// handed in), every method called by name through IDispatch, with a ControlObjectStub given to
// OpenService. Also reads back what the service counts: the UnifiedPOS counters from the
// RetrieveStatistics document and the drawer-open reliability counter through DirectIO.
// Used on the thread that created it; that thread pumps messages while it waits (PumpUntil),
// so the service's events arrive on it.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/disp_client.h"
#include "server/server_registry.h"
#include "tools/client/control_object_stub.h"

namespace client {

class DrawerClient : public fw::DispClient {
public:
    DrawerClient() : m_co(ControlObjectStub::Create()) {}
    ~DrawerClient();
    DrawerClient(const DrawerClient&) = delete;
    DrawerClient& operator=(const DrawerClient&) = delete;

    // The registered service, created by ProgID (ours unless another is named); the HRESULT of
    // the creation.
    HRESULT Create(const std::string& progId = kProgId);
    // The registered class, but from the copy of the module at dllPath (which stays loaded).
    HRESULT CreateFromModule(const char* dllPath);
    // Drives this service from now on (none: null); the earlier one is released first.
    void Attach(IDispatch* service);
    bool created() const { return get() != nullptr; }

    // A fresh control object for the next OpenService; the earlier one is released.
    void UseControlObject(const ControlObjectStub::Options& options);
    ControlObjectStub& co() const { return *m_co; }

    LONG Open(const std::wstring& device) const;
    LONG Open(const std::string& device) const;  // UTF-8
    LONG Close() const { return Long(L"Close"); }
    LONG Claim(LONG timeout) const { return Long(L"ClaimDevice", timeout); }
    LONG Release() const { return Long(L"ReleaseDevice"); }
    LONG OpenDrawer() const;
    LONG WaitForDrawerClose(LONG beepTimeout) const {
        return Long(L"WaitForDrawerClose", beepTimeout, 1000, 10, 100);
    }
    LONG OpenResult() const { return Long(L"GetOpenResult"); }
    LONG Number(LONG index) const { return Long(L"GetPropertyNumber", index); }
    std::wstring Text(LONG index) const { return String(L"GetPropertyString", index); }
    // Sets a number property; the ResultCode that follows, or the failing HRESULT of the call.
    LONG Set(LONG index, LONG value) const;
    LONG ResultCode() const;
    LONG DrawerOpened() const;

    // RetrieveStatistics("U_"): its result and the counters of its document.
    LONG Counters(std::map<std::string, long long>* counters) const;
    long long Counter(const char* name) const;  // -1 when refused or missing
    // DirectIO with a number and a string; the string's new text in *text.
    LONG DirectIO(LONG command, LONG* data, std::wstring* text) const;
    // The drawer-open reliability counter (DirectIO 115, data 1), or -1 when it is refused.
    long long DrawerOpenCount() const;
    LONG ClearDrawerOpenCount() const;  // DirectIO 114 data 0
    LONG CounterMode() const;           // DirectIO 113: 0 Disable, 1 Memory, 2 and 3 File

private:
    ControlObjectStub* m_co;
    DISPID m_openDrawerId = DISPID_UNKNOWN;
};

// The counters of a RetrieveStatistics document, by name.
std::map<std::string, long long> ParseCounters(const std::wstring& doc);

// Handles the calling thread's messages until `done` holds or `timeoutMs` has passed, looking
// at `done` after each batch of messages, and whenever one of `wakes` is signalled or, without
// wakes, every 20 ms (a `done` given wakes must test them). Returns what `done` said last.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               const std::vector<HANDLE>& wakes = {});
// Handles messages for `ms` milliseconds, waking only for them.
void PumpFor(DWORD ms);

}  // namespace client
