// The shutdown window.
#include "link/drw_shutdown.h"

#include "so/cash_drawer.h"

CDrwShutDown::CDrwShutDown() {
    Create("", CS_HREDRAW | CS_VREDRAW, WS_EX_TRANSPARENT, nullptr, WS_OVERLAPPEDWINDOW);
}

LRESULT CDrwShutDown::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = HiddenWindow::OnMessage(message, wParam, lParam);
    switch (message) {
        case WM_QUERYENDSESSION:
            return result != 0 ? TRUE : FALSE;
        case WM_ENDSESSION:
            if (m_owner != nullptr) m_owner->ShutdownStep(wParam != FALSE);
            return 0;
        default:
            return result;
    }
}
