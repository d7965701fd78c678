// Self-registration of the module. Called by regsvr32 through the exports in dll.cpp.
#include "server/registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "framework/handles.h"
#include "framework/module.h"
#include "framework/wide_text.h"
#include "server/bramwick_ids.h"

namespace {

std::string GuidText(REFGUID guid) {
    wchar_t wide[64];
    if (StringFromGUID2(guid, wide, 64) == 0) return {};
    char narrow[64];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}

// Writes a text value through the wide call: the module path in it may hold any character.
bool SetText(HKEY key, const char* name, const std::string& value, DWORD type = REG_SZ) {
    const std::wstring wide = fw::Utf8ToWide(value);
    return RegSetValueExW(key, name ? fw::Utf8ToWide(name).c_str() : nullptr, 0, type,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetValue(HKEY root, const std::string& subkey, const char* name, const std::string& value) {
    fw::UniqueHKey key;
    return RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                           nullptr, key.put(), nullptr) == ERROR_SUCCESS &&
           SetText(key.get(), name, value);
}

HRESULT RegisterTypeLibrary() {
    const std::wstring path = fw::ModulePath(fw::ThisModule());
    fw::ComPtr<ITypeLib> lib;
    if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, lib.put()))) {
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

// The class and its ProgID, as the registration table has them.
HRESULT RegisterClassKeys() {
    const std::string path = fw::WideToUtf8(fw::ModulePath(fw::ThisModule()));
    if (path.empty()) return SELFREG_E_CLASS;
    for (const RegistrationValue& v : RegistrationValues(path, "", sizeof(void*) == 8)) {
        if (v.part != RegistrationValue::Part::Class) continue;
        if (!SetValue(HKEY_CLASSES_ROOT, v.key, v.name.empty() ? nullptr : v.name.c_str(),
                      v.value)) {
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}

// Registers this DLL as the message file of the event-log source. Only a module loaded under
// the name Bramwick qualifies; every problem here is silent.
void RegisterEventSource() {
    HMODULE module = GetModuleHandleA("Bramwick");
    if (module == nullptr) return;
    const std::string path = fw::WideToUtf8(fw::ModulePath(module));
    fw::UniqueHKey key;
    if (path.empty() ||
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, const_cast<char*>("Bramwick"),
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS ||
        !SetText(key.get(), "EventMessageFile", path, REG_EXPAND_SZ)) {
        return;
    }
    DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                   sizeof(types));
}

LSTATUS DeleteTree(HKEY root, const std::string& subkey) {
    LSTATUS status = RegDeleteTreeA(root, subkey.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKeyA(root, subkey.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Removes the type library registration: first under the neutral locale, then, when nothing
// is registered there, under the locale the library declares (registration files it there).
HRESULT UnregisterTypeLibrary() {
#ifdef _WIN64
    const SYSKIND syskind = SYS_WIN64;
#else
    const SYSKIND syskind = SYS_WIN32;
#endif
    if (SUCCEEDED(UnRegisterTypeLib(LIBID_Bramwick, 1, 0, 0, syskind))) return S_OK;
    const std::wstring path = fw::ModulePath(fw::ThisModule());
    fw::ComPtr<ITypeLib> lib;
    if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put()))) {
        return SELFREG_E_TYPELIB;
    }
    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr))) return SELFREG_E_TYPELIB;
    LCID lcid = attr->lcid;
    lib->ReleaseTLibAttr(attr);
    if (lcid == 0 || FAILED(UnRegisterTypeLib(LIBID_Bramwick, 1, 0, lcid, syskind))) {
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

}  // namespace

HRESULT RegisterServer() {
    HRESULT hr = RegisterTypeLibrary();
    if (FAILED(hr)) return hr;
    hr = RegisterClassKeys();
    if (FAILED(hr)) return hr;
    RegisterEventSource();
    return S_OK;
}

HRESULT UnregisterServer() {
    HRESULT hr = UnregisterTypeLibrary();
    if (FAILED(hr)) return hr;
    std::string clsid = GuidText(CLSID_CashDrawer);
    if (clsid.empty() || DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + clsid) != ERROR_SUCCESS ||
        DeleteTree(HKEY_CLASSES_ROOT, kProgId) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
    return S_OK;
}
