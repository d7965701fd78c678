// Locks and condition waits of the port library on the system's own slim reader/writer locks
// and condition variables. The library is loaded and unloaded with every port the service
// opens; the C++ library's thread objects keep kernel handles in its runtime's own bookkeeping,
// which an unloaded module can no longer release. These need no handles at all.
#pragma once

#include <windows.h>

#include <mutex>

namespace ports {

// A lock usable with std::lock_guard, std::unique_lock and std::shared_lock.
class SrwLock {
public:
    SrwLock() = default;
    SrwLock(const SrwLock&) = delete;
    SrwLock& operator=(const SrwLock&) = delete;
    void lock() { AcquireSRWLockExclusive(&m_lock); }
    void unlock() { ReleaseSRWLockExclusive(&m_lock); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&m_lock) != FALSE; }
    void lock_shared() { AcquireSRWLockShared(&m_lock); }
    void unlock_shared() { ReleaseSRWLockShared(&m_lock); }
    SRWLOCK* native() { return &m_lock; }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

class ConditionVariable {
public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;
    // Waits, with the lock held exclusively, until ready() holds.
    template <class Ready>
    void Wait(std::unique_lock<SrwLock>& lock, Ready ready) {
        while (!ready()) SleepConditionVariableSRW(&m_cv, lock.mutex()->native(), INFINITE, 0);
    }
    // The same for at most ms milliseconds; returns ready().
    template <class Ready>
    bool WaitFor(std::unique_lock<SrwLock>& lock, DWORD ms, Ready ready) {
        const ULONGLONG end = GetTickCount64() + ms;
        while (!ready()) {
            const ULONGLONG now = GetTickCount64();
            if (now >= end) return false;
            SleepConditionVariableSRW(&m_cv, lock.mutex()->native(), static_cast<DWORD>(end - now),
                                      0);
        }
        return true;
    }
    void NotifyAll() { WakeAllConditionVariable(&m_cv); }

private:
    CONDITION_VARIABLE m_cv = CONDITION_VARIABLE_INIT;
};

}  // namespace ports
