// The status strip's rotation and the time display's text, pictures and
// statistics tip, as Static items of a visible window.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/ui/SkinPixels.h"
#include "tests/ui/WidgetHost.h"
#include "ui/CStatusWnd.h"
#include "ui/CTimeDisplayWnd.h"
#include "ui/SBmpMapMgr.h"
#include "ui/SkinIds.h"

namespace {

HWND MakeStatic(HWND parent, const RECT& r, int id)
{
    return CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, r.left, r.top,
                           r.right - r.left, r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

class StatusTime : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, skin.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN)); }
    UI_Mgr::SBmpMapMgr skin;
    WidgetHost host{{100, 100, 420, 160}};
};

TEST_F(StatusTime, RotationAndFallBack)
{
    CStatusWnd status;
    ASSERT_TRUE(status.SubclassWindow(MakeStatic(host.Handle(), {0, 0, 300, 16}, 205)));
    SendMessageW(status.Handle(), WM_SIZE, 0, MAKELPARAM(300, 16));
    EXPECT_EQ(L"", status.GetCurrentText());

    status.SetStateText(L"Buffering");
    EXPECT_GT(status.StateRect().right, 5 + 10);
    EXPECT_EQ(status.StateRect().right + 5, status.RotationRect().left);
    status.SetText(0, L"peers 3");
    status.SetText(1, L"title");
    std::vector<std::wstring> shown;
    for (int i = 0; i < 4; ++i) {
        shown.push_back(status.GetCurrentText());
        SendMessageW(status.Handle(), WM_TIMER, CStatusWnd::kRotateTimer, 0);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"peers 3", L"title", L"peers 3", L"title"}), shown);
    // Key 1 shown; removed, the first key takes its place.
    SendMessageW(status.Handle(), WM_TIMER, CStatusWnd::kRotateTimer, 0);
    EXPECT_EQ(1, status.CurrentKey());
    status.SetText(1, L"");
    EXPECT_EQ(L"peers 3", status.GetCurrentText());
    EXPECT_EQ(0, status.CurrentKey());
    SendMessageW(status.Handle(), WM_TIMER, CStatusWnd::kRotateTimer, 0);
    EXPECT_EQ(0, status.CurrentKey());

    status.ClearAll();
    EXPECT_EQ(L"", status.GetCurrentText());
    SendMessageW(status.Handle(), WM_TIMER, CStatusWnd::kRotateTimer, 0);
    EXPECT_EQ(0, status.CurrentKey());

    // Painting: black, with white text.
    status.SetStateText(L"Playing");
    DibCanvas canvas(300, 16);
    canvas.Fill(RGB(9, 9, 9));
    status.Paint(canvas.Dc());
    int white = 0, grey = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 300; ++x) {
            COLORREF c = canvas.At(x, y);
            white += c == RGB(255, 255, 255);
            grey += GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c) &&
                    c != RGB(9, 9, 9);
        }
    EXPECT_GT(white, 10);
    EXPECT_EQ(300 * 16, grey);  // all painted, white on black (smoothed edges grey)
}

TEST_F(StatusTime, TimeTextAndPictures)
{
    CTimeDisplayWnd time;
    ASSERT_TRUE(time.SubclassWindow(MakeStatic(host.Handle(), {4, 3, 157, 24}, 204)));
    time.SetPosition(3725);
    time.SetDuration(7322);
    EXPECT_EQ(L"01:02:05/02:02:02", time.Text());

    // Without a skin: a red field.
    DibCanvas plain(153, 21);
    time.Paint(plain.Dc());
    EXPECT_EQ(RGB(255, 0, 0), plain.At(1, 1));

    time.skin = &skin;
    time.backgroundIds[0] = IDB_BK_TIME_LEFT;
    time.backgroundIds[1] = IDB_BK_TIME_MID;
    time.backgroundIds[2] = IDB_BK_TIME_RIGHT;
    time.keyItemId = IDB_BG_TRANS;
    SendMessageW(time.Handle(), WM_SIZE, 0, MAKELPARAM(153, 21));
    const std::uint32_t icons[4] = {101, 102, 103, 104};
    time.SetIconItems(icons);
    // Text rectangle 5, 1, 147, 20; the 20 x 15 icon at 7, centred: top 3.
    EXPECT_EQ(7, time.IconRect().left);
    EXPECT_EQ(3, time.IconRect().top);
    EXPECT_EQ(27, time.IconRect().right);
    EXPECT_EQ(29, time.TextRect().left);

    time.level = 3;
    DibCanvas canvas(153, 21);
    time.Paint(canvas.Dc());
    ResourcePixels source(IDB_SKIN_MAIN);
    RECT icon;
    skin.GetItemRect(104, &icon);
    // The lit bars of the top level, bottom row.
    int same = 0;
    for (int x = 0; x < 20; ++x)
        same += source.At(icon.left + x, icon.bottom - 2) == canvas.At(7 + x, 3 + 13);
    EXPECT_GE(same, 12);
    RECT mid;
    skin.GetItemRect(IDB_BK_TIME_MID, &mid);
    EXPECT_EQ(source.At(mid.left, mid.top), canvas.At(80, 0));
}

TEST_F(StatusTime, StatisticsTipOnlyOverTheIcon)
{
    CTimeDisplayWnd time;
    ASSERT_TRUE(time.SubclassWindow(MakeStatic(host.Handle(), {4, 3, 157, 24}, 204)));
    time.skin = &skin;
    SendMessageW(time.Handle(), WM_SIZE, 0, MAKELPARAM(153, 21));
    const std::uint32_t icons[4] = {101, 102, 103, 104};
    time.SetIconItems(icons);
    time.SetToolTipText(L"peers 3, 120 KB/s");
    HWND tip = time.ToolTip();
    ASSERT_TRUE(IsWindow(tip));
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 1);

    POINT over = {time.IconRect().left + 5, time.IconRect().top + 5};
    ClientToScreen(time.Handle(), &over);
    MouseMoveTo(over.x, over.y);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tip) != FALSE; }));
    // Off the icon, still inside the window (the tool): the tip goes at once.
    MouseMoveTo(over.x + 80, over.y);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(tip); }, 2000));

    time.SetToolTipText(nullptr);
    MouseMoveTo(over.x, over.y);
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(IsWindowVisible(tip));
}

}  // namespace
