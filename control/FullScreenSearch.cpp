#include "control/FullScreenSearch.h"

namespace {

struct Search {
    DWORD process;
    DWORD thread;
    RECT screen;
    HWND found;
};

BOOL CALLBACK Consider(HWND window, LPARAM lParam)
{
    Search& search = *reinterpret_cast<Search*>(lParam);
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(window, &process);
    if (process != search.process || thread != search.thread)
        return TRUE;
    if ((GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) != 0)
        return TRUE;
    RECT area;
    if (!GetWindowRect(window, &area) || !EqualRect(&area, &search.screen))
        return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

HWND FindFullScreenWindow(HWND player)
{
    HWND child = player ? GetWindow(player, GW_CHILD) : nullptr;
    if (!child)
        return nullptr;
    Search search = {};
    search.thread = GetWindowThreadProcessId(child, &search.process);
    search.screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    EnumWindows(Consider, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
