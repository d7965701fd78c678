// The drawer client.
#include "tools/client/drawer_client.h"

#include <oleauto.h>

#include <cstdlib>

#include "framework/wide_text.h"
#include "server/server_registry.h"
#include "util/opos_constants.h"

namespace client {

DrawerClient::~DrawerClient() {
    Attach(nullptr);  // the service goes first: it holds the control object
    m_co->Release();
}

HRESULT DrawerClient::Create(const std::string& progId) {
    CLSID clsid;
    fw::ComPtr<IDispatch> object;
    HRESULT hr = CLSIDFromProgID(fw::Utf8ToWide(progId).c_str(), &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              object.put_void());
    }
    Attach(SUCCEEDED(hr) ? object.get() : nullptr);
    return hr;
}

HRESULT DrawerClient::CreateFromModule(const char* dllPath) {
    typedef HRESULT(WINAPI * GetClassObject)(REFCLSID, REFIID, void**);
    HMODULE module = LoadLibraryA(dllPath);  // stays loaded until the process ends
    auto get = module ? reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(
                            GetProcAddress(module, "DllGetClassObject")))
                      : nullptr;
    if (get == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    CLSID clsid;
    fw::ComPtr<IClassFactory> factory;
    fw::ComPtr<IDispatch> object;
    HRESULT hr = CLSIDFromProgID(fw::Utf8ToWide(kProgId).c_str(), &clsid);
    if (SUCCEEDED(hr)) hr = get(clsid, IID_IClassFactory, factory.put_void());
    if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IDispatch, object.put_void());
    Attach(SUCCEEDED(hr) ? object.get() : nullptr);
    return hr;
}

void DrawerClient::Attach(IDispatch* service) {
    static_cast<fw::DispClient&>(*this) = fw::DispClient(service);
    // Looked up once, as a control object does, so that no OpenDrawer pays for it.
    m_openDrawerId = service ? IdOf(L"OpenDrawer") : DISPID_UNKNOWN;
}

void DrawerClient::UseControlObject(const ControlObjectStub::Options& options) {
    m_co->Release();
    m_co = ControlObjectStub::Create(options);
}

LONG DrawerClient::Open(const std::wstring& device) const {
    return Long(L"OpenService", L"CashDrawer", device.c_str(), static_cast<IDispatch*>(m_co));
}

LONG DrawerClient::Open(const std::string& device) const {
    return Open(fw::Utf8ToWide(device));
}

LONG DrawerClient::OpenDrawer() const {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = InvokeArgs(m_openDrawerId, nullptr, 0, &result);
    const LONG value = SUCCEEDED(hr) && V_VT(&result) == VT_I4 ? V_I4(&result) : -1;
    VariantClear(&result);
    return value;
}

LONG DrawerClient::Set(LONG index, LONG value) const {
    const HRESULT hr = Call(L"SetPropertyNumber", nullptr, index, value);
    return FAILED(hr) ? hr : ResultCode();
}

LONG DrawerClient::ResultCode() const {
    return Number(PIDX_ResultCode);
}

LONG DrawerClient::DrawerOpened() const {
    return Number(PIDXCash_DrawerOpened);
}

LONG DrawerClient::Counters(std::map<std::string, long long>* counters) const {
    BSTR buffer = SysAllocString(L"U_");
    const LONG r = Long(L"RetrieveStatistics", fw::Arg::Ref(&buffer));
    *counters = r == OPOS_SUCCESS ? ParseCounters(buffer ? buffer : L"")
                                  : std::map<std::string, long long>();
    SysFreeString(buffer);
    return r;
}

long long DrawerClient::Counter(const char* name) const {
    std::map<std::string, long long> counters;
    if (Counters(&counters) != OPOS_SUCCESS) return -1;
    auto it = counters.find(name);
    return it == counters.end() ? -1 : it->second;
}

LONG DrawerClient::DirectIO(LONG command, LONG* data, std::wstring* text) const {
    BSTR string = SysAllocString(text->c_str());
    const LONG r = Long(L"DirectIO", command, fw::Arg::Ref(data), fw::Arg::Ref(&string));
    *text = string ? string : L"";
    SysFreeString(string);
    return r;
}

long long DrawerClient::DrawerOpenCount() const {
    LONG data = 1;
    std::wstring text;
    if (DirectIO(115, &data, &text) != OPOS_SUCCESS || text.size() != 40) return -1;
    return _wtoi64(text.c_str() + 28);
}

LONG DrawerClient::ClearDrawerOpenCount() const {
    LONG data = 0;
    std::wstring text;
    return DirectIO(114, &data, &text);
}

LONG DrawerClient::CounterMode() const {
    LONG data = -1;
    std::wstring text;
    return DirectIO(113, &data, &text) == OPOS_SUCCESS ? data : -1;
}

std::map<std::string, long long> ParseCounters(const std::wstring& doc) {
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

namespace {

// Handles messages until `done` holds or the deadline passes; waits at most `pollMs` at a time.
bool Pump(const std::function<bool()>& done, DWORD timeoutMs, const std::vector<HANDLE>& wakes,
          DWORD pollMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        const DWORD left = static_cast<DWORD>(deadline - now);
        MsgWaitForMultipleObjectsEx(
            static_cast<DWORD>(wakes.size()), wakes.empty() ? nullptr : wakes.data(),
            left < pollMs ? left : pollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               const std::vector<HANDLE>& wakes) {
    // Without wakes, `done` may turn on something no message announces: look every 20 ms.
    return Pump(done, timeoutMs, wakes, wakes.empty() ? 20 : INFINITE);
}

void PumpFor(DWORD ms) {
    Pump([] { return false; }, ms, {}, INFINITE);
}

}  // namespace client
