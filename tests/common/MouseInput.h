#pragma once
// Real input at a screen point (SendInput, absolute): the cursor moved
// there, with the button flags given (MOUSEEVENTF_LEFTDOWN, say; 0 for a
// move alone).
#include <windows.h>

inline void MouseAt(DWORD flags, int x, int y)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65536 + 65535) / GetSystemMetrics(SM_CXSCREEN);
    input.mi.dy = (y * 65536 + 65535) / GetSystemMetrics(SM_CYSCREEN);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}
