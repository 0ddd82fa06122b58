#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/window/WindowBase.h"

namespace UI_Mgr {
class SBmpMapMgr;
}

// The time display: "position/duration" over a skinned background, with a
// network-quality icon whose tooltip (the statistics line) shows only while
// the cursor is over the icon. Wraps a Static item; the owner sets the skin,
// the background, key and icon items directly.
class CTimeDisplayWnd : public CWindowBase {
public:
    void SetDuration(int seconds);
    void SetPosition(int seconds);
    void SetIconItems(const std::uint32_t ids[4]);
    void SetToolTipText(const wchar_t* text);
    std::wstring Text() const;
    void Paint(HDC dc);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    UI_Mgr::SBmpMapMgr* skin = nullptr;
    std::uint32_t backgroundIds[3] = {};
    std::uint32_t keyItemId = 0;
    std::uint32_t iconIds[4] = {};
    int level = 0;

    const RECT& TextRect() const { return textRect_; }
    const RECT& IconRect() const { return iconRect_; }
    HWND ToolTip() const { return tip_; }

private:
    void LayoutRects();
    void LayoutIcon();

    int duration_ = 0;
    int position_ = 0;
    RECT textRect_ = {0, 0, 0, 0};
    RECT iconRect_ = {0, 0, 0, 0};
    std::wstring tipText_;
    HWND tip_ = nullptr;
};
