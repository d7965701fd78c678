// Where a simulated controller lives: its state file, mapped into every process that uses it,
// the named mutex that guards the state and the named event that tells the process which has
// the controller open that something changed. Used by the port library and by `cdctl sim`, from
// any thread; one Store per user of a controller.
#pragma once

#include <windows.h>

#include <string>

#include "framework/handles.h"
#include "framework/sync.h"
#include "ports/sim_controller.h"

namespace sim {

// Microseconds of the performance counter: one clock for every process of the machine.
uint64_t NowMicros();

// The folder of the state files: %BRAMWICK_SIM_DIR% when set, else %ProgramData%\Bramwick\Sim.
std::string StateFolder();

// "Global\Bramwick Sim <what> <NAME>": machine-wide names of a controller's kernel objects.
std::string ObjectName(const char* what, const std::string& name);

// Exists while a port has the controller open; a second open is refused because of it.
std::string PortTokenName(const std::string& name);

class Store {
public:
    // The locked state, advanced by nobody yet; `now` is read after the lock was taken, so the
    // times of successive holders never run backwards.
    class Access {
    public:
        Access(fw::MutexGuard guard, State* state, uint64_t now)
            : m_guard(std::move(guard)), m_state(state), m_now(now) {}
        explicit operator bool() const { return m_state != nullptr; }
        State& operator*() const { return *m_state; }
        State* operator->() const { return m_state; }
        uint64_t now() const { return m_now; }
        void Unlock() {
            m_guard.Unlock();
            m_state = nullptr;
        }

    private:
        fw::MutexGuard m_guard;
        State* m_state;
        uint64_t m_now;
    };

    // Opens the controller's state file (created with the defaults when missing) and its kernel
    // objects. Returns 0 or a Win32 error code.
    DWORD Open(const std::string& name);
    const std::string& name() const { return m_name; }
    const std::string& path() const { return m_path; }

    // Takes the lock (waits at most kLockWaitMs). A state file that is not ours, or of an older
    // layout, is set to the defaults; a port attachment whose process has gone is dropped.
    // A failed lock gives an Access that converts to false.
    Access Lock() const;

    void SignalChanged() const { m_changed.Set(); }
    HANDLE changedEvent() const { return m_changed.get(); }

    static constexpr DWORD kLockWaitMs = 5000;

private:
    std::string m_name;
    std::string m_path;
    fw::UniqueFile m_file;
    fw::UniqueKernel m_mapping;
    fw::UniqueMappedView m_view;
    fw::Mutex m_lock;
    fw::Event m_changed;
};

}  // namespace sim
