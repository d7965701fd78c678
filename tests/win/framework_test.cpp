// Handle owners, mutex acquisition, suspended worker threads, module paths beyond MAX_PATH.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/handles.h"
#include "framework/module.h"
#include "framework/sync.h"
#include "framework/thread.h"

namespace {

// A thread is created suspended; waiting for one never resumed resumes it and lets it end.
TEST(WorkerThread, StartsSuspendedAndWaitingLetsANeverResumedThreadFinish) {
    static std::atomic<int> rounds{0};
    static std::atomic<bool> stop{false};
    fw::WorkerThread thread;
    ASSERT_TRUE(thread.Create(
        [](void*) -> DWORD {
            while (!stop) ++rounds;
            return 7;
        },
        nullptr));
    Sleep(30);
    EXPECT_EQ(0, rounds.load()) << "a suspended thread ran";
    stop = true;
    thread.WaitForExit();
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(0, rounds.load());
}

// A module loaded from a folder deeper than MAX_PATH: its path comes back whole, not cut off.
TEST(ModulePath, ALongPathIsNotCutShort) {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    std::vector<std::wstring> folders{L"\\\\?\\" + std::wstring(temp) + L"bw-long-" +
                                      std::to_wstring(GetCurrentProcessId())};
    while (folders.back().size() <= MAX_PATH + 40) {
        folders.push_back(folders.back() + L"\\" + std::wstring(60, L'x'));
    }
    for (const auto& folder : folders) CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folders.back() + L"\\long_module.dll";
    std::wstring source = fw::ModulePath(nullptr);
    source = source.substr(0, source.rfind(L'\\') + 1) + L"XTRLOG32.DLL";
    ASSERT_TRUE(CopyFileW(source.c_str(), file.c_str(), FALSE));
    HMODULE module = LoadLibraryW(file.c_str());
    const std::wstring path = module != nullptr ? fw::ModulePath(module) : std::wstring();
    if (module != nullptr) FreeLibrary(module);
    DeleteFileW(file.c_str());
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveDirectoryW(it->c_str());

    ASSERT_NE(nullptr, module);
    ASSERT_GT(path.size(), size_t{MAX_PATH});
    EXPECT_EQ(file.substr(file.size() - 100), path.substr(path.size() - 100));
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
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags)) << "still open";
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
