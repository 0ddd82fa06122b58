#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/window/WindowBase.h"
#include "ui/ToolTipTool.h"

namespace UI_Mgr {
class SBmpMapMgr;
}

namespace UI {

// What the change callback receives: the thumb's place in per mille.
struct SliderChange {
    std::int32_t reserved0;
    std::int32_t perMille;
    std::int32_t reserved2;
};
using SliderCallback = void (*)(const SliderChange* change, void* user);

// A horizontal slider drawn from a skin: the volume slider and the position
// bar (with its second, "downloaded" mark and a time tooltip). Wraps a Static
// item, or is a window of its own of the class "KX:SliderCtrl". Positions
// cross the interface in per mille of the thumb's travel
// (high - thumb width - low); the owner learns of drags only through the
// callback, once per move and once per click-to-jump.
class SVolumeCtrl : public CWindowBase {
public:
    enum State { kNormal = 0, kHover = 1, kDragging = 2, kDisabled = 3 };

    bool SetRangeHigh(int high);
    bool SetRangeLow(int low);
    bool SetPos(int perMille);
    bool SetPos2(int perMille);
    int GetPos() const;
    int GetPos2() const;
    bool SetToolTip(HWND tip, const wchar_t* text);
    bool UpdateToolTipText(const wchar_t* text);
    void Layout();
    void Drag(int x);
    // Paints the slider into any DC, as WM_PAINT does.
    void Paint(HDC dc);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    std::uint32_t backgroundId = 0;
    std::uint32_t thumbIds[4] = {};
    std::uint32_t fillId = 0;
    std::uint32_t trackId = 0;
    std::uint32_t secondId = 0;
    std::uint32_t keyItemId = 0;
    int state = kNormal;
    int thumbWidth = 0, thumbHeight = 0, trackHeight = 0;
    SliderCallback callback = nullptr;
    void* callbackUser = nullptr;
    UI_Mgr::SBmpMapMgr* skin = nullptr;
    std::uint64_t duration = 0;

    int Low() const { return low_; }
    int High() const { return high_; }
    int ThumbLeft() const { return thumbLeft_; }
    const RECT& TrackRect() const { return track_; }
    const RECT& ThumbRect() const { return thumb_; }
    const std::wstring& ToolTipText() const { return tool_.Text(); }

protected:
    void DescribeClass(WNDCLASSEXW& wc) override;

private:
    int Travel() const { return high_ - thumbWidth - low_; }
    void Rescale(int oldLow, int oldHigh);
    void Invalidate(bool withParent);
    bool InThumb(int x, int y) const;
    void ShowTimeAt(int x);
    bool HandleMouse(UINT message, LPARAM lParam);

    RECT track_ = {0, 0, 0, 0};
    RECT thumb_ = {0, 0, 0, 0};
    int low_ = 0, high_ = 100;
    int thumbLeft_ = 0;
    int second_ = 0;
    int dragOffset_ = 0;
    int capturing_ = 0;
    ToolTipTool tool_;
};

}  // namespace UI
