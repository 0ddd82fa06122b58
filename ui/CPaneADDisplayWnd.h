#pragma once

#include <windows.h>

#include "platform/window/WindowBase.h"
#include "players/PlayerKind.h"
#include "ui/CADDisplayWnd.h"

namespace UI_Mgr {
class SBmpMapMgr;
}
class CPlayerSelector;
class CVideoADDisplayWnd;

// The advertisement pane of the control bar: runs the pane text ads as a
// ticker over a piece of the skin, and owns the overlay strip and the ad
// player that plays the video ads inside the main player's video window,
// following that window through windowed and full-screen play.
class CPaneADDisplayWnd : public CWindowBase, public CADDisplayWnd<CPaneADDisplayWnd> {
public:
    static const UINT_PTR kHookTimer = 16;      // full screen: the hooked window
    static const UINT_PTR kWidthTimer = 17;     // windowed: the video window's width
    static const UINT_PTR kOverlayTimer = 33;
    static const UINT_PTR kVideoTimer = 34;
    static const UINT kFollowMs = 100;
    static const UINT kScheduleMs = 1000;

    CPaneADDisplayWnd() { loop_ = 1; }
    ~CPaneADDisplayWnd() override;

    void SetAdSet(CADSet* set) override;
    void Reset() override;
    // The background: a rectangle of the skin's bitmap, stretched.
    void SetSkin(const UI_Mgr::SBmpMapMgr* skin, const RECT& source);
    // Follows the main player: host is its window (null once playback
    // stopped), video the window the picture is in, search asks for that
    // window to be found inside host.
    void AttachToPlayer(HWND host, HWND video, BOOL fullScreen, BOOL search, PlayerKind kind);
    // The player's mouse moves and left-button presses and releases, passed
    // on to what lies over the picture under the cursor.
    void ForwardMouse(UINT message, WPARAM wParam, LPARAM lParam);
    // The window that shows the picture of a player of this kind.
    static HWND FindVideoWindow(HWND window, int kind);

    void DrawBackground(HDC dc, const RECT& rect) override;
    const _tagADSetting* GetSettings() override;
    const std::vector<_tagAD>* GetItems() override;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    CVideoADDisplayWnd* Overlay() const { return overlay_; }
    CPlayerSelector* AdPlayer() const { return adPlayer_; }
    int VideoIndex() const { return videoIndex_; }
    HWND VideoWindow() const { return video_; }
    bool AdPlayerPaused() const { return paused_ != 0; }
    // The window the process-wide hook watches, null when none or cleared.
    static HWND HookedWindow();

private:
    void BuildPaneFonts();
    void InstallHook(HWND video);
    void RemoveHook();
    void OnHookTimer();
    void OnWidthTimer();
    void OnOverlayTimer();
    void OnVideoTimer();
    void StartVideoAd();
    void CloseAdPlayer(bool detach);
    void RepaintAfterClose();
    void ReparentAdPlayer(HWND parent);
    bool AdPlayerOpen() const;
    bool ValidVideoAd(int index) const;
    static int Width(HWND window);
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);

    int busy_ = 0;
    CVideoADDisplayWnd* overlay_ = nullptr;
    CPlayerSelector* adPlayer_ = nullptr;
    int videoIndex_ = -1;
    int videoStarted_ = 0;
    int paused_ = 0;
    PlayerKind kind_ = PLAYER_NONE;
    HWND host_ = nullptr;
    HWND video_ = nullptr;
    BOOL fullScreen_ = FALSE;
    RECT videoRect_ = {0, 0, 0, 0};
    const UI_Mgr::SBmpMapMgr* skin_ = nullptr;
    RECT skinSource_ = {0, 0, 0, 0};
    // Where the ad player was last put, in its parent's client coordinates:
    // the area repainted once it closes.
    RECT adRect_ = {0, 0, 0, 0};
    HWND adParent_ = nullptr;
};
