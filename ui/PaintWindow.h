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

// The two messages of a widget that paints every pixel of its client in
// WM_PAINT (erasing first would only flicker): true when message was one.
template <class Paint>
bool HandleSelfPaint(HWND window, UINT message, Paint paint, LRESULT& result)
{
    if (message == WM_ERASEBKGND) {
        result = 1;
        return true;
    }
    if (message != WM_PAINT)
        return false;
    PaintWindow(window, paint);
    result = 0;
    return true;
}
