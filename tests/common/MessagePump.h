#pragma once
// Waiting on a window thread: its messages dispatched until a condition
// holds or the bound passes, looking again at least every 20 ms (the
// condition may be met by another thread, with no message to wake on).
#include <windows.h>

#include <functional>

inline bool PumpMessagesUntil(const std::function<bool()>& done, DWORD ms)
{
    const DWORD begin = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        const DWORD spent = GetTickCount() - begin;
        if (spent >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent < 20 ? ms - spent : 20, QS_ALLINPUT);
    }
}
