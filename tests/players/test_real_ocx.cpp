// The Real host over the Real stand-in control: its creation setup, its
// event table and its mouse hook, driven by real input.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "players/PlayerSelector.h"
#include "players/hooks/PlayerHooks.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/HostedControl.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/ServedMedia.h"
#include "tests/players/StandinSelectorTest.h"

namespace {

const DWORD kWaitMs = 5000;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}
// Nobody listens there: the stand-in reports an error after a Play.
const wchar_t kNowhere[] = L"http://127.0.0.1:9/clip.rm";

class RealHostTest : public StandinSelectorTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StandinSelectorTest::SetUp());
        ShowWindow(m_owner.Handle(), SW_SHOW);
        SetForegroundWindow(m_owner.Handle());
        m_selector.SetRect(RECT{20, 20, 340, 260}, FALSE);
    }
    void TearDown() override
    {
        if (control)
            control->Release();
        StandinSelectorTest::TearDown();
    }

    void OpenReal()
    {
        ASSERT_EQ(S_OK, m_selector.Open(kNowhere));
        ASSERT_EQ(PLAYER_REAL, m_selector.Kind());
        control = HostedControl(m_selector);
        ASSERT_NE(nullptr, control);
    }

    // The stand-in raises the event with these arguments (declaration order).
    void Raise(DISPID id, std::vector<VARIANT> args)
    {
        args.insert(args.begin(), LongValue(id));
        ASSERT_EQ(S_OK, CallByName(control, L"TestRaiseEvent", DISPATCH_METHOD, args));
    }

    // The media file served over HTTP by a loopback server of this process.
    std::wstring Serve(const wchar_t* file)
    {
        return media.Serve(L"http", file);
    }

    // A served clip with a picture, playing.
    void PlayClip()
    {
        ASSERT_EQ(S_OK, m_selector.Open(Serve(L"long.rm").c_str()));
        ASSERT_EQ(PLAYER_REAL, m_selector.Kind());
        control = HostedControl(m_selector);
        ASSERT_NE(nullptr, control);
        ASSERT_EQ(S_OK, m_selector.Play());
        ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kWaitMs));
    }

    IDispatch* control = nullptr;
    ServedMedia media;
};

TEST_F(RealHostTest, CreationActivatesTheControlWithItsSetup)
{
    OpenReal();
    std::wstring log = TakeStandinLog();
    // Sited and activated, then the setup, then the source.
    std::size_t activated = log.find(L"Real.DoVerb(-5)");
    std::size_t controls = log.find(L"Real.SetControls(Imagewindow)");
    std::size_t source = log.find(std::wstring(L"Real.SetSource(") + kNowhere + L")");
    ASSERT_NE(std::wstring::npos, activated) << log;
    ASSERT_NE(std::wstring::npos, controls) << log;
    ASSERT_NE(std::wstring::npos, source) << log;
    EXPECT_LT(activated, controls);
    EXPECT_LT(controls, source);
    for (const wchar_t* setting :
         {L"Real.SetConsole(Real)", L"Real.SetAutoStart(0)", L"Real.SetNoLabels(-1)",
          L"Real.SetNoLogo(-1)", L"Real.SetImageStatus(0)", L"Real.SetEnableContextMenu(0)",
          L"Real.SetMaintainAspect(-1)", L"Real.SetCenter(-1)", L"Real.SetWantMouseEvents(-1)",
          L"Real.SetWantKeyboardEvents(-1)"}) {
        EXPECT_NE(std::wstring::npos, log.find(setting)) << setting << "\n" << log;
    }
    HWND host = nullptr;
    ASSERT_EQ(S_OK, m_selector.GetPlayerWindow(&host));
    wchar_t name[32];
    GetClassNameW(host, name, 32);
    EXPECT_STREQ(L"AtlAxWin71", name);
    EXPECT_EQ(static_cast<LONG_PTR>(CPlayerSelector::kRealId), GetWindowLongPtrW(host, GWLP_ID));
    HWND video = HostedWindow(m_selector, L"PNGUIClass");
    ASSERT_NE(nullptr, video);
    EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(video, nullptr));

    // Close destroys the host; the next Open makes a new one.
    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_FALSE(IsWindow(host));
    EXPECT_EQ(S_OK, m_selector.Open(kNowhere));
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"Real.SetControls(Imagewindow)"));
}

TEST_F(RealHostTest, EveryEventBecomesItsPlayerMessage)
{
    OpenReal();
    struct Case {
        const char* what;
        DISPID id;
        std::vector<long> args;
        UINT message;   // 0: nothing reaches the owner
        WPARAM wParam;
        LPARAM lParam;
    };
    const Case cases[] = {
        {"state 0", 1013, {0}, WM_PLAYER_PLAYSTATE, 1, 0},
        {"state 1 is connecting", 1013, {1}, WM_PLAYER_OPENSTATE, 3, 0},
        {"state 2", 1013, {2}, WM_PLAYER_PLAYSTATE, 5, 0},
        {"state 3", 1013, {3}, WM_PLAYER_PLAYSTATE, 3, 0},
        {"state 4", 1013, {4}, WM_PLAYER_PLAYSTATE, 2, 0},
        {"state 5", 1013, {5}, WM_PLAYER_PLAYSTATE, 4, 0},
        {"state 7", 1013, {7}, WM_PLAYER_PLAYSTATE, 6, 0},
        {"position", 1005, {61500, 3600000}, WM_PLAYER_POSITION, 61, 3600},
        {"opened", 302, {5, 6}, WM_PLAYER_OPENSTATE, 1, 0},
        {"closed", 303, {}, WM_PLAYER_OPENSTATE, 2, 0},
        {"status", 304, {42}, WM_PLAYER_STATUS, 42, 0},
        {"error", 1014, {11, 12, 13, 14, 15, 16}, WM_PLAYER_ERROR, 12, 16},
        {"buffering", 1041, {21, 77}, WM_PLAYER_PROGRESS, 0, 77},
        {"left down", 1031, {1, 0x123, 0x456}, WM_PLAYER_MOUSEDOWN, 1, 0x04560123},
        {"right down", 1034, {2, 0x12345, 0x7}, WM_PLAYER_MOUSEDOWN, 2, 0x00072345},
        {"left up", 1032, {5, 0x21, 0x43}, WM_PLAYER_MOUSEUP, 5, 0x00430021},
        {"right up", 1035, {6, 0x31, 0x53}, WM_PLAYER_MOUSEUP, 6, 0x00530031},
        {"move", 1037, {8, 0x65, 0x87}, WM_PLAYER_MOUSEMOVE, 8, 0x00870065},
        {"key down", 1038, {4, 65}, WM_PLAYER_KEY, 65, 4},
        {"key press", 1039, {8, 66}, WM_PLAYER_KEYPRESS, 66, 8},
        {"key up", 1040, {1, 67}, WM_PLAYER_KEYUP, 67, 1},
        {"heard, no action", 1007, {1}, 0, 0, 0},
        {"heard, no action", 1042, {1, 2}, 0, 0, 0},
        {"not in the map", 999, {1}, 0, 0, 0},
        {"position with one argument", 1005, {61500}, 0, 0, 0},
        {"mouse with two arguments", 1031, {1, 2}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        m_owner.seen.clear();
        std::vector<VARIANT> args;
        for (long value : c.args)
            args.push_back(LongValue(value));
        Raise(c.id, args);
        PumpMessages();
        if (!c.message) {
            EXPECT_TRUE(m_owner.seen.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(1u, m_owner.seen.size()) << c.what;
        EXPECT_EQ(c.message, m_owner.seen[0].message) << c.what;
        EXPECT_EQ(c.wParam, m_owner.seen[0].wParam) << c.what;
        EXPECT_EQ(c.lParam, m_owner.seen[0].lParam) << c.what;
    }

    // The error's last argument as the published control gives it: text,
    // handed on for the length of the call.
    m_owner.seen.clear();
    Raise(1014, {LongValue(1), LongValue(2), LongValue(3), TextValue(L"a"), TextValue(L"b"),
                 TextValue(L"detail")});
    ASSERT_EQ(1u, m_owner.seen.size());
    EXPECT_NE(0, m_owner.seen[0].lParam);
}

// The share of the buffering time that has elapsed; without any buffering
// time the output is left as it was.
TEST_F(RealHostTest, BufferingPercentIsTheElapsedShareOfTheBufferingTime)
{
    OpenReal();
    struct Case {
        const wchar_t* times;   // elapsed, remaining
        int percent;
    };
    const Case cases[] = {{L"3,0", 100}, {L"1,3", 25}, {L"0,7", 0}, {L"0,0", 42}};
    for (const Case& c : cases) {
        SetStandinKnob(L"REAL_BUFFERING", c.times);
        int percent = 42;
        EXPECT_EQ(S_OK, m_selector.GetBufferingPercent(&percent)) << Narrow(c.times);
        EXPECT_EQ(c.percent, percent) << Narrow(c.times);
    }
}

TEST_F(RealHostTest, ACreationFailureGivesTheRealCode)
{
    SetStandinKnob(L"FAIL_CREATE", L"Real");
    EXPECT_EQ(E_PLAYER_REAL_CREATE, m_selector.Open(kNowhere));
    EXPECT_EQ(PLAYER_NONE, m_selector.Kind());
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"Real.Create refused"));
    SetStandinKnob(L"FAIL_CREATE", nullptr);
    EXPECT_EQ(S_OK, m_selector.Open(kNowhere));
}

TEST_F(RealHostTest, WhilePlayingTheVideoNeverSeesAMoveAndADoubleClickAsksForFullScreen)
{
    OpenReal();
    HWND video = HostedWindow(m_selector, L"PNGUIClass");
    ASSERT_NE(nullptr, video);
    POINT at = CentreOf(video);
    auto mouseDowns = [&] { return m_owner.Count(WM_PLAYER_MOUSEDOWN); };

    // Before Play there is no hook: the control sees the move and says so.
    MouseAt(0, at.x - 5, at.y);
    MouseAt(0, at.x, at.y);
    ASSERT_TRUE(PumpUntil([&] { return m_owner.Count(WM_PLAYER_MOUSEMOVE) > 0; }, kWaitMs));

    ASSERT_EQ(S_OK, m_selector.Play());
    int moved = 0;
    m_selector.PollActivity(&moved);   // the start point
    m_owner.seen.clear();
    MouseAt(0, at.x + 7, at.y + 3);
    MouseAt(MOUSEEVENTF_RIGHTDOWN, at.x + 7, at.y + 3);
    MouseAt(MOUSEEVENTF_RIGHTUP, at.x + 7, at.y + 3);
    // A left click after them: once it arrived, so had they.
    MouseAt(MOUSEEVENTF_LEFTDOWN, at.x + 7, at.y + 3);
    MouseAt(MOUSEEVENTF_LEFTUP, at.x + 7, at.y + 3);
    ASSERT_TRUE(PumpUntil([&] { return mouseDowns() == 1; }, kWaitMs));
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_MOUSEMOVE));
    EXPECT_EQ(std::vector<WPARAM>{MK_LBUTTON}, m_owner.Params(WM_PLAYER_MOUSEDOWN));
    moved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&moved));   // a single click toggles nothing
    EXPECT_EQ(1, moved);
    moved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&moved));
    EXPECT_EQ(0, moved);

    // The second click within the double-click time: a toggle request.
    MouseAt(MOUSEEVENTF_LEFTDOWN, at.x + 7, at.y + 3);
    MouseAt(MOUSEEVENTF_LEFTUP, at.x + 7, at.y + 3);
    ASSERT_TRUE(PumpUntil([&] { return m_owner.Count(WM_PLAYER_MOUSEUP) == 2; }, kWaitMs));
    TakeStandinLog();
    EXPECT_EQ(1, m_selector.PollActivity(&moved));
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"Real.GetFullScreen"));
    EXPECT_EQ(0, m_selector.PollActivity(&moved));   // taken once

    // Close takes the hook away: moves reach the control again.
    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_FALSE(PlayerHooksInstalled());
}

TEST_F(RealHostTest, TwoRealHostsShareOneHook)
{
    OpenReal();
    RecordingOwner otherOwner;
    CPlayerSelector other;
    other.m_owner = otherOwner.Handle();
    other.SetParentWindow(otherOwner.Handle());
    other.SetRect(RECT{0, 0, 100, 100}, FALSE);
    ASSERT_EQ(S_OK, other.Open(kNowhere));
    ASSERT_EQ(S_OK, m_selector.Play());
    ASSERT_TRUE(PlayerHooksInstalled());
    ASSERT_EQ(S_OK, other.Play());   // finds the hook: installs none
    EXPECT_EQ(S_OK, other.Close());  // either Close removes it
    EXPECT_FALSE(PlayerHooksInstalled());
    other.DestroyAll();
}

// The control says it stopped, and the owner (as the control does) stops and
// closes the player right inside that event: the owner hears the same states,
// and the host with its control goes only once the event has returned, even
// for a control that does not hold itself while it raises the event.
TEST_F(RealHostTest, AnOwnerClosingThePlayerInsideItsEventGetsTheHostDestroyedAfterIt)
{
    SetStandinKnob(L"UNGUARDED_EVENTS", L"1");
    OpenReal();
    HWND host = nullptr;
    ASSERT_EQ(S_OK, m_selector.GetPlayerWindow(&host));
    control->Release();   // the host's reference is the control's last
    control = nullptr;
    m_owner.react = [&](UINT message, WPARAM state) {
        if (message == WM_PLAYER_PLAYSTATE && state == PLAYSTATE_STOPPED &&
            m_selector.Kind() == PLAYER_REAL) {
            m_selector.Stop();
            m_selector.Close();
        }
    };
    TakeStandinLog();
    // Nobody listens there: an error, then state 0 (stopped).
    ASSERT_EQ(S_OK, m_selector.Play());
    ASSERT_TRUE(PumpUntil([&] { return m_selector.Kind() == PLAYER_NONE; }, kWaitMs));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(host); }, kWaitMs));
    std::wstring log = TakeStandinLog();
    EXPECT_EQ(std::wstring::npos, log.find(L"released inside its own event")) << log;
    EXPECT_NE(std::wstring::npos, log.find(L"Real.DoStop")) << log;
    EXPECT_EQ(std::vector<WPARAM>{PLAYSTATE_STOPPED}, m_owner.Params(WM_PLAYER_PLAYSTATE));
    // Connecting, then the stop's own "closed".
    EXPECT_EQ((std::vector<WPARAM>{3, 2}), m_owner.Params(WM_PLAYER_OPENSTATE));
    EXPECT_EQ(1, m_owner.Count(WM_PLAYER_ERROR));
    m_owner.react = nullptr;
    EXPECT_FALSE(PlayerHooksInstalled());
    // The next Open makes a new host.
    EXPECT_EQ(S_OK, m_selector.Open(kNowhere));
}

// A double-click on a clip with a picture puts the control in full screen,
// and the next one takes it out again.
TEST_F(RealHostTest, ADoubleClickOnAPictureTogglesTheControlsFullScreen)
{
    ASSERT_NO_FATAL_FAILURE(PlayClip());
    int width = 0, height = 0;
    ASSERT_EQ(S_OK, m_selector.GetVideoSize(&width, &height));
    ASSERT_EQ(176, width);
    HWND video = HostedWindow(m_selector, L"PNGUIClass");
    ASSERT_NE(nullptr, video);
    const POINT at = CentreOf(video);
    int moved = 0;
    m_selector.PollActivity(&moved);
    struct Step {
        int fullScreen;
        const wchar_t* call;
    };
    for (const Step& step : {Step{1, L"Real.SetFullScreen"}, Step{0, L"Real.SetOriginalSize"}}) {
        TakeStandinLog();
        for (int click = 0; click < 2; ++click) {
            MouseAt(MOUSEEVENTF_LEFTDOWN, at.x, at.y);
            MouseAt(MOUSEEVENTF_LEFTUP, at.x, at.y);
        }
        ASSERT_TRUE(PumpUntil([&] { return m_selector.PollActivity(&moved) == 1; }, kWaitMs))
            << step.fullScreen;
        EXPECT_NE(std::wstring::npos, TakeStandinLog().find(step.call)) << step.fullScreen;
        int fullScreen = -1;
        EXPECT_EQ(S_OK, m_selector.GetFullScreen(&fullScreen));
        EXPECT_EQ(step.fullScreen, fullScreen);
    }
    media.Stop();
}

// Opening another kind while a Real clip plays stops and hides the Real
// host, takes its hook away, and its reports no longer reach the owner.
TEST_F(RealHostTest, OpeningAnotherKindWhileRealPlaysClosesReal)
{
    ASSERT_NO_FATAL_FAILURE(PlayClip());
    ASSERT_TRUE(PlayerHooksInstalled());
    HWND real = nullptr;
    ASSERT_EQ(S_OK, m_selector.GetPlayerWindow(&real));
    TakeStandinLog();
    ASSERT_EQ(S_OK, m_selector.Open(L"vlch://127.0.0.1:9/live", PLAYER_VLC));
    EXPECT_EQ(PLAYER_VLC, m_selector.Kind());
    const std::wstring log = TakeStandinLog();
    const std::size_t stop = log.find(L"Real.DoStop");
    EXPECT_NE(std::wstring::npos, stop) << Narrow(log);
    EXPECT_LT(stop, log.find(L"VLC.playlist.add")) << Narrow(log);
    EXPECT_FALSE(IsWindowVisible(real));
    EXPECT_FALSE(PlayerHooksInstalled());
    HWND vlc = nullptr;
    ASSERT_EQ(S_OK, m_selector.GetPlayerWindow(&vlc));
    EXPECT_TRUE(IsWindowVisible(vlc));

    m_owner.seen.clear();
    Raise(1013, {LongValue(3)});
    PumpMessages();
    EXPECT_TRUE(m_owner.seen.empty());
    media.Stop();
}

}  // namespace
