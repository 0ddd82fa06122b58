// The automation properties and methods of the control. A put stores (and at
// most normalises) its value; it acts on the window only when that exists.
// The engines need Winsock 2 before windows.h.
#include <winsock2.h>

#include "control/CCStreamView.h"

#include "live/LiveCore.h"
#include "vod/VodCore.h"

#include <shlwapi.h>

#include <cwctype>

#include "control/ControlIds.h"
#include "control/VodServiceControl.h"

namespace {

HRESULT CopyOut(BSTR stored, BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = nullptr;
    if (!stored)
        return S_OK;
    *value = SysAllocStringLen(stored, SysStringLen(stored));
    return *value ? S_OK : E_OUTOFMEMORY;
}

// Frees the old text first: a copy that cannot be made leaves the property
// null.
HRESULT Store(BSTR& stored, const wchar_t* text, size_t length)
{
    SysFreeString(stored);
    stored = nullptr;
    if (!text)
        return S_OK;
    stored = SysAllocStringLen(text, static_cast<UINT>(length));
    return stored ? S_OK : E_OUTOFMEMORY;
}

HRESULT StoreCopy(BSTR& stored, BSTR value)
{
    return Store(stored, value, value ? SysStringLen(value) : 0);
}

HRESULT StoreTrimmed(BSTR& stored, BSTR value)
{
    if (!value)
        return Store(stored, nullptr, 0);
    const wchar_t* begin = value;
    const wchar_t* end = value + SysStringLen(value);
    while (begin < end && iswspace(*begin))
        ++begin;
    while (end > begin && iswspace(end[-1]))
        --end;
    return Store(stored, begin, static_cast<size_t>(end - begin));
}

std::wstring Text(BSTR value)
{
    return value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

template <typename T>
HRESULT Out(T stored, T* value)
{
    if (!value)
        return E_POINTER;
    *value = stored;
    return S_OK;
}

}  // namespace

// Plain stored properties. Booleans keep the 16-bit VARIANT_BOOL sign-extended
// to 32 bits, so any non-zero value counts as set.
#define STRING_PROPERTY(Name, member, store)                                   \
    STDMETHODIMP CCStreamView::get_##Name(BSTR* value) { return CopyOut(member, value); } \
    STDMETHODIMP CCStreamView::put_##Name(BSTR value) { return store(member, value); }
#define BOOL_PROPERTY(Name, member)                                            \
    STDMETHODIMP CCStreamView::get_##Name(VARIANT_BOOL* value)                 \
    {                                                                          \
        return Out(static_cast<VARIANT_BOOL>(member), value);                  \
    }                                                                          \
    STDMETHODIMP CCStreamView::put_##Name(VARIANT_BOOL value)                  \
    {                                                                          \
        member = value;                                                        \
        return S_OK;                                                           \
    }
#define NUMBER_PROPERTY(Name, member, Type)                                    \
    STDMETHODIMP CCStreamView::get_##Name(Type* value) { return Out(member, value); } \
    STDMETHODIMP CCStreamView::put_##Name(Type value)                          \
    {                                                                          \
        member = value;                                                        \
        return S_OK;                                                           \
    }

STRING_PROPERTY(Nat, nat_, StoreCopy)
STRING_PROPERTY(Stun, stun_, StoreCopy)
STRING_PROPERTY(Cgi, cgi_, StoreTrimmed)
STRING_PROPERTY(Action, action_, StoreCopy)
STRING_PROPERTY(OutPlayerId, outPlayerId_, StoreCopy)
STRING_PROPERTY(BufferAD, bufferAD_, StoreTrimmed)
STRING_PROPERTY(ADAppend, adAppend_, StoreCopy)
STRING_PROPERTY(StatusBarDisplay, statusBarDisplay_, StoreCopy)
STRING_PROPERTY(PasuedAD, pasuedAD_, StoreCopy)
STRING_PROPERTY(PortRange, portRange_, StoreCopy)
BOOL_PROPERTY(AutoPlay, autoPlay_)
BOOL_PROPERTY(AutoChatPop, autoChatPop_)
BOOL_PROPERTY(EnableChat, enableChat_)
BOOL_PROPERTY(EnableContexMenu, enableContexMenu_)
BOOL_PROPERTY(EnablePlaylist, enablePlaylist_)
BOOL_PROPERTY(EnableControlBar, enableControlBar_)
BOOL_PROPERTY(EnableNetDataDisplay, enableNetDataDisplay_)
BOOL_PROPERTY(EnableShowAbout, enableShowAbout_)
NUMBER_PROPERTY(StartDelay, startDelay_, ULONG)
NUMBER_PROPERTY(BufferTime, bufferTime_, ULONG)
NUMBER_PROPERTY(DefaultDLS, defaultDLS_, ULONG)
NUMBER_PROPERTY(DefaultULS, defaultULS_, ULONG)
NUMBER_PROPERTY(MemorySize, memorySize_, ULONG)
NUMBER_PROPERTY(TrackPeerNums, trackPeerNums_, LONG)
NUMBER_PROPERTY(MaxConnectPeers, maxConnectPeers_, LONG)
NUMBER_PROPERTY(FullDataTime, fullDataTime_, LONG)

STDMETHODIMP CCStreamView::put_AutoSize(VARIANT_BOOL value)
{
    autoSize_ = value;
    return S_OK;
}

STDMETHODIMP CCStreamView::get_AutoSize(VARIANT_BOOL* value)
{
    return Out(autoSize_, value);
}

STDMETHODIMP CCStreamView::get_StopAD(BSTR* value)
{
    return CopyOut(stopAD_, value);
}

// Nothing plays or is paused: the new advertisement shows at once.
STDMETHODIMP CCStreamView::put_StopAD(BSTR value)
{
    HRESULT result = StoreTrimmed(stopAD_, value);
    if (SUCCEEDED(result) && WindowExists() && playState_ != 1 && playState_ != 2)
        ShowFlashAd(true);
    return result;
}

STDMETHODIMP CCStreamView::get_FlvPlayer(BSTR* value)
{
    return CopyOut(flvPlayer_, value);
}

STDMETHODIMP CCStreamView::put_FlvPlayer(BSTR value)
{
    HRESULT result = StoreTrimmed(flvPlayer_, value);
    if (WindowExists())
        mainPlayer_.SetFlvPlayerUrl(flvPlayer_ ? flvPlayer_ : L"");
    return result;
}

STDMETHODIMP CCStreamView::get_PlayMode(BSTR* value)
{
    return CopyOut(playMode_, value);
}

STDMETHODIMP CCStreamView::put_PlayMode(BSTR value)
{
    HRESULT result = StoreCopy(playMode_, value);
    if (FAILED(result))
        return result;
    const struct {
        const wchar_t* name;
        LayoutMode mode;
    } modes[] = {{L"simple", LAYOUT_SIMPLE}, {L"mini", LAYOUT_MINI}, {L"audio", LAYOUT_AUDIO},
                 {L"compact", LAYOUT_COMPACT}};
    layout_ = LAYOUT_FULL;
    for (const auto& mode : modes)
        if (value && _wcsicmp(value, mode.name) == 0)
            layout_ = mode.mode;
    if (layout_ == LAYOUT_FULL) {
        const wchar_t full[] = L"full";
        result = Store(playMode_, full, 4);
    }
    if (WindowExists()) {
        LayoutControls();
        InvalidateRect(Window(), nullptr, TRUE);
    }
    return result;
}

// Without an open player the full-screen state reads 0 and S_FALSE.
STDMETHODIMP CCStreamView::get_FullScreen(VARIANT_BOOL* value)
{
    if (!value)
        return E_POINTER;
    *value = 0;
    if (mainPlayer_.Kind() == PLAYER_NONE)
        return S_FALSE;
    int fullScreen = 0;
    if (SUCCEEDED(mainPlayer_.GetFullScreen(&fullScreen)) && fullScreen)
        *value = 1;
    return S_OK;
}

STDMETHODIMP CCStreamView::put_FullScreen(VARIANT_BOOL value)
{
    if (mainPlayer_.Kind() == PLAYER_NONE)
        return S_FALSE;
    const int wanted = value == VARIANT_TRUE ? 1 : 0;
    int fullScreen = 0;
    mainPlayer_.GetFullScreen(&fullScreen);
    if ((fullScreen != 0) != (wanted != 0))
        mainPlayer_.SetFullScreen(wanted);
    if (WindowExists())
        AttachAdPane(true);
    return S_OK;
}

STDMETHODIMP CCStreamView::get_EnableNameCookie(VARIANT_BOOL* value)
{
    return Out(static_cast<VARIANT_BOOL>(enableNameCookie_), value);
}

STDMETHODIMP CCStreamView::put_EnableNameCookie(VARIANT_BOOL value)
{
    enableNameCookie_ = value;
    chatNameCookie_ = value != 0;
    chat_.SetNameCookie(chatNameCookie_);
    return S_OK;
}

STDMETHODIMP CCStreamView::get_CookieFormat(BSTR* value)
{
    return CopyOut(cookieFormat_, value);
}

// "url|name": the chat reads its user's name from that cookie. Without a bar
// the whole text is the cookie's name.
STDMETHODIMP CCStreamView::put_CookieFormat(BSTR value)
{
    HRESULT result = StoreCopy(cookieFormat_, value);
    const std::wstring text = Text(cookieFormat_);
    const size_t bar = text.find(L'|');
    chatCookieUrl_ = bar == std::wstring::npos ? std::wstring() : text.substr(0, bar);
    chatCookieName_ = bar == std::wstring::npos ? text : text.substr(bar + 1);
    chat_.SetCookie(chatCookieUrl_, chatCookieName_);
    return result;
}

// Per mille of the duration; 0 while either is unknown, and for a duration
// of 0.
STDMETHODIMP CCStreamView::get_Position(ULONG* value)
{
    if (!value)
        return E_POINTER;
    double position = 0, duration = 0;
    *value = 0;
    if (SUCCEEDED(mainPlayer_.GetPosition(&position)) &&
        SUCCEEDED(mainPlayer_.GetDuration(&duration)) && duration > 0 && position > 0)
        *value = static_cast<ULONG>(position / duration * 1000);
    return S_OK;
}

STDMETHODIMP CCStreamView::put_Position(ULONG value)
{
    if (coreKind_ == CORE_VOD)
        mainPlayer_.SeekPermille(static_cast<int>(value));
    return S_OK;
}

STDMETHODIMP CCStreamView::get_Volume(ULONG* value)
{
    return Out(volume_, value);
}

STDMETHODIMP CCStreamView::put_Volume(ULONG value)
{
    volume_ = value;
    if (volumeSlider_.Handle()) {
        volumeSlider_.SetPos(static_cast<int>(value) * 10);
        mainPlayer_.SetVolume(static_cast<int>(value));
    }
    return S_OK;
}

STDMETHODIMP CCStreamView::get_Mute(VARIANT_BOOL* value)
{
    return Out(static_cast<VARIANT_BOOL>(mute_ ? VARIANT_TRUE : VARIANT_FALSE), value);
}

STDMETHODIMP CCStreamView::put_Mute(VARIANT_BOOL value)
{
    mute_ = value == VARIANT_TRUE ? 1 : 0;
    if (muteButton_.Handle()) {
        muteButton_.latched = mute_;
        muteButton_.Refresh();
        mainPlayer_.SetMute(mute_);
    }
    return S_OK;
}

STDMETHODIMP CCStreamView::get_StateString(BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = SysAllocString(status_.StateText().c_str());
    return *value ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CCStreamView::put_StateString(BSTR)
{
    return S_OK;
}

namespace {

// Whole seconds, truncated; 0 when the player has no answer.
ULONG Seconds(HRESULT result, double seconds)
{
    return SUCCEEDED(result) && seconds > 0 ? static_cast<ULONG>(seconds) : 0;
}

}  // namespace

STDMETHODIMP CCStreamView::get_Duration(ULONG* value)
{
    double duration = 0;
    // The player is asked first: a call's arguments are evaluated in no set
    // order, and the seconds passed beside the call could be read before it.
    const HRESULT result = mainPlayer_.GetDuration(&duration);
    return Out(Seconds(result, duration), value);
}

STDMETHODIMP CCStreamView::put_Duration(ULONG)
{
    return S_OK;
}

STDMETHODIMP CCStreamView::get_CurPlay(ULONG* value)
{
    double position = 0;
    const HRESULT result = mainPlayer_.GetPosition(&position);
    return Out(Seconds(result, position), value);
}

STDMETHODIMP CCStreamView::put_CurPlay(ULONG)
{
    return S_OK;
}

STDMETHODIMP CCStreamView::get_InfoString(BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = SysAllocString(status_.GetCurrentText().c_str());
    return *value ? S_OK : E_OUTOFMEMORY;
}

namespace {

VARIANT_BOOL Flag(bool set)
{
    return set ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

// The main player's flags: set by -1 only, read back as -1 or 0.
#define PLAYER_FLAG_PROPERTY(Name, member, setter)                             \
    STDMETHODIMP CCStreamView::get_##Name(VARIANT_BOOL* value) { return Out(Flag(member), value); } \
    STDMETHODIMP CCStreamView::put_##Name(VARIANT_BOOL value)                  \
    {                                                                          \
        member = value == VARIANT_TRUE;                                        \
        mainPlayer_.setter(member ? 1 : 0);                                    \
        return S_OK;                                                           \
    }

PLAYER_FLAG_PROPERTY(OrgSize, orgSize_, SetOrgSize)
PLAYER_FLAG_PROPERTY(LockFullscreen, lockFullscreen_, SetLockFullscreen)
PLAYER_FLAG_PROPERTY(AutoFullscreen, autoFullscreen_, SetAutoFullscreen)

STDMETHODIMP CCStreamView::get_EnableCacheData(VARIANT_BOOL* value)
{
    return Out(static_cast<VARIANT_BOOL>(enableCacheData_), value);
}

// Asks the engine itself: an Open that failed after reading the content
// query leaves the kind set without an engine.
STDMETHODIMP CCStreamView::put_EnableCacheData(VARIANT_BOOL value)
{
    enableCacheData_ = value;
    if (coreKind_ == CORE_VOD && vod_)
        vod_->SetCacheEnabled(value != 0);
    return S_OK;
}

STDMETHODIMP CCStreamView::get_LocalPlayerUrl(BSTR* value)
{
    if (!value)
        return E_POINTER;
    std::wstring url;
    if (coreKind_ == CORE_VOD && vod_)
        url = vod_->GetPlayUrl();
    else if (coreKind_ == CORE_LIVE && live_)
        url = live_->GetPlayerUrl();
    *value = SysAllocString(url.c_str());
    return *value ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CCStreamView::get_PlayState(ULONG* value)
{
    return Out(playState_, value);
}

STDMETHODIMP CCStreamView::get_DownloadedPercent(ULONG* value)
{
    ULONG mark = coreKind_ == CORE_VOD && vod_ ? static_cast<ULONG>(positionBar_.GetPos2()) : 0;
    return Out(mark, value);
}

STDMETHODIMP CCStreamView::get_UserSession(BSTR* value)
{
    return CopyOut(userSession_, value);
}

// "url|seconds" (the last bar counts), or a URL alone for a minute; any
// other text leaves the session as it was.
STDMETHODIMP CCStreamView::put_UserSession(BSTR value)
{
    HRESULT result = StoreTrimmed(userSession_, value);
    const std::wstring text = Text(userSession_);
    const size_t bar = text.rfind(L'|');
    if (!text.empty() && bar != std::wstring::npos) {
        sessionUrl_ = text.substr(0, bar);
        if (!PathIsURLW(sessionUrl_.c_str()))
            sessionUrl_.clear();
        const int seconds = _wtoi(text.c_str() + bar + 1);
        sessionInterval_ = seconds > 0 ? seconds : 1;
    } else if (!text.empty() && PathIsURLW(text.c_str())) {
        sessionUrl_ = text;
        sessionInterval_ = 60;
    }
    sessionEnabled_ = !sessionUrl_.empty();
    if (!sessionEnabled_ && WindowExists())
        KillTimer(Window(), TIMER_SESSION);
    return result;
}

void CCStreamView::PostCommand(int id, HWND control)
{
    // Without a window there is nothing to post to: a null window would post
    // to the thread's own queue.
    if (WindowExists())
        PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
}

STDMETHODIMP CCStreamView::Open()
{
    if (WindowExists())
        SendMessageW(Window(), WM_CONTROL_OPEN, 0, 0);
    return S_OK;
}

STDMETHODIMP CCStreamView::Play()
{
    PostCommand(IDC_PLAY, view_.Item(IDC_PLAY));
    return S_OK;
}

STDMETHODIMP CCStreamView::Pause()
{
    if (playState_ == 1 && coreKind_ == CORE_VOD)
        PostCommand(IDC_PLAY, view_.Item(IDC_PLAY));
    return S_OK;
}

STDMETHODIMP CCStreamView::Stop()
{
    if (WindowExists() && playState_ != 0 && playState_ != 3)
        SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED),
                     reinterpret_cast<LPARAM>(view_.Item(IDC_STOP)));
    return S_OK;
}

STDMETHODIMP CCStreamView::Close()
{
    if (WindowExists())
        SendMessageW(Window(), WM_CONTROL_CLOSE, 0, 0);
    return S_OK;
}

STDMETHODIMP CCStreamView::PopPlaylist()
{
    PostCommand(IDC_PLAYLIST, nullptr);
    return S_OK;
}

STDMETHODIMP CCStreamView::PopChat()
{
    if (enableChat_)
        PostCommand(IDC_CHAT, nullptr);
    return S_OK;
}

STDMETHODIMP CCStreamView::ChangeVideoSize()
{
    PostCommand(IDC_VIDEOSIZE, nullptr);
    return S_OK;
}

STDMETHODIMP CCStreamView::StartVodService()
{
    return StartKxService();
}

STDMETHODIMP CCStreamView::StopVodService()
{
    return StopKxService();
}
