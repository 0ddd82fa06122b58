#pragma once
#include <windows.h>

#include <cstdint>

namespace UI_Mgr {
class SBmpMapMgr;
}

// A button that is only a rectangle of the window it is drawn in: the
// full-screen bar's buttons, which must never take the focus as child
// windows would. Drawn state: 3 disabled, else 2 latched or pressed, else 1
// hovered, else 0.
class CFakeBtn : public RECT {
public:
    CFakeBtn() : RECT{0, 0, 0, 0} {}

    void Setup(HWND window, UINT command, std::uint32_t imageBase, COLORREF key);
    int DrawnState() const;
    void Draw(HDC dc, const UI_Mgr::SBmpMapMgr& skin);
    // Each true when the picture changed and was invalidated.
    bool MouseMove(POINT at);
    void ButtonDown(POINT at);
    // True when a press ends inside: the click.
    bool ButtonUp(POINT at);
    void Clear() { hover = pressed = false; }
    void Invalidate() const;

    bool hover = false, pressed = false, latched = false, disabled = false;
    int drawn = 0;
    std::uint32_t images[4] = {};
    bool transparent = true;
    COLORREF key = 0;
    HWND window = nullptr;
    UINT command = 0;
};
