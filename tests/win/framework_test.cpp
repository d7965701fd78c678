// Worker threads that start suspended, and module paths longer than MAX_PATH.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "framework/module.h"
#include "framework/sync.h"
#include "framework/thread.h"

namespace {

struct Worker {
    std::atomic<int> rounds{0};
    std::atomic<bool> stop{false};
    fw::Event wake;
    static DWORD Run(void* p) {
        auto* self = static_cast<Worker*>(p);
        while (!self->stop) {
            ++self->rounds;
            self->wake.Wait(INFINITE);
            self->wake.Reset();
        }
        return 7;
    }
};

// A thread is created suspended; waiting for one never resumed resumes it and lets it end.
TEST(WorkerThread, StartsSuspendedAndWaitingLetsANeverResumedThreadFinish) {
    Worker worker;
    ASSERT_TRUE(worker.wake.Create(true, true));
    fw::WorkerThread thread;
    ASSERT_TRUE(thread.Create(&Worker::Run, &worker));
    Sleep(30);
    EXPECT_EQ(0, worker.rounds.load()) << "a suspended thread ran";
    worker.stop = true;
    thread.WaitForExit();
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(0, worker.rounds.load());
}

// A module loaded from a folder deeper than MAX_PATH: its path comes back whole, not cut off.
TEST(ModulePath, ALongPathIsNotCutShort) {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    std::wstring folder =
        L"\\\\?\\" + std::wstring(temp) + L"bw-long-" + std::to_wstring(GetCurrentProcessId());
    std::vector<std::wstring> folders;
    for (;;) {
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        folders.push_back(folder);
        if (folder.size() > MAX_PATH + 40) break;
        folder += L"\\" + std::wstring(60, L'x');
    }
    const std::wstring file = folder + L"\\long_module.dll";
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

}  // namespace
