// The benchmark's application side of the service.
#include "bench/session.h"

#include "framework/wide_text.h"
#include "server/server_registry.h"
#include "util/opos_constants.h"

namespace bench {

Session::~Session() {
    m_drawer = fw::DispClient();
    if (m_control != nullptr) m_control->Release();
}

bool Session::Create(HRESULT* hr) {
    CLSID clsid;
    *hr = CLSIDFromProgID(fw::Utf8ToWide(kProgId).c_str(), &clsid);
    if (FAILED(*hr)) return false;
    fw::ComPtr<IDispatch> object;
    *hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
    if (FAILED(*hr)) return false;
    m_drawer = fw::DispClient(object.get());
    m_openDrawerId = m_drawer.IdOf(L"OpenDrawer", hr);
    if (FAILED(*hr)) return false;
    m_control = ControlObject::Create();
    return true;
}

LONG Session::Open(const wchar_t* deviceName) {
    return m_drawer.Long(L"OpenService", L"CashDrawer", deviceName,
                         static_cast<IDispatch*>(m_control));
}

LONG Session::Enable() {
    VARIANT result;
    VariantInit(&result);
    m_drawer.Call(L"SetPropertyNumber", &result, PIDX_DeviceEnabled, 1);
    VariantClear(&result);
    return m_drawer.Long(L"GetPropertyNumber", PIDX_ResultCode);
}

LONG Session::OpenDrawer() {
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = m_drawer.InvokeArgs(m_openDrawerId, nullptr, 0, &result);
    const LONG value = SUCCEEDED(hr) && V_VT(&result) == VT_I4 ? V_I4(&result) : -1;
    VariantClear(&result);
    return value;
}

LONG Session::Close() {
    return m_drawer.Long(L"Close");
}

LONG Session::DrawerOpened() const {
    return m_drawer.Long(L"GetPropertyNumber", PIDXCash_DrawerOpened);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               const std::vector<HANDLE>& wakes) {
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
        MsgWaitForMultipleObjectsEx(static_cast<DWORD>(wakes.size()),
                                    wakes.empty() ? nullptr : wakes.data(), left, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

}  // namespace bench
