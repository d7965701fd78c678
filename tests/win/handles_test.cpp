// Handle owners and mutex acquisition: closing, error preservation and abandoned mutexes.
#include <gtest/gtest.h>

#include <thread>

#include "framework/handles.h"
#include "framework/sync.h"

namespace {

bool IsOpenHandle(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != FALSE;
}

TEST(UniqueHandle, ClosesOnResetAndKeepsTheLastError) {
    HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, raw);
    {
        fw::UniqueKernel owner(raw);
        EXPECT_TRUE(owner);
        SetLastError(ERROR_ACCESS_DENIED);
        owner.reset();
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_FALSE(owner);
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(Mutex, AcquireSaysHowTheMutexWasObtained) {
    fw::Mutex mutex;
    ASSERT_TRUE(mutex.Create());
    // A thread that ends while owning the mutex leaves it abandoned.
    std::thread([&] {
        fw::MutexGuard guard = mutex.Acquire(0);
        ASSERT_TRUE(guard.ok());
        WaitForSingleObject(mutex.get(), 0);  // a second, unguarded ownership is never released
    }).join();
    {
        fw::MutexGuard guard = mutex.Acquire(1000);
        EXPECT_EQ(fw::AcquireResult::Abandoned, guard.result());
        EXPECT_TRUE(guard.owned());
        EXPECT_FALSE(guard.ok());
        // Held here: another thread times out.
        std::thread([&] {
            EXPECT_EQ(fw::AcquireResult::TimedOut, mutex.Acquire(10).result());
        }).join();
    }
    // The guard released it: another thread gets it plainly.
    std::thread([&] { EXPECT_EQ(fw::AcquireResult::Acquired, mutex.Acquire(0).result()); }).join();

    fw::Mutex never;
    EXPECT_EQ(fw::AcquireResult::Failed, never.Acquire(0).result());
}

}  // namespace
