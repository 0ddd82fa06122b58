// The Windows Media Player host through the selector, on the stand-in
// control reading the WMSP test server (tests/fixtures/wmsp_server.py).
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "players/PlayerSelector.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/PlayerTestSupport.h"

namespace {

const DWORD kWaitMs = 10000;

std::wstring ServerUrl(const wchar_t* path)
{
    const char* port = std::getenv("TOVRA_WMSP_PORT");
    std::wstring url = L"http://127.0.0.1:";
    for (const char* p = port ? port : "0"; *p; ++p)
        url.push_back(static_cast<wchar_t>(*p));
    return url + path;
}

// The owner also keeps the error texts: their BSTRs live only while the
// message is handled.
class ErrorKeepingOwner : public RecordingOwner {
public:
    std::vector<std::wstring> errorTexts;

protected:
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override
    {
        if (message == WM_PLAYER_ERROR)
            errorTexts.push_back(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"(none)");
        return RecordingOwner::ProcessWindowMessage(hwnd, message, wParam, lParam, result);
    }
};

class WmpHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(RegisterStandins());
        ASSERT_TRUE(m_owner.Handle());
        ShowWindow(m_owner.Handle(), SW_SHOW);
        m_selector.m_owner = m_owner.Handle();
        m_selector.SetParentWindow(m_owner.Handle());
        m_selector.SetRect(RECT{10, 20, 330, 260}, FALSE);
        TakeStandinLog();
    }
    void TearDown() override
    {
        m_selector.DestroyAll();
        SetStandinKnob(L"NO_WMPCONTROLS", nullptr);
        SetStandinKnob(L"FAIL_CREATE", nullptr);
        OleUninitialize();
    }

    HWND HostWindow()
    {
        HWND window = nullptr;
        m_selector.GetPlayerWindow(&window);
        return window;
    }

    HWND VideoWindow() { return FindWindowExW(HostWindow(), nullptr, L"WMPVideoWindow", nullptr); }

    // Opens a path of the server and plays it until the owner hears "playing".
    void OpenAndPlay(const wchar_t* path)
    {
        ASSERT_EQ(S_OK, m_selector.Open(ServerUrl(path).c_str()));
        ASSERT_EQ(PLAYER_WMP, m_selector.Kind());
        ASSERT_EQ(S_OK, m_selector.Play());
        ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kWaitMs));
    }

    ErrorKeepingOwner m_owner;
    CPlayerSelector m_selector;
};

TEST_F(WmpHostTest, PlaysWithItsSetupStatesRegistrationAndAnAdvancingPosition)
{
    OpenAndPlay(L"/hold.wmv");
    HWND host = HostWindow();
    EXPECT_TRUE(IsWindowVisible(host));
    EXPECT_EQ(static_cast<LONG_PTR>(CPlayerSelector::kWmpId), GetWindowLongPtrW(host, GWLP_ID));
    wchar_t hostClass[32] = {};
    GetClassNameW(host, hostClass, 32);
    EXPECT_STREQ(L"AtlAxWin71", hostClass);

    // Connecting, open, buffering, playing: in that order.
    std::vector<WPARAM> open = m_owner.Params(WM_PLAYER_OPENSTATE);
    EXPECT_EQ((std::vector<WPARAM>{3, 1}), open);
    EXPECT_EQ((std::vector<WPARAM>{PLAYSTATE_BUFFERING, PLAYSTATE_PLAYING}), m_owner.Params(WM_PLAYER_PLAYSTATE));

    std::wstring log = TakeStandinLog();
    for (const wchar_t* call : {L"WMP.uiMode=None", L"WMP.enableContextMenu=0", L"WMP.autoStart=0",
                                L"WMP.enableErrorDialogs=0", L"WMP.stretchToFit=-1", L"WMP.windowlessVideo=-1",
                                L"WMP.bufferingTime=2000", L"WMP.URL=http://127.0.0.1:", L"WMP.play"})
        EXPECT_NE(std::wstring::npos, log.find(call)) << call << "\n" << log;
    // The setup comes before the address.
    EXPECT_LT(log.find(L"WMP.uiMode=None"), log.find(L"WMP.URL="));

    // Playing registers the video window with the WMP hook, once.
    PlayerHookEntry entry;
    ASSERT_TRUE(WmpHookRegistry().Find(host, &entry));
    EXPECT_EQ(VideoWindow(), entry.videoWindow);
    EXPECT_TRUE(entry.videoWindow);
    EXPECT_EQ(1u, WmpHookRegistry().EntryCount());

    int width = 0, height = 0;
    EXPECT_EQ(S_OK, m_selector.GetVideoSize(&width, &height));
    EXPECT_EQ(176, width);
    EXPECT_EQ(144, height);
    double position = 0;
    EXPECT_TRUE(PumpUntil([&] { return SUCCEEDED(m_selector.GetPosition(&position)) && position >= 1.0; },
                          kWaitMs))
        << position;
    BSTR source = nullptr;
    ASSERT_EQ(S_OK, m_selector.GetSourceUrl(&source));
    EXPECT_EQ(ServerUrl(L"/hold.wmv"), source);
    SysFreeString(source);
    int percent = -1;
    EXPECT_EQ(S_OK, m_selector.GetBufferingPercent(&percent));
    EXPECT_EQ(100, percent);

    // Pause and play again: the entry stays one.
    EXPECT_EQ(S_OK, m_selector.Pause());
    EXPECT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PAUSED, kWaitMs));
    EXPECT_EQ(S_OK, m_selector.Play());
    std::vector<WPARAM> states = m_owner.Params(WM_PLAYER_PLAYSTATE);
    EXPECT_EQ(2, static_cast<int>(std::count(states.begin(), states.end(), PLAYSTATE_PLAYING)));
    EXPECT_EQ(1u, WmpHookRegistry().EntryCount());

    // Stop: stopped, and the entry goes.
    EXPECT_EQ(S_OK, m_selector.Stop());
    EXPECT_EQ(PLAYSTATE_STOPPED, m_owner.Params(WM_PLAYER_PLAYSTATE).back());
    EXPECT_FALSE(WmpHookRegistry().Find(host, &entry));

    // Close hides the host and keeps it for the next open.
    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_FALSE(IsWindowVisible(host));
    OpenAndPlay(L"/hold.wmv");
    EXPECT_EQ(host, HostWindow());
}

TEST_F(WmpHostTest, TheEndOfTheClipReportsStoppedAndUnregisters)
{
    OpenAndPlay(L"/clip.wmv");
    HWND host = HostWindow();
    m_owner.seen.clear();
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, kWaitMs));
    PlayerHookEntry entry;
    EXPECT_FALSE(WmpHookRegistry().Find(host, &entry));
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"WMP.Fire 5101(8)"));
}

TEST_F(WmpHostTest, MouseAndKeyEventsCarryTheirFlagsAndPoint)
{
    OpenAndPlay(L"/hold.wmv");
    HWND video = VideoWindow();
    ASSERT_TRUE(video);
    struct Case {
        const char* what;
        UINT input;
        WPARAM keys;
        int x, y;
        UINT report;
        WPARAM flags;
    };
    const Case cases[] = {
        {"left down with shift", WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, 37, 91, WM_PLAYER_MOUSEDOWN,
         MK_LBUTTON | MK_SHIFT},
        {"right down with control", WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, 5, 250, WM_PLAYER_MOUSEDOWN,
         MK_RBUTTON | MK_CONTROL},
        {"shift wins over control", WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT | MK_CONTROL, 6, 7,
         WM_PLAYER_MOUSEDOWN, MK_RBUTTON | MK_SHIFT},
        {"middle up", WM_MBUTTONUP, 0, 300, 12, WM_PLAYER_MOUSEUP, MK_MBUTTON},
        {"middle up is also a click", WM_MBUTTONUP, 0, 301, 13, WM_PLAYER_CLICK, MK_MBUTTON},
        {"move with no button", WM_MOUSEMOVE, MK_CONTROL, 120, 80, WM_PLAYER_MOUSEMOVE, MK_CONTROL},
        {"move holding two buttons is no button", WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 1, 2,
         WM_PLAYER_MOUSEMOVE, 0},
        {"left double click", WM_LBUTTONDBLCLK, MK_LBUTTON, 44, 55, WM_PLAYER_DBLCLICK, MK_LBUTTON},
    };
    for (const Case& c : cases) {
        m_owner.seen.clear();
        SendMessageW(video, c.input, c.keys, MAKELPARAM(c.x, c.y));
        bool found = false;
        for (const MSG& m : m_owner.seen) {
            if (m.message != c.report)
                continue;
            found = true;
            EXPECT_EQ(c.flags, m.wParam) << c.what;
            EXPECT_EQ(MAKELPARAM(c.x, c.y), static_cast<DWORD>(m.lParam)) << c.what;
        }
        EXPECT_TRUE(found) << c.what;
    }

    // Keys: the key code as a signed 16-bit number.
    struct Key {
        UINT input;
        WPARAM key;
        WPARAM reported;
    };
    const Key keys[] = {
        {WM_KEYDOWN, 'A', 'A'},
        {WM_KEYUP, VK_F5, VK_F5},
        {WM_CHAR, 0x8041, static_cast<WPARAM>(static_cast<LONG_PTR>(static_cast<short>(0x8041)))},
    };
    for (const Key& k : keys) {
        m_owner.seen.clear();
        SendMessageW(video, k.input, k.key, 0);
        ASSERT_EQ(1, m_owner.Count(WM_PLAYER_KEY)) << k.input;
        EXPECT_EQ(k.reported, m_owner.Params(WM_PLAYER_KEY)[0]) << k.input;
    }

    // In full screen the mouse events carry -1 instead of the point, and the
    // cursor is made visible; a click keeps its point.
    ASSERT_EQ(S_OK, m_selector.SetFullScreen(1));
    int fullScreen = 0;
    ASSERT_EQ(S_OK, m_selector.GetFullScreen(&fullScreen));
    ASSERT_EQ(1, fullScreen);
    int hidden = 0;
    while (ShowCursor(FALSE) >= 0 && ++hidden < 10) {
    }
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetCursorInfo(&info));
    EXPECT_FALSE(info.flags & CURSOR_SHOWING);
    for (UINT input : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}) {
        m_owner.seen.clear();
        SendMessageW(video, input, MK_SHIFT, MAKELPARAM(17, 19));
        UINT report = input == WM_MOUSEMOVE ? WM_PLAYER_MOUSEMOVE
                      : input == WM_LBUTTONDOWN ? WM_PLAYER_MOUSEDOWN : WM_PLAYER_MOUSEUP;
        ASSERT_EQ(1, m_owner.Count(report)) << input;
        for (const MSG& m : m_owner.seen) {
            if (m.message == report) {
                EXPECT_EQ(-1, m.lParam) << input;
            } else if (m.message == WM_PLAYER_CLICK) {
                EXPECT_EQ(MAKELPARAM(17, 19), static_cast<DWORD>(m.lParam));
            }
        }
    }
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetCursorInfo(&info));
    EXPECT_TRUE(info.flags & CURSOR_SHOWING);
    EXPECT_EQ(-1, ShowCursor(FALSE));   // the count was left at 0
    ShowCursor(TRUE);
    EXPECT_EQ(S_OK, m_selector.SetFullScreen(0));
}

TEST_F(WmpHostTest, DamagedFramingReachesTheOwnerAsThePlayersError)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* text;
    };
    const Case cases[] = {
        {L"/skip.wmv", L"data packet 5 after 3"},
        {L"/garbage.wmv", L"does not begin with '$'"},
    };
    for (const Case& c : cases) {
        m_owner.seen.clear();
        m_owner.errorTexts.clear();
        ASSERT_EQ(S_OK, m_selector.Open(ServerUrl(c.path).c_str()));
        ASSERT_EQ(S_OK, m_selector.Play());
        ASSERT_TRUE(PumpUntil([&] { return m_owner.Count(WM_PLAYER_ERROR) > 0; }, kWaitMs)) << c.path;
        EXPECT_EQ(static_cast<WPARAM>(0x8007000D), m_owner.Params(WM_PLAYER_ERROR)[0]) << c.path;
        ASSERT_EQ(1u, m_owner.errorTexts.size());
        EXPECT_NE(std::wstring::npos, m_owner.errorTexts[0].find(c.text)) << m_owner.errorTexts[0];
        EXPECT_EQ(S_OK, m_selector.Close());
    }
}

TEST_F(WmpHostTest, AControlThatCannotBeMadeOrLacksItsControlsGivesTheWmpCode)
{
    struct Case {
        const wchar_t* knob;
        const wchar_t* value;
    };
    const Case cases[] = {{L"NO_WMPCONTROLS", L"1"}, {L"FAIL_CREATE", L"WMP"}};
    for (const Case& c : cases) {
        SetStandinKnob(c.knob, c.value);
        EXPECT_EQ(E_PLAYER_WMP_CREATE, m_selector.Open(ServerUrl(L"/hold.wmv").c_str())) << c.knob;
        EXPECT_EQ(PLAYER_NONE, m_selector.Kind()) << c.knob;
        EXPECT_EQ(nullptr, FindWindowExW(m_owner.Handle(), nullptr, L"AtlAxWin71", nullptr)) << c.knob;
        SetStandinKnob(c.knob, nullptr);
    }
    // The same selector makes it once the control is whole again.
    EXPECT_EQ(S_OK, m_selector.Open(ServerUrl(L"/hold.wmv").c_str()));
}

}  // namespace
