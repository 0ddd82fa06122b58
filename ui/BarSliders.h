#pragma once

#include "ui/SVolumeCtrl.h"

namespace UI_Mgr {
class SBmpMapMgr;
}

// The control bar's two sliders as the main skin draws them, in the control
// and in the full-screen bar: pictures, key item, sizes, range and look.
// The volume slider's range is the width of its track picture; the position
// bar's is 0-1000 until the layout gives it its width. The skin must exist
// (loaded or not).
void SetupVolumeSlider(UI::SVolumeCtrl& slider, UI_Mgr::SBmpMapMgr* skin);
void SetupPositionBar(UI::SVolumeCtrl& bar, UI_Mgr::SBmpMapMgr* skin, int state);
