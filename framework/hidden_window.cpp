// Hidden windows that route messages to a C++ object.
#include "framework/hidden_window.h"

#include <cstdio>
#include <string>

#include "framework/module.h"

namespace fw {
namespace {

// One window class per module and class style; registering it again is harmless.
std::string ClassFor(UINT classStyle) {
    char name[64];
    snprintf(name, sizeof(name), "BramwickHidden_%p_%x", static_cast<void*>(ThisModule()),
             classStyle);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExA(ThisModule(), name, &wc)) {
        wc.cbSize = sizeof(wc);
        wc.style = classStyle;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = ThisModule();
        wc.lpszClassName = name;
        RegisterClassExA(&wc);
    }
    return name;
}

}  // namespace

HiddenWindow::~HiddenWindow() {
    Destroy();
}

bool HiddenWindow::Create(const char* windowName, UINT classStyle, DWORD exStyle, HWND parent,
                          DWORD style) {
    Destroy();
    // The window is never shown, whatever its style.
    HWND hwnd = CreateWindowExA(exStyle, ClassFor(classStyle).c_str(), windowName, style, 0, 0, 0,
                                0, parent, nullptr, ThisModule(), nullptr);
    if (hwnd == nullptr) return false;
    // Route this window's messages to the object from now on.
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HiddenWindow::WindowProc));
    m_hwnd.reset(hwnd);
    return true;
}

void HiddenWindow::Destroy() {
    if (!m_hwnd) return;
    SetWindowLongPtrA(m_hwnd.get(), GWLP_USERDATA, 0);
    m_hwnd.reset();
}

LRESULT HiddenWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(m_hwnd.get(), message, wParam, lParam);
}

LRESULT CALLBACK HiddenWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HiddenWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

}  // namespace fw
