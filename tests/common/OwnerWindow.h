#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "vod/VodEngineMessages.h"

// A message-only window standing in for an engine's owner: records every
// message from WM_USER up and answers the password challenge with
// passwordAnswer, keeping the password it was shown.
class OwnerWindow {
public:
    OwnerWindow(const wchar_t* className, LRESULT answer) : passwordAnswer(answer)
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        RegisterClassW(&wc);
        m_window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~OwnerWindow() { DestroyWindow(m_window); }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND Handle() const { return m_window; }

    // Pumps until a message (message, wParam) arrived or the time is up.
    bool WaitFor(UINT message, WPARAM wParam, DWORD ms)
    {
        const DWORD begin = GetTickCount();
        for (;;) {
            for (const MSG& m : seen)
                if (m.message == message && m.wParam == wParam)
                    return true;
            const DWORD spent = GetTickCount() - begin;
            if (spent >= ms)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
            Pump();
        }
    }
    void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    std::vector<MSG> seen;
    LRESULT passwordAnswer;
    std::string password;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<OwnerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self != nullptr && message == WM_VOD_PASSWORD) {
            self->password.assign(reinterpret_cast<const char*>(wParam), static_cast<std::size_t>(lParam));
            return self->passwordAnswer;
        }
        if (self != nullptr && message >= WM_USER) {
            MSG m = {};
            m.hwnd = hwnd;
            m.message = message;
            m.wParam = wParam;
            m.lParam = lParam;
            self->seen.push_back(m);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    HWND m_window;
};
