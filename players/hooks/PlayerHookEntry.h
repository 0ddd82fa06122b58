#pragma once

#include <windows.h>

// One registered host window of the FLV or WMP registry: what the thread's
// mouse hook records for the host's next poll.
struct PlayerHookEntry {
    HHOOK hook = nullptr;           // the thread's WH_MOUSE hook
    HWND videoWindow = nullptr;     // the window the hook watches
    int toggleRequest = 0;          // set by the WMP hook, cleared by the WMP poll
    POINT cursorPoint = {0, 0};     // screen position at the last WM_MOUSEMOVE
    POINT lastReportedPoint = {0, 0};
    DWORD threadId = 0;             // the video window's thread
    DWORD lastClickTime = 0;        // timeGetTime of the last full-screen left click (WMP)
    void* host = nullptr;           // CFlvOCX or CWmpOCX, not owned
    int fullScreen = 0;             // set by the FLV poll
};
