// Module handle and lock count.
#include "framework/module.h"

#include <atomic>

namespace fw {
namespace {
std::atomic<long> g_lockCount{0};
}

HMODULE ThisModule() noexcept {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

std::wstring ModulePath(HMODULE module) {
    constexpr size_t kLongestPath = 32768;  // the system's limit for any path
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        // A path that fills the buffer may have been cut short: it is read again into more room.
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return path.substr(0, n);
        if (path.size() >= kLongestPath) return {};
        path.resize(path.size() * 2);
    }
}

void ModuleLock() noexcept {
    ++g_lockCount;
}
void ModuleUnlock() noexcept {
    --g_lockCount;
}
long ModuleLockCount() noexcept {
    return g_lockCount.load();
}

}  // namespace fw
