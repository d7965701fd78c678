// CDrwShutDown: a hidden top-level window per service object that hears log-off and system
// shutdown, and then stops the port reader and gives up the port so that the port is closed in
// good order before the process ends. Lives and handles messages on the creating thread.
#pragma once

#include "framework/hidden_window.h"

class CCashDrawer;

class CDrwShutDown final : public fw::HiddenWindow {
public:
    // Creates the window; a failure is not reported: no shutdown messages arrive then.
    CDrwShutDown();
    void SetOwner(CCashDrawer* owner) { m_owner = owner; }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CCashDrawer* m_owner = nullptr;
};
