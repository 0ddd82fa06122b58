#include "players/hosts/DeferredDeletion.h"

#include <windows.h>

#include <vector>

namespace {

// Per thread: a thread timer ticks only on the thread that set it.
thread_local std::vector<std::function<bool()>> t_waiting;
thread_local UINT_PTR t_timer = 0;

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    // Taken out first: an attempt may pump messages and tick again.
    std::vector<std::function<bool()>> now;
    now.swap(t_waiting);
    for (auto& attempt : now) {
        if (!attempt())
            t_waiting.push_back(std::move(attempt));
    }
    if (t_waiting.empty() && t_timer) {
        KillTimer(nullptr, t_timer);
        t_timer = 0;
    }
}

}  // namespace

void RetryAfterEvent(std::function<bool()> attempt)
{
    t_waiting.push_back(std::move(attempt));
    if (!t_timer)
        t_timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnTick);
}
