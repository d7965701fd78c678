// The module's four COM exports and its one creatable class.
#include <windows.h>

#include "framework/class_factory.h"
#include "server/bramwick_ids.h"
#include "server/registration.h"
#include "so/cash_drawer.h"

namespace {
fw::ClassFactory g_cashDrawerFactory(&CCashDrawer::CreateInstance);
const fw::ClassEntry kClasses[] = {
    {&CLSID_CashDrawer, &g_cashDrawerFactory, kProgId, kClassDescription},
};
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
    return RegisterServer();
}

HRESULT WINAPI DllUnregisterServer() {
    return UnregisterServer();
}

}  // extern "C"
