#pragma once

#include <windows.h>

// What a timer-queue timer of the engines does on expiry: send one message
// into an engine window and wait for it to be handled. The record belongs to
// whoever made the timer and outlives it.
struct VodTimerRecord {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The one timer-queue callback: parameter is a VodTimerRecord*; a null record
// does nothing.
VOID CALLBACK VodTimerCallback(PVOID parameter, BOOLEAN fired);
