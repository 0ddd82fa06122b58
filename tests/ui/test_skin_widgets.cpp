// The skinned button and slider in a visible window, driven by real input
// (SendInput) and by the messages their owner sends.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "tests/ui/SkinPixels.h"
#include "tests/ui/WidgetHost.h"
#include "ui/SBmpMapMgr.h"
#include "ui/SDrawBtn.h"
#include "ui/SVolumeCtrl.h"
#include "ui/SkinIds.h"
#include "ui/ToolTipWindow.h"

namespace {

const RECT kHostPlace = {100, 100, 400, 160};

class Widgets : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(1, skin.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN));
        ASSERT_TRUE(host.Handle());
    }
    void TearDown() override { GetToolTipWindow(host.Handle(), false); }

    // An owner-drawn dialog-style button at (x, 10), 28 x 28, subclassed.
    HWND MakeButton(UI::SDrawBtn& button, int x = 10, int id = 201)
    {
        HWND item = CreateWindowExW(0, L"Button", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, x,
                                    10, 28, 28, host.Handle(), reinterpret_cast<HMENU>(id),
                                    nullptr, nullptr);
        button.SubclassWindow(item);
        button.skin = &skin;
        button.SetPictures(IDB_BTN_PLAY_N);
        button.SetTransparent(true, skin.GetItemKeyColor(IDB_BG_TRANS));
        UpdateWindow(item);
        return item;
    }
    POINT ScreenOf(HWND window, int x, int y)
    {
        POINT p = {x, y};
        ClientToScreen(window, &p);
        return p;
    }

    UI_Mgr::SBmpMapMgr skin;
    WidgetHost host{kHostPlace};
};

TEST_F(Widgets, ReleaseOutsideClicksNothing)
{
    UI::SDrawBtn button;
    HWND item = MakeButton(button);
    POINT centre = ScreenOf(item, 14, 14);

    // Inside and back: one click.
    MouseMoveTo(centre.x, centre.y);
    MouseButton(true);
    ASSERT_TRUE(PumpUntil([&] { return GetCapture() == item; }));
    MouseButton(false);
    ASSERT_TRUE(PumpUntil([&] { return !host.commands.empty(); }));
    EXPECT_EQ(MAKEWPARAM(201, BN_CLICKED), host.commands[0]);

    // Pressed (far enough from the first press not to make a double click),
    // dragged out, released: no click, the normal picture.
    host.commands.clear();
    MouseMoveTo(centre.x + 9, centre.y + 9);
    MouseButton(true);
    ASSERT_TRUE(PumpUntil([&] { return GetCapture() == item; }));
    MouseMoveTo(centre.x + 200, centre.y + 200);
    MouseButton(false);
    ASSERT_TRUE(PumpUntil([&] { return GetCapture() == nullptr; }));
    PumpUntil([&] { return !button.tracking; }, 1000);
    UpdateWindow(item);
    EXPECT_TRUE(host.commands.empty());
    EXPECT_EQ(0, button.tracking);
    EXPECT_EQ(0, button.drawnState);
}

TEST_F(Widgets, DisabledShowsPictureThreeAndStopsBlinking)
{
    UI::SDrawBtn button;
    HWND item = MakeButton(button);

    DRAWITEMSTRUCT draw = {};
    DibCanvas canvas(28, 28);
    draw.hDC = canvas.Dc();
    draw.rcItem = {0, 0, 28, 28};
    const struct { UINT itemState; int latched, tracking, drawn; } cases[] = {
        {0, 0, 0, 0},
        {0, 0, 1, 1},
        {ODS_SELECTED, 0, 1, 2},
        {ODS_SELECTED, 0, 0, 0},
        {0, 1, 0, 2},
        {ODS_DISABLED, 1, 1, 3},
        {ODS_DISABLED | ODS_SELECTED, 0, 1, 3},
    };
    for (const auto& c : cases) {
        draw.itemState = c.itemState;
        button.latched = c.latched;
        button.tracking = c.tracking;
        button.DrawItem(draw);
        EXPECT_EQ(c.drawn, button.drawnState) << c.itemState << c.latched << c.tracking;
    }
    // The disabled picture really drawn: its centre pixel.
    ResourcePixels source(IDB_SKIN_MAIN);
    RECT disabled;
    skin.GetItemRect(IDB_BTN_PLAY_N + 3, &disabled);
    COLORREF expected = source.At(disabled.left + 14, disabled.top + 1);
    EXPECT_EQ(expected, canvas.At(14, 1));

    // Blinking alternates 0 and 2 while enabled; disabled, it stops itself.
    button.latched = button.tracking = 0;
    button.drawnState = 0;
    button.blinking = 1;
    ASSERT_TRUE(SetTimer(item, UI::SDrawBtn::kBlinkTimer, 60000, nullptr));
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        SendMessageW(item, WM_TIMER, UI::SDrawBtn::kBlinkTimer, 0);
        seen.push_back(button.drawnState);
    }
    EXPECT_EQ((std::vector<int>{2, 0, 2, 0}), seen);
    EnableWindow(item, FALSE);
    SendMessageW(item, WM_TIMER, UI::SDrawBtn::kBlinkTimer, 0);
    EXPECT_EQ(0, button.blinking);
    EXPECT_FALSE(KillTimer(item, UI::SDrawBtn::kBlinkTimer));  // already gone
}

TEST_F(Widgets, ToolTipsPerOwner)
{
    EXPECT_EQ(nullptr, GetToolTipWindow(host.Handle(), false));
    HWND tip = GetToolTipWindow(host.Handle(), true);
    ASSERT_TRUE(IsWindow(tip));
    EXPECT_EQ(tip, GetToolTipWindow(host.Handle(), true));
    EXPECT_EQ(host.Handle(), GetWindow(tip, GW_OWNER));

    UI::SDrawBtn button;
    MakeButton(button);
    EXPECT_FALSE(button.SetToolTip(reinterpret_cast<HWND>(0x1234), L"播放"));
    ASSERT_TRUE(button.SetToolTip(tip, L"播放"));
    EXPECT_EQ(L"播放", button.ToolTipText());
    EXPECT_EQ(1, SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    EXPECT_TRUE(button.SetToolTip(tip, nullptr));
    EXPECT_EQ(0, SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));

    GetToolTipWindow(host.Handle(), false);
    EXPECT_FALSE(IsWindow(tip));
    // A stale entry is replaced by a new window.
    HWND again = GetToolTipWindow(host.Handle(), true);
    EXPECT_TRUE(IsWindow(again));
}

class Slider : public Widgets {
protected:
    // A slider of its own class, width wide, with the volume slider's items.
    void Make(int width, int thumb = 10)
    {
        ASSERT_TRUE(slider.Create(host.Handle(), {20, 40, 20 + width, 54}, L"",
                                  WS_CHILD | WS_VISIBLE, 0, 209));
        slider.skin = &skin;
        slider.thumbWidth = thumb;
        slider.thumbHeight = 11;
        slider.trackHeight = 8;
        slider.Layout();
    }
    UI::SVolumeCtrl slider;
};

TEST_F(Slider, ClassAndMathTable)
{
    Make(200);
    wchar_t name[32];
    GetClassNameW(slider.Handle(), name, 32);
    EXPECT_STREQ(L"KX:SliderCtrl", name);

    const struct { int low, high, thumb, perMille, left, readBack; } cases[] = {
        {0, 110, 10, 500, 50, 500},
        {0, 110, 10, 1000, 100, 1000},
        {0, 110, 10, 0, 0, 0},
        {20, 130, 10, 250, 45, 250},
        {0, 1000, 10, 333, 329, 332},
        // No travel: per mille 0, thumb at low, never a division by zero.
        {0, 10, 10, 700, 0, 0},
        {30, 35, 10, 700, 30, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.perMille);
        slider.thumbWidth = c.thumb;
        slider.SetRangeLow(-5000);
        slider.SetRangeHigh(c.high);
        slider.SetRangeLow(c.low);
        slider.SetPos(c.perMille == 0 ? 1 : 0);
        slider.SetPos(c.perMille);
        EXPECT_EQ(c.left, slider.ThumbLeft());
        EXPECT_EQ(c.readBack, slider.GetPos());
    }
    // The same per mille again: nothing to do.
    slider.SetRangeLow(0);
    slider.SetRangeHigh(110);
    slider.SetPos(300);
    EXPECT_FALSE(slider.SetPos(300));
    // The thumb keeps its relative place when the range changes.
    slider.SetRangeHigh(210);
    EXPECT_EQ(60, slider.ThumbLeft());
    // A high below low swaps the two.
    slider.SetRangeHigh(-40);
    EXPECT_EQ(-40, slider.Low());
    EXPECT_EQ(0, slider.High());
    // The second mark over the full range, with the same guard.
    slider.SetRangeLow(0);
    slider.SetRangeHigh(200);
    EXPECT_TRUE(slider.SetPos2(250));
    EXPECT_EQ(250, slider.GetPos2());
    slider.SetRangeHigh(0);
    EXPECT_EQ(0, slider.GetPos2());
}

std::vector<int> g_changes;
void RecordChange(const UI::SliderChange* change, void* user)
{
    EXPECT_EQ(&g_changes, user);
    EXPECT_EQ(0, change->reserved0);
    EXPECT_EQ(0, change->reserved2);
    g_changes.push_back(change->perMille);
}

TEST_F(Slider, DragPinsAtTheEnds)
{
    Make(200);
    slider.SetRangeHigh(200);
    slider.SetPos(500);
    slider.callback = RecordChange;
    slider.callbackUser = &g_changes;
    g_changes.clear();
    POINT grip = ScreenOf(slider.Handle(), slider.ThumbLeft() + 5, 7);

    MouseMoveTo(grip.x, grip.y);
    MouseButton(true);
    ASSERT_TRUE(PumpUntil([&] { return GetCapture() == slider.Handle(); }));
    EXPECT_EQ(UI::SVolumeCtrl::kDragging, slider.state);
    MouseMoveTo(grip.x + 400, grip.y + 30);
    ASSERT_TRUE(PumpUntil([&] { return !g_changes.empty() && g_changes.back() == 1000; }));
    EXPECT_EQ(190, slider.ThumbLeft());
    MouseMoveTo(grip.x - 400, grip.y);
    ASSERT_TRUE(PumpUntil([&] { return g_changes.back() == 0; }));
    EXPECT_EQ(0, slider.ThumbLeft());
    MouseButton(false);
    ASSERT_TRUE(PumpUntil([&] { return GetCapture() == nullptr; }));
    EXPECT_NE(UI::SVolumeCtrl::kDragging, slider.state);

    // A click beside the thumb makes it jump there, one callback.
    g_changes.clear();
    POINT at = ScreenOf(slider.Handle(), 120, 7);
    MouseMoveTo(at.x, at.y);
    MouseButton(true);
    MouseButton(false);
    ASSERT_TRUE(PumpUntil([&] { return g_changes.size() == 1; }));
    EXPECT_EQ(120, slider.ThumbLeft());
    EXPECT_EQ(120 * 1000 / 190, g_changes[0]);

    // Disabled: presses are ignored.
    slider.state = UI::SVolumeCtrl::kDisabled;
    g_changes.clear();
    POINT other = ScreenOf(slider.Handle(), 30, 7);
    MouseMoveTo(other.x, other.y);
    MouseButton(true);
    MouseButton(false);
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(g_changes.empty());
    EXPECT_EQ(UI::SVolumeCtrl::kDisabled, slider.state);
}

TEST_F(Slider, TimeTip)
{
    Make(200);
    slider.SetRangeHigh(200);
    HWND tip = GetToolTipWindow(host.Handle(), true);
    ASSERT_TRUE(slider.SetToolTip(tip, L"00:00"));

    // Without a duration: no tip text, nothing relayed.
    SendMessageW(slider.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(100, 5));
    EXPECT_EQ(L"00:00", slider.ToolTipText());

    const struct { std::uint64_t duration; int x; const wchar_t* text; } cases[] = {
        {25 * 3600, 500, L"01:00:00"},   // right of the end: the duration, hours mod 24
        {7322, 95, L"01:01:01"},         // half way
        {7322, -50, L"00:00:00"},        // left of the start
        {3725, 190, L"01:02:05"},
    };
    for (const auto& c : cases) {
        slider.duration = c.duration;
        SendMessageW(slider.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(c.x, 5));
        EXPECT_EQ(c.text, slider.ToolTipText()) << c.x;
    }
}

TEST_F(Slider, PaintsTrackFillAndThumb)
{
    Make(100);
    slider.thumbIds[0] = slider.thumbIds[1] = IDB_VOL_BTN_N;
    slider.thumbIds[2] = slider.thumbIds[3] = IDB_VOL_BTN_S;
    slider.fillId = IDB_VOL_LINE_S;
    slider.trackId = IDB_VOL_LINE_N;
    slider.keyItemId = IDB_BG_TRANS;
    slider.thumbWidth = 5;
    slider.SetRangeHigh(47);
    slider.SetPos(500);
    DibCanvas canvas(100, 14);
    const COLORREF sentinel = RGB(1, 2, 3);
    canvas.Fill(sentinel);
    slider.Paint(canvas.Dc());

    ResourcePixels source(IDB_SKIN_MAIN);
    RECT fill, thumb;
    skin.GetItemRect(IDB_VOL_LINE_S, &fill);
    skin.GetItemRect(IDB_VOL_BTN_N, &thumb);
    const RECT& t = slider.TrackRect();
    // The last row of the fill, left of the thumb, is the fill item's own.
    EXPECT_EQ(source.At(fill.left + 2, fill.bottom - 1), canvas.At(2, t.bottom - 1));
    EXPECT_EQ(source.At(thumb.left + 2, thumb.top + 5),
              canvas.At(slider.ThumbLeft() + 2, slider.ThumbRect().top + 5));
    // Key pixels of the track leave what was under them.
    EXPECT_EQ(sentinel, canvas.At(1, t.top));
}

}  // namespace
