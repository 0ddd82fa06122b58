#pragma once
#include <windows.h>

#include <cstdint>

#include "platform/window/WindowBase.h"
#include "ui/CFakeBtn.h"
#include "ui/SVolumeCtrl.h"

namespace UI_Mgr {
class SBmpMapMgr;
}

// The bar across the bottom of the screen while the player is full screen:
// play/pause, stop and mute (drawn, not windows), the position bar and the
// volume slider. Borderless, topmost, never activated; it hides itself (and
// the cursor) 2 seconds after the last hover update. Its buttons reach the
// owner's window as the same WM_COMMAND ids as the control's own.
class CFullControl : public CWindowBase {
public:
    static const UINT_PTR kHideTimer = 1;
    static const UINT kHideAfterMs = 2000;
    static const int kHeight = 48;

    ~CFullControl() override;

    // Before Create: the skin (not owned), the owner's window and the
    // handlers the sliders call.
    void SetSkin(UI_Mgr::SBmpMapMgr* skin) { skin_ = skin; }
    void SetOwner(HWND owner) { owner_ = owner; }
    void SetHandlers(UI::SliderCallback position, UI::SliderCallback volume, void* user);
    // The hidden bar, made once with the control's window.
    HWND CreateHidden();

    void Show();
    void Hide();
    void HoverUpdate();
    void Paint(HDC dc);

    void SetPlayState(int state);
    void SetStopState(int state);
    void SetMuteState(int state);
    void SetProgress(int position, int mark);
    void SetDuration(std::uint64_t seconds);
    void SetVolume(int volume);
    void SetVodFlag(bool vod);
    void ApplyAll();

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    UI::SVolumeCtrl& PositionBar() { return position_; }
    UI::SVolumeCtrl& VolumeSlider() { return volume_; }
    CFakeBtn& Button(int index) { return buttons_[index]; }
    bool CursorHidden() const { return cursorHidden_; }

protected:
    void DescribeClass(WNDCLASSEXW& wc) override;

private:
    void OnCreate();
    void Layout(int width, int height);
    void ApplyButton(CFakeBtn& button, int state);
    void RestoreCursor();
    void Mouse(UINT message, POINT at);

    UI::SVolumeCtrl volume_;
    UI::SVolumeCtrl position_;
    CFakeBtn buttons_[3];  // play/pause, stop, mute
    UI_Mgr::SBmpMapMgr* skin_ = nullptr;
    HWND owner_ = nullptr;
    UI::SliderCallback positionHandler_ = nullptr, volumeHandler_ = nullptr;
    void* handlerUser_ = nullptr;

    int volumeValue_ = 0;
    bool vod_ = false;
    int positionValue_ = 0, mark_ = 0;
    int playState_ = 0, stopState_ = 0, muteState_ = 0;
    std::uint64_t duration_ = 0;
    HCURSOR arrow_ = LoadCursorW(nullptr, IDC_ARROW);
    // The bar hides the cursor at most once and always gives it back.
    bool cursorHidden_ = false;
};
