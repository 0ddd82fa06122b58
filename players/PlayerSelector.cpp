#include "players/PlayerSelector.h"

#include <shlwapi.h>

#include <cmath>
#include <cwchar>
#include <string>   // before dshow.h, whose strsafe.h hides vswprintf from <string>

#include "players/DShowPlayer.h"
#include "players/SeekTarget.h"
#include "players/hooks/FullscreenLock.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "players/hooks/PlayerHooks.h"
#include "players/hosts/DeferredDeletion.h"
#include "players/hosts/FlashOCX.h"
#include "players/hosts/FlvOCX.h"
#include "players/hosts/RealOCX.h"
#include "players/hosts/VLCOCX.h"
#include "players/hosts/WmpOCX.h"

int CPlayerSelector::s_liveHosts = 0;

namespace {

bool Contains(const wchar_t* text, const wchar_t* part)
{
    return std::wcsstr(text, part) != nullptr;
}

// Creates a host; a half-made one is deleted again.
template <class Host>
int CreateHost(Host*& host, CPlayerSelector* selector, DWORD style, const RECT& rect,
               HWND parent, UINT id)
{
    auto* made = new Host(selector);
    if (!made->Create(nullptr, style, rect, parent, id)) {
        made->Destroy();
        delete made;
        return 0;
    }
    host = made;
    return 1;
}

HRESULT CreateCode(int kind)
{
    switch (kind) {
    case PLAYER_REAL: return E_PLAYER_REAL_CREATE;
    case PLAYER_FLASH: return E_PLAYER_FLASH_CREATE;
    case PLAYER_FLV: return E_PLAYER_FLV_CREATE;
    case PLAYER_DSHOW: return E_PLAYER_DSHOW_CREATE;
    case PLAYER_VLC: return E_PLAYER_VLC_CREATE;
    default: return E_PLAYER_WMP_CREATE;
    }
}

VARIANT_BOOL Bool(int flag)
{
    return flag ? VARIANT_TRUE : VARIANT_FALSE;
}

} // namespace

CPlayerSelector::CPlayerSelector()
{
    BOOL active = FALSE;
    if (SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) && active) {
        m_screenSaverWasActive = 1;
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
    }
}

CPlayerSelector::~CPlayerSelector()
{
    RemoveFullscreenLockHook();
    if (m_screenSaverWasActive)
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
}

PlayerKind CPlayerSelector::KindFromUrl(const wchar_t* address)
{
    if (Contains(address, L"zaror://"))
        return PLAYER_DSHOW;
    if (Contains(address, L"mms://") || Contains(address, L"mmsu://") ||
        Contains(address, L"mmst://"))
        return PLAYER_WMP;
    if (Contains(address, L"rtsp://"))
        return PLAYER_REAL;
    if (Contains(address, L"vlch://"))
        return PLAYER_VLC;
    const wchar_t* extension = PathFindExtensionW(address);
    for (const wchar_t* real : {L".rm", L".rmvb", L".ra", L".rv"}) {
        if (std::wcscmp(extension, real) == 0)
            return PLAYER_REAL;
    }
    if (std::wcscmp(extension, L".swf") == 0)
        return PLAYER_FLASH;
    if (std::wcscmp(extension, L".flv") == 0)
        return PLAYER_FLV;
    if (PathIsURLW(address) && Contains(address, L".swf?"))
        return PLAYER_FLASH;
    return PLAYER_WMP;
}

bool CPlayerSelector::HostExists(int kind) const
{
    switch (kind) {
    case PLAYER_REAL: return m_real != nullptr;
    case PLAYER_FLASH: return m_flash != nullptr;
    case PLAYER_FLV: return m_flv != nullptr;
    case PLAYER_WMP: return m_wmp != nullptr;
    case PLAYER_DSHOW: return m_dshow != nullptr;
    case PLAYER_VLC: return m_vlc != nullptr;
    default: return false;
    }
}

HWND CPlayerSelector::HostWindow(int kind) const
{
    switch (kind) {
    case PLAYER_REAL: return m_real ? m_real->Handle() : nullptr;
    case PLAYER_FLASH: return m_flash ? m_flash->Handle() : nullptr;
    case PLAYER_FLV: return m_flv ? m_flv->Handle() : nullptr;
    case PLAYER_WMP: return m_wmp ? m_wmp->Handle() : nullptr;
    case PLAYER_DSHOW: return m_dshow ? m_dshow->Handle() : nullptr;
    case PLAYER_VLC: return m_vlc ? m_vlc->Handle() : nullptr;
    default: return nullptr;
    }
}

int CPlayerSelector::CreateRealHost()
{
    if (m_real)
        return 1;
    int made = CreateHost(m_real, this, WS_CHILD, m_rect, m_parent, kRealId);
    if (made) {
        HostCreated();
        m_real->ApplyCreationSetup();
    }
    return made;
}

int CPlayerSelector::CreateFlashHost()
{
    if (m_flash)
        return 1;
    int made = CreateHost(m_flash, this, WS_CHILD | WS_CLIPSIBLINGS, m_rect, m_parent, kFlashId);
    if (made) {
        HostCreated();
        m_flash->SetLoop(false);
        m_flash->SetMenu(false);
    }
    return made;
}

int CPlayerSelector::CreateFlvHost(const wchar_t* movie)
{
    if (m_flv)
        return 1;
    auto* host = new CFlvOCX(this);
    if (movie && *movie)
        host->SetMovieUrl(movie);
    if (!host->Create(nullptr, WS_CHILD, m_rect, m_parent, kFlashId)) {
        host->Destroy();
        delete host;
        return 0;
    }
    m_flv = host;
    HostCreated();
    host->SetLoop(false);
    host->SetMenu(false);
    return 1;
}

int CPlayerSelector::CreateWmpHost()
{
    if (m_wmp)
        return 1;
    int made = CreateHost(m_wmp, this, WS_CHILD | WS_CLIPCHILDREN, m_rect, m_parent, kWmpId);
    if (made) {
        m_wmp->CreationSetup();
        HostCreated();
    }
    return made;
}

int CPlayerSelector::CreateDShowHost()
{
    if (m_dshow)
        return 1;
    int made = CreateHost(m_dshow, this, WS_CHILD | WS_CLIPCHILDREN, m_rect, m_parent, kDShowId);
    if (made)
        HostCreated();
    return made;
}

int CPlayerSelector::CreateVlcHost()
{
    if (m_vlc)
        return 1;
    int made = CreateHost(m_vlc, this, WS_CHILD | WS_CLIPSIBLINGS, m_rect, m_parent, kVlcId);
    if (made) {
        HostCreated();
        m_vlc->ApplyCreationSetup();
    }
    return made;
}

HRESULT CPlayerSelector::Open(const wchar_t* address, int kind)
{
    if (m_kind != PLAYER_NONE)
        Close();
    if (!address)
        address = L"";
    if (kind == PLAYER_NONE)
        kind = KindFromUrl(address);
    if (kind < PLAYER_NONE || kind > PLAYER_VLC)
        return E_UNEXPECTED;
    if (!HostExists(kind)) {
        int made = 0;
        switch (kind) {
        case PLAYER_REAL: made = CreateRealHost(); break;
        case PLAYER_FLASH: made = CreateFlashHost(); break;
        case PLAYER_FLV: made = CreateFlvHost(L""); break;
        case PLAYER_WMP: made = CreateWmpHost(); break;
        case PLAYER_DSHOW: made = CreateDShowHost(); break;
        case PLAYER_VLC: made = CreateVlcHost(); break;
        }
        if (!made)
            return CreateCode(kind);
    }
    m_kind = kind;
    HRESULT hr = HandOver(address);
    if (FAILED(hr))
        return hr;
    HWND window = HostWindow(kind);
    MoveWindow(window, m_rect.left, m_rect.top, m_rect.right - m_rect.left,
               m_rect.bottom - m_rect.top, TRUE);
    ShowWindow(window, SW_SHOW);
    SetOrgSize(m_orgSize);
    return hr;
}

HRESULT CPlayerSelector::HandOver(const wchar_t* address)
{
    switch (m_kind) {
    case PLAYER_REAL: return m_real->Open(address);
    case PLAYER_FLASH: {
        HRESULT hr = m_flash->Open(address);
        m_flash->SetLoop(false);
        m_flash->SetBackgroundColor(0);
        return hr;
    }
    case PLAYER_FLV: return m_flv->Open(address);
    case PLAYER_WMP: return m_wmp->Open(address);
    case PLAYER_DSHOW: return m_dshow->Open(address);
    case PLAYER_VLC: return m_vlc->Open(address);
    default: return E_UNEXPECTED;
    }
}

HRESULT CPlayerSelector::Play()
{
    HRESULT hr;
    switch (m_kind) {
    case PLAYER_REAL: hr = m_real->Play(); break;
    case PLAYER_FLASH: hr = m_flash->Play(); break;
    case PLAYER_FLV: hr = m_flv->Play(); break;
    case PLAYER_WMP: hr = m_wmp->Play(); break;
    case PLAYER_DSHOW: hr = m_dshow->Play(); break;
    case PLAYER_VLC: hr = m_vlc->Play(); break;
    default: return E_PLAYER_NONE;
    }
    m_autoFullscreenDone = 0;
    SetOrgSize(m_orgSize);
    return hr;
}

HRESULT CPlayerSelector::Pause()
{
    switch (m_kind) {
    case PLAYER_REAL: return m_real->Pause();
    case PLAYER_FLASH: return m_flash->Stop();   // a movie has no pause
    case PLAYER_FLV: return m_flv->Pause();
    case PLAYER_WMP: return m_wmp->Pause();
    case PLAYER_DSHOW: return m_dshow->Pause();
    case PLAYER_VLC: return m_vlc->Pause();
    default: return E_PLAYER_NONE;
    }
}

HRESULT CPlayerSelector::Stop()
{
    HRESULT hr;
    switch (m_kind) {
    case PLAYER_REAL: hr = m_real->Stop(); break;
    case PLAYER_FLASH:
        hr = m_flash->Stop();
        if (SUCCEEDED(hr))
            hr = m_flash->GotoFrame(1);
        break;
    case PLAYER_FLV: hr = m_flv->Stop(); break;
    case PLAYER_WMP:
        hr = m_wmp->Stop();
        RemoveFullscreenLockHook();
        break;
    case PLAYER_DSHOW: hr = m_dshow->Stop(); break;
    case PLAYER_VLC: hr = m_vlc->Stop(); break;
    default: return E_PLAYER_NONE;
    }
    // The DirectShow and FLV players leave full screen as they stop.
    UnlockUnlessFullScreen();
    return hr;
}

// The lock is for a player in full screen only; it must never outlive that.
void CPlayerSelector::UnlockUnlessFullScreen()
{
    int fullScreen = 0;
    if (IsFullscreenLockHookInstalled() && SUCCEEDED(GetFullScreen(&fullScreen)) && !fullScreen)
        RemoveFullscreenLockHook();
}

HRESULT CPlayerSelector::Close()
{
    HRESULT hr = E_PLAYER_NONE;
    switch (m_kind) {
    case PLAYER_REAL:
        hr = m_real->Close();
        ShowWindow(m_real->Handle(), SW_HIDE);
        DeleteRealHost();
        break;
    case PLAYER_FLASH:
        hr = m_flash->Stop();
        ShowWindow(m_flash->Handle(), SW_HIDE);
        DestroyWindow(m_flash->Handle());
        delete m_flash;
        m_flash = nullptr;
        HostDeleted();
        break;
    case PLAYER_FLV:
        hr = m_flv->Close();
        ShowWindow(m_flv->Handle(), SW_HIDE);
        break;
    case PLAYER_WMP:
        hr = m_wmp->Close();
        ShowWindow(m_wmp->Handle(), SW_HIDE);
        break;
    case PLAYER_DSHOW:
        hr = m_dshow->Close();
        ShowWindow(m_dshow->Handle(), SW_HIDE);
        break;
    case PLAYER_VLC:
        hr = m_vlc->Close();
        ShowWindow(m_vlc->Handle(), SW_HIDE);
        break;
    }
    // A closed player is not full screen, so nothing stays locked: Alt+Tab
    // works again. (A selector with nothing open leaves another's lock.)
    if (m_kind != PLAYER_NONE)
        RemoveFullscreenLockHook();
    m_kind = PLAYER_NONE;
    return hr;
}

// Closed inside one of its control's events (the owner answering a state
// the control reports), the host leaves this selector at once and is
// destroyed once the event has returned, so the control is never released
// under its own call.
void CPlayerSelector::DeleteRealHost()
{
    CRealOCX* host = m_real;
    m_real = nullptr;
    HostDeleted();
    if (!host->IsFiring()) {
        host->Destroy();
        delete host;
        return;
    }
    host->Detach();
    RetryAfterEvent([host] {
        if (host->IsFiring())
            return false;
        host->Destroy();
        delete host;
        return true;
    });
}

void CPlayerSelector::DestroyAll()
{
    Close();
    if (m_wmp) {
        if (IsWindow(m_wmp->Handle()))
            m_wmp->Destroy();
        delete m_wmp;
        m_wmp = nullptr;
        HostDeleted();
    }
    if (m_real) {
        if (IsWindow(m_real->Handle()))
            m_real->Destroy();
        delete m_real;
        m_real = nullptr;
        HostDeleted();
    }
    if (m_flv) {
        if (IsWindow(m_flv->Handle()))
            DestroyWindow(m_flv->Handle());
        delete m_flv;
        m_flv = nullptr;
        HostDeleted();
    }
    if (m_flash) {
        if (IsWindow(m_flash->Handle()))
            DestroyWindow(m_flash->Handle());
        delete m_flash;
        m_flash = nullptr;
        HostDeleted();
    }
    if (m_dshow) {
        m_dshow->Destroy();
        delete m_dshow;
        m_dshow = nullptr;
        HostDeleted();
    }
    if (m_vlc) {
        if (IsWindow(m_vlc->Handle()))
            m_vlc->Destroy();
        delete m_vlc;
        m_vlc = nullptr;
        HostDeleted();
    }
    // Hooks call into this module: none stays once no player host is left.
    if (s_liveHosts == 0)
        RemoveAllPlayerHooks();
}

HRESULT CPlayerSelector::SetVolume(int volume)
{
    switch (m_kind) {
    case PLAYER_REAL: return m_real->SetVolume(volume);
    case PLAYER_FLASH: return E_UNEXPECTED;
    case PLAYER_FLV: return m_flv->SetVolume(volume);
    case PLAYER_WMP: return m_wmp->SetVolume(volume);
    case PLAYER_DSHOW: return m_dshow->SetVolume(volume);
    case PLAYER_VLC: return m_vlc->SetVolume(volume);
    default: return E_PLAYER_NONE;
    }
}

HRESULT CPlayerSelector::SetMute(int mute)
{
    switch (m_kind) {
    case PLAYER_REAL: return m_real->SetMute(mute);
    case PLAYER_FLASH: return E_UNEXPECTED;
    case PLAYER_FLV: return m_flv->SetMute(mute);
    case PLAYER_WMP: return m_wmp->SetMute(mute);
    case PLAYER_DSHOW: return m_dshow->SetMute(mute);
    case PLAYER_VLC: return m_vlc->SetMute(mute);
    default: return E_PLAYER_NONE;
    }
}

HRESULT CPlayerSelector::GetFullScreen(int* fullScreen)
{
    if (fullScreen)
        *fullScreen = 0;
    VARIANT_BOOL state = VARIANT_FALSE;
    HRESULT hr;
    switch (m_kind) {
    case PLAYER_REAL: hr = m_real->GetFullScreen(&state); break;
    case PLAYER_FLASH: return E_UNEXPECTED;
    case PLAYER_FLV: hr = m_flv->GetFullScreen(&state); break;
    case PLAYER_WMP: hr = m_wmp->GetFullScreen(&state); break;
    case PLAYER_DSHOW: hr = m_dshow->GetFullScreen(&state); break;
    case PLAYER_VLC: hr = m_vlc->GetFullScreen(&state); break;
    default: return E_PLAYER_NONE;
    }
    if (SUCCEEDED(hr) && fullScreen)
        *fullScreen = state ? 1 : 0;
    return hr;
}

HRESULT CPlayerSelector::SetFullScreen(int fullScreen)
{
    int width = 0, height = 0;
    // A player without a picture never goes full screen.
    if (SUCCEEDED(GetVideoSize(&width, &height)) && (width == 0 || height == 0))
        return S_OK;
    HRESULT hr;
    switch (m_kind) {
    case PLAYER_NONE: return E_PLAYER_NONE;
    case PLAYER_FLASH: return E_UNEXPECTED;
    case PLAYER_REAL: hr = m_real->SetFullScreen(Bool(fullScreen)); break;
    case PLAYER_FLV:
        if (fullScreen)
            SetFocus(PlayerHookRegistry::FindVideoWindow(m_flv->Handle(), kFlashVideoClasses));
        hr = m_flv->SetFullScreen(Bool(fullScreen));
        break;
    case PLAYER_WMP:
        if (fullScreen)
            SetFocus(PlayerHookRegistry::FindVideoWindow(m_wmp->Handle(), kWmpVideoClasses));
        else
            RemoveFullscreenLockHook();
        hr = m_wmp->SetFullScreen(Bool(fullScreen));
        break;
    case PLAYER_DSHOW: hr = m_dshow->SetFullScreen(fullScreen); break;
    case PLAYER_VLC: hr = m_vlc->SetFullScreen(Bool(fullScreen)); break;
    default: return E_UNEXPECTED;
    }
    if (SUCCEEDED(hr)) {
        if (m_lockFullscreen && fullScreen)
            InstallFullscreenLockHook();
        else
            RemoveFullscreenLockHook();
    }
    return hr;
}

HRESULT CPlayerSelector::GetBufferingPercent(int* percent)
{
    switch (m_kind) {
    case PLAYER_REAL: return m_real->GetBufferingPercent(percent);
    case PLAYER_FLASH: return m_flash->GetBufferingPercent(percent);
    case PLAYER_FLV: return m_flv->GetBufferingPercent(percent);
    case PLAYER_WMP: return m_wmp->GetBufferingPercent(percent);
    case PLAYER_DSHOW:
    case PLAYER_VLC: return S_OK;
    default: return E_PLAYER_NONE;
    }
}

HRESULT CPlayerSelector::GetPosition(double* position)
{
    if (!position)
        return E_INVALIDARG;
    HRESULT hr;
    double raw = 0;
    switch (m_kind) {
    case PLAYER_REAL:
        hr = m_real->GetPosition(&raw);
        if (SUCCEEDED(hr))
            *position = raw * 0.001;
        break;
    case PLAYER_FLASH: hr = m_flash->GetPosition(position); break;
    case PLAYER_FLV: hr = m_flv->GetPosition(position); break;
    case PLAYER_WMP: hr = m_wmp->GetPosition(position); break;
    case PLAYER_DSHOW: {
        IMediaSeeking* seeking = m_dshow->Seeking();
        LONGLONG now = 0;
        hr = S_OK;
        if (seeking) {
            hr = seeking->GetCurrentPosition(&now);
            if (SUCCEEDED(hr))
                *position = static_cast<double>(now / 10000000);
        }
        break;
    }
    case PLAYER_VLC:
        hr = m_vlc->GetPosition(&raw);
        if (SUCCEEDED(hr))
            *position = std::trunc(raw * 0.001);
        break;
    default: return E_PLAYER_NONE;
    }

    UnlockUnlessFullScreen();
    int fullScreen = 0;
    if (m_autoFullscreen && !m_autoFullscreenDone && *position > 0) {
        if (SUCCEEDED(GetFullScreen(&fullScreen)) && !fullScreen)
            SendMessageW(m_owner, WM_COMMAND, IDC_FULLSCREEN, 0);
        m_autoFullscreenDone = 1;
    }
    return hr;
}

HRESULT CPlayerSelector::GetDuration(double* duration)
{
    if (!duration)
        return E_INVALIDARG;
    HRESULT hr;
    double raw = 0;
    switch (m_kind) {
    case PLAYER_REAL:
        hr = m_real->GetDuration(&raw);
        if (SUCCEEDED(hr))
            *duration = raw * 0.001;
        return hr;
    case PLAYER_FLASH: return m_flash->GetDuration(duration);
    case PLAYER_FLV: return m_flv->GetDuration(duration);
    case PLAYER_WMP: return m_wmp->GetDuration(duration);
    case PLAYER_DSHOW: {
        IMediaSeeking* seeking = m_dshow->Seeking();
        LONGLONG length = 0;
        if (!seeking)
            return S_OK;
        hr = seeking->GetDuration(&length);
        if (SUCCEEDED(hr))
            *duration = static_cast<double>(length / 10000000);
        return hr;
    }
    case PLAYER_VLC:   // milliseconds, and always S_OK
        if (SUCCEEDED(m_vlc->GetDuration(&raw)))
            *duration = raw;
        return S_OK;
    default: return E_PLAYER_NONE;
    }
}

HRESULT CPlayerSelector::SeekPermille(int permille)
{
    if (m_kind == PLAYER_NONE)
        return E_PLAYER_NONE;
    double duration = 0;
    GetDuration(&duration);
    long long target = SeekTarget(m_kind, permille, duration);
    switch (m_kind) {
    case PLAYER_REAL: return m_real->Seek(target);
    case PLAYER_FLASH: return m_flash->GotoFrame(static_cast<long>(target));
    case PLAYER_FLV: return m_flv->Seek(target);
    case PLAYER_WMP: return m_wmp->Seek(target);
    case PLAYER_DSHOW: {
        IMediaSeeking* seeking = m_dshow->Seeking();
        if (!seeking)
            return S_OK;
        LONGLONG position = target;
        return seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                     AM_SEEKING_NoPositioning);
    }
    default: return m_vlc->Seek(target);
    }
}

HRESULT CPlayerSelector::GetVideoSize(int* width, int* height)
{
    if (!width || !height)
        return E_INVALIDARG;
    switch (m_kind) {
    case PLAYER_REAL: return m_real->GetVideoSize(width, height);
    case PLAYER_FLASH:
    case PLAYER_FLV: return E_UNEXPECTED;
    case PLAYER_WMP: return m_wmp->GetVideoSize(width, height);
    case PLAYER_DSHOW: return m_dshow->GetVideoSize(width, height);
    case PLAYER_VLC: return m_vlc->GetVideoSize(width, height);
    default: return E_PLAYER_NONE;
    }
}

HRESULT CPlayerSelector::GetSourceUrl(BSTR* url)
{
    switch (m_kind) {
    case PLAYER_REAL: return m_real->GetSourceUrl(url);
    case PLAYER_FLASH: return m_flash->GetSourceUrl(url);
    case PLAYER_FLV: return m_flv->GetSourceUrl(url);
    case PLAYER_WMP: return m_wmp->GetSourceUrl(url);
    case PLAYER_DSHOW:
    case PLAYER_VLC: return S_OK;
    default: return E_PLAYER_NONE;
    }
}

int CPlayerSelector::PollActivity(int* cursorMoved)
{
    int result;
    switch (m_kind) {
    case PLAYER_NONE:
        // An FLV movie left full screen after Close is still brought back.
        if (m_flv)
            m_flv->PollActivity(cursorMoved);
        return 0;
    case PLAYER_REAL: result = m_real->PollActivity(cursorMoved); break;
    case PLAYER_FLASH: result = 0; break;
    case PLAYER_FLV: result = m_flv->PollActivity(cursorMoved); break;
    case PLAYER_WMP: result = m_wmp->PollActivity(cursorMoved); break;
    case PLAYER_DSHOW: result = m_dshow->PollActivity(cursorMoved); break;
    default: result = m_vlc->PollActivity(cursorMoved); break;
    }
    if (result) {
        int fullScreen = 0;
        GetFullScreen(&fullScreen);
        if (m_lockFullscreen && fullScreen)
            InstallFullscreenLockHook();
        else
            RemoveFullscreenLockHook();
    }
    return result;
}

void CPlayerSelector::SetOrgSize(int orgSize)
{
    m_orgSize = orgSize;
    switch (m_kind) {
    case PLAYER_REAL: Centre(false); break;
    case PLAYER_FLV: m_flv->SetOrgSize(orgSize); break;
    case PLAYER_WMP: m_wmp->SetOrgSize(orgSize); break;
    case PLAYER_DSHOW:
    case PLAYER_VLC: Centre(true); break;
    default: break;   // a Flash movie lays itself out
    }
}

// Native size, centred, when it fits the rectangle; else the whole rectangle.
void CPlayerSelector::Centre(bool stopWhenFullScreen)
{
    int fullScreen = 0;
    if (stopWhenFullScreen && SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen)
        return;
    int width = 0, height = 0;
    GetVideoSize(&width, &height);
    RECT target = m_rect;
    if (m_orgSize && width > 0 && height > 0) {
        int areaWidth = m_rect.right - m_rect.left;
        int areaHeight = m_rect.bottom - m_rect.top;
        if (width >= areaWidth || height >= areaHeight)
            return;
        target.left = m_rect.left + (areaWidth - width) / 2;
        target.top = m_rect.top + (areaHeight - height) / 2;
        target.right = target.left + width;
        target.bottom = target.top + height;
    }
    HWND window = HostWindow(m_kind);
    bool visible = IsWindowVisible(window) != FALSE;
    if (visible)
        ShowWindow(window, SW_HIDE);
    MoveWindow(window, target.left, target.top, target.right - target.left,
               target.bottom - target.top, FALSE);
    if (visible)
        ShowWindow(window, SW_SHOW);
}

void CPlayerSelector::SetRect(const RECT& rect, BOOL repaint)
{
    m_rect = rect;
    HWND window = nullptr;
    if (SUCCEEDED(GetPlayerWindow(&window)) && IsWindow(window)) {
        MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   repaint);
        SetOrgSize(m_orgSize);
    }
}

void CPlayerSelector::SetParentWindow(HWND parent)
{
    m_parent = parent;
    for (int kind : {PLAYER_REAL, PLAYER_FLASH, PLAYER_FLV, PLAYER_WMP, PLAYER_VLC}) {
        HWND window = HostWindow(kind);
        if (window && IsWindow(window))
            SetParent(window, parent);
    }
}

HRESULT CPlayerSelector::GetPlayerWindow(HWND* window)
{
    if (!window)
        return E_INVALIDARG;
    if (m_kind == PLAYER_NONE)
        return E_PLAYER_NONE;
    *window = HostWindow(m_kind);
    return S_OK;
}

HRESULT CPlayerSelector::ShowPlayer()
{
    HWND window = nullptr;
    HRESULT hr = GetPlayerWindow(&window);
    if (SUCCEEDED(hr) && IsWindow(window))
        ShowWindow(window, SW_SHOW);
    return hr;
}

HRESULT CPlayerSelector::HidePlayer()
{
    HWND window = nullptr;
    HRESULT hr = GetPlayerWindow(&window);
    if (SUCCEEDED(hr) && IsWindow(window))
        ShowWindow(window, SW_HIDE);
    return hr;
}

void CPlayerSelector::SetAutoFullscreen(int autoFullscreen)
{
    m_autoFullscreen = autoFullscreen;
    int fullScreen = 0;
    if (autoFullscreen && SUCCEEDED(GetFullScreen(&fullScreen)) && !fullScreen)
        SetFullScreen(1);
}

HRESULT CPlayerSelector::SetFlashLoop(int loop)
{
    return m_flash ? m_flash->SetLoop(loop != 0) : E_UNEXPECTED;
}

void CPlayerSelector::SetFlvPlayerUrl(const wchar_t* movie)
{
    if (!m_flv)
        CreateFlvHost(movie);
    else
        m_flv->SetMovieUrl(movie);
}

void CPlayerSelector::NotifyOwner(int kind, UINT message, WPARAM wParam, LPARAM lParam, bool send)
{
    if (kind != m_kind)
        return;
    if (send)
        SendMessageW(m_owner, message, wParam, lParam);
    else
        PostMessageW(m_owner, message, wParam, lParam);
}
