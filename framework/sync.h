// Kernel mutexes and events with owners, and a scoped acquisition that says how the
// mutex was obtained, so each caller applies its own rule to an abandoned mutex.
#pragma once

#include <windows.h>

#include "framework/handles.h"

namespace fw {

enum class AcquireResult { Acquired, Abandoned, TimedOut, Failed };

// The wait's own result code for an acquisition (WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT,
// WAIT_FAILED), as traces record it.
constexpr DWORD WaitCode(AcquireResult result) {
    switch (result) {
        case AcquireResult::Acquired:
            return WAIT_OBJECT_0;
        case AcquireResult::Abandoned:
            return WAIT_ABANDONED;
        case AcquireResult::TimedOut:
            return WAIT_TIMEOUT;
        default:
            return WAIT_FAILED;
    }
}

// Holds a mutex acquired by Mutex::Acquire and releases it when it goes out of scope.
class [[nodiscard]] MutexGuard {
public:
    MutexGuard(HANDLE mutex, AcquireResult result) noexcept : m_mutex(mutex), m_result(result) {}
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;
    MutexGuard(MutexGuard&& o) noexcept : m_mutex(o.m_mutex), m_result(o.m_result) {
        o.m_mutex = nullptr;
    }
    MutexGuard& operator=(MutexGuard&& o) noexcept {
        if (this != &o) {
            Unlock();
            m_mutex = o.m_mutex;
            m_result = o.m_result;
            o.m_mutex = nullptr;
        }
        return *this;
    }
    ~MutexGuard() { Unlock(); }

    AcquireResult result() const noexcept { return m_result; }
    // True for a plain acquisition only; an abandoned mutex is owned but its data is suspect.
    bool ok() const noexcept { return m_result == AcquireResult::Acquired; }
    bool owned() const noexcept {
        return m_result == AcquireResult::Acquired || m_result == AcquireResult::Abandoned;
    }
    void Unlock() noexcept {
        if (m_mutex && owned()) ReleaseMutex(m_mutex);
        m_mutex = nullptr;
    }

private:
    HANDLE m_mutex;
    AcquireResult m_result;
};

class Mutex {
public:
    Mutex() = default;
    // Creates an unnamed mutex, or opens/creates a named one (the name in UTF-8).
    // alreadyExisted reports whether a named mutex was there before (read right after the
    // create call).
    bool Create(const char* name = nullptr, bool* alreadyExisted = nullptr);
    void Close() noexcept { m_handle.reset(); }
    bool IsValid() const noexcept { return static_cast<bool>(m_handle); }
    HANDLE get() const noexcept { return m_handle.get(); }

    MutexGuard Acquire(DWORD timeoutMs = INFINITE) const noexcept;

private:
    UniqueKernel m_handle;
};

class Event {
public:
    Event() = default;
    bool Create(bool manualReset, bool initialState, const char* name = nullptr,
                bool* alreadyExisted = nullptr);
    void Close() noexcept { m_handle.reset(); }
    bool IsValid() const noexcept { return static_cast<bool>(m_handle); }
    HANDLE get() const noexcept { return m_handle.get(); }
    BOOL Set() const noexcept { return SetEvent(m_handle.get()); }
    BOOL Reset() const noexcept { return ResetEvent(m_handle.get()); }
    DWORD Wait(DWORD timeoutMs) const noexcept {
        return WaitForSingleObject(m_handle.get(), timeoutMs);
    }

private:
    UniqueKernel m_handle;
};

}  // namespace fw
