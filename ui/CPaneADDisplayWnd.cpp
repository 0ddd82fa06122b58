#include "ui/CPaneADDisplayWnd.h"

#include <cwchar>

#include "players/PlayerSelector.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "ui/CVideoADDisplayWnd.h"
#include "ui/SBmpMapMgr.h"

namespace {

const wchar_t kRealControlClass[] = L"RealAudioCtrlWndClass";
const wchar_t kRealVideoClass[] = L"PNGUIClass";
const wchar_t* const kDShowVideoClasses[] = {L"VideoRenderer", nullptr};

// One full-screen watch in the process at a time. The hook procedure runs on
// the video window's thread and only clears `video`; the pane reads it on
// its own thread from timer 16.
struct HookRecord {
    HHOOK hook;
    CPaneADDisplayWnd* pane;
    HWND volatile video;
    HWND fullScreenHost;
};
HookRecord g_hook = {};

// Equal, ignoring case, over the length of the window's class name.
bool ClassIs(HWND window, const wchar_t* wanted)
{
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return length > 0 && _wcsnicmp(name, wanted, length) == 0;
}

HWND FirstChildOfClass(HWND parent, const wchar_t* wanted, bool visibleSameRect)
{
    RECT parentRect = {};
    GetWindowRect(parent, &parentRect);
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!ClassIs(child, wanted))
            continue;
        if (visibleSameRect) {
            RECT rect = {};
            GetWindowRect(child, &rect);
            if (!IsWindowVisible(child) || !EqualRect(&rect, &parentRect))
                continue;
        }
        return child;
    }
    return nullptr;
}

HWND FindRealVideoWindow(HWND window)
{
    HWND control = window;
    if (!ClassIs(window, kRealControlClass)) {
        control = GetWindow(window, GW_CHILD);
        while (control && !ClassIs(control, kRealControlClass))
            control = GetWindow(control, GW_HWNDNEXT);
    }
    if (!control)
        return window;
    HWND frame = FirstChildOfClass(control, kRealVideoClass, false);
    if (!frame)
        return control;
    HWND picture = FirstChildOfClass(frame, kRealVideoClass, true);
    return picture ? picture : frame;
}

struct FullScreenSearch {
    DWORD process;
    DWORD thread;
    RECT screen;
    HWND found;
};

BOOL CALLBACK ConsiderFullScreen(HWND window, LPARAM lParam)
{
    FullScreenSearch& search = *reinterpret_cast<FullScreenSearch*>(lParam);
    DWORD process = 0;
    if (GetWindowThreadProcessId(window, &process) != search.thread || process != search.process)
        return TRUE;
    RECT rect;
    if ((GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) != 0 || !GetWindowRect(window, &rect) ||
        !EqualRect(&rect, &search.screen))
        return TRUE;
    search.found = window;
    return FALSE;
}

// A caption-less top-level window covering the screen, of the thread of the
// host's innermost first child: the player's full-screen picture.
bool FullScreenWindowExists(HWND host)
{
    HWND inner = host;
    for (HWND child = GetWindow(inner, GW_CHILD); child; child = GetWindow(child, GW_CHILD))
        inner = child;
    FullScreenSearch search = {};
    search.thread = GetWindowThreadProcessId(inner, &search.process);
    search.screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    EnumWindows(ConsiderFullScreen, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
}

} // namespace

CPaneADDisplayWnd::~CPaneADDisplayWnd()
{
    Reset();
    if (Handle()) {
        if (IsSubclassed())
            UnsubclassWindow();
        else
            DestroyWindow();
    }
}

HWND CPaneADDisplayWnd::HookedWindow()
{
    return g_hook.hook ? g_hook.video : nullptr;
}

const _tagADSetting* CPaneADDisplayWnd::GetSettings()
{
    return AdSet() ? &AdSet()->paneSettings : nullptr;
}

const std::vector<_tagAD>* CPaneADDisplayWnd::GetItems()
{
    return AdSet() ? &AdSet()->paneAds : nullptr;
}

void CPaneADDisplayWnd::DrawBackground(HDC dc, const RECT& rect)
{
    if (skin_ && skin_->IsLoaded()) {
        skin_->Blt(dc, rect, skinSource_, true, SRCCOPY);
        return;
    }
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void CPaneADDisplayWnd::SetSkin(const UI_Mgr::SBmpMapMgr* skin, const RECT& source)
{
    skin_ = skin;
    skinSource_ = source;
    BuildPaneFonts();
}

void CPaneADDisplayWnd::BuildPaneFonts()
{
    BuildFonts(GetSettings(), false);
}

void CPaneADDisplayWnd::SetAdSet(CADSet* set)
{
    CADDisplayWnd::SetAdSet(set);
    if (set && !set->videoAds.empty()) {
        adPlayer_ = new CPlayerSelector;
        if (Handle())
            SetTimer(Handle(), kVideoTimer, kScheduleMs, nullptr);
    }
    if (set && !set->overlayAds.empty()) {
        overlay_ = new CVideoADDisplayWnd;
        if (Handle())
            SetTimer(Handle(), kOverlayTimer, kScheduleMs, nullptr);
    }
    BuildPaneFonts();
}

void CPaneADDisplayWnd::Reset()
{
    CADDisplayWnd::Reset();
    if (g_hook.hook && g_hook.pane == this)
        RemoveHook();
    if (Handle()) {
        for (UINT_PTR id : {kHookTimer, kOverlayTimer, kVideoTimer})
            KillTimer(Handle(), id);
    }
    videoIndex_ = -1;
    if (adPlayer_) {
        adPlayer_->Close();
        adPlayer_->DestroyAll();
        delete adPlayer_;
        adPlayer_ = nullptr;
    }
    if (overlay_) {
        delete overlay_;   // destroys its window
        overlay_ = nullptr;
    }
}

bool CPaneADDisplayWnd::ValidVideoAd(int index) const
{
    return AdSet() && index >= 0 && index < static_cast<int>(AdSet()->videoAds.size());
}

bool CPaneADDisplayWnd::AdPlayerOpen() const
{
    return adPlayer_ && adPlayer_->Kind() != PLAYER_NONE;
}

int CPaneADDisplayWnd::Width(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect.right - rect.left;
}

HWND CPaneADDisplayWnd::FindVideoWindow(HWND window, int kind)
{
    switch (kind) {
    case PLAYER_NONE: return nullptr;
    case PLAYER_REAL: return FindRealVideoWindow(window);
    case PLAYER_FLV: return PlayerHookRegistry::FindVideoWindow(window, kFlashVideoClasses);
    case PLAYER_WMP: return PlayerHookRegistry::FindVideoWindow(window, kWmpVideoClasses);
    case PLAYER_DSHOW: return PlayerHookRegistry::FindVideoWindow(window, kDShowVideoClasses);
    default: return window;
    }
}

// The selector leaves a DirectShow window where it is: an ad follows the
// picture whatever plays it.
void CPaneADDisplayWnd::ReparentAdPlayer(HWND parent)
{
    adPlayer_->SetParentWindow(parent);
    HWND window = nullptr;
    if (SUCCEEDED(adPlayer_->GetPlayerWindow(&window)) && IsWindow(window) &&
        GetAncestor(window, GA_PARENT) != (parent ? parent : GetDesktopWindow()))
        SetParent(window, parent);
}

void CPaneADDisplayWnd::AttachToPlayer(HWND host, HWND video, BOOL fullScreen, BOOL search,
                                       PlayerKind kind)
{
    if (!Handle())
        return;
    busy_ = 1;
    if (g_hook.hook && g_hook.pane == this)
        RemoveHook();
    host_ = host;
    video_ = video;
    fullScreen_ = fullScreen;
    kind_ = kind;
    if (host) {
        if (search)
            video_ = FindVideoWindow(host, kind);
        else if (kind == PLAYER_REAL)
            video_ = FindVideoWindow(video, kind);
        GetWindowRect(video_, &videoRect_);
        if (overlay_)
            overlay_->AttachTo(video_, fullScreen);
        if (AdPlayerOpen()) {
            RECT target = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
            if (!fullScreen) {
                SetWindowLongW(video_, GWL_STYLE,
                               GetWindowLongW(video_, GWL_STYLE) | WS_CLIPCHILDREN);
                GetWindowRect(video_, &target);
                MapWindowPoints(nullptr, video_, reinterpret_cast<POINT*>(&target), 2);
            }
            if (ValidVideoAd(videoIndex_))
                AdSet()->videoAds[videoIndex_].PlaceIn(target);
            else
                SetRectEmpty(&target);
            adParent_ = fullScreen ? nullptr : video_;
            ReparentAdPlayer(adParent_);
            HWND window = nullptr;
            if (SUCCEEDED(adPlayer_->GetPlayerWindow(&window)))
                SetWindowPos(window, fullScreen ? HWND_TOPMOST : HWND_BOTTOM, 0, 0, 0, 0,
                             SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
            adRect_ = target;
            adPlayer_->SetRect(target, TRUE);
            if (paused_) {
                adPlayer_->Play();
                adPlayer_->ShowPlayer();
                paused_ = 0;
            }
        }
        if (fullScreen) {
            InstallHook(video_);
            g_hook.fullScreenHost = host;
            KillTimer(Handle(), kWidthTimer);
        } else {
            SetTimer(Handle(), kWidthTimer, kFollowMs, nullptr);
        }
    } else {
        KillTimer(Handle(), kWidthTimer);
        if (overlay_)
            overlay_->AttachTo(nullptr, FALSE);
        if (AdPlayerOpen()) {
            adPlayer_->Pause();
            adPlayer_->HidePlayer();
            paused_ = 1;
        }
        if (adPlayer_)
            ReparentAdPlayer(nullptr);
    }
    busy_ = 0;
}

void CPaneADDisplayWnd::InstallHook(HWND video)
{
    if (g_hook.hook)
        g_hook.pane->RemoveHook();
    if (!video || !IsWindow(video))
        return;
    g_hook.video = video;
    g_hook.pane = this;
    g_hook.hook = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetWindowThreadProcessId(video, nullptr));
    if (g_hook.hook)
        SetTimer(Handle(), kHookTimer, kFollowMs, nullptr);
}

void CPaneADDisplayWnd::RemoveHook()
{
    if (g_hook.hook)
        UnhookWindowsHookEx(g_hook.hook);
    g_hook = HookRecord();
}

LRESULT CALLBACK CPaneADDisplayWnd::CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if ((code == HCBT_MOVESIZE || code == HCBT_DESTROYWND) &&
        reinterpret_cast<HWND>(wParam) == g_hook.video)
        g_hook.video = nullptr;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CPaneADDisplayWnd::OnHookTimer()
{
    if (!g_hook.hook || g_hook.pane != this) {
        KillTimer(Handle(), kHookTimer);
        AttachToPlayer(host_, host_, FALSE, TRUE, kind_);
        return;
    }
    HWND video = g_hook.video;
    if (video && IsWindow(video)) {
        if (Width(video) != videoRect_.right - videoRect_.left)
            AttachToPlayer(host_, host_, FALSE, TRUE, kind_);
        return;
    }
    HWND host = g_hook.fullScreenHost;
    AttachToPlayer(host, host, FALSE, TRUE, kind_);
    KillTimer(Handle(), kHookTimer);
}

void CPaneADDisplayWnd::OnWidthTimer()
{
    if (busy_ || !(overlay_ || adPlayer_) || !video_ || !IsWindow(video_))
        return;
    if (Width(video_) != videoRect_.right - videoRect_.left)
        AttachToPlayer(host_, video_, FALSE, FALSE, kind_);
}

void CPaneADDisplayWnd::OnOverlayTimer()
{
    CADSet* set = AdSet();
    if (!set || !overlay_)
        return;
    const bool pausing = overlay_->IsPausingBetweenItems();
    if (overlay_->WaitingUntil() && !pausing)
        set->overlayFinished = overlay_->WaitingUntil();
    if (set->IsOverlayTime() && host_ && !pausing) {
        if (!overlay_->Handle()) {
            RECT none = {0, 0, 0, 0};
            overlay_->Create(Handle(), none, L"", WS_CHILD | WS_CLIPSIBLINGS, 0,
                             CVideoADDisplayWnd::kChildId);
            overlay_->SetAdSet(set);
            overlay_->SetFonts(RGB(0, 0, 0));
        }
        if (!IsWindowVisible(overlay_->Handle()))
            AttachToPlayer(host_, video_, fullScreen_, FALSE, kind_);
        if (overlay_->WaitingUntil())
            overlay_->Restart();
    } else if (overlay_->Handle() && IsWindowVisible(overlay_->Handle())) {
        overlay_->Detach();
    }
}

void CPaneADDisplayWnd::OnVideoTimer()
{
    CADSet* set = AdSet();
    if (!set || !adPlayer_)
        return;
    const int now = ADClock::Now();
    if (set->videoAds.empty() || now - set->videoFinished < set->videoInterval) {
        if (AdPlayerOpen())
            CloseAdPlayer(true);
        videoIndex_ = -1;
        paused_ = 0;
        return;
    }
    if (ValidVideoAd(videoIndex_)) {
        const _tagVideoAD& ad = set->videoAds[videoIndex_];
        if (AdPlayerOpen()) {
            if (now - videoStarted_ >= ad.duration)
                CloseAdPlayer(true);
            return;
        }
        if (now - videoStarted_ < ad.delay + ad.duration)
            return;
        ++videoIndex_;
    } else {
        videoIndex_ = 0;
    }
    if (ValidVideoAd(videoIndex_)) {
        StartVideoAd();
        return;
    }
    CloseAdPlayer(true);
    set->videoFinished = now;
    videoIndex_ = -1;
    paused_ = 0;
}

void CPaneADDisplayWnd::StartVideoAd()
{
    if (AdPlayerOpen())
        CloseAdPlayer(false);
    paused_ = 0;
    if (!host_) {
        --videoIndex_;   // tried again next second
        return;
    }
    const _tagVideoAD& ad = AdSet()->videoAds[videoIndex_];
    ReparentAdPlayer(host_);
    RECT rect;
    GetClientRect(host_, &rect);
    ad.PlaceIn(rect);
    adParent_ = host_;
    adRect_ = rect;
    adPlayer_->SetRect(rect, TRUE);
    if (SUCCEEDED(adPlayer_->Open(ad.link.c_str())) && SUCCEEDED(adPlayer_->Play()))
        adPlayer_->SetFlashLoop(1);
    videoStarted_ = ADClock::Now();
    AttachToPlayer(host_, video_, fullScreen_, FALSE, kind_);
}

void CPaneADDisplayWnd::CloseAdPlayer(bool detach)
{
    adPlayer_->Close();
    RepaintAfterClose();
    if (detach)
        ReparentAdPlayer(nullptr);
}

// What the ad covered is drawn again by the window it lay in then; a
// full-screen picture repaints itself.
void CPaneADDisplayWnd::RepaintAfterClose()
{
    HWND window = nullptr;
    if (SUCCEEDED(adPlayer_->GetPlayerWindow(&window)) && window)
        return;
    if (host_ && fullScreen_ && FullScreenWindowExists(host_))
        return;
    if (adParent_ && IsWindow(adParent_))
        InvalidateRect(adParent_, &adRect_, FALSE);
}

void CPaneADDisplayWnd::ForwardMouse(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!AdSet())
        return;
    POINT cursor;
    GetCursorPos(&cursor);
    HWND window = nullptr;
    if (AdPlayerOpen() && SUCCEEDED(adPlayer_->GetPlayerWindow(&window)) && window) {
        HWND child = GetWindow(window, GW_CHILD);
        RECT rect;
        if (child && GetWindowRect(child, &rect) && PtInRect(&rect, cursor)) {
            SendMessageW(child, WM_SETCURSOR,
                         reinterpret_cast<WPARAM>(LoadCursorW(nullptr, IDC_HAND)),
                         MAKELPARAM(HTCLIENT, message));
            POINT inChild = cursor;
            ScreenToClient(child, &inChild);
            SendMessageW(child, message, wParam, MAKELPARAM(inChild.x, inChild.y));
        }
    }
    RECT overlayRect;
    if (overlay_ && overlay_->Handle() && AdSet()->IsOverlayTime() &&
        GetWindowRect(overlay_->Handle(), &overlayRect) && PtInRect(&overlayRect, cursor))
        SendMessageW(overlay_->Handle(), message, wParam, lParam);
}

bool CPaneADDisplayWnd::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                             LRESULT& result)
{
    if (message == WM_TIMER) {
        switch (wParam) {
        case kHookTimer: OnHookTimer(); result = 0; return true;
        case kWidthTimer: OnWidthTimer(); result = 0; return true;
        case kOverlayTimer: OnOverlayTimer(); result = 0; return true;
        case kVideoTimer: OnVideoTimer(); result = 0; return true;
        }
    }
    return HandleAdMessage(message, wParam, lParam, result);
}
