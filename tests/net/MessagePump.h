#pragma once

// Runs the calling thread's message loop in tests whose objects deliver
// through window messages.
#include <windows.h>

#include <algorithm>
#include <functional>

namespace nettest {

// Dispatches messages until done() or the bound passes; whether done() came.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - spent, 20), QS_ALLINPUT);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
    }
    return true;
}

// Pumps for a short while, to show that something does not happen.
inline void PumpAWhile(DWORD ms) { PumpUntil([] { return false; }, ms); }

}  // namespace nettest
