// The module's four COM exports and its one creatable class.
#include <windows.h>
#include <olectl.h>

#include <new>

#include "framework/class_factory.h"
#include "server/bramwick_ids.h"
#include "server/registration.h"
#include "so/cash_drawer.h"

namespace {
fw::ClassFactory g_cashDrawerFactory(&CCashDrawer::CreateInstance);
const fw::ClassEntry kClasses[] = {
    {&CLSID_CashDrawer, &g_cashDrawerFactory},
};

// No C++ exception may leave the module through an export: it becomes the result the caller
// expects for a failure of that kind.
template <class Fn>
HRESULT Guarded(Fn fn, HRESULT otherwise) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return otherwise;
    }
}
}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return fw::GetClassObject(kClasses, sizeof(kClasses) / sizeof(kClasses[0]), clsid, riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow() {
    return fw::CanUnloadNow();
}

HRESULT WINAPI DllRegisterServer() {
    return Guarded(RegisterServer, SELFREG_E_CLASS);
}

HRESULT WINAPI DllUnregisterServer() {
    return Guarded(UnregisterServer, SELFREG_E_CLASS);
}

}  // extern "C"
