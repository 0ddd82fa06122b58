#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/window/WindowBase.h"
#include "ui/ToolTipTool.h"

namespace UI_Mgr {
class SBmpMapMgr;
}

namespace UI {

// An owner-drawn push button (a dialog item it subclasses) drawn from a skin:
// four pictures by state (0 normal, 1 hover, 2 pressed or latched, 3
// disabled), hover tracking, transparent drawing over its parent, blinking on
// timer 1 and a tooltip. The owner sets the skin, pictures and flags directly
// and calls Refresh.
class SDrawBtn : public CWindowBase {
public:
    static const UINT_PTR kBlinkTimer = 1;

    struct Picture {
        std::uint32_t id = 0;
        bool set = false;
    };

    // Pictures base, base + 1, base + 2, base + 3.
    void SetPictures(std::uint32_t base);
    bool SetToolTip(HWND tip, const wchar_t* text);
    bool SetTransparent(bool transparent, COLORREF key);
    int Refresh();
    void DrawState(HDC dc, const RECT& rect, int state) const;
    void DrawItem(const DRAWITEMSTRUCT& item);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    UI_Mgr::SBmpMapMgr* skin = nullptr;
    Picture pictures[4];
    int tracking = 0;
    int latched = 0;
    std::uint8_t drawnState = 0;
    int blinking = 0;

    bool Transparent() const { return transparent_; }
    const std::wstring& ToolTipText() const { return tool_.Text(); }

private:
    void Blink();
    bool HandleMouse(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    bool transparent_ = false;
    COLORREF key_ = 0;
    ToolTipTool tool_;
};

}  // namespace UI
