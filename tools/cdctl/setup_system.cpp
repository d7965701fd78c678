// The system facts `cdctl setup` works with: error texts, registry views, module bitness,
// open devices.
#include "tools/cdctl/setup_system.h"

#include <cstring>
#include <vector>

#include "framework/handles.h"
#include "framework/wide_text.h"
#include "stats/stat_names.h"

namespace cdctl {

std::string SystemText(DWORD error, const std::string& subject) {
    const std::wstring wide = fw::Utf8ToWide(subject);
    const DWORD_PTR insert = reinterpret_cast<DWORD_PTR>(wide.c_str());
    const DWORD_PTR inserts[] = {insert, insert, insert};
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0,
        reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    std::string message = n && text ? fw::WideToUtf8(std::wstring(text, n)) : std::string();
    if (text) LocalFree(text);
    while (!message.empty() && strchr("\r\n .", message.back()) != nullptr) message.pop_back();
    return message;
}

int ViewBits(REGSAM view) {
    if (view == KEY_WOW64_32KEY) return 32;
    if (view == KEY_WOW64_64KEY) return 64;
    return sizeof(void*) == 8 ? 64 : 32;
}

// The regsvr32 that registers the service of a view: on 64-bit Windows the 32-bit one lives
// in the 32-bit system folder (SysWOW64), which 32-bit Windows does not have.
std::string Regsvr32For(REGSAM view) {
    char folder[MAX_PATH] = {};
    UINT n = ViewBits(view) == 32 ? GetSystemWow64DirectoryA(folder, MAX_PATH) : 0;
    if (n == 0 || n >= MAX_PATH) n = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, n < MAX_PATH ? n : 0) + "\\regsvr32.exe";
}

ModuleBits FileBits(const std::string& path) {
    fw::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ModuleBits::Unknown;
    std::string head(4096, '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), &head[0], static_cast<DWORD>(head.size()), &got, nullptr)) {
        return ModuleBits::Unknown;
    }
    head.resize(got);
    return BitsOfMachine(PeMachine(head));
}

// Whether some application has the device open: the service keeps the device's statistics
// block, a named mapping, from OpenService to Close. Looking it up changes nothing.
bool DeviceIsOpen(const std::string& device) {
    fw::UniqueKernel block(
        OpenFileMappingA(FILE_MAP_READ, FALSE, StatMappingName("CashDrawer", device).c_str()));
    return static_cast<bool>(block);
}

LONG KeepOnlyStatistics(HKEY device) {
    std::vector<std::string> values, subkeys;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD length = sizeof(name);
        if (RegEnumValueA(device, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        values.emplace_back(name, length);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(device, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (_stricmp(name, "Stat") != 0) subkeys.emplace_back(name, length);
    }
    for (const std::string& name : values) {
        LONG error = RegDeleteValueA(device, name.c_str());
        if (error != ERROR_SUCCESS) return error;
    }
    for (const std::string& name : subkeys) {
        // RegDeleteTree takes the named key itself with its contents.
        LONG error = RegDeleteTreeA(device, name.c_str());
        if (error == ERROR_SUCCESS) error = RegDeleteKeyA(device, name.c_str());
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return error;
    }
    return ERROR_SUCCESS;
}

}  // namespace cdctl
