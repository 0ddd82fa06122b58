#pragma once
// What the advertisement window tests share: ad sets from XML text and the
// item colours found in what the windows paint.
#include <windows.h>

#include <algorithm>
#include <string>

#include "tests/ui/SkinPixels.h"
#include "ui/CADSet.h"

// One reference to a set loaded from text, released at the end of scope.
class LoadedSet {
public:
    explicit LoadedSet(const std::wstring& xml) : m_set(new CADSet)
    {
        m_loaded = m_set->LoadXml(xml.c_str());
    }
    ~LoadedSet() { m_set->Release(); }
    LoadedSet(const LoadedSet&) = delete;
    LoadedSet& operator=(const LoadedSet&) = delete;
    CADSet* get() const { return m_set; }
    CADSet* operator->() const { return m_set; }
    bool loaded() const { return m_loaded; }

private:
    CADSet* m_set;
    bool m_loaded = false;
};

// The columns and rows of a canvas holding pixels mostly of one primary
// colour (0 red, 1 green, 2 blue) over a black ground: {left, top, right,
// bottom}, right and bottom exclusive; empty when there are none.
inline RECT Extent(const DibCanvas& canvas, int width, int height, int primary)
{
    RECT found = {width, height, 0, 0};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const COLORREF p = canvas.At(x, y);
            const int c[3] = {GetRValue(p), GetGValue(p), GetBValue(p)};
            const int other = c[(primary + 1) % 3] + c[(primary + 2) % 3];
            if (c[primary] < 80 || other > c[primary] / 2)
                continue;
            found.left = std::min<LONG>(found.left, x);
            found.top = std::min<LONG>(found.top, y);
            found.right = std::max<LONG>(found.right, x + 1);
            found.bottom = std::max<LONG>(found.bottom, y + 1);
        }
    }
    if (found.right == 0)
        SetRectEmpty(&found);
    return found;
}

// A canvas of a known size, for Extent.
class Canvas : public DibCanvas {
public:
    Canvas(int width, int height) : DibCanvas(width, height), m_width(width), m_height(height) {}
    HDC dc() const { return Dc(); }
    RECT Extent(int primary) const { return ::Extent(*this, m_width, m_height, primary); }

private:
    int m_width, m_height;
};

inline bool Empty(const RECT& r)
{
    return IsRectEmpty(&r) != FALSE;
}

// The width of a single line of text in a font (null: the default GUI font).
inline int TextWidth(const wchar_t* text, HFONT font = nullptr)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT r = {0, 0, 0, 0};
    DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return r.right - r.left;
}
