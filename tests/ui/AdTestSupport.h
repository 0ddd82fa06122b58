#pragma once
// What the advertisement window tests share: ad sets from XML text, a DIB
// the windows paint into, and the item colours found in it.
#include <windows.h>

#include <algorithm>
#include <string>

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

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits),
                                    nullptr, 0);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Canvas()
    {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return m_dc; }
    // Red, green and blue of a pixel.
    void At(int x, int y, int& r, int& g, int& b) const
    {
        GdiFlush();
        const DWORD p = m_bits[y * m_width + x];
        r = (p >> 16) & 0xFF;
        g = (p >> 8) & 0xFF;
        b = p & 0xFF;
    }
    // The columns and rows holding pixels mostly of one primary colour
    // (0 red, 1 green, 2 blue) over a black ground: {left, top, right, bottom},
    // right and bottom exclusive; empty when there are none.
    RECT Extent(int primary) const
    {
        RECT found = {m_width, m_height, 0, 0};
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                int c[3];
                At(x, y, c[0], c[1], c[2]);
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

private:
    int m_width, m_height;
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    DWORD* m_bits = nullptr;
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
