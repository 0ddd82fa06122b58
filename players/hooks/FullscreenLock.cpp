#include "players/hooks/FullscreenLock.h"

#include "platform/window/WindowBase.h"

namespace {

// Read by the hook procedure on every thread; written on the control's.
HHOOK volatile g_lockHook = nullptr;

} // namespace

void InstallFullscreenLockHook()
{
    RemoveFullscreenLockHook();
    HHOOK hook = SetWindowsHookExW(WH_CBT, FullscreenLockHookProc, CWindowBase::ModuleInstance(), 0);
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_lockHook), hook);
}

void RemoveFullscreenLockHook()
{
    auto hook = static_cast<HHOOK>(
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_lockHook), nullptr));
    if (hook)
        UnhookWindowsHookEx(hook);
}

bool IsFullscreenLockHookInstalled()
{
    return g_lockHook != nullptr;
}

LRESULT CALLBACK FullscreenLockHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        auto activate = reinterpret_cast<const CBTACTIVATESTRUCT*>(lParam);
        if (activate && !activate->fMouse)
            return 1;
    }
    return CallNextHookEx(g_lockHook, code, wParam, lParam);
}
