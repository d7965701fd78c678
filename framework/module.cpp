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

std::string ThisModulePath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(ThisModule(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::string(path, n);
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
