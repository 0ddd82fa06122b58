#include "ui/CTimeDisplayWnd.h"

#include <commctrl.h>
#include <windowsx.h>

#include "ui/PaintWindow.h"
#include "ui/SBmpMapMgr.h"
#include "ui/TimeSpanText.h"

#ifdef SubclassWindow
#undef SubclassWindow
#endif

void CTimeDisplayWnd::SetDuration(int seconds)
{
    duration_ = seconds;
    if (Handle())
        InvalidateRect(Handle(), &textRect_, TRUE);
}

void CTimeDisplayWnd::SetPosition(int seconds)
{
    position_ = seconds;
    if (Handle())
        InvalidateRect(Handle(), &textRect_, TRUE);
}

// The icon sits at the text's left, centred in its height; the text moves
// right of it.
void CTimeDisplayWnd::LayoutIcon()
{
    RECT icon = {0, 0, 0, 0};
    skin->GetItemRect(iconIds[0], &icon);
    int width = icon.right - icon.left, height = icon.bottom - icon.top;
    iconRect_.left = textRect_.left + 2;
    iconRect_.right = iconRect_.left + width;
    iconRect_.top = textRect_.top + (textRect_.bottom - textRect_.top - height) / 2;
    iconRect_.bottom = iconRect_.top + height;
    textRect_.left = iconRect_.right + 2;
}

void CTimeDisplayWnd::SetIconItems(const std::uint32_t ids[4])
{
    if (!skin)
        return;
    for (int i = 0; i < 4; ++i)
        iconIds[i] = ids[i];
    // From the client rectangle again, so that a second call does not move
    // the text further right.
    if (Handle())
        LayoutRects();
    else
        LayoutIcon();
}

void CTimeDisplayWnd::LayoutRects()
{
    RECT client;
    GetClientRect(Handle(), &client);
    textRect_ = {client.left + 5, client.top + 1, client.right - 6, client.bottom - 1};
    iconRect_ = textRect_;
    if (skin)
        LayoutIcon();
}

void CTimeDisplayWnd::SetToolTipText(const wchar_t* text)
{
    tipText_ = text ? text : L"";
    if (!Handle())
        return;
    if (!tip_) {
        tip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                               CWindowBase::ModuleInstance(), nullptr);
        if (!tip_)
            return;
    }
    TTTOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = Handle();
    info.uId = reinterpret_cast<UINT_PTR>(Handle());
    info.hinst = CWindowBase::ModuleInstance();
    info.lpszText = const_cast<wchar_t*>(tipText_.c_str());
    if (!text) {
        SendMessageW(tip_, TTM_ACTIVATE, FALSE, 0);
        return;
    }
    SendMessageW(tip_, TTM_ACTIVATE, TRUE, 0);
    if (SendMessageW(tip_, TTM_GETTOOLCOUNT, 0, 0) == 0)
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    else
        SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

std::wstring CTimeDisplayWnd::Text() const
{
    return TimeSpanText(position_) + L"/" + TimeSpanText(duration_);
}

void CTimeDisplayWnd::Paint(HDC dc)
{
    RECT client;
    GetClientRect(Handle(), &client);
    if (skin) {
        COLORREF key = skin->GetItemKeyColor(keyItemId);
        skin->DrawItem3(dc, client, backgroundIds[0], backgroundIds[1], backgroundIds[2], true,
                        key);
        skin->DrawItemTrans(dc, iconRect_, iconIds[level & 3], key);
    } else {
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(dc, &client, red);
        DeleteObject(red);
    }
    int mode = SetBkMode(dc, TRANSPARENT);
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT text = textRect_;
    DrawTextW(dc, Text().c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SelectObject(dc, font);
    SetBkMode(dc, mode);
}

bool CTimeDisplayWnd::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                           LRESULT& result)
{
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) {
        if (tip_) {
            POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (PtInRect(&iconRect_, at)) {
                MSG msg = {Handle(), message, wParam, lParam, 0, {0, 0}};
                SendMessageW(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
            } else {
                SendMessageW(tip_, TTM_POP, 0, 0);
            }
        }
        return false;
    }
    switch (message) {
    case WM_SIZE: {
        result = DefaultProc(message, wParam, lParam);
        LayoutRects();
        return true;
    }
    case WM_PAINT:
        PaintWindow(Handle(), [this](HDC dc, const RECT&) { Paint(dc); });
        result = 0;
        return true;
    case WM_DESTROY:
        if (tip_)
            ::DestroyWindow(tip_);
        tip_ = nullptr;
        return false;
    }
    return false;
}
