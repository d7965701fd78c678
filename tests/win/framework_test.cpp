// Worker threads and hidden windows: suspended start, cooperative stop, and messages posted
// from a worker handled on the window's own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "framework/hidden_window.h"
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

TEST(WorkerThread, StartsSuspendedAndStopsThroughItsFlag) {
    Worker worker;
    ASSERT_TRUE(worker.wake.Create(true, false));
    fw::WorkerThread thread;
    ASSERT_TRUE(thread.Create(&Worker::Run, &worker, THREAD_PRIORITY_ABOVE_NORMAL));
    EXPECT_EQ(THREAD_PRIORITY_ABOVE_NORMAL, GetThreadPriority(thread.get()));
    Sleep(30);
    EXPECT_EQ(0, worker.rounds.load()) << "a suspended thread ran";
    thread.Resume();
    while (worker.rounds.load() == 0) Sleep(1);

    HANDLE raw = thread.get();
    HANDLE watched = nullptr;
    DuplicateHandle(GetCurrentProcess(), raw, GetCurrentProcess(), &watched, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    worker.stop = true;
    worker.wake.Set();
    thread.WaitForExit();
    EXPECT_FALSE(thread.IsStarted());
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(watched, &code));
    EXPECT_EQ(7u, code);
    CloseHandle(watched);
}

TEST(WorkerThread, WaitingForANeverResumedThreadLetsItFinish) {
    Worker worker;
    ASSERT_TRUE(worker.wake.Create(true, true));
    worker.stop = true;  // it will end as soon as it runs
    fw::WorkerThread thread;
    ASSERT_TRUE(thread.Create(&Worker::Run, &worker));
    thread.WaitForExit();  // resumes it while polling
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(0, worker.rounds.load());
}

class RecordingWindow : public fw::HiddenWindow {
public:
    std::atomic<int> commands{0};
    DWORD handledOn = 0;

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND && LOWORD(wParam) == 42) {
            handledOn = GetCurrentThreadId();
            ++commands;
            return 0;
        }
        return fw::HiddenWindow::OnMessage(message, wParam, lParam);
    }
};

TEST(HiddenWindow, PostedCommandsRunOnTheCreatingThreadWhenItPumps) {
    RecordingWindow window;
    ASSERT_TRUE(window.Create("test window", CS_HREDRAW | CS_VREDRAW, WS_EX_TRANSPARENT));
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));

    HWND target = window.hwnd();
    HANDLE poster = CreateThread(
        nullptr, 0,
        [](void* p) WINAPI -> DWORD {
            PostMessageA(static_cast<HWND>(p), WM_COMMAND, 42, 0);
            return 0;
        },
        target, 0, nullptr);
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);
    EXPECT_EQ(0, window.commands.load()) << "handled before the thread pumped";

    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(1, window.commands.load());
    EXPECT_EQ(GetCurrentThreadId(), window.handledOn);

    window.Destroy();
    EXPECT_FALSE(IsWindow(target));
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
