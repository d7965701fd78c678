// Worker threads and hidden windows: suspended start, cooperative stop, and messages posted
// from a worker handled on the window's own thread.
#include <gtest/gtest.h>

#include <atomic>

#include "framework/hidden_window.h"
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

}  // namespace
