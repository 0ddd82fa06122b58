#pragma once

#include <windows.h>
#include <oleauto.h>

#include "players/PlayerKind.h"

class CRealOCX;
class CFlashOCX;
class CWmpOCX;
class CFlvOCX;
class CDShowPlayer;
class CVLCOCX;

// Plays a media address with the host its address calls for, creating that
// host on first use as a child of the parent window, and forwards every
// command to the host of the current kind. Hosts report through NotifyOwner,
// which passes on only what comes from the current kind. All calls on the
// owner's window thread.
class CPlayerSelector {
public:
    CPlayerSelector();
    ~CPlayerSelector();
    CPlayerSelector(const CPlayerSelector&) = delete;
    CPlayerSelector& operator=(const CPlayerSelector&) = delete;

    static PlayerKind KindFromUrl(const wchar_t* address);

    // kind 0: chosen by KindFromUrl.
    HRESULT Open(const wchar_t* address, int kind = 0);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT Close();
    void DestroyAll();
    HRESULT SetVolume(int volume);
    HRESULT SetMute(int mute);
    HRESULT GetFullScreen(int* fullScreen);
    HRESULT SetFullScreen(int fullScreen);
    HRESULT GetBufferingPercent(int* percent);
    HRESULT GetPosition(double* position);
    HRESULT GetDuration(double* duration);
    HRESULT SeekPermille(int permille);
    HRESULT GetVideoSize(int* width, int* height);
    HRESULT GetSourceUrl(BSTR* url);
    int PollActivity(int* cursorMoved);
    void SetOrgSize(int orgSize);
    void SetRect(const RECT& rect, BOOL repaint);
    void SetParentWindow(HWND parent);
    HRESULT GetPlayerWindow(HWND* window);
    HRESULT ShowPlayer();
    HRESULT HidePlayer();
    void SetLockFullscreen(int lock) { m_lockFullscreen = lock; }
    void SetAutoFullscreen(int autoFullscreen);
    HRESULT SetFlashLoop(int loop);
    void SetFlvPlayerUrl(const wchar_t* movie);
    void NotifyOwner(int kind, UINT message, WPARAM wParam, LPARAM lParam, bool send);

    // 1 when the host exists afterwards (one that exists is kept), 0 when
    // it cannot be made.
    int CreateRealHost();
    int CreateFlashHost();
    int CreateWmpHost();
    int CreateFlvHost(const wchar_t* movie);
    int CreateDShowHost();
    int CreateVlcHost();

    int Kind() const { return m_kind; }
    CDShowPlayer* DShowHost() const { return m_dshow; }

    // Written by the owner directly: where reports go, and where the player
    // sits in the parent's client area.
    HWND m_owner = nullptr;
    RECT m_rect = {0, 0, 0, 0};

    // Child ids of the hosts' windows.
    static const UINT kRealId = 5000;
    static const UINT kFlashId = 5001;   // also the FLV host
    static const UINT kWmpId = 5002;
    static const UINT kDShowId = 5004;
    static const UINT kVlcId = 5005;

private:
    bool HostExists(int kind) const;
    HRESULT HandOver(const wchar_t* address);
    HWND HostWindow(int kind) const;
    void Centre(bool stopWhenFullScreen);
    void UnlockUnlessFullScreen();
    void DeleteRealHost();
    void HostCreated() { ++s_liveHosts; }
    void HostDeleted() { --s_liveHosts; }

    int m_kind = PLAYER_NONE;
    CRealOCX* m_real = nullptr;
    CFlashOCX* m_flash = nullptr;
    CWmpOCX* m_wmp = nullptr;
    CFlvOCX* m_flv = nullptr;
    CDShowPlayer* m_dshow = nullptr;
    CVLCOCX* m_vlc = nullptr;
    HWND m_parent = nullptr;
    int m_orgSize = 0;
    int m_autoFullscreen = 0;
    int m_lockFullscreen = 0;
    int m_autoFullscreenDone = 0;
    int m_screenSaverWasActive = 0;

    // Hosts alive in every selector of the process: when the last goes, so
    // do the player hooks.
    static int s_liveHosts;
};
