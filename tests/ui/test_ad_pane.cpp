// The advertisement pane around a player window: where it finds the picture,
// the video-ad cycle on the settable clock through the FLV host and the
// Flash stand-in (which really fetches the ad from the loopback file server),
// the overlay's schedule, full screen watched by the hook, and the mouse
// passed on to what lies over the picture.
#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "players/PlayerSelector.h"
#include "tests/platform/StandinSupport.h"
#include "tests/ui/AdTestSupport.h"
#include "tests/ui/WidgetHost.h"
#include "ui/ADClock.h"
#include "ui/CPaneADDisplayWnd.h"
#include "ui/CVideoADDisplayWnd.h"

namespace {

const int kT0 = 1700000000;
const RECT kPageRect = {40, 40, 680, 460};
const RECT kPlayerRect = {0, 0, 640, 360};   // in the page
const DWORD kWaitMs = 10000;

std::wstring Env(const wchar_t* name)
{
    wchar_t value[1024] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length && length < 1024 ? value : L"";
}

// Windows of one class name each, for the trees FindVideoWindow walks.
HWND Make(const wchar_t* className, HWND parent, const RECT& r, bool visible = true)
{
    WNDCLASSW wc = {};
    if (!GetClassInfoW(GetModuleHandleW(nullptr), className, &wc)) {
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = className;
        RegisterClassW(&wc);
    }
    DWORD style = (parent ? WS_CHILD : WS_POPUP) | (visible ? WS_VISIBLE : 0);
    return CreateWindowExW(0, className, L"", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST(AdPaneFind, TheVideoWindowOfEachKind)
{
    const RECT all = {0, 0, 200, 100};
    HWND top = Make(L"AdTestTop", nullptr, RECT{0, 0, 200, 100});
    // A Real control whose picture frame holds a hidden and a visible pane
    // of the frame's size, and a smaller one.
    HWND wrapper = Make(L"AdTestOther", top, all);
    Make(L"AdTestOther", wrapper, all);
    HWND real = Make(L"RealAudioCtrlWndClass", wrapper, all);
    HWND frame = Make(L"PNGUIClass", real, all);
    Make(L"PNGUIClass", frame, RECT{0, 0, 50, 50});
    Make(L"PNGUIClass", frame, all, false);
    HWND picture = Make(L"PNGUIClass", frame, all);
    HWND bareReal = Make(L"RealAudioCtrlWndClass", top, all);
    HWND realNoPicture = Make(L"RealAudioCtrlWndClass", top, all);
    HWND lonelyFrame = Make(L"PNGUIClass", realNoPicture, all);
    Make(L"PNGUIClass", lonelyFrame, RECT{0, 0, 5, 5});
    // Flash, WMP (both of its classes, the renderer's in its full and its
    // short spelling), DirectShow and an empty host.
    HWND flashHost = Make(L"AdTestOther", top, all);
    Make(L"AdTestOther", flashHost, all);
    HWND flash = Make(L"MacromediaFlashPlayerActiveX", flashHost, all);
    HWND wmpHost = Make(L"AdTestOther", top, all);
    HWND wmp = Make(L"WMPVideoWindow", wmpHost, all);
    HWND evrHost = Make(L"AdTestOther", top, all);
    Make(L"AdTestOther", evrHost, all);
    HWND evr = Make(L"EVRVideoHandle", evrHost, all);
    HWND evrFullHost = Make(L"AdTestOther", top, all);
    HWND evrFull = Make(L"EVRVideoHandler", evrFullHost, all);
    HWND dshowHost = Make(L"AdTestOther", top, all);
    HWND renderer = Make(L"VideoRenderer", dshowHost, all);
    HWND empty = Make(L"AdTestOther", top, all);

    struct Case {
        const char* what;
        HWND window;
        int kind;
        HWND found;
    };
    const Case cases[] = {
        {"none", flashHost, PLAYER_NONE, nullptr},
        {"real among siblings", wrapper, PLAYER_REAL, picture},
        {"real itself", real, PLAYER_REAL, picture},
        {"real without a frame", bareReal, PLAYER_REAL, bareReal},
        {"real frame without a whole picture", realNoPicture, PLAYER_REAL, lonelyFrame},
        {"no real", empty, PLAYER_REAL, empty},
        {"flv", flashHost, PLAYER_FLV, flash},
        {"wmp", wmpHost, PLAYER_WMP, wmp},
        {"wmp enhanced renderer, short", evrHost, PLAYER_WMP, evr},
        {"wmp enhanced renderer", evrFullHost, PLAYER_WMP, evrFull},
        {"directshow", dshowHost, PLAYER_DSHOW, renderer},
        {"nothing found", empty, PLAYER_DSHOW, empty},
        {"flash movie", flashHost, PLAYER_FLASH, flashHost},
        {"vlc", dshowHost, PLAYER_VLC, dshowHost},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CPaneADDisplayWnd::FindVideoWindow(c.window, c.kind), c.found) << c.what;
    DestroyWindow(top);
}

// A caption-less window covering the screen, on a thread of its own, as a
// player's full-screen picture.
class FullScreenWindow {
public:
    FullScreenWindow()
    {
        m_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this] {
            m_window = Make(L"AdTestFullScreen", nullptr,
                            RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
            SetEvent(m_ready);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
        });
        WaitForSingleObject(m_ready, kWaitMs);
    }
    ~FullScreenWindow()
    {
        Close();
        m_thread.join();
        CloseHandle(m_ready);
    }
    HWND window() const { return m_window; }
    // Destroys the window on its thread and ends the thread's loop.
    void Close()
    {
        if (m_closed)
            return;
        m_closed = true;
        const DWORD thread = GetWindowThreadProcessId(m_window, nullptr);
        // Not SMTO_BLOCK: its destruction may send to this thread's windows.
        SendMessageTimeoutW(m_window, WM_CLOSE, 0, 0, SMTO_NORMAL, kWaitMs, nullptr);
        PostThreadMessageW(thread, WM_QUIT, 0, 0);
    }

private:
    HANDLE m_ready;
    HWND m_window = nullptr;
    bool m_closed = false;
    std::thread m_thread;
};

class AdPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(RegisterStandins());
        TakeStandinLog();
        m_url = Env(L"TOVRA_FLV_FILE_URL");
        ASSERT_FALSE(m_url.empty()) << "the fixture gave no address";
        ADClock::Set(kT0);
        SetCursorPos(1000, 750);
        m_page.reset(new WidgetHost(kPageRect));
        m_player = Make(L"AdTestPlayer", m_page->Handle(), kPlayerRect);
        HWND item = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 380, 300, 23,
                                    m_page->Handle(), reinterpret_cast<HMENU>(210), nullptr, nullptr);
        ASSERT_TRUE(m_pane.SubclassWindow(item));
    }
    void TearDown() override
    {
        m_pane.SetAdSet(nullptr);
        m_page.reset();
        ADClock::Set(0);
        OleUninitialize();
    }
    void Timer(UINT_PTR id, int at)
    {
        ADClock::Set(at);
        SendMessageW(m_pane.Handle(), WM_TIMER, id, 0);
    }
    bool Open() const { return m_pane.AdPlayer() && m_pane.AdPlayer()->Kind() != PLAYER_NONE; }
    HWND AdWindow() const
    {
        HWND window = nullptr;
        return Open() && SUCCEEDED(m_pane.AdPlayer()->GetPlayerWindow(&window)) ? window : nullptr;
    }
    // The ad player's window rectangle in screen coordinates.
    RECT AdScreenRect() const
    {
        RECT r = {};
        GetWindowRect(AdWindow(), &r);
        return r;
    }
    RECT PlayerScreenRect() const
    {
        RECT r = {};
        GetWindowRect(m_player, &r);
        return r;
    }
    std::wstring VideoAds(const std::wstring& items, int videotime)
    {
        return L"<ad><videotime>" + std::to_wstring(videotime) + L"</videotime><vad>" + items + L"</vad></ad>";
    }
    std::wstring Ad(int dur, int dly, const wchar_t* place = L"size='40,30' pos='10,20'")
    {
        return L"<v " + std::wstring(place) + L" dur='" + std::to_wstring(dur) + L"' dly='" +
               std::to_wstring(dly) + L"'>" + m_url + L"</v>";
    }

    std::wstring m_url;
    std::unique_ptr<WidgetHost> m_page;
    HWND m_player = nullptr;
    CPaneADDisplayWnd m_pane;
};

TEST_F(AdPaneTest, VideoAdsPlayTheirDurationThenWaitTheirDelayAndTheCycleItsInterval)
{
    LoadedSet set(VideoAds(Ad(10, 20) + Ad(5, 0), 100));
    ASSERT_TRUE(set.loaded());
    m_pane.SetAdSet(set.get());
    m_pane.AttachToPlayer(m_player, m_player, FALSE, TRUE, PLAYER_FLV);

    Timer(CPaneADDisplayWnd::kVideoTimer, kT0);
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_pane.AdPlayer()->Kind(), PLAYER_FLV);
    EXPECT_EQ(m_pane.VideoIndex(), 0);
    // Inside the picture at the ad's own pixels.
    EXPECT_EQ(GetAncestor(AdWindow(), GA_PARENT), m_player);
    const RECT player = PlayerScreenRect();
    const RECT ad = AdScreenRect();
    EXPECT_EQ(ad.left, player.left + 10);
    EXPECT_EQ(ad.top, player.top + 20);
    EXPECT_EQ(ad.right - ad.left, 40);
    EXPECT_EQ(ad.bottom - ad.top, 30);
    // The stand-in really asks the file server for the ad.
    EXPECT_TRUE(PumpUntil([] { return TakeStandinLog().find(L"Flash.playback GET /") != std::wstring::npos; },
                          30000));

    const struct {
        int at;
        bool open;
        int index;
    } steps[] = {
        {kT0 + 9, true, 0},   {kT0 + 10, false, 0},   // plays its 10 seconds
        {kT0 + 29, false, 0},                          // then nothing for 20
        {kT0 + 30, true, 1},  {kT0 + 34, true, 1},   {kT0 + 35, false, 1},
        {kT0 + 36, false, -1},                         // the cycle ended at the previous tick
        {kT0 + 134, false, -1},                        // 100 seconds after that end
        {kT0 + 136, true, 0},
    };
    for (const auto& s : steps) {
        Timer(CPaneADDisplayWnd::kVideoTimer, s.at);
        EXPECT_EQ(Open(), s.open) << s.at - kT0;
        EXPECT_EQ(m_pane.VideoIndex(), s.index) << s.at - kT0;
    }
    EXPECT_EQ(set->videoFinished, kT0 + 36);
}

TEST_F(AdPaneTest, WithoutAHostTheCycleWaitsAndAPausedAdResumes)
{
    LoadedSet set(VideoAds(Ad(10, 0), 0));
    m_pane.SetAdSet(set.get());
    Timer(CPaneADDisplayWnd::kVideoTimer, kT0);
    EXPECT_FALSE(Open());
    EXPECT_EQ(m_pane.VideoIndex(), -1);   // stepped back, tried again next second

    m_pane.AttachToPlayer(m_player, m_player, FALSE, TRUE, PLAYER_FLV);
    Timer(CPaneADDisplayWnd::kVideoTimer, kT0 + 1);
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_pane.VideoIndex(), 0);
    ASSERT_TRUE(IsWindowVisible(AdWindow()));

    // Playback stops: the ad pauses and hides; attaching again resumes it.
    TakeStandinLog();
    HWND window = AdWindow();
    m_pane.AttachToPlayer(nullptr, nullptr, FALSE, FALSE, PLAYER_NONE);
    EXPECT_TRUE(m_pane.AdPlayerPaused());
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    m_pane.AttachToPlayer(m_player, m_player, FALSE, TRUE, PLAYER_FLV);
    EXPECT_FALSE(m_pane.AdPlayerPaused());
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetAncestor(window, GA_PARENT), m_player);
    const std::wstring log = TakeStandinLog();
    const size_t pause = log.find(L"mediaPause"), play = log.rfind(L"mediaPlay");
    EXPECT_NE(pause, std::wstring::npos) << std::string(log.begin(), log.end());
    EXPECT_NE(play, std::wstring::npos);
    EXPECT_GT(play, pause);
}

TEST_F(AdPaneTest, FullScreenPutsTheAdOverTheScreenUntilThePictureGoes)
{
    LoadedSet set(VideoAds(Ad(100, 0, L"size='50,50' pos='25,25' rpx='0'"), 0));
    m_pane.SetAdSet(set.get());
    m_pane.AttachToPlayer(m_player, m_player, FALSE, TRUE, PLAYER_FLV);
    Timer(CPaneADDisplayWnd::kVideoTimer, kT0);
    ASSERT_TRUE(Open());
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    const RECT middle = {cx / 4, cy / 4, cx / 4 + cx / 2, cy / 4 + cy / 2};

    for (int round = 0; round < 2; ++round) {
        FullScreenWindow full;
        ASSERT_TRUE(full.window());
        m_pane.AttachToPlayer(m_player, full.window(), TRUE, FALSE, PLAYER_FLV);
        EXPECT_EQ(CPaneADDisplayWnd::HookedWindow(), full.window());
        EXPECT_EQ(GetAncestor(AdWindow(), GA_PARENT), GetDesktopWindow());
        EXPECT_TRUE(GetWindowLongW(AdWindow(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        RECT ad = AdScreenRect();
        EXPECT_TRUE(EqualRect(&ad, &middle)) << ad.left << "," << ad.top << "," << ad.right << "," << ad.bottom;

        // Round 0: the picture goes; round 1: it narrows. Timer 16 notices.
        if (round == 0)
            full.Close();
        else
            SetWindowPos(full.window(), nullptr, 0, 0, cx / 2, cy, SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(PumpUntil([&] { return GetAncestor(AdWindow(), GA_PARENT) == m_player; }, kWaitMs))
            << "round " << round;
        EXPECT_EQ(CPaneADDisplayWnd::HookedWindow(), nullptr);
        EXPECT_EQ(m_pane.VideoWindow(), m_player);
        ad = AdScreenRect();
        const RECT player = PlayerScreenRect();
        EXPECT_EQ(ad.left, player.left + 160);
        EXPECT_EQ(ad.right - ad.left, 320);
    }
}

TEST_F(AdPaneTest, AWindowedPictureThatChangesWidthTakesTheAdAlong)
{
    LoadedSet set(VideoAds(Ad(100, 0, L"size='50,50' pos='25,25' rpx='0'"), 0));
    m_pane.SetAdSet(set.get());
    m_pane.AttachToPlayer(m_player, m_player, FALSE, TRUE, PLAYER_FLV);
    Timer(CPaneADDisplayWnd::kVideoTimer, kT0);
    ASSERT_TRUE(Open());
    EXPECT_EQ(AdScreenRect().right - AdScreenRect().left, 320);
    // Moved by code, not by the user: only timer 17's width check sees it.
    MoveWindow(m_player, 0, 0, 400, 360, TRUE);
    ASSERT_TRUE(PumpUntil([&] { return AdScreenRect().right - AdScreenRect().left == 200; }, kWaitMs));
    EXPECT_EQ(AdScreenRect().left, PlayerScreenRect().left + 100);
}

TEST_F(AdPaneTest, TheOverlayShowsAtOverlayTimeAndHidesOtherwise)
{
    LoadedSet set(L"<ad><wndtime>60</wndtime><wset spix='1000'/><wad><i text='AB' clr='#0000FF'/></wad></ad>");
    m_pane.SetAdSet(set.get());
    ASSERT_TRUE(m_pane.Overlay());
    EXPECT_FALSE(m_pane.Overlay()->Handle());
    Timer(CPaneADDisplayWnd::kOverlayTimer, kT0);
    EXPECT_FALSE(m_pane.Overlay()->Handle());   // no player yet

    m_pane.AttachToPlayer(m_player, m_player, FALSE, TRUE, PLAYER_FLV);
    Timer(CPaneADDisplayWnd::kOverlayTimer, kT0 + 1);
    CVideoADDisplayWnd& overlay = *m_pane.Overlay();
    ASSERT_TRUE(overlay.Handle());
    EXPECT_EQ(GetDlgCtrlID(overlay.Handle()), 4148);
    EXPECT_TRUE(IsWindowVisible(overlay.Handle()));
    EXPECT_EQ(GetAncestor(overlay.Handle(), GA_PARENT), m_player);
    RECT strip;
    GetWindowRect(overlay.Handle(), &strip);
    const RECT player = PlayerScreenRect();
    EXPECT_EQ(strip.left, player.left);
    EXPECT_EQ(strip.top, player.top);
    EXPECT_EQ(strip.right, player.right);
    EXPECT_EQ(strip.bottom - strip.top, 30);
    EXPECT_EQ(set->refs, 3);

    // The strip runs its item once (40 pixels a tick), then hides for 60 s.
    Canvas canvas(640, 30);
    for (int i = 0; i < 100 && !overlay.WaitingUntil(); ++i) {
        SendMessageW(overlay.Handle(), WM_TIMER, 1, 0);
        overlay.Paint(canvas.dc());
    }
    ASSERT_EQ(overlay.WaitingUntil(), kT0 + 1);
    Timer(CPaneADDisplayWnd::kOverlayTimer, kT0 + 2);
    EXPECT_EQ(set->overlayFinished, kT0 + 1);
    EXPECT_FALSE(IsWindowVisible(overlay.Handle()));
    Timer(CPaneADDisplayWnd::kOverlayTimer, kT0 + 60);
    EXPECT_FALSE(IsWindowVisible(overlay.Handle()));
    Timer(CPaneADDisplayWnd::kOverlayTimer, kT0 + 61);
    EXPECT_TRUE(IsWindowVisible(overlay.Handle()));
    EXPECT_EQ(overlay.WaitingUntil(), 0);   // started again
    EXPECT_EQ(overlay.Offset(), 0);

    // Full screen: a top-most strip across the top of the screen, back on
    // the player once the picture goes.
    {
        FullScreenWindow full;
        m_pane.AttachToPlayer(m_player, full.window(), TRUE, FALSE, PLAYER_FLV);
        EXPECT_EQ(GetAncestor(overlay.Handle(), GA_PARENT), GetDesktopWindow());
        EXPECT_TRUE(GetWindowLongW(overlay.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        GetWindowRect(overlay.Handle(), &strip);
        const RECT top = {0, 0, GetSystemMetrics(SM_CXSCREEN), 30};
        EXPECT_TRUE(EqualRect(&strip, &top));
        full.Close();
        ASSERT_TRUE(PumpUntil([&] { return GetAncestor(overlay.Handle(), GA_PARENT) == m_player; }, kWaitMs));
    }

    // Stopping the player takes the strip away.
    m_pane.AttachToPlayer(nullptr, nullptr, FALSE, FALSE, PLAYER_NONE);
    EXPECT_FALSE(IsWindowVisible(overlay.Handle()));
}

// Records what a window is sent, in place of its own procedure.
struct Recorded {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_SETCURSOR || message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE)
            seen.push_back(MSG{hwnd, message, wParam, lParam, 0, {0, 0}});
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    static WNDPROC original;
    static std::vector<MSG> seen;
};
WNDPROC Recorded::original = nullptr;
std::vector<MSG> Recorded::seen;

TEST_F(AdPaneTest, TheMouseReachesTheAdUnderTheCursor)
{
    LoadedSet set(L"<ad><wad><i text='AB' clr='#0000FF'>http://127.0.0.1/w</i></wad><vad>" + Ad(100, 0) +
                  L"</vad></ad>");
    m_pane.SetAdSet(set.get());
    m_pane.AttachToPlayer(m_player, m_player, FALSE, TRUE, PLAYER_FLV);
    Timer(CPaneADDisplayWnd::kVideoTimer, kT0);
    Timer(CPaneADDisplayWnd::kOverlayTimer, kT0);
    ASSERT_TRUE(Open());
    HWND child = GetWindow(AdWindow(), GW_CHILD);
    ASSERT_TRUE(child);
    Recorded::original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Recorded::Proc)));

    // Over the ad (at 10,20 in the player, 40 x 30): its first child hears it.
    RECT childRect;
    GetWindowRect(child, &childRect);
    SetCursorPos(childRect.left + 3, childRect.top + 4);
    m_pane.ForwardMouse(WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ASSERT_EQ(Recorded::seen.size(), 2u);
    EXPECT_EQ(Recorded::seen[0].message, static_cast<UINT>(WM_SETCURSOR));
    EXPECT_EQ(Recorded::seen[0].wParam, reinterpret_cast<WPARAM>(LoadCursorW(nullptr, IDC_HAND)));
    EXPECT_EQ(Recorded::seen[0].lParam, MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_EQ(Recorded::seen[1].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(Recorded::seen[1].lParam, MAKELPARAM(3, 4));

    // Outside the ad nothing is passed to it; over the shown strip, the strip.
    Recorded::seen.clear();
    CVideoADDisplayWnd& overlay = *m_pane.Overlay();
    ASSERT_TRUE(IsWindowVisible(overlay.Handle()));
    RECT strip;
    GetWindowRect(overlay.Handle(), &strip);
    SetCursorPos(strip.right - 30, strip.top + 15);
    for (int i = 0; i < 30; ++i)
        SendMessageW(overlay.Handle(), WM_TIMER, 1, 0);   // the item under the cursor
    m_pane.ForwardMouse(WM_MOUSEMOVE, 0, MAKELPARAM(1, 2));
    EXPECT_TRUE(Recorded::seen.empty());
    EXPECT_EQ(overlay.OverLink(), 1);
    SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Recorded::original));
    SetCursorPos(1000, 750);
}

} // namespace
