#include "ui/SDrawBtn.h"

#include <commctrl.h>

#include "ui/SBmpMapMgr.h"
#include "ui/WidgetArea.h"

namespace UI {

void SDrawBtn::SetPictures(std::uint32_t base)
{
    for (int i = 0; i < 4; ++i)
        pictures[i] = {base + i, true};
}

bool SDrawBtn::SetToolTip(HWND tip, const wchar_t* text)
{
    if (text && *text)
        return tool_.Add(tip, Handle(), text);
    tool_.Remove();
    return true;
}

bool SDrawBtn::SetTransparent(bool transparent, COLORREF key)
{
    bool previous = transparent_;
    transparent_ = transparent;
    key_ = key;
    if (Handle() && previous != transparent) {
        LONG_PTR ex = GetWindowLongPtrW(Handle(), GWL_EXSTYLE);
        ex = transparent ? (ex | WS_EX_TRANSPARENT) : (ex & ~WS_EX_TRANSPARENT);
        SetWindowLongPtrW(Handle(), GWL_EXSTYLE, ex);
    }
    Refresh();
    return previous;
}

int SDrawBtn::Refresh()
{
    if (!Handle())
        return 0;
    if (transparent_)
        InvalidateParentArea(Handle());
    return InvalidateRect(Handle(), nullptr, TRUE);
}

void SDrawBtn::DrawState(HDC dc, const RECT& rect, int state) const
{
    if (!skin || state < 0 || state > 3 || !pictures[state].set)
        return;
    if (transparent_)
        skin->DrawItemTrans(dc, rect, pictures[state].id, key_);
    else
        skin->DrawItem(dc, rect, pictures[state].id, true, SRCCOPY);
}

void SDrawBtn::DrawItem(const DRAWITEMSTRUCT& item)
{
    if (!skin)
        return;
    int state = 0;
    if (item.itemState & ODS_DISABLED)
        state = 3;
    else if (latched)
        state = 2;
    else if (tracking)
        state = (item.itemState & ODS_SELECTED) ? 2 : 1;
    drawnState = static_cast<std::uint8_t>(state);
    DrawState(item.hDC, item.rcItem, state);
}

void SDrawBtn::Blink()
{
    if (!IsWindowEnabled(Handle())) {
        blinking = 0;
        KillTimer(Handle(), kBlinkTimer);
        return;
    }
    int state = drawnState == 0 ? 2 : 0;
    HDC dc = GetDC(Handle());
    RECT client;
    GetClientRect(Handle(), &client);
    DrawState(dc, client, state);
    ReleaseDC(Handle(), dc);
    drawnState = static_cast<std::uint8_t>(state);
}

// Mouse moves never reach the item's own procedure; a release outside the
// button never clicks.
bool SDrawBtn::HandleMouse(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    tool_.Relay(message, wParam, lParam);
    if (message == WM_MOUSEMOVE) {
        if (!tracking) {
            TRACKMOUSEEVENT track = {sizeof track, TME_HOVER | TME_LEAVE, Handle(), 1};
            tracking = TrackMouseEvent(&track) ? 1 : 0;
        }
        result = DefWindowProcW(Handle(), message, wParam, lParam);
        return true;
    }
    if (message == WM_LBUTTONUP) {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(Handle(), &cursor);
        RECT client;
        GetClientRect(Handle(), &client);
        if (PtInRect(&client, cursor))
            return false;
        tracking = 0;
        Refresh();
        ReleaseCapture();
        result = 0;
        return true;
    }
    return false;
}

bool SDrawBtn::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result)
{
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        return HandleMouse(message, wParam, lParam, result);
    switch (message) {
    case WM_DESTROY:
        tool_.Remove();
        return false;
    case WM_TIMER:
        if (wParam != kBlinkTimer) {
            result = DefWindowProcW(Handle(), message, wParam, lParam);
            return true;
        }
        Blink();
        result = 0;
        return true;
    case WM_MOUSEHOVER:
        Refresh();
        return false;
    case WM_MOUSELEAVE:
        tracking = 0;
        Refresh();
        return false;
    case kReflectBase + WM_CTLCOLORBTN:
        result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return true;
    case kReflectBase + WM_DRAWITEM:
        DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    }
    return false;
}

}  // namespace UI
