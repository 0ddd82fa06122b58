#pragma once
#include <windows.h>

// WM_PAINT of a widget that paints its whole client itself: paint(dc, rect
// to repaint) between BeginPaint and EndPaint.
template <class Paint>
void PaintWindow(HWND window, Paint paint)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    paint(dc, ps.rcPaint);
    EndPaint(window, &ps);
}
