// The module this code is linked into: its handle, its path and the one lock count shared
// by live objects, handed-out class factories and IClassFactory::LockServer.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// Handle of the module (DLL or executable) that contains this code.
HMODULE ThisModule() noexcept;
// Full path of a module (null: the process's executable), however long; empty on failure.
std::wstring ModulePath(HMODULE module);

// Looks up an export as a typed function pointer (the cast goes through a generic function
// pointer, which is what GetProcAddress really returns).
template <class Fn>
Fn GetProc(HMODULE module, const char* name) noexcept {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
long ModuleLockCount() noexcept;

// RAII module lock held by every object that must keep the DLL loaded while it lives.
class ModuleLockHolder {
public:
    ModuleLockHolder() noexcept { ModuleLock(); }
    ModuleLockHolder(const ModuleLockHolder&) noexcept { ModuleLock(); }
    ModuleLockHolder& operator=(const ModuleLockHolder&) = default;
    ~ModuleLockHolder() { ModuleUnlock(); }
};

}  // namespace fw
