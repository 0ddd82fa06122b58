#pragma once
// ForeignHostClass.dll: another component in the process that has a global
// window class named "AtlAxWin71" of its own, as other controls in a browser
// may have. Its windows answer kForeignQuery with kForeignAnswer.
#include <windows.h>

const UINT kForeignQuery = WM_APP + 71;
const LRESULT kForeignAnswer = 0x7171;

// Exported without decoration (cdecl).
typedef int (*ForeignRegisterClassFn)();         // 1 when registered
typedef HWND (*ForeignCreateWindowFn)(HWND parent);
