// The registered cash-drawer service driven as an application drives it: created by ProgID,
// called only through IDispatch, with a test control object. Shared by the fault matrix and
// the soak driver. Reads back what the service counts: the UnifiedPOS counters from the
// RetrieveStatistics document and the drawer-open reliability counter through DirectIO.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdlib>
#include <map>
#include <string>

#include "framework/disp_client.h"
#include "tests/win/test_control_object.h"
#include "util/opos_constants.h"

namespace soak {

constexpr wchar_t kProgId[] = L"OPOS.CashDrawer.Bramwick.1";

// The counters of a RetrieveStatistics("U_") document, by name; empty when it was refused.
inline std::map<std::string, long long> ParseCounters(const std::wstring& doc) {
    std::map<std::string, long long> counters;
    const std::wstring nameTag = L"<Name>";
    for (size_t at = doc.find(nameTag); at != std::wstring::npos; at = doc.find(nameTag, at + 1)) {
        const size_t nameEnd = doc.find(L"</Name>", at);
        const size_t value = doc.find(L"<Value>", at);
        if (nameEnd == std::wstring::npos || value == std::wstring::npos) break;
        std::string name;
        for (size_t i = at + nameTag.size(); i < nameEnd; ++i) {
            name.push_back(static_cast<char>(doc[i]));
        }
        counters[name] = _wtoi64(doc.c_str() + value + 7);
    }
    return counters;
}

class DrawerSession {
public:
    // The service as registered.
    DrawerSession() : m_co(TestControlObject::Create()) {
        CLSID clsid;
        fw::ComPtr<IDispatch> object;
        if (SUCCEEDED(CLSIDFromProgID(kProgId, &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       object.put_void()))) {
            m_drawer = fw::DispClient(object.get());
        }
    }
    // The registered class, but from the copy of the module at dllPath.
    explicit DrawerSession(const char* dllPath) : m_co(TestControlObject::Create()) {
        typedef HRESULT(WINAPI * GetClassObject)(REFCLSID, REFIID, void**);
        HMODULE module = LoadLibraryA(dllPath);  // stays loaded until the process ends
        auto get = module ? reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(
                                GetProcAddress(module, "DllGetClassObject")))
                          : nullptr;
        CLSID clsid;
        fw::ComPtr<IClassFactory> factory;
        fw::ComPtr<IDispatch> object;
        if (get && SUCCEEDED(CLSIDFromProgID(kProgId, &clsid)) &&
            SUCCEEDED(get(clsid, IID_IClassFactory, factory.put_void())) &&
            SUCCEEDED(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()))) {
            m_drawer = fw::DispClient(object.get());
        }
    }
    ~DrawerSession() {
        m_drawer = fw::DispClient();  // the service goes first: it holds the control object
        m_co->Release();
    }
    DrawerSession(const DrawerSession&) = delete;
    DrawerSession& operator=(const DrawerSession&) = delete;

    bool created() const { return m_drawer.get() != nullptr; }
    TestControlObject& co() { return *m_co; }
    const fw::DispClient& drawer() const { return m_drawer; }

    LONG Open(const std::wstring& device) {
        return m_drawer.Long(L"OpenService", L"CashDrawer", device.c_str(),
                             static_cast<IDispatch*>(m_co));
    }
    LONG Close() { return m_drawer.Long(L"Close"); }
    LONG Claim(LONG timeout) { return m_drawer.Long(L"ClaimDevice", timeout); }
    LONG Release() { return m_drawer.Long(L"ReleaseDevice"); }
    LONG OpenDrawer() { return m_drawer.Long(L"OpenDrawer"); }
    LONG WaitForDrawerClose(LONG beepTimeout) {
        return m_drawer.Long(L"WaitForDrawerClose", beepTimeout, 1000, 10, 100);
    }
    LONG OpenResult() { return m_drawer.Long(L"GetOpenResult"); }
    LONG Number(LONG index) { return m_drawer.Long(L"GetPropertyNumber", index); }
    void Set(LONG index, LONG value) {
        VARIANT r;
        VariantInit(&r);
        m_drawer.Call(L"SetPropertyNumber", &r, index, value);
        VariantClear(&r);
    }
    LONG ResultCode() { return Number(PIDX_ResultCode); }

    // RetrieveStatistics("U_"): its result and the counters of its document.
    LONG Counters(std::map<std::string, long long>* counters) {
        BSTR buffer = SysAllocString(L"U_");
        const LONG r = m_drawer.Long(L"RetrieveStatistics", fw::Arg::Ref(&buffer));
        *counters = r == OPOS_SUCCESS ? ParseCounters(buffer ? buffer : L"")
                                      : std::map<std::string, long long>();
        SysFreeString(buffer);
        return r;
    }
    long long Counter(const char* name) {
        std::map<std::string, long long> counters;
        if (Counters(&counters) != OPOS_SUCCESS) return -1;
        auto it = counters.find(name);
        return it == counters.end() ? -1 : it->second;
    }

    // DirectIO with a number and a string; the string's new text in *text.
    LONG DirectIO(LONG command, LONG* data, std::wstring* text) {
        BSTR string = SysAllocString(text->c_str());
        const LONG r =
            m_drawer.Long(L"DirectIO", command, fw::Arg::Ref(data), fw::Arg::Ref(&string));
        *text = string ? string : L"";
        SysFreeString(string);
        return r;
    }
    // The drawer-open reliability counter (DirectIO 115, data 1), or -1 when it is refused.
    long long DrawerOpenCount() {
        LONG data = 1;
        std::wstring text;
        if (DirectIO(115, &data, &text) != OPOS_SUCCESS || text.size() != 40) return -1;
        return _wtoi64(text.c_str() + 28);
    }
    // DirectIO 114 data 0: the reliability counter back to 0.
    LONG ClearDrawerOpenCount() {
        LONG data = 0;
        std::wstring text;
        return DirectIO(114, &data, &text);
    }
    // DirectIO 113: the counter mode (0 Disable, 1 Memory, 2 and 3 File).
    LONG CounterMode() {
        LONG data = -1;
        std::wstring text;
        return DirectIO(113, &data, &text) == OPOS_SUCCESS ? data : -1;
    }

private:
    TestControlObject* m_co;
    fw::DispClient m_drawer;
};

}  // namespace soak
