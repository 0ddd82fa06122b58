// The WMP host's mouse hook driven by real input (SendInput) on the stand-in
// control playing from the WMSP test server.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>

#include <cstdlib>
#include <string>

#include "players/PlayerSelector.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "platform/window/WindowBase.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/StandinSelectorTest.h"

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

void LeftClick(int x, int y)
{
    MouseAt(MOUSEEVENTF_LEFTDOWN, x, y);
    MouseAt(MOUSEEVENTF_LEFTUP, x, y);
}

// The full-screen bar of the control stands in front of the full-screen
// video; its class name is matched ignoring case.
class FullCtrl : public CWindowBase {
public:
    int leftDowns = 0;   // the second of two quick clicks comes as a double click

    // Topmost, like the full-screen video it stands in front of.
    FullCtrl() { Create(nullptr, RECT{0, 600, 1024, 768}, L"bar", WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST); }

protected:
    void DescribeClass(WNDCLASSEXW& wc) override
    {
        CWindowBase::DescribeClass(wc);
        wc.lpszClassName = L"kx:FullCtrl";
    }
    bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT&) override
    {
        leftDowns += message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK;
        return false;
    }
};

class WmpHookTest : public StandinSelectorTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StandinSelectorTest::SetUp());
        ShowWindow(m_owner.Handle(), SW_SHOW);
        SetForegroundWindow(m_owner.Handle());
        ASSERT_EQ(S_OK, m_selector.Open(ServerUrl(L"/hold.wmv").c_str()));
        ASSERT_EQ(S_OK, m_selector.Play());
        ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kWaitMs));
        m_selector.GetPlayerWindow(&m_host);
        ASSERT_TRUE(WmpHookRegistry().Find(m_host, &m_entry));
    }

    PlayerHookEntry Entry()
    {
        PlayerHookEntry entry;
        WmpHookRegistry().Find(m_host, &entry);
        return entry;
    }

    void EnterFullScreen()
    {
        ASSERT_EQ(S_OK, m_selector.SetFullScreen(1));
        HWND popup = FindWindowW(L"TovraStandinFullScreen", nullptr);
        ASSERT_TRUE(popup);
        SetForegroundWindow(popup);
        ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == popup; }, kWaitMs));
    }

    int FullScreen()
    {
        int state = -1;
        m_selector.GetFullScreen(&state);
        return state;
    }

    // Clicks the full-screen video twice, `gapMs` apart by the hook's clock,
    void ClickPair(DWORD gapMs)
    {
        DWORD before = Entry().lastClickTime;
        LeftClick(500, 300);
        ASSERT_TRUE(PumpUntil([&] { return Entry().lastClickTime != before; }, kWaitMs));
        DWORD first = Entry().lastClickTime;
        // The gap is the input under test, not a wait for something to happen.
        ASSERT_TRUE(PumpUntil([&] { return timeGetTime() - first >= gapMs; }, gapMs + 1000));
        LeftClick(500, 300);
        ASSERT_TRUE(PumpUntil([&] { return Entry().lastClickTime != first || Entry().toggleRequest; },
                              kWaitMs));
    }

    HWND m_host = nullptr;
    PlayerHookEntry m_entry;
};

TEST_F(WmpHookTest, FullScreenLeftClicksCloserThan200MsToggleAndAreSwallowed)
{
    EnterFullScreen();
    m_owner.seen.clear();
    // Well inside the 200 ms: the hook times a click when it runs, which a
    // busy machine delays by tens of milliseconds.
    ClickPair(50);
    EXPECT_EQ(1, Entry().toggleRequest);
    EXPECT_EQ(0u, Entry().lastClickTime);
    // The player never saw the clicks.
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_MOUSEDOWN));

    int cursorMoved = 0;
    EXPECT_EQ(1, m_selector.PollActivity(&cursorMoved));
    EXPECT_EQ(0, FullScreen());
    EXPECT_EQ(0, Entry().toggleRequest);
    EXPECT_EQ(nullptr, FindWindowW(L"TovraStandinFullScreen", nullptr));
}

TEST_F(WmpHookTest, FullScreenLeftClicks250MsApartOnlyMoveTheClickTime)
{
    EnterFullScreen();
    m_owner.seen.clear();
    ClickPair(250);
    EXPECT_EQ(0, Entry().toggleRequest);
    EXPECT_NE(0u, Entry().lastClickTime);
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_MOUSEDOWN));
    int cursorMoved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&cursorMoved));
    EXPECT_EQ(1, FullScreen());
}

TEST_F(WmpHookTest, TheFullScreenBarGetsItsClicks)
{
    EnterFullScreen();
    FullCtrl bar;
    SetForegroundWindow(bar.Handle());
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == bar.Handle(); }, kWaitMs));
    LeftClick(100, 700);
    LeftClick(100, 700);
    ASSERT_TRUE(PumpUntil([&] { return bar.leftDowns == 2; }, kWaitMs));
    EXPECT_EQ(0, Entry().toggleRequest);
    EXPECT_EQ(0u, Entry().lastClickTime);
    int cursorMoved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&cursorMoved));
    EXPECT_EQ(1, FullScreen());
}

TEST_F(WmpHookTest, ADoubleClickOnTheEmbeddedVideoTogglesAndMovesAreReported)
{
    SetForegroundWindow(m_owner.Handle());
    POINT origin = {0, 0};
    ClientToScreen(m_entry.videoWindow, &origin);
    int x = origin.x + 100, y = origin.y + 60;
    MouseAt(0, x, y);
    ASSERT_TRUE(PumpUntil([&] { return Entry().cursorPoint.x == x && Entry().cursorPoint.y == y; }, kWaitMs));
    int cursorMoved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&cursorMoved));
    EXPECT_EQ(1, cursorMoved);
    EXPECT_EQ(0, m_selector.PollActivity(&cursorMoved));
    EXPECT_EQ(0, cursorMoved);

    m_owner.seen.clear();
    LeftClick(x, y);
    LeftClick(x, y);
    ASSERT_TRUE(PumpUntil([&] { return Entry().toggleRequest == 1; }, kWaitMs));
    // Both button-ups reached the player as clicks; the double click did not.
    EXPECT_EQ(2, m_owner.Count(WM_PLAYER_CLICK));
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_DBLCLICK));
    EXPECT_EQ(1, m_selector.PollActivity(&cursorMoved));
    EXPECT_EQ(1, FullScreen());
    EXPECT_EQ(S_OK, m_selector.SetFullScreen(0));
}

}  // namespace
