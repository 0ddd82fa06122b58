#include "ui/CVideoADDisplayWnd.h"

CVideoADDisplayWnd::~CVideoADDisplayWnd()
{
    Reset();
    if (Handle())
        DestroyWindow();
}

void CVideoADDisplayWnd::DescribeClass(WNDCLASSEXW& wc)
{
    CWindowBase::DescribeClass(wc);
    wc.lpszClassName = L"TovraAdOverlay";
    wc.hbrBackground = nullptr;
}

void CVideoADDisplayWnd::SetFonts(COLORREF background)
{
    background_ = background;
    BuildFonts(GetSettings(), true);
}

const _tagADSetting* CVideoADDisplayWnd::GetSettings()
{
    return AdSet() ? &AdSet()->overlaySettings : nullptr;
}

const std::vector<_tagAD>* CVideoADDisplayWnd::GetItems()
{
    return AdSet() ? &AdSet()->overlayAds : nullptr;
}

void CVideoADDisplayWnd::DrawBackground(HDC dc, const RECT& rect)
{
    COLORREF old = SetBkColor(dc, background_);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

// A window without a parent is a pop-up: WS_CHILD goes once the parent has.
void CVideoADDisplayWnd::MakeTopLevel()
{
    SetParent(Handle(), nullptr);
    LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    SetWindowLongW(Handle(), GWL_STYLE, (style & ~WS_CHILD) | WS_POPUP);
}

void CVideoADDisplayWnd::MakeChildOf(HWND parent)
{
    LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    SetWindowLongW(Handle(), GWL_STYLE, (style & ~WS_POPUP) | WS_CHILD);
    SetParent(Handle(), parent);
}

void CVideoADDisplayWnd::Detach()
{
    if (!Handle())
        return;
    ShowWindow(Handle(), SW_HIDE);
    MakeTopLevel();
}

void CVideoADDisplayWnd::AttachTo(HWND video, BOOL topLevel)
{
    if (!Handle())
        return;
    // Without a window there is nothing to lie over, top-level or not.
    if (!video || !IsWindow(video)) {
        Detach();
        return;
    }
    SetWindowLongW(video, GWL_STYLE, GetWindowLongW(video, GWL_STYLE) | WS_CLIPCHILDREN);
    MakeChildOf(video);
    RECT rect;
    GetWindowRect(video, &rect);
    if (topLevel)
        MakeTopLevel();
    else
        MapWindowPoints(nullptr, video, reinterpret_cast<POINT*>(&rect), 2);
    const bool show = AdSet() && AdSet()->IsOverlayTime();
    SetWindowPos(Handle(), topLevel ? HWND_TOPMOST : HWND_BOTTOM, rect.left, rect.top,
                 rect.right - rect.left, kHeight,
                 SWP_NOACTIVATE | SWP_FRAMECHANGED | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

bool CVideoADDisplayWnd::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                              LRESULT& result)
{
    return HandleAdMessage(message, wParam, lParam, result);
}
