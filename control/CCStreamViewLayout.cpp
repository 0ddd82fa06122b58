// The control bar around the hosted player: its widgets, their places by
// layout mode, the painting of the bars and the full-screen bar.
#include "control/CCStreamView.h"
#include "control/FullScreenSearch.h"

#include "control/ControlIds.h"
#include "control/ControlStrings.h"
#include "ui/BarSliders.h"
#include "ui/PaintWindow.h"
#include "ui/SkinIds.h"
#include "ui/ToolTipWindow.h"

namespace {

const int kTopBar = 27;
const int kStatusStrip = 16;
const int kBottomBar = 48;
const int kAudioHeight = 64;
const int kMinWidth = 280, kMinHeight = 267;
const UINT_PTR kStatusRotateMs = 5000;

// Every item of the bars, in the order they are shown or hidden.
const int kBarItems[] = {IDC_TIME,  IDC_PLAYLIST, IDC_CHAT, IDC_VIDEOSIZE, IDC_FULLSCREEN,
                         IDC_STATUS, IDC_PROGRESS, IDC_PLAY, IDC_STOP,      IDC_MUTE,
                         IDC_VOLUME, IDC_AD};

void Place(HWND window, int x, int y, int w, int h)
{
    if (window)
        MoveWindow(window, x, y, w, h, TRUE);
}

std::wstring LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(CWindowBase::ModuleInstance(), id,
                             reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

}  // namespace

UI::SDrawBtn* CCStreamView::ButtonOf(int id)
{
    switch (id) {
    case IDC_PLAYLIST: return &listButton_;
    case IDC_CHAT: return &chatButton_;
    case IDC_VIDEOSIZE: return &sizeButton_;
    case IDC_FULLSCREEN: return &fullButton_;
    case IDC_PLAY: return &playButton_;
    case IDC_STOP: return &stopButton_;
    case IDC_MUTE: return &muteButton_;
    default: return nullptr;
    }
}

const UI::SDrawBtn* CCStreamView::ButtonOf(int id) const
{
    return const_cast<CCStreamView*>(this)->ButtonOf(id);
}

void CCStreamView::SetButtonToolTip(UI::SDrawBtn& button, UINT stringId)
{
    button.SetToolTip(nullptr, nullptr);
    button.SetToolTip(GetToolTipWindow(Window(), true), LoadText(stringId).c_str());
}

// The widget part of the window's set-up: each item attached once, the skin,
// the pictures, the tooltips and the hidden full-screen bar.
void CCStreamView::InitChildWindows()
{
    HWND bar = Window();
    auto attach = [bar](CWindowBase& widget, int id) {
        if (!widget.Handle())
            widget.SubclassWindow(GetDlgItem(bar, id));
    };
    attach(volumeSlider_, IDC_VOLUME);
    attach(positionBar_, IDC_PROGRESS);
    for (int id : {IDC_PLAYLIST, IDC_CHAT, IDC_FULLSCREEN, IDC_VIDEOSIZE, IDC_PLAY, IDC_STOP,
                   IDC_MUTE})
        attach(*ButtonOf(id), id);
    attach(timeDisplay_, IDC_TIME);
    chat_.SetSendCallback(&CCStreamView::SendChatData, this);
    attach(status_, IDC_STATUS);
    attach(adPane_, IDC_AD);

    skin_.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN, false);
    RECT adBackground = {0, 0, 0, 0};
    if (skin_.GetItemRect(IDB_BK_MID, &adBackground)) {
        adBackground.top += 20;
        adBackground.bottom -= 5;
    }
    adPane_.SetSkin(&skin_, adBackground);
    timeDisplay_.skin = &skin_;
    timeDisplay_.backgroundIds[0] = IDB_BK_TIME_LEFT;
    timeDisplay_.backgroundIds[1] = IDB_BK_TIME_MID;
    timeDisplay_.backgroundIds[2] = IDB_BK_TIME_RIGHT;
    timeDisplay_.keyItemId = IDB_BG_TRANS;
    const std::uint32_t levels[4] = {IDB_NET_STATE_0, IDB_NET_STATE_0 + 1, IDB_NET_STATE_0 + 2,
                                     IDB_NET_STATE_0 + 3};
    timeDisplay_.SetIconItems(levels);
    SetTimer(status_.Handle(), CStatusWnd::kRotateTimer, kStatusRotateMs, nullptr);

    const UINT sizeTip = orgSize_ ? IDS_TIP_FIT_VIDEO : IDS_TIP_ORIGINAL_SIZE;
    const struct { int id; UINT images; UINT tip; } buttons[] = {
        {IDC_PLAYLIST, IDB_BTN_LIST_N, IDS_TIP_LIST},
        {IDC_CHAT, IDB_BTN_CHAT_N, IDS_TIP_CHAT},
        {IDC_VIDEOSIZE, IDB_BTN_FULL_N, sizeTip},
        {IDC_FULLSCREEN, IDB_BTN_OUT_N, IDS_TIP_FULLSCREEN},
        {IDC_PLAY, IDB_BTN_PLAY_N, IDS_TIP_PLAY},
        {IDC_STOP, IDB_BTN_STOP_N, IDS_TIP_STOP},
        {IDC_MUTE, IDB_BTN_VOL_N, IDS_TIP_MUTE},
    };
    COLORREF key = skin_.IsLoaded() ? skin_.GetItemKeyColor(IDB_BG_TRANS) : 0;
    for (const auto& b : buttons) {
        UI::SDrawBtn& button = *ButtonOf(b.id);
        button.skin = &skin_;
        button.SetPictures(b.images);
        button.SetTransparent(true, key);
        SetButtonToolTip(button, b.tip);
        // The normal picture's size, centred where the dialog put the item.
        RECT place;
        GetWindowRect(button.Handle(), &place);
        MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&place), 2);
        SIZE size = skin_.ItemSize(b.images);
        int cx = (place.left + place.right) / 2, cy = (place.top + place.bottom) / 2;
        Place(button.Handle(), cx - size.cx / 2, cy - size.cy / 2, size.cx, size.cy);
    }
    positionBar_.SetToolTip(GetToolTipWindow(bar, true), L"00:00");
    muteButton_.latched = mute_;
    muteButton_.Refresh();

    SetupVolumeSlider(volumeSlider_, &skin_);
    volumeSlider_.SetPos(static_cast<int>(volume_) * 10);
    volumeSlider_.callback = OnVolumeSlider;
    volumeSlider_.callbackUser = this;
    // Disabled until playback starts.
    SetupPositionBar(positionBar_, &skin_, UI::SVolumeCtrl::kDisabled);
    positionBar_.callback = OnPositionSlider;
    positionBar_.callbackUser = this;

    // The sliders, too, show the bar through their key-coloured pixels.
    for (UI::SVolumeCtrl* slider : {&volumeSlider_, &positionBar_}) {
        LONG_PTR ex = GetWindowLongPtrW(slider->Handle(), GWL_EXSTYLE);
        SetWindowLongPtrW(slider->Handle(), GWL_EXSTYLE, ex | WS_EX_TRANSPARENT);
    }

    LayoutVideo(false);
    fullControl_.SetSkin(&skin_);
    fullControl_.SetOwner(bar);
    fullControl_.SetHandlers(OnPositionSlider, OnVolumeSlider, this);
    if (!fullControl_.Handle())
        fullControl_.CreateHidden();
}

void CCStreamView::ShowBarItems(bool show)
{
    if (!WindowExists())
        return;
    for (int id : kBarItems)
        ShowWindow(GetDlgItem(Window(), id), show ? SW_SHOW : SW_HIDE);
}

RECT CCStreamView::PlayerRect() const
{
    RECT c = {0, 0, 0, 0};
    if (WindowExists())
        GetClientRect(Window(), &c);
    switch (layout_) {
    case LAYOUT_SIMPLE: return {c.left, c.top, c.right, c.bottom - 17};
    case LAYOUT_MINI: return c;
    case LAYOUT_AUDIO: return {0, 0, 0, 0};
    case LAYOUT_COMPACT: return {c.left, c.top + kTopBar, c.right, c.bottom - kBottomBar};
    default:
        return {c.left, c.top + kTopBar, c.right, c.bottom - kBottomBar - kStatusStrip - 1};
    }
}

void CCStreamView::LayoutVideo(bool flvMovie)
{
    for (CPlayerSelector* player : {&mainPlayer_, &adPlayer_}) {
        player->SetParentWindow(Window());
        player->SetRect(PlayerRect(), FALSE);
    }
    if (flvMovie)
        mainPlayer_.SetFlvPlayerUrl(flvPlayer_ ? flvPlayer_ : L"");
}

void CCStreamView::LayoutControls()
{
    if (!WindowExists())
        return;
    HWND bar = Window();
    RECT c;
    GetClientRect(bar, &c);
    const int L = c.left, T = c.top, R = c.right, B = c.bottom;
    auto item = [bar](int id) { return GetDlgItem(bar, id); };
    // The advertisement player plays where the main player does.
    auto placePlayers = [this](const RECT& r) {
        mainPlayer_.SetRect(r, TRUE);
        adPlayer_.SetRect(r, TRUE);
    };
    int y = 0;
    switch (layout_) {
    case LAYOUT_SIMPLE:
        placePlayers({L, T, R, B - 17});
        ShowBarItems(false);
        ShowWindow(item(IDC_STATUS), SW_SHOW);
        Place(item(IDC_STATUS), L, B - kStatusStrip, R - L, kStatusStrip);
        return;
    case LAYOUT_MINI:
        placePlayers(c);
        ShowBarItems(false);
        return;
    case LAYOUT_AUDIO: {
        ShowBarItems(true);
        placePlayers({0, 0, 0, 0});
        mainPlayer_.HidePlayer();
        adPlayer_.HidePlayer();
        for (int id : {IDC_TIME, IDC_CHAT, IDC_PLAYLIST, IDC_VIDEOSIZE, IDC_FULLSCREEN})
            ShowWindow(item(id), SW_HIDE);
        RECT outer;
        GetWindowRect(bar, &outer);
        if (outer.bottom - outer.top != kAudioHeight) {
            HWND parent = GetParent(bar);
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&outer), 2);
            // The resize brings a new WM_SIZE, which lays out the rest.
            MoveWindow(bar, outer.left, outer.top, outer.right - outer.left, kAudioHeight, TRUE);
            return;
        }
        Place(item(IDC_STATUS), L, T, R - L, kStatusStrip);
        y = T + kStatusStrip;
        break;
    }
    default: {
        bool withStatus = layout_ != LAYOUT_COMPACT;
        ShowBarItems(true);
        if (!withStatus)
            ShowWindow(item(IDC_STATUS), SW_HIDE);
        Place(item(IDC_TIME), L + 4, T + 3, 153, 21);
        // The top-right buttons at 13 x 13, whatever their pictures.
        const struct { int id, fromRight; } topRight[] = {
            {IDC_FULLSCREEN, 24}, {IDC_VIDEOSIZE, 51}, {IDC_CHAT, 78}, {IDC_PLAYLIST, 105}};
        for (const auto& b : topRight)
            Place(item(b.id), R - b.fromRight, T + 7, 13, 13);
        int bottom = withStatus ? B - kBottomBar - kStatusStrip - 1 : B - kBottomBar;
        placePlayers({L, T + kTopBar, R, bottom});
        y = bottom;
        if (withStatus) {
            Place(item(IDC_STATUS), L, y + 1, R - L, kStatusStrip);
            y += kStatusStrip + 1;
        }
        break;
    }
    }

    // The bottom bar from y.
    int positionRight = (R - L) < 165 ? L + 140 : R - 25;
    int pos = positionBar_.GetPos(), mark = positionBar_.GetPos2();
    Place(item(IDC_PROGRESS), L + 110, y + 4, positionRight - (L + 110),
          skin_.ItemSize(IDB_PRO_BTN_N).cy);
    positionBar_.SetRangeLow(0);
    positionBar_.SetRangeHigh(positionRight - (L + 110));
    positionBar_.SetPos(pos);
    positionBar_.SetPos2(mark);
    SIZE play = skin_.ItemSize(IDB_BTN_PLAY_N), stop = skin_.ItemSize(IDB_BTN_STOP_N),
         mute = skin_.ItemSize(IDB_BTN_VOL_N);
    Place(item(IDC_PLAY), L + 9, y + 13, play.cx, play.cy);
    Place(item(IDC_STOP), L + 43, y + 22, stop.cx, stop.cy);
    Place(item(IDC_MUTE), L + 115, y + 28, mute.cx, mute.cy);
    int volumeWidth = skin_.ItemSize(IDB_VOL_LINE_S).cx;
    Place(item(IDC_VOLUME), L + 132, y + 27, volumeWidth, skin_.ItemSize(IDB_VOL_BTN_S).cy);
    int volPos = volumeSlider_.GetPos();
    volumeSlider_.SetRangeLow(0);
    volumeSlider_.SetRangeHigh(volumeWidth);
    volumeSlider_.SetPos(volPos);
    int adLeft = L + 132 + volumeWidth + 10;
    Place(item(IDC_AD), adLeft, y + 20, (R - 10) - adLeft, 23);
    // The items drawn with a key colour show the bar through: they paint
    // again after it.
    RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Takes any DC: the window's in WM_PAINT, a bitmap's in tests.
void CCStreamView::PaintBar(HDC dc, const RECT& c)
{
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    if (layout_ == LAYOUT_SIMPLE) {
        RECT above = {c.left, c.top, c.right, c.bottom - 17};
        RECT line = {c.left, c.bottom - 17, c.right, c.bottom - 16};
        FillRect(dc, &above, black);
        FillRect(dc, &line, white);
        return;
    }
    if (layout_ == LAYOUT_MINI) {
        FillRect(dc, &c, black);
        return;
    }
    int barTop = c.bottom - kBottomBar;
    if (layout_ == LAYOUT_AUDIO) {
        barTop = c.top + kStatusStrip;
    } else {
        skin_.DrawItem(dc, {c.left, c.top, c.right, c.top + kTopBar}, IDB_HEADER_BK, true,
                       SRCCOPY);
        bool compact = layout_ == LAYOUT_COMPACT;
        int playerBottom = compact ? barTop : barTop - kStatusStrip - 1;
        RECT player = {c.left, c.top + kTopBar, c.right, playerBottom};
        FillRect(dc, &player, black);
        if (!compact) {
            RECT line = {c.left, playerBottom, c.right, playerBottom + 1};
            FillRect(dc, &line, white);
        }
    }
    skin_.DrawItem3(dc, {c.left, barTop, c.right, barTop + kBottomBar}, IDB_BK_LEFT, IDB_BK_MID,
                    IDB_BK_RIGHT, false, 0);
}

// An item drawn with a key colour does not clip the bar, so the bar paints
// over it: it paints again, at once, over the fresh bar.
void CCStreamView::RepaintSeeThroughItems(const RECT& painted)
{
    for (HWND child = ::GetWindow(Window(), GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child) || !(GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_TRANSPARENT))
            continue;
        RECT area, overlap;
        GetWindowRect(child, &area);
        MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&area), 2);
        if (IntersectRect(&overlap, &area, &painted))
            RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
}

void CCStreamView::ToggleVideoSize()
{
    orgSize_ = !orgSize_;
    mainPlayer_.SetOrgSize(orgSize_ ? 1 : 0);
    SetButtonToolTip(sizeButton_, orgSize_ ? IDS_TIP_FIT_VIDEO : IDS_TIP_ORIGINAL_SIZE);
}

int CCStreamView::GetButtonState(int id) const
{
    const UI::SDrawBtn* button = ButtonOf(id);
    if (!button || !button->Handle())
        return 0;
    if (!IsWindowEnabled(button->Handle()))
        return 2;
    return button->latched;
}

void CCStreamView::SyncFullControl(bool show)
{
    if (enableControlBar_ == 0 || (enableControlBar_ != -1 && layout_ != LAYOUT_FULL))
        return;
    if (!show) {
        if (fullControl_.Handle())
            fullControl_.Hide();
        return;
    }
    fullControl_.SetVolume(volumeSlider_.GetPos() / 10);
    fullControl_.SetVodFlag(coreKind_ == CORE_VOD && vod_ != nullptr);
    fullControl_.SetProgress(positionBar_.GetPos(), positionBar_.GetPos2());
    fullControl_.SetPlayState(GetButtonState(IDC_PLAY));
    fullControl_.SetStopState(GetButtonState(IDC_STOP));
    fullControl_.SetMuteState(GetButtonState(IDC_MUTE));
    fullControl_.SetDuration(positionBar_.duration);
    fullControl_.ApplyAll();
    if (!fullControl_.Handle()) {
        fullControl_.SetSkin(&skin_);
        fullControl_.SetOwner(Window());
        fullControl_.CreateHidden();
    }
    fullControl_.Show();
}

// Both sliders call this one: a value from the full-screen bar moves the
// control's slider, and the other way round. A new volume ends the mute.
void CCStreamView::OnVolumeSlider(const UI::SliderChange* change, void* self)
{
    auto control = static_cast<CCStreamView*>(self);
    const int v = change->perMille;
    control->mainPlayer_.SetMute(0);
    control->mainPlayer_.SetVolume(v / 10);
    control->muteButton_.latched = 0;
    control->muteButton_.Refresh();
    control->volume_ = static_cast<ULONG>(v / 10);
    control->volumeSlider_.SetPos(v);
    CFullControl& bar = control->fullControl_;
    if (bar.Handle() && IsWindowVisible(bar.Handle())) {
        bar.SetVolume(v / 10);
        bar.VolumeSlider().SetPos(v);
    }
}

// Both position bars call this one. A seek resumes some players: a paused
// one is paused again.
void CCStreamView::OnPositionSlider(const UI::SliderChange* change, void* self)
{
    auto control = static_cast<CCStreamView*>(self);
    const int v = change->perMille;
    control->positionBar_.SetPos(v);
    if (control->coreKind_ == CORE_VOD) {
        control->mainPlayer_.SeekPermille(v);
        if (!control->playButton_.latched)
            control->mainPlayer_.Pause();
    }
    CFullControl& bar = control->fullControl_;
    if (bar.Handle() && IsWindowVisible(bar.Handle()))
        bar.SetProgress(v, control->positionBar_.GetPos2());
}

void CCStreamView::AttachAdPane(bool search)
{
    HWND player = nullptr;
    if (FAILED(mainPlayer_.GetPlayerWindow(&player)))
        player = nullptr;
    const PlayerKind kind = static_cast<PlayerKind>(mainPlayer_.Kind());
    if (!search) {
        adPane_.AttachToPlayer(player, player, FALSE, TRUE, kind);
        return;
    }
    if (!player || !::GetWindow(player, GW_CHILD))
        return;
    HWND fullScreen = FindFullScreenWindow(player);
    if (fullScreen)
        adPane_.AttachToPlayer(player, fullScreen, TRUE, FALSE, kind);
    else
        adPane_.AttachToPlayer(player, player, FALSE, TRUE, kind);
}

void CCStreamView::OnDestroyWindow()
{
    if (fullControl_.Handle())
        fullControl_.DestroyWindow();
    if (chat_.Handle())
        chat_.DestroyWindow();
    GetToolTipWindow(Window(), false);
    ResetPlayback();
    OnClose();
    mainPlayer_.DestroyAll();
    adPlayer_.DestroyAll();
    skin_.Release();
}

bool CCStreamView::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result)
{
    if (ProcessDialogMessage(hwnd, message, wParam, lParam, result))
        return true;
    switch (message) {
    case WM_SIZE:
        LayoutControls();
        result = 0;
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT: {
        RECT painted = {0, 0, 0, 0};
        PaintWindow(hwnd, [&](HDC dc, const RECT& dirty) {
            RECT client;
            GetClientRect(hwnd, &client);
            PaintBar(dc, client);
            painted = dirty;
        });
        RepaintSeeThroughItems(painted);
        result = 0;
        return true;
    }
    case WM_MOUSEACTIVATE:
        OnMouseActivate(lParam);
        return false;
    case WM_GETMINMAXINFO: {
        auto info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {kMinWidth, kMinHeight};
        result = 0;
        return true;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_VIDEOSIZE && HIWORD(wParam) == 0) {
            ToggleVideoSize();
            result = 0;
            return true;
        }
        break;
    case WM_DESTROY:
        OnDestroyWindow();
        return false;
    }
    return ProcessControlMessage(message, wParam, lParam, result);
}
