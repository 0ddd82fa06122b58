#include "ui/CFullControl.h"

#include <windowsx.h>

#include "ui/BarSliders.h"
#include "ui/PaintWindow.h"
#include "ui/SBmpMapMgr.h"
#include "ui/SkinIds.h"
#include "ui/ToolTipWindow.h"

#ifdef SubclassWindow
#undef SubclassWindow
#endif

namespace {

const UINT kPlay = 201, kStop = 202, kMute = 206;
const int kPositionId = 208, kVolumeId = 209;

}  // namespace

CFullControl::~CFullControl()
{
    RestoreCursor();
}

void CFullControl::DescribeClass(WNDCLASSEXW& wc)
{
    CWindowBase::DescribeClass(wc);
    wc.hbrBackground = nullptr;
    wc.lpszClassName = L"KX:FullCtrl";
}

void CFullControl::SetHandlers(UI::SliderCallback position, UI::SliderCallback volume, void* user)
{
    positionHandler_ = position;
    volumeHandler_ = volume;
    handlerUser_ = user;
}

HWND CFullControl::CreateHidden()
{
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    return Create(nullptr, {0, h - kHeight, w, h}, L"", WS_POPUP,
                  WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);
}

void CFullControl::OnCreate()
{
    COLORREF key = skin_ ? skin_->GetItemKeyColor(IDB_BG_TRANS) : 0;
    buttons_[0].Setup(Handle(), kPlay, IDB_BTN_PLAY_N, key);
    buttons_[1].Setup(Handle(), kStop, IDB_BTN_STOP_N, key);
    buttons_[2].Setup(Handle(), kMute, IDB_BTN_VOL_N, key);

    position_.Create(Handle(), {0, 0, 0, 0}, L"", WS_CHILD | WS_VISIBLE, 0, kPositionId);
    if (skin_)
        SetupPositionBar(position_, skin_, UI::SVolumeCtrl::kNormal);
    position_.SetToolTip(GetToolTipWindow(Handle(), true), L"00:00");
    position_.callback = positionHandler_;
    position_.callbackUser = handlerUser_;

    volume_.Create(Handle(), {0, 0, 0, 0}, L"", WS_CHILD | WS_VISIBLE, 0, kVolumeId);
    if (skin_)
        SetupVolumeSlider(volume_, skin_);
    volume_.callback = volumeHandler_;
    volume_.callbackUser = handlerUser_;
    ApplyAll();
}

void CFullControl::Layout(int width, int height)
{
    if (!skin_)
        return;
    const int L = 0, B = height, R = width;
    int right = width < 165 ? L + 140 : R - 25;
    int barHeight = skin_->ItemSize(IDB_PRO_BTN_N).cy;
    int pos = position_.GetPos(), mark = position_.GetPos2();
    MoveWindow(position_.Handle(), L + 110, B - 30 - barHeight, right - (L + 110), barHeight,
               TRUE);
    position_.SetRangeLow(0);
    position_.SetRangeHigh(right - (L + 110));
    position_.SetPos(pos);
    position_.SetPos2(mark);

    const struct { int x, bottomGap; UINT image; } places[] = {
        {L + 9, 7, IDB_BTN_PLAY_N}, {L + 43, 7, IDB_BTN_STOP_N}, {L + 115, 8, IDB_BTN_VOL_N}};
    for (int i = 0; i < 3; ++i) {
        SIZE size = skin_->ItemSize(places[i].image);
        int w = size.cx, h = size.cy;
        buttons_[i].left = places[i].x;
        buttons_[i].right = places[i].x + w;
        buttons_[i].bottom = B - places[i].bottomGap;
        buttons_[i].top = buttons_[i].bottom - h;
    }
    int vw = skin_->ItemSize(IDB_VOL_LINE_S).cx, vh = skin_->ItemSize(IDB_VOL_BTN_S).cy;
    MoveWindow(volume_.Handle(), L + 132, B - 10 - vh, vw, vh, TRUE);
}

void CFullControl::Paint(HDC dc)
{
    if (!skin_)
        return;
    RECT client;
    GetClientRect(Handle(), &client);
    RECT band = {client.left, client.bottom - kHeight, client.right, client.bottom};
    skin_->DrawItem3(dc, band, IDB_BK_LEFT, IDB_BK_MID, IDB_BK_RIGHT, false, 0);
    for (CFakeBtn& button : buttons_)
        button.Draw(dc, *skin_);
}

void CFullControl::Mouse(UINT message, POINT at)
{
    for (CFakeBtn& button : buttons_) {
        if (message == WM_MOUSEMOVE) {
            button.MouseMove(at);
        } else if (message == WM_LBUTTONDOWN) {
            button.ButtonDown(at);
        } else if (message == WM_LBUTTONUP && button.ButtonUp(at)) {
            SendMessageW(Handle(), WM_COMMAND, button.command, 0);
        }
    }
}

void CFullControl::RestoreCursor()
{
    if (cursorHidden_) {
        ShowCursor(TRUE);
        cursorHidden_ = false;
    }
}

void CFullControl::Show()
{
    if (!Handle())
        return;
    RestoreCursor();
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(Handle(), HWND_TOPMOST, 0, h - kHeight, w, kHeight,
                 SWP_SHOWWINDOW | SWP_FRAMECHANGED | SWP_NOACTIVATE);
    HoverUpdate();
}

void CFullControl::Hide()
{
    RestoreCursor();
    if (!Handle())
        return;
    ShowWindow(Handle(), SW_HIDE);
    KillTimer(Handle(), kHideTimer);
    SetCursor(arrow_);
    for (CFakeBtn& button : buttons_)
        button.Clear();
}

void CFullControl::HoverUpdate()
{
    if (!Handle())
        return;
    SetCursor(arrow_);
    SetTimer(Handle(), kHideTimer, kHideAfterMs, nullptr);
    POINT cursor;
    GetCursorPos(&cursor);
    POINT inBar = cursor;
    ScreenToClient(Handle(), &inBar);
    for (CFakeBtn& button : buttons_)
        button.MouseMove(inBar);
    for (UI::SVolumeCtrl* slider : {&position_, &volume_}) {
        POINT at = cursor;
        ScreenToClient(slider->Handle(), &at);
        SendMessageW(slider->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    }
}

void CFullControl::ApplyButton(CFakeBtn& button, int state)
{
    button.latched = state == 1;
    button.disabled = state == 2;
    button.Invalidate();
}

void CFullControl::SetPlayState(int state)
{
    playState_ = state;
    if (Handle())
        ApplyButton(buttons_[0], state);
}

void CFullControl::SetStopState(int state)
{
    stopState_ = state;
    if (Handle())
        ApplyButton(buttons_[1], state);
}

void CFullControl::SetMuteState(int state)
{
    muteState_ = state;
    if (Handle())
        ApplyButton(buttons_[2], state);
}

void CFullControl::SetProgress(int position, int mark)
{
    positionValue_ = position;
    mark_ = mark;
    if (position_.Handle()) {
        position_.SetPos(position);
        position_.SetPos2(mark);
        InvalidateRect(position_.Handle(), nullptr, TRUE);
    }
}

void CFullControl::SetDuration(std::uint64_t seconds)
{
    duration_ = seconds;
    position_.duration = seconds;
}

void CFullControl::SetVolume(int volume)
{
    volumeValue_ = volume;
    if (volume_.Handle())
        volume_.SetPos(volume * 10);
}

void CFullControl::SetVodFlag(bool vod)
{
    vod_ = vod;
    if (position_.Handle()) {
        position_.state = vod ? UI::SVolumeCtrl::kNormal : UI::SVolumeCtrl::kDisabled;
        InvalidateRect(position_.Handle(), nullptr, TRUE);
    }
}

void CFullControl::ApplyAll()
{
    SetPlayState(playState_);
    SetStopState(stopState_);
    SetMuteState(muteState_);
    SetProgress(positionValue_, mark_);
    SetDuration(duration_);
    SetVolume(volumeValue_);
    SetVodFlag(vod_);
}

bool CFullControl::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result)
{
    if (HandleSelfPaint(Handle(), message, [this](HDC dc, const RECT&) { Paint(dc); }, result))
        return true;
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return false;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return false;
    case WM_MOUSEACTIVATE:
        result = MA_NOACTIVATE;
        return true;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        Mouse(message, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return false;
    case WM_COMMAND:
        if (LOWORD(wParam) == kPlay || LOWORD(wParam) == kStop || LOWORD(wParam) == kMute) {
            if (owner_ && IsWindow(owner_))
                SendMessageW(owner_, WM_COMMAND, LOWORD(wParam), 0);
            result = 0;
            return true;
        }
        return false;
    case WM_TIMER:
        if (wParam != kHideTimer)
            return false;
        ShowWindow(Handle(), SW_HIDE);
        KillTimer(Handle(), kHideTimer);
        if (!cursorHidden_) {
            ShowCursor(FALSE);
            cursorHidden_ = true;
        }
        result = 0;
        return true;
    case WM_DESTROY:
        RestoreCursor();
        GetToolTipWindow(Handle(), false);
        return false;
    }
    return false;
}
