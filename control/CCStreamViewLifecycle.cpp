// The control at work: opening content, starting one engine, playing,
// stopping and closing.
// The engines need Winsock 2 before windows.h.
#include <winsock2.h>

#include "control/CCStreamView.h"

#include <exdisp.h>
#include <mshtml.h>
#include <shlguid.h>
#include <shellapi.h>

#include "control/ControlIds.h"
#include "control/ControlRules.h"
#include "control/ControlStrings.h"
#include "control/SelfReference.h"
#include "live/LiveCore.h"
#include "platform/window/WindowBase.h"
#include "players/PlayerKind.h"
#include "vod/VodCore.h"
#include "vod/VodEngineMessages.h"

namespace {

const char kDefaultStunHost[] = "stun.invalid";
const wchar_t kDefaultTrackerUrl[] = L"http://content.invalid/cgi-bin/vod.fcgi";

std::wstring Text(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// In the system code page, as the engines keep host names and hashes.
std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0],
                        length, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::wstring LoadControlString(UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(CWindowBase::ModuleInstance(), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

void CCStreamView::EnableButtons(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids)
        if (UI::SDrawBtn* button = ButtonOf(id))
            if (button->Handle())
                EnableWindow(button->Handle(), enable);
}

// The main player gets the FLV movie for a live channel and for FLV videos.
bool CCStreamView::FlvMovie() const
{
    if (coreKind_ == CORE_LIVE)
        return true;
    std::wstring mime;
    return coreKind_ == CORE_VOD && control_rules::GetQueryValue(Text(action_), L"mime", mime) &&
           _wcsicmp(mime.c_str(), L"flv") == 0;
}

// The last step of the window's set-up: open at once, or wait for the play
// button with the stop advertisement showing.
void CCStreamView::AutoPlay()
{
    if (autoPlay_ == 0) {
        EnableButtons({IDC_PLAY}, true);
        ShowFlashAd(true);
    } else if (!OnOpen()) {
        ShowFlashAd(true);
    }
}

LRESULT CCStreamView::OnOpen()
{
    if (opened_)
        OnClose();
    opened_ = StartCore();
    if (!opened_)
        return 0;
    LayoutVideo(FlvMovie());
    EnableButtons({IDC_PLAY}, false);
    RequestAd();
    adPending_ = true;
    ShowFlashAd(false);
    return 1;
}

bool CCStreamView::StartCore()
{
    std::string natHost;
    std::uint16_t natPort = 0;
    control_rules::ParseNat(Narrow(Text(nat_)), natHost, natPort);
    std::string stunHost = Narrow(Text(stun_));
    if (stunHost.empty())
        stunHost = kDefaultStunHost;
    std::wstring trackerUrl = Text(cgi_);
    if (trackerUrl.empty())
        trackerUrl = kDefaultTrackerUrl;
    int lowPort = 0, highPort = 0;
    control_rules::ParsePortRange(Text(portRange_), lowPort, highPort);

    control_rules::Action action;
    const bool parsed = control_rules::ParseAction(Text(action_), action);
    coreKind_ = static_cast<CoreKind>(action.kind);
    if (!parsed)
        return false;
    engineCid_ = action.cid;
    engineHash_ = action.hash;
    if (coreKind_ == CORE_VOD)
        return StartVodCore(natHost, natPort, stunHost, lowPort, highPort, trackerUrl);
    return StartLiveCore(natHost, natPort, stunHost, lowPort, highPort, trackerUrl);
}

bool CCStreamView::StartVodCore(const std::string& natHost, WORD natPort,
                                const std::string& stunHost, int lowPort, int highPort,
                                const std::wstring& trackerUrl)
{
    control_rules::Action action;
    control_rules::ParseAction(Text(action_), action);
    vod_ = new CVodCore();
    vod_->SetOwnerWindow(Window());
    vod_->SetNatServer(natHost, natPort);
    vod_->SetStunHost(stunHost);
    vod_->SetPortRange(static_cast<std::uint16_t>(lowPort), static_cast<std::uint16_t>(highPort));
    vod_->SetTrackerUrl(trackerUrl);
    vod_->SetContentId(action.cid);
    vod_->SetHash(Narrow(action.hash));
    vod_->SetMediaType(action.mime);
    vod_->SetSize(action.size);
    vod_->SetBitRate(action.bitRate);
    put_EnableCacheData(static_cast<VARIANT_BOOL>(enableCacheData_));
    vod_->SetUploadRate(defaultULS_);
    vod_->SetDownloadRate(defaultDLS_);
    if (trackPeerNums_ != 0)
        vod_->SetPeersAsked(trackPeerNums_);
    if (maxConnectPeers_ != 0)
        vod_->SetConnectionLimit(maxConnectPeers_);
    if (fullDataTime_ != 0)
        vod_->SetReadAheadSeconds(fullDataTime_);
    if (memorySize_ != 0)
        vod_->SetBlockMapMemory(static_cast<std::int32_t>(memorySize_));
    if (!vod_->Start(CWindowBase::ModuleInstance())) {
        vod_->Stop();
        delete vod_;
        vod_ = nullptr;
        return false;
    }
    IHTMLDocument2* document = nullptr;
    if (GetTopDocument(&document)) {
        BSTR url = nullptr;
        if (SUCCEEDED(document->get_URL(&url)) && url)
            vod_->SetReferrer(Narrow(control_rules::ReferrerOf(Text(url))));
        SysFreeString(url);
        document->Release();
    }
    return true;
}

bool CCStreamView::StartLiveCore(const std::string& natHost, WORD natPort,
                                 const std::string& stunHost, int lowPort, int highPort,
                                 const std::wstring& trackerUrl)
{
    control_rules::Action action;
    control_rules::ParseAction(Text(action_), action);
    live_ = new CLiveCore();
    live_->SetOwnerWindow(Window());
    live_->SetNatServer(natHost, natPort);
    live_->SetStunHost(stunHost);
    live_->SetPortRange(static_cast<std::uint16_t>(lowPort), static_cast<std::uint16_t>(highPort));
    live_->SetTrackerUrl(trackerUrl);
    live_->SetChannelId(static_cast<std::uint64_t>(action.cid));
    if (startDelay_ != 0)
        live_->SetStartLag(startDelay_);
    live_->SetBufferingSeconds(bufferTime_);
    live_->SetInitialSendRate(static_cast<std::int32_t>(defaultULS_));
    live_->SetAssumedPeerRate(static_cast<std::int32_t>(defaultDLS_));
    if (!live_->Start(CWindowBase::ModuleInstance())) {
        live_->Stop();
        delete live_;
        live_ = nullptr;
        return false;
    }
    return true;
}

// The page that holds us, through the top-level browser of our site.
bool CCStreamView::GetTopDocument(IHTMLDocument2** document)
{
    *document = nullptr;
    IOleClientSite* site = ClientSite();
    if (!site)
        return false;
    IServiceProvider* services = nullptr;
    if (FAILED(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services))))
        return false;
    IWebBrowser2* browser = nullptr;
    HRESULT found = services->QueryService(SID_STopLevelBrowser, IID_IWebBrowser2,
                                           reinterpret_cast<void**>(&browser));
    services->Release();
    if (FAILED(found) || !browser)
        return false;
    IDispatch* page = nullptr;
    if (SUCCEEDED(browser->get_Document(&page)) && page) {
        page->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(document));
        page->Release();
    }
    browser->Release();
    return *document != nullptr;
}

void CCStreamView::OnPlayPause()
{
    // A failed play shows its message box.
    SelfReference hold(static_cast<ICStreamView2*>(this));
    if (playState_ == 1) {
        if (SUCCEEDED(mainPlayer_.Pause())) {
            SetPlayState(2);
            playButton_.latched = 0;
            playButton_.Refresh();
            NotifyEngine(WM_VOD_PLAYER_PAUSED);
        }
    } else if (playState_ == 2) {
        if (sessionAccepted_ && SUCCEEDED(mainPlayer_.Play())) {
            SetPlayState(1);
            playButton_.latched = 1;
            playButton_.Refresh();
            NotifyEngine(WM_VOD_PLAYER_PLAYING);
        }
    } else if (!opened_) {
        if (sessionAccepted_) {
            OnOpen();
        } else {
            status_.ClearAll();
            status_.SetStateText(sessionReason_.c_str());
        }
    } else if (!sessionAccepted_) {
        status_.ClearAll();
        status_.SetStateText(sessionReason_.c_str());
    } else {
        std::wstring url;
        bool ignored = false;
        if (coreKind_ == CORE_VOD && vod_) {
            const bool adRunning = bufferAD_ && SysStringLen(bufferAD_) > 0 && prebufferSeconds_ > 0 &&
                                   prebufferTicks_ >= 1 && prebufferTicks_ <= prebufferSeconds_;
            if (adRunning)
                ignored = true;
            else
                url = vod_->GetPlayUrl();
        } else if (coreKind_ == CORE_LIVE && live_) {
            url = live_->GetPlayerUrl();
        }
        if (ignored)
            return;
        // The play's own reset clears the programme's title, which belongs
        // to this play: it is kept across it.
        const std::wstring title = programmeTitle_;
        if (!url.empty() && PlayUrl(url.c_str(), replaying_)) {
            programmeTitle_ = title;
            playButton_.latched = 1;
            playButton_.Refresh();
            NotifyEngine(WM_VOD_PLAYER_PLAYING);
            if (coreKind_ == CORE_LIVE && !programmeTitle_.empty())
                status_.SetText(1, (LoadControlString(IDS_NOW_PLAYING) + programmeTitle_).c_str());
            else
                status_.SetText(1, nullptr);
        }
        KillTimer(Window(), TIMER_PREBUFFER);
    }
    SyncFullBarButtons();
    stoppedByUser_ = false;
}

bool CCStreamView::PlayUrl(const wchar_t* url, bool replaying)
{
    if (!url) {
        if (FAILED(mainPlayer_.Play()))
            return false;
        SetPlayState(1);
        return true;
    }
    ResetPlayback();
    LayoutVideo(FlvMovie());
    const HRESULT opened = mainPlayer_.Open(url, replaying ? PLAYER_DSHOW : 0);
    if (SUCCEEDED(opened)) {
        if (mainPlayer_.Kind() != PLAYER_WMP && mainPlayer_.Kind() != PLAYER_REAL) {
            adPlayer_.Stop();
            adPlayer_.Close();
        }
        if (adPlayer_.Kind() != PLAYER_NONE)
            mainPlayer_.HidePlayer();
        else
            AttachAdPane(false);
        SetPlayState(2);
        mainPlayer_.SetVolume(volumeSlider_.GetPos() / 10);
        mainPlayer_.Play();
        mainPlayer_.SetMute(muteButton_.latched);
        SetPlayState(1);
        return true;
    }
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED),
                 reinterpret_cast<LPARAM>(stopButton_.Handle()));
    const std::wstring caption = LoadControlString(IDS_NOTICE_CAPTION);
    UINT text = 0;
    switch (opened) {
    case E_PLAYER_REAL_CREATE:
        text = IDS_NO_REAL;
        break;
    case E_PLAYER_FLASH_CREATE:
    case E_PLAYER_FLV_CREATE:
        text = IDS_NO_FLASH;
        break;
    case E_PLAYER_WMP_CREATE:
        text = IDS_NO_WMP;
        break;
    case E_PLAYER_VLC_CREATE:
        if (MessageBoxW(Window(), LoadControlString(IDS_NO_VLC).c_str(), caption.c_str(),
                        MB_YESNO | MB_ICONINFORMATION) == IDYES)
            ShellExecuteW(Window(), L"open", LoadControlString(IDS_VLC_PAGE).c_str(), nullptr,
                          nullptr, SW_SHOWNORMAL);
        break;
    }
    if (text != 0)
        MessageBoxW(Window(), LoadControlString(text).c_str(), caption.c_str(), MB_ICONINFORMATION);
    status_.SetStateText(IDS_PLAY_FAILED);
    return false;
}

void CCStreamView::OnStop(LPARAM fromButton)
{
    stoppedByUser_ = true;
    ResetPlayback();
    playButton_.latched = 0;
    playButton_.Refresh();
    NotifyEngine(WM_VOD_PLAYER_STOPPED);
    stopButton_.Refresh();
    if (fromButton != 0) {
        ShowFlashAd(true);
        adPending_ = true;
        KillTimer(Window(), TIMER_STATISTICS);
    }
    SyncFullBarButtons();
}

bool CCStreamView::ResetPlayback()
{
    DetachAdPane();
    // The buffer advertisement's count goes with its timer: a later play or
    // open counts from the start again.
    KillTimer(Window(), TIMER_PREBUFFER);
    prebufferTicks_ = 0;
    if (playState_ == 1 || playState_ == 2) {
        mainPlayer_.Stop();
        SetPlayState(stoppedByUser_ ? 3 : 4);
    }
    if (playState_ != 0) {
        mainPlayer_.Close();
        SetPlayState(0);
    }
    ShowCursorAgain();
    programmeTitle_.clear();
    status_.ClearAll();
    if (status_.Handle())
        InvalidateRect(status_.Handle(), nullptr, TRUE);
    return true;
}

LRESULT CCStreamView::OnClose()
{
    if (!opened_ || DeferCloseWhileChallenged())
        return 0;
    KillTimer(Window(), TIMER_STATISTICS);
    ResetPlayback();
    if (coreKind_ == CORE_VOD && vod_)
        vod_->Stop();
    else if (coreKind_ == CORE_LIVE && live_)
        live_->Stop();
    EnableButtons({IDC_PLAY, IDC_STOP, IDC_PLAYLIST, IDC_CHAT, IDC_VIDEOSIZE, IDC_FULLSCREEN},
                  false);
    delete vod_;
    vod_ = nullptr;
    delete live_;
    live_ = nullptr;
    stoppedByUser_ = false;
    opened_ = false;
    coreKind_ = CORE_NONE;
    return 0;
}

// After a Windows Media Player error: the same content again, with the
// DirectShow player. Only while that content is still open and stopped: the
// page may have closed it since (a play would open it again), and the
// replay of an earlier error may be playing already (a play would pause it).
void CCStreamView::OnReplay(WPARAM copy)
{
    SelfReference hold(static_cast<ICStreamView2*>(this));
    if (opened_ && playState_ == 0) {
        replaying_ = true;
        SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, BN_CLICKED), 0);
        replaying_ = false;
    }
    free(reinterpret_cast<void*>(copy));
}
