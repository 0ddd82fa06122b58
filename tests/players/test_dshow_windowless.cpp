#include <gtest/gtest.h>

#include <windows.h>
#include <d3d9.h>
#include <dshow.h>
#include <vmr9.h>

#include <memory>

#include "players/DShowPlayer.h"
#include "players/PlayerSelector.h"
#include "players/hooks/FullscreenLock.h"
#include "tests/players/GraphTestSupport.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/renderer/TestRendererClsid.h"

namespace {

const DWORD kPlayMs = 20000;

typedef void(__stdcall* SetKnob)(int);
typedef void(__stdcall* ReadState)(HWND*, DWORD*, int*, int*, RECT*, LONG*);

struct RendererState {
    HWND clippingWindow = nullptr;
    DWORD aspectMode = 0;
    int positions = 0;
    int hadSource = 0;
    RECT target = {};
    LONG frames = 0;
};

class WindowlessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        ASSERT_TRUE(RegisterServer(ASYNCFLT_PATH));
        ASSERT_TRUE(RegisterServer(REALMEDIA_PATH));
        ASSERT_TRUE(RegisterServer(RENDERER_PATH));
        s_renderer = LoadLibraryW(RENDERER_PATH);   // the module COM loads too
        CDShowPlayer::UseVideoRenderer(CLSID_TestVideoRenderer);
    }
    void SetUp() override
    {
        CoInitialize(nullptr);
        Knob("TestRendererSetRefuse", 0);
        Knob("TestRendererSetZeroSize", 0);
        m_selector.m_owner = m_owner.Handle();
        m_selector.SetParentWindow(m_owner.Handle());
        m_selector.SetRect(RECT{0, 0, 320, 240}, FALSE);
        ShowWindow(m_owner.Handle(), SW_SHOW);
        m_engine.reset(new RunningHost(L"clip.rm"));
    }
    void TearDown() override
    {
        Knob("TestRendererSetKeepInGraph", 0);
        m_selector.DestroyAll();
        CoUninitialize();
    }
    static void Knob(const char* name, int value)
    {
        reinterpret_cast<SetKnob>(reinterpret_cast<void*>(GetProcAddress(s_renderer, name)))(value);
    }
    static LONG RefusedRemovals()
    {
        typedef LONG(__stdcall * ReadCount)();
        return reinterpret_cast<ReadCount>(
            reinterpret_cast<void*>(GetProcAddress(s_renderer, "TestRendererRefusedRemovals")))();
    }
    static RendererState State()
    {
        RendererState s;
        reinterpret_cast<ReadState>(reinterpret_cast<void*>(GetProcAddress(s_renderer, "TestRendererState")))(
            &s.clippingWindow, &s.aspectMode, &s.positions, &s.hadSource, &s.target, &s.frames);
        return s;
    }
    HWND Player() { return m_selector.DShowHost()->Handle(); }
    bool IsFullScreenOnTheDesktop()
    {
        HWND window = Player();
        RECT rect = {};
        GetWindowRect(window, &rect);
        return GetAncestor(window, GA_PARENT) == GetDesktopWindow() &&
               (GetWindowLongPtrW(window, GWL_STYLE) & (WS_POPUP | WS_CHILD)) == WS_POPUP &&
               (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) &&
               rect.right - rect.left == GetSystemMetrics(SM_CXSCREEN);
    }
    bool IsBackInItsParent()
    {
        HWND window = Player();
        return GetAncestor(window, GA_PARENT) == m_owner.Handle() &&
               (GetWindowLongPtrW(window, GWL_STYLE) & (WS_POPUP | WS_CHILD)) == WS_CHILD &&
               !(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    }
    int FullScreen()
    {
        int full = -1;
        m_selector.GetFullScreen(&full);
        return full;
    }

    static HMODULE s_renderer;
    std::unique_ptr<RunningHost> m_engine;   // outlives the graph
    RecordingOwner m_owner;
    CPlayerSelector m_selector;
};

HMODULE WindowlessTest::s_renderer = nullptr;

TEST_F(WindowlessTest, TheRendererDrawsIntoThePlayersWindowLetterBoxed)
{
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    ASSERT_TRUE(m_selector.DShowHost()->IsWindowless());
    EXPECT_EQ(1u, FilterNames(m_selector.DShowHost()->Graph()).count(L"VideoRender"));
    RendererState state = State();
    EXPECT_EQ(Player(), state.clippingWindow);
    EXPECT_EQ(static_cast<DWORD>(VMR9ARMode_LetterBox), state.aspectMode);
    EXPECT_TRUE(state.hadSource);
    RECT client = {};
    GetClientRect(Player(), &client);
    EXPECT_TRUE(EqualRect(&client, &state.target));
    int width = 0, height = 0;
    EXPECT_EQ(S_OK, m_selector.GetVideoSize(&width, &height));
    EXPECT_EQ(176, width);
    EXPECT_EQ(144, height);
    ASSERT_TRUE(SUCCEEDED(m_selector.Play()));
    EXPECT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, kPlayMs));
    EXPECT_GT(State().frames, 20);
}

TEST_F(WindowlessTest, FullScreenMovesToTheDesktopAndEachWayOutBringsItBack)
{
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    ASSERT_TRUE(SUCCEEDED(m_selector.Play()));
    struct Way {
        const char* what;
        UINT message;
        WPARAM wParam;
    };
    const Way ways[] = {
        {"Esc", WM_KEYDOWN, VK_ESCAPE},
        {"a system key", WM_SYSKEYDOWN, VK_MENU},
        {"an activation", WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0)},
        {"a double click", WM_LBUTTONDBLCLK, MK_LBUTTON},
    };
    for (const Way& way : ways) {
        ASSERT_EQ(S_OK, m_selector.SetFullScreen(1)) << way.what;
        EXPECT_TRUE(IsFullScreenOnTheDesktop()) << way.what;
        EXPECT_EQ(1, FullScreen()) << way.what;
        SendMessageW(Player(), way.message, way.wParam, 0);
        EXPECT_TRUE(IsBackInItsParent()) << way.what;
        EXPECT_EQ(0, FullScreen()) << way.what;
    }
    // Other keys and a minimisation leave it full screen; a double click enters it.
    SendMessageW(Player(), WM_LBUTTONDBLCLK, MK_LBUTTON, 0);
    EXPECT_TRUE(IsFullScreenOnTheDesktop());
    SendMessageW(Player(), WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(Player(), WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    EXPECT_EQ(1, FullScreen());
    // Full screen hides the cursor two seconds after the last move.
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    auto cursorShown = [] {
        CURSORINFO info = {sizeof info};
        return GetCursorInfo(&info) && info.hCursor != nullptr;
    };
    EXPECT_TRUE(cursorShown());
    EXPECT_TRUE(PumpUntil([&] { return !cursorShown(); }, 6000));
    // Stopping returns the window first.
    EXPECT_TRUE(SUCCEEDED(m_selector.Stop()));
    EXPECT_TRUE(IsBackInItsParent());
}

TEST_F(WindowlessTest, CommandsPostTheirStatesAndUnsupportedReadsLeaveTheirOutput)
{
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    EXPECT_TRUE(SUCCEEDED(m_selector.Play()));
    EXPECT_TRUE(SUCCEEDED(m_selector.Pause()));
    EXPECT_TRUE(SUCCEEDED(m_selector.Stop()));
    // Posted: they arrive once the commands have returned, in order.
    EXPECT_TRUE(m_owner.seen.empty());
    EXPECT_EQ((std::vector<WPARAM>{PLAYSTATE_PLAYING, PLAYSTATE_PAUSED, PLAYSTATE_STOPPED}),
              m_owner.Params(WM_PLAYER_PLAYSTATE));
    int percent = 77;
    BSTR url = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_OK, m_selector.GetBufferingPercent(&percent));
    EXPECT_EQ(S_OK, m_selector.GetSourceUrl(&url));
    EXPECT_EQ(77, percent);
    EXPECT_EQ(reinterpret_cast<BSTR>(1), url);
    double duration = 0;
    EXPECT_EQ(S_OK, m_selector.GetDuration(&duration));
    EXPECT_EQ(3.0, duration);   // whole seconds of a 3.03 s clip
    // Closed: the window stays, hidden, without a graph.
    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_TRUE(IsWindow(Player()));
    EXPECT_FALSE(IsWindowVisible(Player()));
    EXPECT_EQ(nullptr, m_selector.DShowHost()->Graph());
}

TEST_F(WindowlessTest, ThePlayersWindowReportsTheMouseAndKeepsItselfFromClosing)
{
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    SendMessageW(Player(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(12, 34));
    SendMessageW(Player(), WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(5, 6));
    SendMessageW(Player(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(Player()));
    int downs = 0, moves = 0;
    for (const MSG& m : m_owner.seen) {
        if (m.message == WM_PLAYER_MOUSEDOWN) {
            ++downs;
            EXPECT_EQ(static_cast<WPARAM>(MK_RBUTTON), m.wParam);
            EXPECT_EQ(MAKELPARAM(12, 34), m.lParam);
        } else if (m.message == WM_PLAYER_MOUSEMOVE) {
            ++moves;
            EXPECT_EQ(static_cast<WPARAM>(MK_SHIFT), m.wParam);
            EXPECT_EQ(0, m.lParam);
        }
    }
    EXPECT_EQ(1, downs);
    EXPECT_EQ(1, moves);

    // Polls see full-screen changes and cursor moves once each.
    int moved = -1;
    m_selector.PollActivity(&moved);
    POINT cursor;
    GetCursorPos(&cursor);
    SetCursorPos(cursor.x + 3, cursor.y + 2);
    EXPECT_EQ(0, m_selector.PollActivity(&moved));
    EXPECT_EQ(1, moved);
    EXPECT_EQ(0, m_selector.PollActivity(&moved));
    EXPECT_EQ(0, moved);
    m_selector.SetFullScreen(1);
    EXPECT_EQ(1, m_selector.PollActivity(&moved));
    EXPECT_EQ(0, m_selector.PollActivity(&moved));
}

TEST_F(WindowlessTest, WithoutAPictureSizeTheWholeClientAreaIsUsedAndFullScreenWaits)
{
    Knob("TestRendererSetZeroSize", 1);
    m_selector.SetLockFullscreen(1);
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    ASSERT_TRUE(m_selector.DShowHost()->IsWindowless());
    RendererState state = State();
    EXPECT_FALSE(state.hadSource);
    RECT client = {};
    GetClientRect(Player(), &client);
    EXPECT_TRUE(EqualRect(&client, &state.target));
    // No picture yet: full screen is not entered, and nothing is locked.
    EXPECT_EQ(S_OK, m_selector.SetFullScreen(1));
    EXPECT_TRUE(IsBackInItsParent());
    EXPECT_FALSE(IsFullscreenLockHookInstalled());
}

TEST_F(WindowlessTest, AFullScreenLockFollowsThePlayerAndAutoFullScreenAsksOnce)
{
    m_selector.SetLockFullscreen(1);
    m_selector.SetAutoFullscreen(1);   // nothing open yet: nothing happens
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    ASSERT_EQ(S_OK, m_selector.SetFullScreen(1));
    EXPECT_TRUE(IsFullscreenLockHookInstalled());
    // Left by the player itself: the next position read drops the lock.
    SendMessageW(Player(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(IsFullscreenLockHookInstalled());
    double position = 0;
    m_selector.GetPosition(&position);
    EXPECT_FALSE(IsFullscreenLockHookInstalled());

    ASSERT_TRUE(SUCCEEDED(m_selector.Play()));
    ASSERT_TRUE(PumpUntil([&] { return SUCCEEDED(m_selector.GetPosition(&position)) && position > 0; },
                          kPlayMs));
    m_selector.GetPosition(&position);
    int asked = 0;
    for (WPARAM command : m_owner.Params(WM_COMMAND))
        asked += command == IDC_FULLSCREEN;
    EXPECT_EQ(1, asked);
    EXPECT_EQ(S_OK, m_selector.SetFullScreen(0));
    EXPECT_FALSE(IsFullscreenLockHookInstalled());
}

TEST_F(WindowlessTest, ARendererLeftUnconnectedIsLetGoForTheGraphsVideoWindow)
{
    Knob("TestRendererSetRefuse", 1);
    struct Case {
        const char* what;
        int keepInGraph;
        size_t renderersLeft;
        LONG refusals;
    };
    const Case cases[] = {
        {"removed from the graph", 0, 0, 0},
        // Asked to leave once, and left in place when it will not.
        {"refusing to leave the graph", 1, 1, 1},
    };
    for (const Case& c : cases) {
        Knob("TestRendererSetKeepInGraph", c.keepInGraph);
        HRESULT hr = m_selector.Open(m_engine->Url(L"rm").c_str());
        ASSERT_TRUE(SUCCEEDED(hr)) << c.what << std::hex << hr;
        CDShowPlayer* player = m_selector.DShowHost();
        EXPECT_FALSE(player->IsWindowless()) << c.what;
        EXPECT_EQ(c.renderersLeft, FilterNames(player->Graph()).count(L"VideoRender")) << c.what;
        EXPECT_EQ(c.refusals, RefusedRemovals()) << c.what;
        // The picture now comes through the graph's own renderer.
        int width = 0, height = 0;
        EXPECT_EQ(S_OK, m_selector.GetVideoSize(&width, &height)) << c.what;
        EXPECT_EQ(176, width) << c.what;
        EXPECT_EQ(144, height) << c.what;
        EXPECT_EQ(S_OK, m_selector.SetFullScreen(1)) << c.what;
        EXPECT_EQ(1, FullScreen()) << c.what;
        EXPECT_EQ(S_OK, m_selector.SetFullScreen(0)) << c.what;
        EXPECT_EQ(0, FullScreen()) << c.what;
        // The graph's teardown may take it now.
        Knob("TestRendererSetKeepInGraph", 0);
    }
}

TEST_F(WindowlessTest, OrgSizeCentresThePictureWhenItFits)
{
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    auto placed = [&] {
        RECT rect = {};
        GetWindowRect(Player(), &rect);
        MapWindowPoints(nullptr, m_owner.Handle(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    struct Case {
        const char* what;
        RECT area;
        int orgSize;
        RECT expected;
    };
    const Case cases[] = {
        {"native size, centred", {0, 0, 320, 240}, 1, {72, 48, 248, 192}},
        {"stretched", {0, 0, 320, 240}, 0, {0, 0, 320, 240}},
        {"centred in a moved area", {10, 20, 330, 260}, 1, {82, 68, 258, 212}},
        {"too small for it: the area", {0, 0, 176, 200}, 1, {0, 0, 176, 200}},
    };
    for (const Case& c : cases) {
        m_selector.SetOrgSize(c.orgSize);
        m_selector.SetRect(c.area, FALSE);
        RECT rect = placed();
        EXPECT_TRUE(EqualRect(&c.expected, &rect))
            << c.what << ": " << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    }
    // Full screen keeps its size.
    m_selector.SetOrgSize(0);
    m_selector.SetRect(RECT{0, 0, 320, 240}, FALSE);
    ASSERT_EQ(S_OK, m_selector.SetFullScreen(1));
    m_selector.SetOrgSize(1);
    EXPECT_TRUE(IsFullScreenOnTheDesktop());
    RECT rect = {};
    GetWindowRect(Player(), &rect);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), rect.right - rect.left);
}

TEST_F(WindowlessTest, TheLockEndsWithThePlaybackHoweverItEnds)
{
    RecordingOwner other;
    ShowWindow(other.Handle(), SW_SHOW);
    m_selector.SetLockFullscreen(1);
    enum class End { ClipEnds, Stop, Close };
    const struct {
        const char* what;
        End end;
    } cases[] = {{"the clip ends", End::ClipEnds}, {"Stop", End::Stop}, {"Close", End::Close}};
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str())) << c.what;
        ASSERT_TRUE(SUCCEEDED(m_selector.Play())) << c.what;
        ASSERT_EQ(S_OK, m_selector.SetFullScreen(1)) << c.what;
        // Locked: the keyboard's way to another window is refused.
        SetActiveWindow(other.Handle());
        EXPECT_NE(other.Handle(), GetActiveWindow()) << c.what;
        switch (c.end) {
        case End::ClipEnds:
            // As the control does: an ended clip is stopped, then closed.
            m_owner.react = [&](UINT message, WPARAM state) {
                if (message == WM_PLAYER_PLAYSTATE && state == PLAYSTATE_STOPPED &&
                    m_selector.Kind() == PLAYER_DSHOW) {
                    m_selector.Stop();
                    m_selector.Close();
                }
            };
            EXPECT_TRUE(PumpUntil([&] { return m_selector.Kind() == PLAYER_NONE; }, kPlayMs))
                << c.what;
            m_owner.react = nullptr;
            break;
        case End::Stop: EXPECT_TRUE(SUCCEEDED(m_selector.Stop())) << c.what; break;
        case End::Close: EXPECT_EQ(S_OK, m_selector.Close()) << c.what; break;
        }
        EXPECT_FALSE(IsFullscreenLockHookInstalled()) << c.what;
        SetActiveWindow(other.Handle());
        EXPECT_EQ(other.Handle(), GetActiveWindow()) << c.what;
    }
}

TEST_F(WindowlessTest, AnOwnerThatClosesThePlayerOnAGraphEventEndsTheDrain)
{
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    m_owner.react = [&](UINT message, WPARAM state) {
        if (message == WM_PLAYER_PLAYSTATE && state == PLAYSTATE_BUFFERING)
            m_selector.Close();
    };
    IMediaEventSink* sink = nullptr;
    ASSERT_EQ(S_OK, m_selector.DShowHost()->Graph()->QueryInterface(
                        IID_IMediaEventSink, reinterpret_cast<void**>(&sink)));
    // Two events in one drain; the first one's answer closes the player.
    sink->Notify(EC_BUFFERING_DATA, 1, 0);
    sink->Notify(EC_BUFFERING_DATA, 0, 0);
    sink->Release();
    EXPECT_TRUE(PumpUntil([&] { return m_selector.Kind() == PLAYER_NONE; }, kPlayMs));
    EXPECT_EQ(nullptr, m_selector.DShowHost()->Graph());
    // Buffering, then the close's own stop; the closed graph's second event
    // never reaches the owner.
    EXPECT_EQ((std::vector<WPARAM>{PLAYSTATE_BUFFERING, PLAYSTATE_STOPPED}),
              m_owner.Params(WM_PLAYER_PLAYSTATE));
}

} // namespace
