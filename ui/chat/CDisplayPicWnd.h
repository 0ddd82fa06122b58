#pragma once
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>

#include "platform/window/WindowBase.h"

class CPictureEx;

// The emoticon picker: the 15 emoticons in cells of 19 x 19 pixels, 8 to a
// row, the hovered one framed, animated and named in a tooltip. A click sends
// WM_EMOTICON_PICKED (5155: wParam the GIF id, lParam its code string id) to
// the owner. It never takes the focus, and a click anywhere else on its
// thread hides it (a mouse hook, installed while it shows).
//
// The chat makes it a popup of its dialog: Create(dialog, rect, nullptr,
// WS_POPUP | WS_BORDER, WS_EX_NOACTIVATE), then ShowAt(rect) on each press.
// Page thread only.
class CDisplayPicWnd : public CWindowBase {
public:
    CDisplayPicWnd();
    ~CDisplayPicWnd() override;

    // Moves the picker to the screen rectangle and shows it without activating it.
    void ShowAt(const RECT& rect);

    // The cell of a GIF id (client coordinates; empty when there is none),
    // its picture, the hovered GIF id (0: none) and the tooltip.
    RECT CellRect(UINT gif) const;
    const CPictureEx* Cell(UINT gif) const;
    UINT HoveredGif() const { return hovered_; }
    HWND ToolTip() const { return tooltip_; }

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

protected:
    void DescribeClass(WNDCLASSEXW& wc) override;

private:
    void OnCreate();
    void OnPaint(HDC dc);
    void OnMouseMove(POINT point);
    void OnHide();
    void OnDestroy();
    void RelayToTip(UINT message, WPARAM wParam, LPARAM lParam);
    void FillToolInfo(TTTOOLINFOW& info);
    static LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam);
    static void RemoveHook();

    std::map<UINT, std::unique_ptr<CPictureEx>> cells_;
    std::map<UINT, std::wstring> texts_;
    RECT hoverRect_ = {};
    UINT hovered_ = 0;
    HWND tooltip_ = nullptr;
};
