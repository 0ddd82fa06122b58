#include "players/hooks/PlayerHookRegistry.h"
#include "players/hosts/FlvOCX.h"
#include "players/hosts/WmpOCX.h"

namespace {

HHOOK HookOfMessageThread(PlayerHookRegistry& registry, LPARAM lParam)
{
    auto mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    DWORD thread = mouse && mouse->hwnd ? GetWindowThreadProcessId(mouse->hwnd, nullptr)
                                        : GetCurrentThreadId();
    return registry.HookOfThread(thread);
}

} // namespace

PlayerHookRegistry& FlvHookRegistry()
{
    static PlayerHookRegistry registry(CFlvOCX::MouseHookProc, kFlashVideoClasses);
    return registry;
}

PlayerHookRegistry& WmpHookRegistry()
{
    static PlayerHookRegistry registry(CWmpOCX::MouseHookProc, kWmpVideoClasses);
    return registry;
}

LRESULT CALLBACK CFlvOCX::MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    PlayerHookRegistry& registry = FlvHookRegistry();
    HHOOK next = HookOfMessageThread(registry, lParam);
    if (code >= 0) {
        bool fullScreen = false;
        registry.Update([&](HWND, PlayerHookEntry& entry) { fullScreen |= entry.fullScreen != 0; });
        if (wParam == WM_MOUSEMOVE) {
            POINT cursor;
            if (GetCursorPos(&cursor))
                registry.Update([&](HWND, PlayerHookEntry& entry) { entry.cursorPoint = cursor; });
        } else if (wParam == WM_RBUTTONDOWN && fullScreen) {
            return 1;   // a full-screen movie shows no context menu
        }
    }
    return CallNextHookEx(next, code, wParam, lParam);
}
