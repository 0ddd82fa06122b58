// The control bar in a container: the places of its items and of the player
// by layout mode, its painting, the full-screen window search and the
// full-screen bar, with real input where the user would click.
#include "tests/control/ControlPage.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/ControlIds.h"
#include "control/FullScreenSearch.h"
#include "tests/ui/SkinPixels.h"
#include "tests/ui/WidgetHost.h"
#include "ui/SkinIds.h"
#include "ui/ToolTipWindow.h"

namespace {

const DISPID kPlayMode = 6, kVolume = 15, kMute = 16, kInfoString = 25, kEnableControlBar = 44;

// WM_COMMAND reaching the control window, recorded above its own procedure.
std::vector<std::pair<WPARAM, LPARAM>> g_commands;
WNDPROC g_controlProc = nullptr;
LRESULT CALLBACK RecordCommands(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        g_commands.push_back({wParam, lParam});
    return CallWindowProcW(g_controlProc, hwnd, message, wParam, lParam);
}

// The bar on a page that gives the control no parameters.
class ControlLayout : public ::testing::Test, protected controltest::ControlPage {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override
    {
        ASSERT_TRUE(Open());
        Resize(400, 300);
    }

    void TearDown() override
    {
        if (g_controlProc && control_->Window())
            SetWindowLongPtrW(control_->Window(), GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(g_controlProc));
        g_controlProc = nullptr;
        Close();
    }

    void Resize(int w, int h) { MoveWindow(control_->Window(), 0, 0, w, h, TRUE); }
    HWND Item(int id) { return GetDlgItem(control_->Window(), id); }
    RECT ItemRect(int id)
    {
        RECT r;
        GetWindowRect(Item(id), &r);
        MapWindowPoints(nullptr, control_->Window(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    int Height()
    {
        RECT r;
        GetWindowRect(control_->Window(), &r);
        return r.bottom - r.top;
    }
};

std::string Text(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

TEST_F(ControlLayout, ItemsAndPlayerByMode)
{
    // 400 x 300: full and compact put the bottom bar at y = 252, audio at 16.
    const struct {
        const wchar_t* mode;
        RECT player;
        bool bar, status, time;
        RECT statusRect;
        int barY;
    } cases[] = {
        {L"full", {0, 27, 400, 235}, true, true, true, {0, 236, 400, 252}, 252},
        {L"compact", {0, 27, 400, 252}, true, false, true, {}, 252},
        {L"simple", {0, 0, 400, 283}, false, true, false, {0, 284, 400, 300}, 0},
        {L"mini", {0, 0, 400, 300}, false, false, false, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode, c.mode + wcslen(c.mode)));
        ASSERT_EQ(olehost::PutText(dispatch_, kPlayMode, c.mode), S_OK);
        EXPECT_EQ(Text(c.player), Text(control_->PlayerRect()));
        EXPECT_EQ(Text(c.player), Text(control_->MainPlayer().m_rect));
        EXPECT_EQ(Text(c.player), Text(control_->AdPlayer().m_rect)) << "the advertisement player";
        for (int id : {IDC_PLAY, IDC_STOP, IDC_MUTE, IDC_VOLUME, IDC_PROGRESS})
            EXPECT_EQ(c.bar, IsWindowVisible(Item(id)) != FALSE) << id;
        EXPECT_EQ(c.time, IsWindowVisible(Item(IDC_TIME)) != FALSE);
        EXPECT_EQ(c.status, IsWindowVisible(Item(IDC_STATUS)) != FALSE);
        if (c.status) {
            EXPECT_EQ(Text(c.statusRect), Text(ItemRect(IDC_STATUS)));
        }
        if (!c.bar)
            continue;
        const int y = c.barY;
        EXPECT_EQ(Text({4, 3, 157, 24}), Text(ItemRect(IDC_TIME)));
        EXPECT_EQ(Text({376, 7, 389, 20}), Text(ItemRect(IDC_FULLSCREEN)));
        EXPECT_EQ(Text({295, 7, 308, 20}), Text(ItemRect(IDC_PLAYLIST)));
        EXPECT_EQ(Text({110, y + 4, 375, y + 18}), Text(ItemRect(IDC_PROGRESS)));
        EXPECT_EQ(Text({9, y + 13, 37, y + 41}), Text(ItemRect(IDC_PLAY)));
        EXPECT_EQ(Text({43, y + 22, 62, y + 41}), Text(ItemRect(IDC_STOP)));
        EXPECT_EQ(Text({115, y + 28, 128, y + 39}), Text(ItemRect(IDC_MUTE)));
        EXPECT_EQ(Text({132, y + 27, 179, y + 38}), Text(ItemRect(IDC_VOLUME)));
        EXPECT_EQ(Text({189, y + 20, 390, y + 43}), Text(ItemRect(IDC_AD)));
    }
}

// A resize moves both players with the bar.
TEST_F(ControlLayout, BothPlayersFollowAResize)
{
    const struct { const wchar_t* mode; RECT player; } cases[] = {
        {L"full", {0, 27, 500, 335}}, {L"compact", {0, 27, 500, 352}},
        {L"simple", {0, 0, 500, 383}}, {L"mini", {0, 0, 500, 400}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode, c.mode + wcslen(c.mode)));
        ASSERT_EQ(olehost::PutText(dispatch_, kPlayMode, c.mode), S_OK);
        Resize(500, 400);
        EXPECT_EQ(Text(c.player), Text(control_->MainPlayer().m_rect));
        EXPECT_EQ(Text(c.player), Text(control_->AdPlayer().m_rect));
        Resize(400, 300);
    }
}

TEST_F(ControlLayout, AudioIsSixtyFourHighAndStaysSo)
{
    ASSERT_EQ(olehost::PutText(dispatch_, kPlayMode, L"audio"), S_OK);
    EXPECT_EQ(64, Height());
    RECT player = control_->PlayerRect();
    EXPECT_TRUE(IsRectEmpty(&player));
    for (const CPlayerSelector* selector : {&control_->MainPlayer(), &control_->AdPlayer()})
        EXPECT_TRUE(IsRectEmpty(&selector->m_rect));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_TIME)));
    EXPECT_FALSE(IsWindowVisible(Item(IDC_CHAT)));
    EXPECT_TRUE(IsWindowVisible(Item(IDC_PLAY)));
    EXPECT_EQ(Text({0, 0, 400, 16}), Text(ItemRect(IDC_STATUS)));
    EXPECT_EQ(Text({9, 29, 37, 57}), Text(ItemRect(IDC_PLAY)));
    ASSERT_EQ(olehost::PutText(dispatch_, kPlayMode, L"full"), S_OK);
    EXPECT_EQ(64, Height());
}

TEST_F(ControlLayout, NarrowControlKeepsAThirtyPixelPositionBar)
{
    Resize(100, 300);
    RECT bar = ItemRect(IDC_PROGRESS);
    EXPECT_EQ(110, bar.left);
    EXPECT_EQ(140, bar.right);
    MINMAXINFO info = {};
    SendMessageW(control_->Window(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(280, info.ptMinTrackSize.x);
    EXPECT_EQ(267, info.ptMinTrackSize.y);
}

TEST_F(ControlLayout, PaintingByMode)
{
    ResourcePixels skin(IDB_SKIN_MAIN);
    const RECT client = {0, 0, 400, 300};
    DibCanvas canvas(400, 300);
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);

    olehost::PutText(dispatch_, kPlayMode, L"full");
    canvas.Fill(RGB(1, 2, 3));
    control_->PaintBar(canvas.Dc(), client);
    EXPECT_EQ(skin.At(258, 74 + 10), canvas.At(200, 10));   // header, stretched
    EXPECT_EQ(black, canvas.At(200, 100));                  // player area
    EXPECT_EQ(white, canvas.At(200, 235));                  // the line under it
    EXPECT_EQ(RGB(1, 2, 3), canvas.At(200, 240));           // the status strip's own
    EXPECT_EQ(skin.At(137 + 5, 15 + 20), canvas.At(5, 252 + 20));  // bar, left piece
    EXPECT_EQ(skin.At(174, 74 + 20), canvas.At(200, 252 + 20));    // bar, middle

    olehost::PutText(dispatch_, kPlayMode, L"compact");
    canvas.Fill(RGB(1, 2, 3));
    control_->PaintBar(canvas.Dc(), client);
    EXPECT_EQ(black, canvas.At(200, 250));
    EXPECT_EQ(skin.At(174, 74), canvas.At(200, 252));

    olehost::PutText(dispatch_, kPlayMode, L"simple");
    control_->PaintBar(canvas.Dc(), client);
    EXPECT_EQ(black, canvas.At(200, 282));
    EXPECT_EQ(white, canvas.At(200, 283));

    olehost::PutText(dispatch_, kPlayMode, L"mini");
    control_->PaintBar(canvas.Dc(), client);
    EXPECT_EQ(black, canvas.At(399, 299));
}

TEST_F(ControlLayout, PutsReachTheWidgets)
{
    VARIANT v;
    v.vt = VT_UI4;
    v.ulVal = 40;
    ASSERT_EQ(olehost::Put(dispatch_, kVolume, v), S_OK);
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    ASSERT_EQ(olehost::Put(dispatch_, kMute, v), S_OK);
    EXPECT_EQ(1, control_->GetButtonState(IDC_MUTE));
    EnableWindow(Item(IDC_MUTE), FALSE);
    EXPECT_EQ(2, control_->GetButtonState(IDC_MUTE));
    EXPECT_EQ(L"", olehost::GetText(dispatch_, kInfoString));
    // The full-screen bar mirrors the volume slider's place, to the pixel of
    // a 42-pixel travel (some 24 per mille a pixel, twice over).
    control_->SyncFullControl(true);
    EXPECT_NEAR(400, control_->FullControl().VolumeSlider().GetPos(), 50);
    control_->SyncFullControl(false);
}

// The tip text of one of the bar's items, as its tooltip holds it.
std::wstring TipOf(HWND bar, HWND item)
{
    HWND tip = GetToolTipWindow(bar, true);
    wchar_t text[80] = {};
    TTTOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = bar;
    info.uId = reinterpret_cast<UINT_PTR>(item);
    info.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
    return text;
}

TEST_F(ControlLayout, VideoSizeToggleSwapsTheTip)
{
    HWND bar = control_->Window();
    HWND size = Item(IDC_VIDEOSIZE);
    // Seven buttons and the position bar; the texts come from the string
    // table, written in UTF-8.
    EXPECT_EQ(8, SendMessageW(GetToolTipWindow(bar, true), TTM_GETTOOLCOUNT, 0, 0));
    EXPECT_EQ(L"播放", TipOf(bar, Item(IDC_PLAY)));
    EXPECT_EQ(L"00:00", TipOf(bar, Item(IDC_PROGRESS)));
    EXPECT_EQ(L"视频原始大小", TipOf(bar, size));
    VARIANT v;
    olehost::Get(dispatch_, 26, v);
    EXPECT_EQ(VARIANT_FALSE, v.boolVal);
    SendMessageW(bar, WM_COMMAND, IDC_VIDEOSIZE, reinterpret_cast<LPARAM>(size));
    olehost::Get(dispatch_, 26, v);
    EXPECT_EQ(VARIANT_TRUE, v.boolVal);
    EXPECT_EQ(L"视频自适应", TipOf(bar, size));
    // Only a click: another notification of the item toggles nothing.
    SendMessageW(bar, WM_COMMAND, MAKEWPARAM(IDC_VIDEOSIZE, 1), reinterpret_cast<LPARAM>(size));
    olehost::Get(dispatch_, 26, v);
    EXPECT_EQ(VARIANT_TRUE, v.boolVal);
    SendMessageW(bar, WM_COMMAND, IDC_VIDEOSIZE, reinterpret_cast<LPARAM>(size));
    olehost::Get(dispatch_, 26, v);
    EXPECT_EQ(VARIANT_FALSE, v.boolVal);
    EXPECT_EQ(L"视频原始大小", TipOf(bar, size));
}

HWND MakeTopLevel(DWORD style, const RECT& r)
{
    return CreateWindowExW(0, L"Static", L"", style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
}

struct OtherThread {
    HWND window;
    HANDLE made, done;
    RECT screen;
};

// A full-screen window of another thread, kept until done is set.
DWORD WINAPI OtherThreadWindow(void* p)
{
    auto a = static_cast<OtherThread*>(p);
    a->window = MakeTopLevel(WS_POPUP, a->screen);
    SetEvent(a->made);
    WaitForSingleObject(a->done, 10000);
    DestroyWindow(a->window);
    return 0;
}

TEST_F(ControlLayout, TheAdvertisementPaneLiesOnTheBarsMiddle)
{
    olehost::PutText(dispatch_, kPlayMode, L"full");
    ASSERT_EQ(control_->AdPane().Handle(), Item(IDC_AD));
    const RECT pane = ItemRect(IDC_AD);
    const int w = pane.right - pane.left, h = pane.bottom - pane.top;
    ASSERT_EQ(h, 23);
    DibCanvas bar(400, 300), own(w, h);
    control_->PaintBar(bar.Dc(), RECT{0, 0, 400, 300});
    control_->AdPane().Paint(own.Dc());
    for (int y : {0, h / 2, h - 1})
        EXPECT_EQ(own.At(w / 2, y), bar.At(pane.left + w / 2, pane.top + y)) << y;
    // Without a player nothing is attached, and nothing breaks.
    control_->AttachAdPane(true);
    control_->AttachAdPane(false);
    EXPECT_EQ(control_->AdPane().VideoWindow(), nullptr);
}

TEST(FullScreenSearch, OnlyACaptionlessWindowOfThePlayersThreadCoveringTheScreen)
{
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    HWND host = MakeTopLevel(WS_POPUP, {0, 0, 100, 100});
    HWND player = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 50, 50, host, nullptr,
                                  nullptr, nullptr);
    EXPECT_EQ(nullptr, FindFullScreenWindow(player)) << "no child";
    CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 10, 10, player, nullptr, nullptr, nullptr);

    HWND captioned = MakeTopLevel(WS_POPUP | WS_CAPTION, screen);
    HWND smaller = MakeTopLevel(WS_POPUP, {0, 0, screen.right, screen.bottom - 1});
    EXPECT_EQ(nullptr, FindFullScreenWindow(player));

    // One of another thread covering the screen is not the player's.
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OtherThread other = {nullptr, made, done, screen};
    HANDLE thread = CreateThread(nullptr, 0, OtherThreadWindow, &other, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(made, 10000));
    ASSERT_NE(nullptr, other.window);
    EXPECT_EQ(nullptr, FindFullScreenWindow(player));

    HWND full = MakeTopLevel(WS_POPUP, screen);
    EXPECT_EQ(full, FindFullScreenWindow(player));

    SetEvent(done);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(made);
    CloseHandle(done);
    for (HWND w : {full, smaller, captioned, host})
        DestroyWindow(w);
}

// The display count of this thread, where the bar lives: GetCursorInfo would
// answer for whichever thread has the foreground, and another test's window
// may have taken it.
bool CursorShowing()
{
    const int count = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    return count >= 0;
}

TEST_F(ControlLayout, FullScreenBarGeometryChildrenAndAutoHide)
{
    CFullControl& bar = control_->FullControl();
    ASSERT_TRUE(IsWindow(bar.Handle()));
    EXPECT_FALSE(IsWindowVisible(bar.Handle()));
    wchar_t name[32];
    GetClassNameW(bar.Handle(), name, 32);
    EXPECT_STREQ(L"KX:FullCtrl", name);
    EXPECT_TRUE(GetWindowLongW(bar.Handle(), GWL_EXSTYLE) & WS_EX_NOACTIVATE);

    control_->SyncFullControl(true);
    ASSERT_TRUE(IsWindowVisible(bar.Handle()));
    RECT r;
    GetWindowRect(bar.Handle(), &r);
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(Text({0, h - 48, w, h}), Text(r));
    for (int id : {208, 209}) {
        HWND child = GetDlgItem(bar.Handle(), id);
        ASSERT_TRUE(child) << id;
        GetClassNameW(child, name, 32);
        EXPECT_STREQ(L"KX:SliderCtrl", name);
    }
    RECT pos;
    GetWindowRect(GetDlgItem(bar.Handle(), 208), &pos);
    EXPECT_EQ(110, pos.left);
    EXPECT_EQ(w - 25, pos.right);
    EXPECT_EQ(h - 30, pos.bottom);
    // No engine: the position bar has its disabled look.
    EXPECT_EQ(UI::SVolumeCtrl::kDisabled, bar.PositionBar().state);
    bar.SetVodFlag(true);
    EXPECT_EQ(UI::SVolumeCtrl::kNormal, bar.PositionBar().state);

    // Hidden by itself 2 s after the last hover update, with the cursor; the
    // cursor comes back when the bar shows again, and when the bar is hidden
    // on leaving full screen.
    ASSERT_TRUE(CursorShowing());
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(bar.Handle()); }, 6000));
    EXPECT_FALSE(CursorShowing());
    EXPECT_TRUE(bar.CursorHidden());
    SendMessageW(bar.Handle(), WM_TIMER, CFullControl::kHideTimer, 0);
    control_->SyncFullControl(true);
    EXPECT_TRUE(CursorShowing()) << "hidden once, shown once";
    SendMessageW(bar.Handle(), WM_TIMER, CFullControl::kHideTimer, 0);
    EXPECT_FALSE(CursorShowing());
    control_->SyncFullControl(false);
    EXPECT_TRUE(CursorShowing());

    // Hidden again, then the control's window goes: the cursor is back.
    control_->SyncFullControl(true);
    SendMessageW(bar.Handle(), WM_TIMER, CFullControl::kHideTimer, 0);
    EXPECT_FALSE(CursorShowing());
    IOleInPlaceObject* inPlace = nullptr;
    control_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
    inPlace->InPlaceDeactivate();
    inPlace->Release();
    EXPECT_TRUE(CursorShowing());
}

// A click on a slider's track, at a fraction of its width.
void ClickSlider(HWND slider, double fraction)
{
    RECT r;
    GetWindowRect(slider, &r);
    MouseMoveTo(r.left + static_cast<int>((r.right - r.left) * fraction), (r.top + r.bottom) / 2);
    MouseButton(true);
    MouseButton(false);
}

// The viewer sets the volume on either bar: the other slider follows, the
// mute ends; a place on the full-screen bar's position bar moves the
// control's.
TEST_F(ControlLayout, EitherBarsSlidersMoveTheOthers)
{
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    ASSERT_EQ(olehost::Put(dispatch_, kMute, on), S_OK);
    CFullControl& bar = control_->FullControl();
    control_->SyncFullControl(true);
    ASSERT_TRUE(IsWindowVisible(bar.Handle()));
    auto* ownVolume = static_cast<UI::SVolumeCtrl*>(CWindowBase::FromHandle(Item(IDC_VOLUME)));
    auto* ownPosition = static_cast<UI::SVolumeCtrl*>(CWindowBase::FromHandle(Item(IDC_PROGRESS)));
    ASSERT_TRUE(ownVolume && ownPosition);
    const struct { bool fromBar; double at; } cases[] = {{true, 0.2}, {false, 0.9}, {true, 0.6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fromBar ? "full-screen bar " : "control ") + std::to_string(c.at));
        UI::SVolumeCtrl& clicked = c.fromBar ? bar.VolumeSlider() : *ownVolume;
        UI::SVolumeCtrl& other = c.fromBar ? *ownVolume : bar.VolumeSlider();
        const int before = clicked.GetPos();
        bar.HoverUpdate();   // the bar stays up, as while the cursor moves
        ClickSlider(clicked.Handle(), c.at);
        ASSERT_TRUE(PumpUntil([&] { return clicked.GetPos() != before; }));
        const int v = clicked.GetPos();
        // Both sliders are as wide: the other lands on the same pixel; the
        // volume is within a pixel's per mille of it.
        EXPECT_EQ(v, other.GetPos());
        EXPECT_NEAR(v, std::stoi(olehost::GetText(dispatch_, kVolume)) * 10, 25);
        EXPECT_EQ(0, control_->GetButtonState(IDC_MUTE));
        MouseMoveTo(0, 0);
        ASSERT_EQ(olehost::Put(dispatch_, kMute, on), S_OK);
    }
    bar.SetVodFlag(true);
    bar.HoverUpdate();
    const int before = ownPosition->GetPos();
    ClickSlider(bar.PositionBar().Handle(), 0.5);
    ASSERT_TRUE(PumpUntil([&] { return bar.PositionBar().GetPos() != 0; }));
    EXPECT_NE(before, ownPosition->GetPos());
    EXPECT_NEAR(bar.PositionBar().GetPos(), ownPosition->GetPos(), 5);
    control_->SyncFullControl(false);
}

TEST_F(ControlLayout, EnableControlBarByMode)
{
    const struct { short enable; const wchar_t* mode; bool shown; } cases[] = {
        {0, L"full", false},   {0, L"simple", false},  {-1, L"full", true},
        {-1, L"simple", true}, {-1, L"mini", true},    {2, L"full", true},
        {2, L"simple", false}, {2, L"compact", false}, {2, L"audio", false},
    };
    HWND bar = control_->FullControl().Handle();
    for (const auto& c : cases) {
        VARIANT v;
        v.vt = VT_BOOL;
        v.boolVal = c.enable;
        ASSERT_EQ(olehost::Put(dispatch_, kEnableControlBar, v), S_OK);
        olehost::PutText(dispatch_, kPlayMode, c.mode);
        control_->SyncFullControl(true);
        EXPECT_EQ(c.shown, IsWindowVisible(bar) != FALSE) << c.enable << " " << c.mode[0];
        v.boolVal = -1;
        olehost::Put(dispatch_, kEnableControlBar, v);
        control_->SyncFullControl(false);
        ASSERT_FALSE(IsWindowVisible(bar));
    }
}

TEST_F(ControlLayout, FakeButtonsSendTheirCommandsAndLeaveTheFocus)
{
    HWND focus = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, page_,
                                 nullptr, nullptr, nullptr);
    SetFocus(focus);
    ASSERT_EQ(focus, GetFocus());
    g_controlProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        control_->Window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordCommands)));
    g_commands.clear();

    CFullControl& bar = control_->FullControl();
    control_->SyncFullControl(true);
    for (int i = 0; i < 3; ++i) {
        const CFakeBtn& button = bar.Button(i);
        POINT at = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
        ClientToScreen(bar.Handle(), &at);
        MouseMoveTo(at.x, at.y);
        MouseButton(true);
        MouseButton(false);
        ASSERT_TRUE(PumpUntil([&] { return g_commands.size() == static_cast<size_t>(i + 1); }))
            << i;
        // Far off, so that the next press is no double click.
        MouseMoveTo(at.x + 300, at.y - 300);
    }
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{201, 0}, {202, 0}, {206, 0}};
    EXPECT_EQ(expected, g_commands);
    EXPECT_EQ(focus, GetFocus());
    control_->SyncFullControl(false);
}

}  // namespace
