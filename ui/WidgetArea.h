#pragma once
#include <windows.h>

// Invalidates, with erase, the part of the parent under a child: a widget
// drawn with a key colour shows its parent through, which must be painted
// first.
inline void InvalidateParentArea(HWND child)
{
    HWND parent = GetParent(child);
    if (!parent)
        return;
    RECT area;
    GetWindowRect(child, &area);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
    InvalidateRect(parent, &area, TRUE);
}
