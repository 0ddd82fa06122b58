#include "ui/BarSliders.h"

#include "ui/SBmpMapMgr.h"
#include "ui/SkinIds.h"


void SetupVolumeSlider(UI::SVolumeCtrl& slider, UI_Mgr::SBmpMapMgr* skin)
{
    SIZE thumb = skin->ItemSize(IDB_VOL_BTN_N);
    slider.skin = skin;
    slider.thumbIds[0] = slider.thumbIds[1] = IDB_VOL_BTN_N;
    slider.thumbIds[2] = slider.thumbIds[3] = IDB_VOL_BTN_S;
    slider.fillId = IDB_VOL_LINE_S;
    slider.trackId = IDB_VOL_LINE_N;
    slider.keyItemId = IDB_BG_TRANS;
    slider.thumbWidth = thumb.cx;
    slider.thumbHeight = thumb.cy;
    slider.trackHeight = skin->ItemSize(IDB_VOL_LINE_S).cy;
    slider.SetRangeLow(0);
    slider.SetRangeHigh(skin->ItemSize(IDB_VOL_LINE_N).cx);
    slider.state = UI::SVolumeCtrl::kNormal;
}

void SetupPositionBar(UI::SVolumeCtrl& bar, UI_Mgr::SBmpMapMgr* skin, int state)
{
    SIZE thumb = skin->ItemSize(IDB_PRO_BTN_N);
    bar.skin = skin;
    for (int i = 0; i < 4; ++i)
        bar.thumbIds[i] = IDB_PRO_BTN_N + i;
    bar.fillId = IDB_PROG_S;
    bar.trackId = IDB_PROG_H;
    bar.secondId = IDB_PROG_N;
    bar.keyItemId = IDB_BG_TRANS;
    bar.thumbWidth = thumb.cx;
    bar.thumbHeight = thumb.cy;
    bar.trackHeight = skin->ItemSize(IDB_PROG_H).cy;
    bar.SetRangeLow(0);
    bar.SetRangeHigh(1000);
    bar.SetPos(0);
    bar.state = state;
}
