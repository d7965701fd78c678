// A hidden top-level window on the thread that creates it, whose messages are handed to a
// virtual handler. Worker threads post to it; the creating thread handles the messages when it
// pumps, so calls made from the handler run on that thread.
#pragma once

#include <windows.h>

#include "framework/handles.h"

namespace fw {

class HiddenWindow {
public:
    HiddenWindow() = default;
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    virtual ~HiddenWindow();

    // Creates the window on the calling thread. classStyle and exStyle are the window class
    // and extended window styles; the class is registered once per module.
    bool Create(const char* windowName, UINT classStyle = 0, DWORD exStyle = 0,
                HWND parent = nullptr, DWORD style = 0);
    // Destroys the window; only the creating thread can do so.
    void Destroy();
    HWND hwnd() const { return m_hwnd.get(); }

protected:
    // Handles one message; the default passes it to DefWindowProc.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    UniqueHwnd m_hwnd;
};

}  // namespace fw
