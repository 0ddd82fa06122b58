// The control window's messages: the page's commands, the player hosts'
// reports, the engines' notices, the timers and the play-state machine.
// The engines need Winsock 2 before windows.h.
#include <winsock2.h>

#include "control/CCStreamView.h"

#include <cstdio>

#include "control/ControlIds.h"
#include "control/ControlRules.h"
#include "control/ControlStrings.h"
#include "live/LiveCore.h"
#include "live/LiveEngineMessages.h"
#include "players/PlayerKind.h"
#include "vod/VodCore.h"
#include "vod/VodEngineMessages.h"

namespace {

bool FullBarVisible(CFullControl& bar)
{
    return bar.Handle() && IsWindowVisible(bar.Handle());
}

void PositionBarLook(UI::SVolumeCtrl& bar, bool active)
{
    if (!bar.Handle())
        return;
    bar.state = active ? UI::SVolumeCtrl::kNormal : UI::SVolumeCtrl::kDisabled;
    EnableWindow(bar.Handle(), active);
    InvalidateRect(bar.Handle(), nullptr, TRUE);
}

void ShowLevel(CTimeDisplayWnd& display, int level)
{
    display.level = level;
    if (display.Handle())
        InvalidateRect(display.Handle(), &display.IconRect(), FALSE);
}

}  // namespace

bool CCStreamView::ProcessControlMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ID_ABOUT:
            ShowAbout();
            return true;
        case ID_SETTINGS:
            return false;
        }
        if (HIWORD(wParam) != 0)
            return false;
        switch (LOWORD(wParam)) {
        case IDC_PLAY:
            OnPlayPause();
            return true;
        case IDC_STOP:
            OnStop(lParam);
            return true;
        case IDC_MUTE:
            OnMuteToggle();
            return true;
        case IDC_FULLSCREEN:
            OnFullScreenToggle();
            return true;
        case IDC_CHAT:
            OnChatToggle();
            return true;
        }
        return false;
    case WM_TIMER:
        if (wParam < TIMER_POSITION || wParam > TIMER_SESSION)
            return false;
        OnTimer(wParam);
        return true;
    case WM_CONTROL_CLOSE:
        OnClose();
        return true;
    case WM_CONTROL_OPEN:
        OnOpen();
        return true;
    case WM_CONTROL_REPLAY:
        OnReplay(wParam);
        return true;
    case WM_VOD_CONNECTED:
    case WM_LIVE_CONNECTED:
        result = OnEngineConnected(wParam);
        return true;
    case WM_VOD_STATUS:
        status_.SetStateText(static_cast<UINT>(lParam));
        return true;
    case WM_LIVE_STATUS:
        // Stage 9 carries the text itself, valid only during the call.
        if (wParam == 9)
            status_.SetStateText(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        else
            status_.SetStateText(static_cast<UINT>(lParam));
        return true;
    case WM_LIVE_STREAM_READY: {
        // The title is valid during the call only: copied. The stop ends the
        // old programme and clears its title; the new title belongs to the
        // play posted after it, so it is put back once the stop is done.
        const std::wstring title = wParam ? reinterpret_cast<const wchar_t*>(wParam) : L"";
        programmeTitle_ = title;
        if (!stoppedByUser_) {
            SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED), 0);
            programmeTitle_ = title;
            PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, BN_CLICKED), 0);
        }
        return true;
    }
    case WM_VOD_RELAY_TEXT:
    case WM_LIVE_RELAY_TEXT:
        result = OnRelayText(wParam, lParam);
        return true;
    case WM_HTTPHELPER_DONE:
        return OnHttpMessage(wParam, result);
    }
    if (message >= WM_PLAYER_OPENSTATE - 1 && message <= WM_PLAYER_MOUSEUP) {
        result = OnPlayerEvent(message, wParam, lParam);
        return true;
    }
    return false;
}

void CCStreamView::SetPlayState(ULONG state)
{
    // The page hears of the change first: a handler that reads PlayState
    // sees the state being left. A handler may itself change the state
    // (Close, Stop): the state being announced is not announced again, and
    // a newer one set meanwhile is not overwritten.
    if (state != playState_ && state != announcing_) {
        const ULONG outer = announcing_;
        const unsigned change = ++playStateChanges_;
        announcing_ = state;
        VARIANT argument;
        argument.vt = VT_I4;
        argument.lVal = static_cast<LONG>(state);
        DISPPARAMS params = {&argument, nullptr, 1, 0};
        events_.Fire(1, params);
        announcing_ = outer;
        if (change != playStateChanges_)
            return;
    }
    playState_ = state;
    if (WindowExists())
        ApplyPlayState(state);
}

void CCStreamView::ApplyPlayState(ULONG state)
{
    HWND window = Window();
    if (sessionEnabled_) {
        if (state == 1)
            SetTimer(window, TIMER_SESSION, 1000, nullptr);
        else
            KillTimer(window, TIMER_SESSION);
    }
    switch (state) {
    case 0:
        KillTimer(window, TIMER_POSITION);
        PositionBarLook(positionBar_, false);
        if (coreKind_ == CORE_LIVE)
            EnableButtons({IDC_PLAY}, true);
        else if (coreKind_ == CORE_VOD)
            SetButtonToolTip(playButton_, IDS_TIP_PLAY);
        break;
    case 1:
        SetTimer(window, TIMER_POSITION, 1000, nullptr);
        SetTimer(window, TIMER_STATISTICS, 2000, nullptr);
        SetTimer(window, TIMER_FULLSCREEN_BAR, 100, nullptr);
        if (coreKind_ == CORE_VOD) {
            PositionBarLook(positionBar_, true);
            SetButtonToolTip(playButton_, IDS_TIP_PAUSE);
        } else if (coreKind_ == CORE_LIVE) {
            EnableButtons({IDC_PLAY}, false);
        }
        SyncFullBarButtons();
        break;
    case 2:
        if (coreKind_ == CORE_VOD) {
            PositionBarLook(positionBar_, true);
            SetButtonToolTip(playButton_, IDS_TIP_PLAY);
            SyncFullBarButtons();
        }
        break;
    case 3:
    case 4:
        SetButtonToolTip(playButton_, IDS_TIP_PLAY);
        PositionBarLook(positionBar_, false);
        EnableButtons({IDC_PLAY}, true);
        ShowLevel(timeDisplay_, 0);
        UpdateStatistics(0, 0, 0, 0, 0);
        timeDisplay_.SetPosition(0);
        timeDisplay_.SetDuration(0);
        positionBar_.SetPos(0);
        positionBar_.SetPos2(0);
        if (FullBarVisible(fullControl_))
            fullControl_.Hide();
        break;
    }
}

void CCStreamView::SyncFullBarButtons()
{
    if (!FullBarVisible(fullControl_))
        return;
    fullControl_.SetPlayState(GetButtonState(IDC_PLAY));
    fullControl_.SetStopState(GetButtonState(IDC_STOP));
}

// The engine of the current kind hears what the player does.
void CCStreamView::NotifyEngine(UINT vodMessage)
{
    if (coreKind_ == CORE_VOD && vod_) {
        switch (vodMessage) {
        case WM_VOD_PLAYER_BUFFERING: vod_->NotifyBuffering(); break;
        case WM_VOD_PLAYER_PLAYING: vod_->NotifyPlaying(); break;
        case WM_VOD_PLAYER_PAUSED: vod_->NotifyPaused(); break;
        case WM_VOD_PLAYER_STOPPED: vod_->NotifyStopped(); break;
        }
    } else if (coreKind_ == CORE_LIVE && live_) {
        switch (vodMessage) {
        case WM_VOD_PLAYER_BUFFERING: live_->NotifyBuffering(); break;
        case WM_VOD_PLAYER_PLAYING: live_->NotifyPlaying(); break;
        case WM_VOD_PLAYER_PAUSED: live_->NotifyPaused(); break;
        case WM_VOD_PLAYER_STOPPED: live_->NotifyStopped(); break;
        }
    }
}

LRESULT CCStreamView::OnPlayerEvent(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PLAYER_PLAYSTATE:
        OnPlayerPlayState(wParam);
        break;
    case WM_PLAYER_PROGRESS: {
        wchar_t text[64];
        swprintf(text, 64, LoadControlString(IDS_BUFFERING_PERCENT).c_str(),
                 static_cast<int>(lParam));
        status_.SetStateText(text);
        break;
    }
    case WM_PLAYER_ERROR:
        if (mainPlayer_.Kind() == PLAYER_WMP) {
            BSTR source = nullptr;
            mainPlayer_.GetSourceUrl(&source);
            const std::wstring url = source ? source : L"";
            SysFreeString(source);
            auto* copy = static_cast<wchar_t*>(malloc((url.size() + 1) * sizeof(wchar_t)));
            if (copy)
                wcscpy(copy, url.c_str());
            SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED), 0);
            if (!copy || !PostMessageW(Window(), WM_CONTROL_REPLAY, reinterpret_cast<WPARAM>(copy), 0))
                free(copy);
        }
        break;
    case WM_PLAYER_KEY:
        if (wParam == VK_ESCAPE) {
            int fullScreen = 0;
            if (SUCCEEDED(mainPlayer_.GetFullScreen(&fullScreen)) && fullScreen) {
                mainPlayer_.SetFullScreen(0);
                ShowCursorAgain();
            }
        }
        break;
    case WM_PLAYER_DBLCLICK:
        if (mainPlayer_.Kind() == PLAYER_WMP)
            SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_FULLSCREEN, BN_CLICKED), 0);
        else
            AttachAdPane(true);
        break;
    case WM_PLAYER_MOUSEMOVE:
        if (lParam == -1) {
            ForwardPlayerMouse(WM_MOUSEMOVE, wParam);
            SetTimer(Window(), TIMER_HIDE_CURSOR, 3000, nullptr);
        }
        break;
    case WM_PLAYER_MOUSEDOWN:
        if (wParam & MK_RBUTTON)
            SendMessageW(Window(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(Window()),
                         MAKELPARAM(HTCLIENT, WM_RBUTTONDOWN));
        if (lParam == -1) {
            SetTimer(Window(), TIMER_HIDE_CURSOR, 3000, nullptr);
            if (wParam & MK_LBUTTON)
                ForwardPlayerMouse(WM_LBUTTONDOWN, wParam);
        }
        break;
    case WM_PLAYER_MOUSEUP:
        if (lParam == -1) {
            SetTimer(Window(), TIMER_HIDE_CURSOR, 3000, nullptr);
            if (wParam & MK_LBUTTON)
                ForwardPlayerMouse(WM_LBUTTONUP, wParam);
        }
        break;
    }
    return 1;
}

void CCStreamView::OnPlayerPlayState(WPARAM state)
{
    switch (state) {
    case PLAYSTATE_STOPPED:
        if (playState_ != 0 && playState_ != 3 && playState_ != 4) {
            NotifyEngine(WM_VOD_PLAYER_STOPPED);
            if (stoppedByUser_) {
                SetPlayState(3);
            } else {
                SetPlayState(4);
                SetPlayState(0);
            }
        }
        playButton_.latched = 0;
        playButton_.Refresh();
        DetachAdPane();
        status_.ClearAll();
        status_.SetStateText(IDS_STOPPED);
        if (mainPlayer_.Kind() == PLAYER_WMP)
            KillTimer(Window(), TIMER_WMP_BUFFERING);
        SyncFullBarButtons();
        mainPlayer_.Stop();
        mainPlayer_.Close();
        ShowCursorAgain();
        if (!sessionAccepted_)
            status_.SetStateText(sessionReason_.c_str());
        break;
    case PLAYSTATE_PAUSED:
        SetPlayState(2);
        playButton_.latched = 0;
        playButton_.Refresh();
        NotifyEngine(WM_VOD_PLAYER_PAUSED);
        if (coreKind_ == CORE_VOD)
            ShowPausedAd();
        status_.SetStateText(IDS_PAUSED);
        SyncFullBarButtons();
        break;
    case PLAYSTATE_PLAYING:
        if (adPlayer_.Kind() != PLAYER_NONE &&
            !(mainPlayer_.Kind() == PLAYER_WMP && adPending_ && coreKind_ == CORE_LIVE)) {
            adPlayer_.Stop();
            adPlayer_.Close();
            mainPlayer_.ShowPlayer();
        }
        AttachAdPane(true);
        SetPlayState(1);
        playButton_.latched = 1;
        playButton_.Refresh();
        NotifyEngine(WM_VOD_PLAYER_PLAYING);
        status_.SetStateText(IDS_PLAYING);
        mainPlayer_.SetVolume(volumeSlider_.GetPos() / 10);
        mainPlayer_.SetMute(muteButton_.latched);
        if (mainPlayer_.Kind() == PLAYER_WMP)
            KillTimer(Window(), TIMER_WMP_BUFFERING);
        if (mainPlayer_.Kind() == PLAYER_REAL)
            mainPlayer_.SetOrgSize(orgSize_ ? 1 : 0);
        SyncFullBarButtons();
        break;
    case PLAYSTATE_SEEKING:
        status_.SetStateText(IDS_SEEKING);
        break;
    case PLAYSTATE_BUFFERING:
        adPending_ = false;
        NotifyEngine(WM_VOD_PLAYER_BUFFERING);
        status_.SetStateText(IDS_BUFFERING);
        if (mainPlayer_.Kind() == PLAYER_WMP)
            SetTimer(Window(), TIMER_WMP_BUFFERING, 1000, nullptr);
        break;
    }
}

LRESULT CCStreamView::OnEngineConnected(WPARAM wParam)
{
    if (wParam != 1)
        return 0;
    EnableButtons({IDC_PLAY, IDC_FULLSCREEN, IDC_VIDEOSIZE, IDC_STOP}, true);
    if (coreKind_ == CORE_LIVE && enablePlaylist_)
        EnableButtons({IDC_PLAYLIST}, true);
    if (enableChat_) {
        EnableButtons({IDC_CHAT}, true);
        if (autoChatPop_)
            PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_CHAT, BN_CLICKED), 0);
    }
    SetTimer(Window(), TIMER_STATISTICS, 2000, nullptr);
    if (coreKind_ == CORE_VOD) {
        if (bufferTime_ != 0)
            prebufferSeconds_ = bufferTime_;
        SetTimer(Window(), TIMER_PREBUFFER, 1000, nullptr);
    }
    return 0;
}

void CCStreamView::OnTimer(UINT_PTR id)
{
    HWND window = Window();
    switch (id) {
    case TIMER_POSITION:
        if (playState_ == 1 || playState_ == 2)
            OnPositionTimer();
        break;
    case TIMER_WMP_BUFFERING:
        if (mainPlayer_.Kind() != PLAYER_WMP) {
            KillTimer(window, TIMER_WMP_BUFFERING);
        } else if (playState_ == 1) {
            int percent = 0;
            if (SUCCEEDED(mainPlayer_.GetBufferingPercent(&percent)) && percent != 100)
                SendMessageW(window, WM_PLAYER_PROGRESS, 0, percent);
        }
        break;
    case TIMER_STATISTICS:
        OnStatisticsTimer();
        break;
    case TIMER_HIDE_CURSOR: {
        KillTimer(window, TIMER_HIDE_CURSOR);
        int fullScreen = 0;
        if ((mainPlayer_.Kind() == PLAYER_WMP || mainPlayer_.Kind() == PLAYER_DSHOW) &&
            SUCCEEDED(mainPlayer_.GetFullScreen(&fullScreen)) && fullScreen) {
            ShowCursor(FALSE);
            ++cursorHides_;
        }
        break;
    }
    case TIMER_FULLSCREEN_BAR: {
        int moved = 0;
        const int toggled = mainPlayer_.PollActivity(&moved);
        if (mainPlayer_.Kind() == PLAYER_NONE)
            break;
        int fullScreen = 0;
        mainPlayer_.GetFullScreen(&fullScreen);
        if (toggled) {
            AttachAdPane(true);
            if (!fullScreen)
                ShowCursorAgain();
        }
        // While the cursor moves the bar stays up: each move restarts its
        // auto-hide.
        if (fullScreen && moved) {
            if (!FullBarVisible(fullControl_))
                SyncFullControl(true);
            else
                fullControl_.HoverUpdate();
        } else if (!fullScreen && FullBarVisible(fullControl_)) {
            fullControl_.Hide();
        }
        break;
    }
    case TIMER_PREBUFFER:
        OnPrebufferTimer();
        break;
    case TIMER_SESSION:
        if (++sessionSeconds_ >= sessionInterval_)
            SendSessionKeepAlive();
        break;
    }
}

void CCStreamView::OnPositionTimer()
{
    double position = 0, duration = 0;
    mainPlayer_.GetPosition(&position);
    mainPlayer_.GetDuration(&duration);
    if (coreKind_ == CORE_VOD) {
        timeDisplay_.SetDuration(static_cast<int>(duration));
        if (FullBarVisible(fullControl_))
            fullControl_.SetDuration(static_cast<std::uint64_t>(duration));
        timeDisplay_.SetPosition(static_cast<int>(position));
        positionBar_.duration = static_cast<std::uint64_t>(duration);
        const int pos = duration > 0 ? static_cast<int>(position * 1000 / duration) : 0;
        const int mark = vod_ ? control_rules::DownloadedMark(vod_->GetDownloadedFraction()) : 0;
        const bool moved = positionBar_.SetPos(pos) | positionBar_.SetPos2(mark);
        if (moved && FullBarVisible(fullControl_))
            fullControl_.SetProgress(pos, mark);
    } else if (coreKind_ == CORE_LIVE) {
        timeDisplay_.SetPosition(static_cast<int>(position));
        timeDisplay_.SetDuration(static_cast<int>(duration > 0 ? duration : position));
    }
}

void CCStreamView::OnStatisticsTimer()
{
    int count = 0, upRate = 0, downRate = 0;
    std::int64_t upTotal = 0, downTotal = 0;
    int level = 0;
    if (coreKind_ == CORE_VOD && vod_) {
        count = vod_->GetSessionCount();
        vod_->GetUploadRate(upRate);
        vod_->GetDownloadRate(downRate);
        vod_->GetUploadTotal(upTotal);
        vod_->GetDownloadTotal(downTotal);
        level = control_rules::VodNetworkLevel(downRate, vod_->GetBitRate(), vod_->GetSize());
    } else if (coreKind_ == CORE_LIVE && live_) {
        count = live_->GetSessionCount();
        std::int32_t up = 0, down = 0;
        live_->GetUploadRate(up);
        live_->GetDownloadRate(down);
        upRate = up;
        downRate = down;
        live_->GetUploadTotal(upTotal);
        live_->GetDownloadTotal(downTotal);
        level = control_rules::LiveNetworkLevel(downRate);
    } else {
        return;
    }
    UpdateStatistics(count, upRate, downRate, upTotal, downTotal);
    ShowLevel(timeDisplay_, level);
}

void CCStreamView::OnPrebufferTimer()
{
    ++prebufferTicks_;
    if (prebufferTicks_ == 1) {
        status_.SetStateText(IDS_BUFFERING);
        return;
    }
    if (!vod_)
        return;
    const bool adSet = bufferAD_ && SysStringLen(bufferAD_) > 0;
    const std::uint64_t percent = control_rules::PrebufferPercent(
        vod_->GetBitRate(), prebufferSeconds_, vod_->GetContiguousBlocks(), prebufferTicks_, adSet);
    if (percent < 100) {
        SendMessageW(Window(), WM_PLAYER_PROGRESS, 0, static_cast<LPARAM>(percent));
    } else {
        prebufferTicks_ = 0;
        KillTimer(Window(), TIMER_PREBUFFER);
        PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, BN_CLICKED), 0);
    }
    positionBar_.SetPos2(control_rules::DownloadedMark(vod_->GetDownloadedFraction()));
}

void CCStreamView::UpdateStatistics(int count, int upRate, int downRate, std::int64_t upTotal,
                                    std::int64_t downTotal)
{
    using control_rules::FormatBytes;
    const std::wstring sources = LoadControlString(IDS_STAT_SOURCES),
                       up = LoadControlString(IDS_STAT_UPLOAD),
                       down = LoadControlString(IDS_STAT_DOWNLOAD);
    const std::wstring rates = sources + std::to_wstring(count) + L" " + up +
                               FormatBytes(static_cast<std::uint64_t>(upRate)) + L"Bps " + down +
                               FormatBytes(static_cast<std::uint64_t>(downRate)) + L"Bps";
    const std::wstring line = rates + L" " + LoadControlString(IDS_STAT_UPLOAD_TOTAL) +
                              FormatBytes(static_cast<std::uint64_t>(upTotal)) + L"B " +
                              LoadControlString(IDS_STAT_DOWNLOAD_TOTAL) +
                              FormatBytes(static_cast<std::uint64_t>(downTotal)) + L"B";
    timeDisplay_.SetToolTipText(line.c_str());
    if (enableNetDataDisplay_ == -1)
        status_.SetText(0, rates.c_str());
    else if (statusBarDisplay_ && SysStringLen(statusBarDisplay_) > 0)
        status_.SetText(0, statusBarDisplay_);
}

// The stop advertisement (stopped) or the buffer one in the advertisement player.
void CCStreamView::ShowFlashAd(bool stopped)
{
    adPlayer_.Stop();
    adPlayer_.Close();
    BSTR ad = stopped ? stopAD_ : bufferAD_;
    if (!ad || SysStringLen(ad) == 0)
        return;
    if (SUCCEEDED(adPlayer_.Open(ad)))
        adPlayer_.Play();
}

void CCStreamView::ShowPausedAd()
{
    int fullScreen = 0;
    if (!pasuedAD_ || SysStringLen(pasuedAD_) == 0 || adPlayer_.Kind() != PLAYER_NONE ||
        FAILED(mainPlayer_.GetFullScreen(&fullScreen)) || fullScreen)
        return;
    adPlayer_.Stop();
    adPlayer_.Close();
    mainPlayer_.HidePlayer();
    if (SUCCEEDED(adPlayer_.Open(pasuedAD_)))
        adPlayer_.Play();
}

// Undoes every hide of the full-screen timer, and the full-screen bar's own
// (a bar that hid itself took the cursor with it, and nothing hides it
// again): the count is the system's, so it must be balanced.
void CCStreamView::ShowCursorAgain()
{
    for (; cursorHides_ > 0; --cursorHides_)
        ShowCursor(TRUE);
    if (!FullBarVisible(fullControl_))
        fullControl_.Hide();
}

void CCStreamView::OnMuteToggle()
{
    const int muted = muteButton_.latched ? 0 : 1;
    mainPlayer_.SetMute(muted);
    muteButton_.latched = muted;
    muteButton_.Refresh();
    mute_ = muted;
    if (FullBarVisible(fullControl_))
        fullControl_.SetMuteState(GetButtonState(IDC_MUTE));
}

void CCStreamView::OnFullScreenToggle()
{
    int fullScreen = 0;
    if (FAILED(mainPlayer_.GetFullScreen(&fullScreen)))
        return;
    mainPlayer_.SetFullScreen(fullScreen ? 0 : 1);
    if (SUCCEEDED(mainPlayer_.GetFullScreen(&fullScreen)) && fullScreen)
        SyncFullControl(true);
    else
        ShowCursorAgain();
    AttachAdPane(true);
}
