// Kernel mutexes and events with owners.
#include "framework/sync.h"

#include "framework/wide_text.h"

namespace fw {

namespace {

// A kernel-object name for the wide call: null stays null (an unnamed object).
struct WideName {
    explicit WideName(const char* name) : text(name ? Utf8ToWide(name) : std::wstring()) {
        if (name != nullptr) pointer = text.c_str();
    }
    std::wstring text;
    const wchar_t* pointer = nullptr;
};

}  // namespace

bool Mutex::Create(const char* name, bool* alreadyExisted) {
    m_handle.reset(CreateMutexW(nullptr, FALSE, WideName(name).pointer));
    if (alreadyExisted) *alreadyExisted = m_handle && GetLastError() == ERROR_ALREADY_EXISTS;
    return static_cast<bool>(m_handle);
}

MutexGuard Mutex::Acquire(DWORD timeoutMs) const noexcept {
    if (!m_handle) return MutexGuard(nullptr, AcquireResult::Failed);
    switch (WaitForSingleObject(m_handle.get(), timeoutMs)) {
        case WAIT_OBJECT_0:
            return MutexGuard(m_handle.get(), AcquireResult::Acquired);
        case WAIT_ABANDONED:
            return MutexGuard(m_handle.get(), AcquireResult::Abandoned);
        case WAIT_TIMEOUT:
            return MutexGuard(nullptr, AcquireResult::TimedOut);
        default:
            return MutexGuard(nullptr, AcquireResult::Failed);
    }
}

bool Event::Create(bool manualReset, bool initialState, const char* name, bool* alreadyExisted) {
    m_handle.reset(CreateEventW(nullptr, manualReset, initialState, WideName(name).pointer));
    if (alreadyExisted) *alreadyExisted = m_handle && GetLastError() == ERROR_ALREADY_EXISTS;
    return static_cast<bool>(m_handle);
}

}  // namespace fw
