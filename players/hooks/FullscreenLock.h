#pragma once

#include <windows.h>

// While a player is locked in full screen, one WH_CBT hook on every thread of
// the desktop refuses activations not caused by the mouse (Alt+Tab and the
// like), so only a click can bring another window to the front. One per
// process; any selector installs or removes it.
void InstallFullscreenLockHook();
void RemoveFullscreenLockHook();
bool IsFullscreenLockHookInstalled();
LRESULT CALLBACK FullscreenLockHookProc(int code, WPARAM wParam, LPARAM lParam);
