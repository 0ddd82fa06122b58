#pragma once

#include <windows.h>

// The engine behind a CMyWnd: every call arrives on the window's thread.
class IMyWndMsgHost {
public:
    virtual ~IMyWndMsgHost() = default;
    // Every message numbered WM_USER (1024) or above; the sender always gets 0,
    // so an answer travels in a record passed in wParam or lParam.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Every WM_TIMER of the window.
    virtual void OnTimer(UINT_PTR timerId) = 0;
    // On WM_DESTROY.
    virtual void OnDestroy() {}
};
