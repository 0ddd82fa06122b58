// The advertisement ticker: driven tick by tick through WM_TIMER, measured by
// painting into a DIB and by the hit test; hovering and clicking through real
// input, with the browser replaced by the link recorder.
#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/common/LinkRecorder.h"
#include "tests/ui/AdTestSupport.h"
#include "tests/ui/WidgetHost.h"
#include "ui/ADClock.h"
#include "ui/CPaneADDisplayWnd.h"
#include "ui/CVideoADDisplayWnd.h"

namespace {

const int kWidth = 300, kHeight = 23;
const int kT0 = 1700000000;
const RECT kHostRect = {100, 100, 500, 200};
const POINT kPaneAt = {20, 20};   // in the host
const DWORD kInputWaitMs = 5000;
const DWORD kLaunchWaitMs = 20000;

// Dispatches until the input sent so far has been handled.
void DrainInput()
{
    PumpUntil([] { return HIWORD(GetQueueStatus(QS_INPUT)) == 0; }, kInputWaitMs);
}

std::wstring Pad(const std::wstring& settings, const std::wstring& items)
{
    return L"<ad><pset " + settings + L"/><pad>" + items + L"</pad></ad>";
}

class AdTickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ADClock::Set(kT0);
        SetCursorPos(1000, 750);   // off every ad
        m_host.reset(new WidgetHost(kHostRect));
        HWND item = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, kPaneAt.x, kPaneAt.y,
                                    kWidth, kHeight, m_host->Handle(), reinterpret_cast<HMENU>(210),
                                    nullptr, nullptr);
        ASSERT_TRUE(m_pane.SubclassWindow(item));
        m_pane.SetSkin(nullptr, RECT{0, 0, 0, 0});
    }
    void TearDown() override
    {
        m_pane.SetAdSet(nullptr);
        m_overlay.reset();
        m_host.reset();
        ADClock::Set(0);
        CoUninitialize();
    }
    void Use(const LoadedSet& set)
    {
        ASSERT_TRUE(set.loaded());
        m_pane.SetAdSet(set.get());
    }
    void Tick(HWND window, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            SendMessageW(window, WM_TIMER, CPaneADDisplayWnd::kTickTimer, 0);
    }
    // The overlay strip alone, as a child of the host.
    CVideoADDisplayWnd& MakeOverlay(CADSet* set)
    {
        m_overlay.reset(new CVideoADDisplayWnd);
        m_overlay->Create(m_host->Handle(), RECT{0, 40, kWidth, 40 + CVideoADDisplayWnd::kHeight}, L"",
                          WS_CHILD | WS_VISIBLE, 0, CVideoADDisplayWnd::kChildId);
        m_overlay->SetAdSet(set);
        m_overlay->SetFonts(RGB(0, 0, 0));
        return *m_overlay;
    }
    POINT ScreenOfPane(int x, int y) const
    {
        return POINT{kHostRect.left + kPaneAt.x + x, kHostRect.top + kPaneAt.y + y};
    }

    std::unique_ptr<WidgetHost> m_host;
    CPaneADDisplayWnd m_pane;
    std::unique_ptr<CVideoADDisplayWnd> m_overlay;
};

TEST_F(AdTickerTest, ItemsEnterFromTheRightFivePixelsApartAtTheSettingsSpeed)
{
    struct Case {
        int speed;
        int ticks;
    };
    const Case cases[] = {{25, 80}, {50, 40}, {100, 20}};   // 80 pixels each time
    for (const Case& c : cases) {
        LoadedSet set(Pad(L"spix='" + std::to_wstring(c.speed) + L"'",
                          L"<a text='MMMM' clr='#0000FF'>http://127.0.0.1/a</a>"
                          L"<b text='WWWW' clr='#00FF00'>http://127.0.0.1/b</b>"));
        Use(set);
        EXPECT_DOUBLE_EQ(m_pane.Step(), c.speed * 0.04);
        // Settings of their own bring a font of their own.
        EXPECT_EQ(m_pane.AdFont() != nullptr, c.speed != 25);
        const int w0 = TextWidth(L"MMMM", m_pane.AdFont());
        Canvas canvas(kWidth, kHeight);
        m_pane.Paint(canvas.dc());
        EXPECT_TRUE(Empty(canvas.Extent(0)));   // still beyond the right edge
        Tick(m_pane.Handle(), c.ticks);
        EXPECT_DOUBLE_EQ(m_pane.Offset(), -80.0) << c.speed;
        m_pane.Paint(canvas.dc());
        const RECT red = canvas.Extent(0), green = canvas.Extent(1);
        const int left0 = kWidth - 80, left1 = left0 + w0 + 5;
        EXPECT_GE(red.left, left0) << c.speed;
        EXPECT_LE(red.left, left0 + 3) << c.speed;
        EXPECT_LE(red.right, left0 + w0) << c.speed;
        EXPECT_GE(green.left, left1) << c.speed;
        EXPECT_LE(green.left, left1 + 3) << c.speed;
        EXPECT_EQ(m_pane.HitTest(), 0);   // the cursor is elsewhere
    }
}

TEST_F(AdTickerTest, ThePaneStartsAgainAndTheOverlayRunsOnce)
{
    LoadedSet set(L"<ad><pset spix='250'/><wset spix='250'/>"
                  L"<pad><a text='AB' clr='#0000FF'/><b text='CD' clr='#00FF00'/></pad>"
                  L"<wad><a text='AB' clr='#0000FF'/><b text='CD' clr='#00FF00'/></wad></ad>");
    Use(set);
    CVideoADDisplayWnd& overlay = MakeOverlay(set.get());
    EXPECT_EQ(set->refs, 3);   // ours, the pane's and the overlay's

    Canvas paneCanvas(kWidth, kHeight), overlayCanvas(kWidth, CVideoADDisplayWnd::kHeight);
    // 10 pixels a tick: both items have left well within 100 ticks.
    int paneRestartedAt = 0, overlayFinishedAt = 0;
    for (int tick = 1; tick <= 100 && !(paneRestartedAt && overlayFinishedAt); ++tick) {
        ADClock::Set(kT0 + tick);
        Tick(m_pane.Handle());
        Tick(overlay.Handle());
        m_pane.Paint(paneCanvas.dc());
        overlay.Paint(overlayCanvas.dc());
        if (!paneRestartedAt && m_pane.Offset() == 0)
            paneRestartedAt = tick;
        if (!overlayFinishedAt && overlay.WaitingUntil())
            overlayFinishedAt = tick;
    }
    ASSERT_GT(paneRestartedAt, 30);
    EXPECT_EQ(m_pane.WaitingUntil(), 0);
    ASSERT_GT(overlayFinishedAt, 0);
    EXPECT_EQ(overlay.WaitingUntil(), kT0 + overlayFinishedAt);
    EXPECT_EQ(overlay.Offset(), 0);

    // The pane moves on from the right edge; the finished overlay stays empty.
    Tick(m_pane.Handle(), 5);
    Tick(overlay.Handle(), 5);
    EXPECT_DOUBLE_EQ(m_pane.Offset(), -50.0);
    EXPECT_EQ(overlay.Offset(), 0);
    overlay.Paint(overlayCanvas.dc());
    EXPECT_TRUE(Empty(overlayCanvas.Extent(0)));
}

TEST_F(AdTickerTest, APauseBringsOneItemAtATime)
{
    LoadedSet set(L"<ad><pset spix='250' spt='3'/><wset spix='250' spt='3'/>"
                  L"<pad><a text='AB' clr='#0000FF'/><b text='CD' clr='#00FF00'/></pad>"
                  L"<wad><a text='AB' clr='#0000FF'/><b text='CD' clr='#00FF00'/></wad></ad>");
    Use(set);
    CVideoADDisplayWnd& overlay = MakeOverlay(set.get());
    Canvas canvas(kWidth, kHeight);

    // Runs the pane until its item has left on the left; the number of ticks.
    auto runOut = [&](CADDisplayWnd<CPaneADDisplayWnd>& wnd, HWND window) {
        for (int tick = 1; tick <= 100; ++tick) {
            Tick(window);
            m_pane.Paint(canvas.dc());
            if (wnd.WaitingUntil())
                return tick;
        }
        return 0;
    };
    Tick(m_pane.Handle(), 20);
    m_pane.Paint(canvas.dc());
    EXPECT_FALSE(Empty(canvas.Extent(0)));
    EXPECT_TRUE(Empty(canvas.Extent(1)));   // the second waits its turn
    ASSERT_GT(runOut(m_pane, m_pane.Handle()), 0);
    EXPECT_EQ(m_pane.CurrentItem(), 1);
    EXPECT_EQ(m_pane.WaitingUntil(), kT0 + 3);
    EXPECT_TRUE(m_pane.IsPausingBetweenItems());

    ADClock::Set(kT0 + 2);
    Tick(m_pane.Handle(), 3);
    EXPECT_EQ(m_pane.Offset(), 0);   // still pausing
    ADClock::Set(kT0 + 3);
    Tick(m_pane.Handle());
    EXPECT_EQ(m_pane.WaitingUntil(), 0);
    Tick(m_pane.Handle(), 20);
    m_pane.Paint(canvas.dc());
    EXPECT_TRUE(Empty(canvas.Extent(0)));
    EXPECT_FALSE(Empty(canvas.Extent(1)));
    ASSERT_GT(runOut(m_pane, m_pane.Handle()), 0);
    EXPECT_EQ(m_pane.CurrentItem(), 0);   // the pane loops, after a pause
    EXPECT_EQ(m_pane.WaitingUntil(), kT0 + 3 + 3);

    // The overlay runs each item once and is then finished, not pausing.
    Canvas overlayCanvas(kWidth, CVideoADDisplayWnd::kHeight);
    for (int item = 0; item < 2; ++item) {
        ADClock::Set(kT0 + 10 * (item + 1));
        for (int tick = 0; tick < 100 && !overlay.WaitingUntil(); ++tick) {
            Tick(overlay.Handle());
            overlay.Paint(overlayCanvas.dc());
        }
        ASSERT_TRUE(overlay.WaitingUntil());
        if (item == 0) {
            EXPECT_EQ(overlay.WaitingUntil(), kT0 + 10 + 3);
            ADClock::Set(kT0 + 13);
            Tick(overlay.Handle());
        }
    }
    EXPECT_EQ(overlay.CurrentItem(), 2);
    EXPECT_EQ(overlay.WaitingUntil(), kT0 + 20);
    EXPECT_FALSE(overlay.IsPausingBetweenItems());
    ADClock::Set(kT0 + 100);
    Tick(overlay.Handle(), 5);
    EXPECT_EQ(overlay.Offset(), 0);
}

TEST_F(AdTickerTest, VerticalItemsArriveInTwentyFiveTicksAndStayTheirTime)
{
    LoadedSet set(Pad(L"smd='1' staytime='5'",
                      L"<a text='AB' clr='#0000FF'>http://127.0.0.1/a</a>"
                      L"<b text='CD' clr='#00FF00'>http://127.0.0.1/b</b>"));
    Use(set);
    Canvas canvas(kWidth, kHeight);
    Tick(m_pane.Handle(), 12);
    EXPECT_NEAR(m_pane.Offset(), kHeight * (1 - 12 * 0.04), 1e-9);
    m_pane.Paint(canvas.dc());
    RECT red = canvas.Extent(0);
    EXPECT_GE(red.top, 12);   // still in the lower half, rising
    Tick(m_pane.Handle(), 12);
    EXPECT_GT(m_pane.Offset(), 0);
    Tick(m_pane.Handle());
    EXPECT_EQ(m_pane.Offset(), 0);   // arrived after 25 ticks
    m_pane.Paint(canvas.dc());
    red = canvas.Extent(0);
    EXPECT_LT(red.top, 12);
    EXPECT_GT(red.bottom, 12);
    // Centred across the pane.
    EXPECT_NEAR((red.left + red.right) / 2, kWidth / 2, 3);

    ADClock::Set(kT0 + 4);
    Tick(m_pane.Handle(), 3);
    EXPECT_EQ(m_pane.CurrentItem(), 0);
    ADClock::Set(kT0 + 5);   // five seconds from the start of its arrival
    Tick(m_pane.Handle());
    EXPECT_EQ(m_pane.CurrentItem(), 1);
    EXPECT_EQ(m_pane.PreviousItem(), 0);
    EXPECT_EQ(m_pane.Offset(), kHeight);
    Tick(m_pane.Handle(), 13);
    m_pane.Paint(canvas.dc());
    EXPECT_FALSE(Empty(canvas.Extent(0)));   // leaving at the top
    EXPECT_LT(canvas.Extent(0).top, 6);
    EXPECT_GE(canvas.Extent(1).top, 8);             // arriving from below
}

// Real input over the pane: the ticker stops under the cursor, the hand
// shows over a linked item and the arrow over one without a link.
TEST_F(AdTickerTest, HoveringStopsTheTickerWithTheRightCursor)
{
    LoadedSet set(Pad(L"", L"<a text='Link me' clr='#0000FF'>http://127.0.0.1/a</a>"
                           L"<b text='No link' clr='#00FF00'></b>"));
    Use(set);
    Tick(m_pane.Handle(), 200);   // item 0 from x 100, item 1 after it
    const int w0 = TextWidth(L"Link me"), w1 = TextWidth(L"No link");
    ASSERT_LT(100 + w0 + 5 + w1, kWidth);
    // A player may have hidden the cursor: the pane shows it again.
    ShowCursor(FALSE);
    ShowCursor(FALSE);

    POINT at = ScreenOfPane(100 + w0 / 2, kHeight / 2);
    MouseMoveTo(at.x, at.y);
    ASSERT_TRUE(PumpUntil([&] { return m_pane.HitTest() == 1 && m_pane.OverLink(); }, kInputWaitMs));
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetCursorInfo(&info));
    EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_HAND));
    EXPECT_TRUE(info.flags & CURSOR_SHOWING);
    EXPECT_EQ(ShowCursor(TRUE), 1);   // the display count was brought back to 0
    ShowCursor(FALSE);
    const double stopped = m_pane.Offset();
    Tick(m_pane.Handle(), 10);
    EXPECT_EQ(m_pane.Offset(), stopped);

    at = ScreenOfPane(static_cast<int>(kWidth + stopped) + w0 + 5 + w1 / 2, kHeight / 2);
    MouseMoveTo(at.x, at.y);
    ASSERT_TRUE(PumpUntil([&] {
        CURSORINFO now = {};
        now.cbSize = sizeof now;
        return m_pane.HitTest() == 2 && GetCursorInfo(&now) && now.hCursor == LoadCursorW(nullptr, IDC_ARROW);
    }, kInputWaitMs));

    // Away from the items the ticker runs again.
    MouseMoveTo(1000, 750);
    ASSERT_TRUE(PumpUntil([&] { return m_pane.Offset() < stopped - 3; }, kInputWaitMs));
}

TEST_F(AdTickerTest, AClickOpensTheLinkAsOneQuotedArgumentAndNeverALinkWithAQuote)
{
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    const std::wstring link = L"http://127.0.0.1:8/ad?x=1&y=two words";
    LoadedSet set(Pad(L"", L"<a text='Open' clr='#0000FF'>" + std::wstring(L"http://127.0.0.1:8/ad?x=1&amp;y=two words") +
                           L"</a><b text='Bad' clr='#00FF00'>http://127.0.0.1/\" -nohome</b>"));
    Use(set);
    ASSERT_EQ(set->paneAds[0].link, link);
    Tick(m_pane.Handle(), 200);
    const int w0 = TextWidth(L"Open"), w1 = TextWidth(L"Bad");

    auto clickAt = [&](int x) {
        POINT at = ScreenOfPane(x, kHeight / 2);
        MouseMoveTo(at.x, at.y);
        PumpUntil([&] { return m_pane.HitTest() != 0 && m_pane.OverLink(); }, kInputWaitMs);
        MouseButton(true);
        MouseButton(false);
        DrainInput();
    };
    clickAt(100 + w0 / 2);
    ASSERT_TRUE(recorder.WaitForLaunches(1, kLaunchWaitMs));
    EXPECT_EQ(recorder.Arguments(0), std::vector<std::wstring>{link});
    EXPECT_NE(recorder.CommandLines()[0].find(L"\"" + link + L"\""), std::wstring::npos);

    const double stopped = m_pane.Offset();
    clickAt(static_cast<int>(kWidth + stopped) + w0 + 5 + w1 / 2);
    EXPECT_FALSE(recorder.WaitForLaunches(2, 1500));   // nothing started
    MouseMoveTo(1000, 750);
}

TEST_F(AdTickerTest, AClickInVerticalModeOpensTheItemShown)
{
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    LoadedSet set(Pad(L"smd='1'", L"<a text='First'>http://127.0.0.1/first</a>"
                                  L"<b text='Second'>http://127.0.0.1/second</b>"));
    Use(set);
    Tick(m_pane.Handle(), 25);
    ADClock::Set(kT0 + 5);
    Tick(m_pane.Handle(), 26);
    ASSERT_EQ(m_pane.CurrentItem(), 1);
    // Anywhere over the pane: the item shown is the one hit.
    POINT at = ScreenOfPane(5, 5);
    MouseMoveTo(at.x, at.y);
    ASSERT_TRUE(PumpUntil([&] { return m_pane.HitTest() == 2; }, kInputWaitMs));
    MouseButton(true);
    MouseButton(false);
    DrainInput();
    ASSERT_TRUE(recorder.WaitForLaunches(1, kLaunchWaitMs));
    EXPECT_EQ(recorder.Arguments(0), std::vector<std::wstring>{L"http://127.0.0.1/second"});
    // Resting on it keeps it past its stay time.
    ADClock::Set(kT0 + 20);
    Tick(m_pane.Handle(), 3);
    EXPECT_EQ(m_pane.CurrentItem(), 1);
    MouseMoveTo(1000, 750);
}

// A link the browser would read as a switch opens nothing; a plain one after
// it does, so a switch's launch would have come first.
TEST_F(AdTickerTest, AClickOnALinkStartingAsASwitchOpensNothing)
{
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    for (const wchar_t* link : {L"-nohome", L"/nohome", L"http://127.0.0.1/fine"}) {
        LoadedSet set(Pad(L"smd='1'", L"<a text='One'>" + std::wstring(link) + L"</a>"));
        Use(set);
        Tick(m_pane.Handle(), 25);
        POINT at = ScreenOfPane(5, 5);
        MouseMoveTo(at.x, at.y);
        ASSERT_TRUE(PumpUntil([&] { return m_pane.HitTest() == 1; }, kInputWaitMs)) << link;
        MouseButton(true);
        MouseButton(false);
        DrainInput();
        MouseMoveTo(1000, 750);
        DrainInput();
        m_pane.SetAdSet(nullptr);
    }
    ASSERT_TRUE(recorder.WaitForLaunches(1, kLaunchWaitMs));
    EXPECT_EQ(recorder.Arguments(0), std::vector<std::wstring>{L"http://127.0.0.1/fine"});
    EXPECT_FALSE(recorder.WaitForLaunches(2, 1500));
}

} // namespace
