#pragma once
// The pop-up menu this thread has open, if any: a menu runs its own modal
// loop, so tests read and drive it from a thread timer. Only this thread's
// menu counts, as other tests may have menus open at once.
#include <windows.h>

#include <string>

inline BOOL CALLBACK FindOpenMenuWindow(HWND window, LPARAM found)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) != L"#32768" || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The menu's window (null when none is open) and, through `items`, its menu.
inline HWND OpenMenuOfThisThread(HMENU* items)
{
    HWND menu = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOpenMenuWindow, reinterpret_cast<LPARAM>(&menu));
    if (menu)
        *items = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
    return menu;
}
