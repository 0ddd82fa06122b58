#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "platform/window/WindowBase.h"
#include "tests/common/MessagePump.h"

// A visible top-level window at a fixed screen place that reflects its
// children's notifications back to them (as the control's bar does) and
// records the commands they send.
class WidgetHost : public CWindowBase {
public:
    explicit WidgetHost(const RECT& screen)
    {
        Create(nullptr, screen, L"widgets", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
               WS_EX_TOPMOST);
    }
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override
    {
        if (message == WM_COMMAND)
            commands.push_back(wParam);
        return ReflectNotification(hwnd, message, wParam, lParam, result);
    }
    std::vector<WPARAM> commands;

protected:
    void DescribeClass(WNDCLASSEXW& wc) override
    {
        CWindowBase::DescribeClass(wc);
        wc.lpszClassName = L"TovraWidgetHost";
    }
};

// Dispatches this thread's messages until done() holds or ms pass.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000)
{
    return PumpMessagesUntil(done, ms);
}

// Real input through SendInput, at screen pixels.
inline void MouseMoveTo(int x, int y)
{
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = (x * 65536 + w - 1) / w;
    in.mi.dy = (y * 65536 + h - 1) / h;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

inline void MouseButton(bool down)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof in);
}
