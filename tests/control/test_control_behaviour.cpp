// The control at work in a container, against the swarm fixture (NAT
// server, tracker and content server): Open starts the engine and asks for
// advertisements, the play state follows the player's reports, the session
// keep-alive runs while playing and its refusal stops and blocks playback,
// Close ends the engine.
#include "tests/control/ControlPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "control/ControlIds.h"
#include "players/PlayerKind.h"
#include "tests/common/MouseInput.h"
#include "tests/platform/StandinSupport.h"
#include "tests/ui/WidgetHost.h"

namespace {

using namespace controltest;
// The page's bound, not the widget host's.
using controltest::PumpUntil;

const DISPID kPosition = 14, kDuration = 18, kCurPlay = 19;
const DISPID kInfoString = 25, kEnableNetDataDisplay = 52, kStatusBarDisplay = 53, kAction = 4, kStateString = 17, kLocalPlayerUrl = 38, kPlayState = 39,
             kDownloadedPercent = 43, kUserSession = 45, kStopAD = 22;

// What the content server answers for any movie address.
const wchar_t kMovieRead[] = L": 200, 64 bytes\n";

class ControlBehaviour : public ControlPageTest {
protected:
    void SetUp() override
    {
        ControlPageTest::SetUp();
        ASSERT_TRUE(content_.Ready()) << "run through the play_swarm fixture";
        content_.Set("{\"reset\": true}");
        contentBase_ = nettest::FixtureUrl("TOVRA_CONTENT_PORT");
    }

    void TearDown() override
    {
        tracker_.Set("{\"extra_peers\": []}");
        ControlPageTest::TearDown();
    }

    int Served(const std::string& route) { return content_.WaitCount("route=" + route, 0, 0); }
    bool PumpUntilServed(const std::string& route, int count)
    {
        return PumpUntil([&] { return Served(route) >= count; });
    }

    // The main player's own report, as its host sends it.
    void PlayerReports(WPARAM state)
    {
        SendMessageW(control_->Window(), WM_PLAYER_PLAYSTATE, state, 0);
    }
    std::vector<LONG> Events() const
    {
        std::vector<LONG> values;
        for (const VARIANT& v : sink_.calls)
            values.push_back(v.lVal);
        return values;
    }
    std::wstring Text(DISPID id) { return olehost::GetText(dispatch_, id); }
    ULONG Number(DISPID id) { return static_cast<ULONG>(_wtoi(Text(id).c_str())); }
    // What a page shows as time, read through IDispatch together once a
    // video has played a while: the seconds played lie between the per mille
    // positions read before and after them. Answers the video's seconds.
    ULONG ExpectTimeReadings()
    {
        EXPECT_TRUE(PumpUntil([&] { return Number(kPosition) > 0; }, kPlayBound));
        const ULONG before = Number(kPosition), seconds = Number(kCurPlay),
                    duration = Number(kDuration), after = Number(kPosition);
        EXPECT_GT(seconds, 0u);
        EXPECT_LE(before * duration / 1000, seconds) << before << " of " << duration;
        EXPECT_LE(seconds * 1000, (after + 1) * duration) << after << " of " << duration;
        return duration;
    }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(control_->Window(), id)) != FALSE; }
    // The viewer clicks a button of the bar: pressed (the button takes the
    // mouse), then released over it.
    ::testing::AssertionResult Click(int id)
    {
        HWND button = GetDlgItem(control_->Window(), id);
        RECT box;
        GetWindowRect(button, &box);
        const int x = (box.left + box.right) / 2, y = (box.top + box.bottom) / 2;
        SetForegroundWindow(page_);
        MouseAt(MOUSEEVENTF_LEFTDOWN, x, y);
        const bool taken = PumpUntil([&] { return GetCapture() == button; });
        MouseAt(MOUSEEVENTF_LEFTUP, x, y);
        if (!taken)
            return ::testing::AssertionFailure() << "button " << id << " never took the mouse";
        return PumpUntil([] { return GetCapture() == nullptr; })
                   ? ::testing::AssertionSuccess()
                   : ::testing::AssertionFailure() << "button " << id << " kept the mouse";
    }
    std::wstring MovieUrl(const char* name) { return Wide(contentBase_) + L"/movie/" + Wide(name); }

    // The control's own slider of an item.
    UI::SVolumeCtrl& Slider(int id)
    {
        return *static_cast<UI::SVolumeCtrl*>(
            CWindowBase::FromHandle(GetDlgItem(control_->Window(), id)));
    }

    // A video of the seed, playing; the control's position bar knows its
    // length.
    void PlayTheSeedsVideo()
    {
        ASSERT_TRUE(RegisterStandins());
        bag_.values[L"Action"] = SeedAction();
        bag_.values[L"BufferTime"] = L"2";
        Activate();
        ASSERT_TRUE(PumpUntil([&] { return Events().size() >= 2; }, kPlayBound))
            << Narrow(Text(kStateString));
        ASSERT_TRUE(PumpUntil([&] { return Slider(IDC_PROGRESS).duration > 0; }));
    }

    // The seed's video opened with a buffer advertisement of 4 s, its count
    // at half.
    void CountTheBufferAdvertisement()
    {
        ASSERT_TRUE(RegisterStandins());
        bag_.values[L"Action"] = SeedAction();
        bag_.values[L"BufferTime"] = L"4";
        bag_.values[L"BufferAD"] = L"http://127.0.0.1:1/buffer.swf";
        Activate();
        ASSERT_TRUE(PumpUntil([&] { return Text(kStateString) == L"缓冲50%"; }))
            << Narrow(Text(kStateString));
    }

    nettest::FixtureControl content_{"TOVRA_CONTENT_PORT"};
    nettest::FixtureControl tracker_{"TOVRA_TRACKER_PORT"};
    std::string contentBase_;
};

// The whole road of one video: the engine fetches from the seed, the
// pre-buffer ends, the FLV host plays the loopback URL: 2 and 1; pause and
// play; stop.
TEST_F(ControlBehaviour, AVideoFromTheSeedPlaysPausesAndStops)
{
    ASSERT_TRUE(RegisterStandins());
    bag_.values[L"Action"] = SeedAction();
    bag_.values[L"BufferTime"] = L"2";
    Activate();
    ASSERT_NE(control_->VodEngine(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return Events().size() >= 2; }, kPlayBound))
        << Narrow(Text(kStateString));
    EXPECT_EQ(Events(), (std::vector<LONG>{2, 1}));
    EXPECT_EQ(Text(kPlayState), L"1");

    EXPECT_EQ(ExpectTimeReadings(), 20u) << "the clip's seconds";

    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, 0), 0);
    EXPECT_EQ(Text(kPlayState), L"2");
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, 0), 0);
    EXPECT_EQ(Text(kPlayState), L"1");
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 1);
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(Events(), (std::vector<LONG>{2, 1, 2, 1, 3, 0}));
    EXPECT_NE(control_->VodEngine(), nullptr) << "stop leaves the engine running";
}

// A live channel: the engine's stream-ready notice plays its local FLV
// address: 2 and 1; the player's end gives 4 and 0.
TEST_F(ControlBehaviour, ALiveChannelPlaysWhenItsStreamIsReady)
{
    ASSERT_TRUE(RegisterStandins());
    bag_.values[L"Action"] = L"type=live&cid=" + Wide(std::getenv("TOVRA_LIVE_CID"));
    Activate();
    ASSERT_NE(control_->LiveEngine(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return Events().size() >= 2; }, kPlayBound))
        << Narrow(Text(kStateString));
    EXPECT_EQ(Events(), (std::vector<LONG>{2, 1}));
    EXPECT_EQ(Text(kLocalPlayerUrl).compare(0, 17, L"http://127.0.0.1:"), 0);
    EXPECT_FALSE(Enabled(IDC_PLAY)) << "a live channel cannot be paused";
    // A live stream has no length: only the seconds played read.
    EXPECT_TRUE(PumpUntil([&] { return Number(kCurPlay) > 0; }, kPlayBound));
    EXPECT_EQ(Number(kDuration), 0u);
    EXPECT_EQ(Number(kPosition), 0u);
    PlayerReports(PLAYSTATE_STOPPED);
    EXPECT_EQ(Events(), (std::vector<LONG>{2, 1, 4, 0}));
    EXPECT_TRUE(Enabled(IDC_PLAY));
}

// A player that cannot be created: its box by its code, the failure text,
// and the control stays stopped.
TEST_F(ControlBehaviour, APlayerThatCannotBeCreatedShowsItsBox)
{
    ASSERT_TRUE(RegisterStandins());
    SetStandinKnob(L"FAIL_CREATE", L"Flash");
    bag_.values[L"Action"] = SeedAction();
    bag_.values[L"BufferTime"] = L"2";
    std::vector<AnsweredBoxes::Box> boxes;
    bool failed;
    {
        AnsweredBoxes answered;
        Activate();
        failed = PumpUntil([&] { return Text(kStateString) == L"播放媒体失败！"; }, kPlayBound);
        boxes = answered.Seen();
    }
    SetStandinKnob(L"FAIL_CREATE", nullptr);
    ASSERT_TRUE(failed) << Narrow(Text(kStateString));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"提示");
    EXPECT_EQ(boxes[0].text, L"Flash控件创建不成功，请先安装！");
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(Text(kPlayState), L"0");
}

// A VLC channel without VLC: the Yes/No box, answered No, opens no download
// page and shows no second box.
TEST_F(ControlBehaviour, TheVlcBoxAnsweredNoOpensNothing)
{
    ASSERT_TRUE(RegisterStandins());
    ASSERT_NE(std::getenv("TOVRA_VLCH_CID"), nullptr);
    SetStandinKnob(L"FAIL_CREATE", L"VLC");
    bag_.values[L"Action"] = L"type=live&cid=" + Wide(std::getenv("TOVRA_VLCH_CID"));
    std::vector<AnsweredBoxes::Box> boxes;
    bool failed;
    {
        AnsweredBoxes answered(IDNO);
        Activate();
        failed = PumpUntil([&] { return Text(kStateString) == L"播放媒体失败！"; }, kPlayBound);
        boxes = answered.Seen();
    }
    SetStandinKnob(L"FAIL_CREATE", nullptr);
    ASSERT_TRUE(failed) << Narrow(Text(kStateString));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"提示");
    const std::wstring opening = L"未安装VLC播放器，请到";
    EXPECT_EQ(boxes[0].text.compare(0, opening.size(), opening), 0) << Narrow(boxes[0].text);
    EXPECT_NE(boxes[0].text.find(L"下载安装"), std::wstring::npos);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(Text(kPlayState), L"0");
}

// The thread's cursor display count, left as it was.
int CursorCount()
{
    const int count = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    return count;
}

// Full screen on the Windows Media host: the player's mouse reports arm the
// hiding timer, each tick hides the cursor once; leaving full screen, and
// stopping, show it as often as it was hidden.
TEST_F(ControlBehaviour, TheCursorHiddenInFullScreenComesBack)
{
    ASSERT_TRUE(RegisterStandins());
    ASSERT_NE(std::getenv("TOVRA_WMV2_CID"), nullptr);
    bag_.values[L"Action"] = L"type=live&cid=" + Wide(std::getenv("TOVRA_WMV2_CID"));
    Activate();
    ASSERT_TRUE(PumpUntil([&] { return Events().size() >= 2; }, kPlayBound))
        << Narrow(Text(kStateString));
    const int shown = CursorCount();
    const HWND window = control_->Window();
    for (WORD leave : {IDC_FULLSCREEN, IDC_STOP}) {
        SCOPED_TRACE(leave == IDC_STOP ? "stop" : "full screen off");
        // The player takes full screen once its video plays: its popup shows.
        auto fullScreen = [] { return FindWindowW(L"TovraStandinFullScreen", nullptr) != nullptr; };
        ASSERT_TRUE(PumpUntil([&] {
            if (!fullScreen())
                SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_FULLSCREEN, 0), 0);
            return fullScreen();
        }, 30000));
        for (int hides = 1; hides <= 2; ++hides) {
            SendMessageW(window, WM_PLAYER_MOUSEMOVE, 0, -1);
            ASSERT_TRUE(PumpUntil([&] { return CursorCount() == shown - hides; }, 10000))
                << CursorCount();
        }
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(leave, 0), 1);
        EXPECT_EQ(CursorCount(), shown);
        EXPECT_FALSE(fullScreen());
    }
    EXPECT_EQ(Text(kPlayState), L"0");
}

// The moves the full-screen bar's volume slider receives, in its pixels.
struct SliderMoves {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_MOUSEMOVE)
            seen.push_back(lParam);
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    static WNDPROC original;
    static std::vector<LPARAM> seen;
};
WNDPROC SliderMoves::original = nullptr;
std::vector<LPARAM> SliderMoves::seen;

// A click on the position bar while paused seeks, and the player is paused
// again (a seek resumes some players).
TEST_F(ControlBehaviour, ASeekWhilePausedStaysPaused)
{
    ASSERT_NO_FATAL_FAILURE(PlayTheSeedsVideo());
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, 0), 0);
    ASSERT_EQ(Text(kPlayState), L"2");
    UI::SVolumeCtrl& position = Slider(IDC_PROGRESS);
    TakeStandinLog();
    RECT r;
    GetWindowRect(position.Handle(), &r);
    MouseMoveTo((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    MouseButton(true);
    MouseButton(false);
    std::wstring log;
    ASSERT_TRUE(PumpUntil([&] {
        log += TakeStandinLog();
        return log.find(L"SetVariable(mediaSeek,1)") != std::wstring::npos;
    }));
    EXPECT_NE(log.find(L"Flash.SetVariable(mediaPause,1)", log.find(L"SetVariable(mediaSeek,1)")),
              std::wstring::npos)
        << Narrow(log);
    EXPECT_EQ(Text(kPlayState), L"2");
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 1);
}

// In full screen the bar stays up while the viewer moves the cursor over
// the picture: every move reaches its sliders (they follow the cursor) and
// restarts its auto-hide, also past its 2 s; and each second it gets the
// video's length.
TEST_F(ControlBehaviour, TheFullScreenBarStaysWhileTheCursorMoves)
{
    ASSERT_NO_FATAL_FAILURE(PlayTheSeedsVideo());
    const HWND window = control_->Window();
    auto fullScreen = [] { return FindWindowW(L"MacromediaFlashPlayerActiveX", nullptr) != nullptr; };
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_FULLSCREEN, 0), 0);
    ASSERT_TRUE(PumpUntil(fullScreen));
    CFullControl& bar = control_->FullControl();
    MouseMoveTo(100, 100);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(bar.Handle()) != FALSE; }));

    SliderMoves::seen.clear();
    const HWND volume = bar.VolumeSlider().Handle();
    SliderMoves::original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(volume, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SliderMoves::Proc)));
    bar.SetDuration(0);
    const DWORD start = GetTickCount();
    bool durationPushed = false;
    for (int step = 0; step < 100 && GetTickCount() - start < 3000; ++step) {
        SCOPED_TRACE(step);
        POINT at = {120 + 7 * step, 100 + 3 * step};
        MouseMoveTo(at.x, at.y);
        ScreenToClient(volume, &at);
        ASSERT_TRUE(PumpUntil([&] {
            const std::vector<LPARAM>& seen = SliderMoves::seen;
            return std::find(seen.begin(), seen.end(), MAKELPARAM(at.x, at.y)) != seen.end();
        }, 5000)) << "the move did not reach the bar";
        ASSERT_TRUE(IsWindowVisible(bar.Handle()));
        durationPushed |= bar.PositionBar().duration == Slider(IDC_PROGRESS).duration;
    }
    EXPECT_GE(GetTickCount() - start, 3000u) << "too few moves to outlast the auto-hide";
    EXPECT_TRUE(durationPushed);
    SetWindowLongPtrW(volume, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SliderMoves::original));

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_FULLSCREEN, 0), 0);
    EXPECT_TRUE(PumpUntil([&] { return !fullScreen() && !IsWindowVisible(bar.Handle()); }));
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 1);
}

// With a buffer advertisement the percent counts its seconds whatever the
// data, and the play command waits for it.
TEST_F(ControlBehaviour, TheBufferAdvertisementHoldsPlayForItsSeconds)
{
    ASSERT_NO_FATAL_FAILURE(CountTheBufferAdvertisement());
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, 0), 0);
    EXPECT_TRUE(Events().empty()) << "play waits for the advertisement";
    ASSERT_TRUE(PumpUntil([&] { return Events().size() >= 2; }, kPlayBound));
    EXPECT_EQ(Events(), (std::vector<LONG>{2, 1}));
}

// The advertisement's count ends with its timer: a new Open counts its
// seconds from the first again, and after the viewer's Stop the Play button
// plays at once.
TEST_F(ControlBehaviour, OpenAndStopEndTheBufferAdvertisementsCount)
{
    ASSERT_NO_FATAL_FAILURE(CountTheBufferAdvertisement());
    // The first second of the new count shows the buffering text, not a percent.
    EXPECT_EQ(control_->Open(), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Text(kStateString) == L"缓冲中..."; }))
        << Narrow(Text(kStateString));
    ASSERT_TRUE(PumpUntil([&] { return Text(kStateString) == L"缓冲50%"; }))
        << Narrow(Text(kStateString));

    ASSERT_TRUE(Click(IDC_STOP));
    ASSERT_TRUE(Click(IDC_PLAY));
    ASSERT_TRUE(PumpUntil([&] { return Events().size() >= 2; }))
        << "play after stop was ignored: " << Narrow(Text(kStateString));
    EXPECT_EQ(Events(), (std::vector<LONG>{2, 1}));
}

// The page's FlvPlayer, given before the control has a window, is the movie
// the FLV player loads, for an FLV video as for a live channel: the Flash
// stand-in reads it from the content server.
TEST_F(ControlBehaviour, ThePagesFlvMovieIsLoadedForVideosAndChannels)
{
    ASSERT_TRUE(RegisterStandins());
    const std::wstring movie = MovieUrl("player/flvplayer2.swf");
    const struct {
        const char* name;
        std::wstring action, bufferTime;
    } cases[] = {
        {"video", SeedAction(), L"2"},
        {"channel", L"type=live&cid=" + FixtureText("TOVRA_LIVE_CID"), L"0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        content_.Set("{\"reset\": true}");
        TakeStandinLog();
        sink_.calls.clear();
        bag_.values[L"Action"] = c.action;
        bag_.values[L"BufferTime"] = c.bufferTime;
        bag_.values[L"FlvPlayer"] = L" " + movie + L" ";
        Activate();
        ASSERT_TRUE(PumpUntil([&] { return Events().size() >= 2; }, kPlayBound))
            << Narrow(Text(kStateString));
        const std::wstring log = TakeStandinLog();
        EXPECT_NE(log.find(L"Flash.movie read " + movie + kMovieRead), std::wstring::npos)
            << Narrow(log);
        EXPECT_EQ(log.find(L"not fetched"), std::wstring::npos)
            << "a movie other than the page's: " << Narrow(log);
        EXPECT_GE(Served("movie"), 1);
        Close();
    }
}

// A StopAD put shows the advertisement at once while nothing plays or is
// paused; while playing or paused it is only stored.
TEST_F(ControlBehaviour, AStopAdvertisementPutShowsAtOnceOnlyWhenStopped)
{
    ASSERT_TRUE(RegisterStandins());
    bag_.values[L"AutoPlay"] = L"0";
    Activate();
    const struct {
        WPARAM report;   // 0: none, the control stays stopped
        const char* name;
        bool shown;
    } cases[] = {
        {0, "stop1.swf", true},
        {PLAYSTATE_PLAYING, "stop2.swf", false},
        {PLAYSTATE_PAUSED, "stop3.swf", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.report)
            PlayerReports(c.report);
        TakeStandinLog();
        const std::wstring ad = MovieUrl(c.name);
        EXPECT_EQ(olehost::PutText(dispatch_, kStopAD, (L"  " + ad).c_str()), S_OK);
        EXPECT_EQ(Text(kStopAD), ad);
        const std::wstring log = TakeStandinLog();
        EXPECT_EQ(log.find(L"Flash.movie read " + ad + kMovieRead) != std::wstring::npos, c.shown)
            << Narrow(log);
    }
}

// AutoPlay opens at once: the engine runs, getad goes to the Cgi URL as one
// bencoded dictionary, and an "ad" URL is fetched with ADAppend verbatim.
TEST_F(ControlBehaviour, OpenStartsTheEngineAndAsksForAdvertisements)
{
    content_.Set("{\"ad\": \"url\"}");
    // One peer to connect to (its address leads nowhere): the engine then
    // reports that connecting began.
    tracker_.Set("{\"extra_peers\": [{\"pid\": \"" + std::string(20, 'a') +
                 "\", \"wip\": \"127.0.0.1\", \"wport\": 9, \"lip\": \"127.0.0.1\", "
                 "\"lport\": 9, \"gwtype\": 0, \"nodetype\": 1}]}");
    bag_.values[L"ADAppend"] = L"&uid=9";
    bag_.values[L"Action"] += L"&size=1000000&bitrate=400000";
    Activate();
    ASSERT_NE(control_->VodEngine(), nullptr);
    EXPECT_EQ(control_->Kind(), CCStreamView::CORE_VOD);
    EXPECT_FALSE(Enabled(IDC_PLAY)) << "until the engine reports connected";
    EXPECT_NE(Text(kLocalPlayerUrl), L"");
    EXPECT_EQ(Text(kDownloadedPercent), L"0");

    ASSERT_TRUE(PumpUntilServed("ad", 1));
    const std::string state = content_.Get("/_state");
    EXPECT_NE(state.find("\"body\": \"d3:cidi4242e3:msg5:getade\""), std::string::npos) << state;
    EXPECT_NE(state.find("\"path\": \"/cgi-bin/vod.fcgi\""), std::string::npos);
    EXPECT_NE(state.find("\"path\": \"/ad/desc.xml&uid=9\""), std::string::npos) << state;
    EXPECT_EQ(Served("getad"), 1);

    // The engine's connected notice enables the bar.
    ASSERT_TRUE(PumpUntil([&] { return Enabled(IDC_PLAY); })) << tracker_.Get("/_state");
    EXPECT_TRUE(Enabled(IDC_STOP));

    // The statistics line every 2 s: the rates in the status bar, or the
    // page's own text, which stays when the page gives none.
    auto isRates = [](const std::wstring& line) {
        return line.compare(0, 4, L"数据源：") == 0 && line.find(L" 上传：") != std::wstring::npos &&
               line.find(L"Bps 下载：") != std::wstring::npos &&
               line.compare(line.size() - 3, 3, L"Bps") == 0 &&
               line.find(L"总量") == std::wstring::npos;
    };
    ASSERT_TRUE(PumpUntil([&] { return isRates(Text(kInfoString)); })) << Narrow(Text(kInfoString));
    VARIANT off;
    off.vt = VT_BOOL;
    off.boolVal = VARIANT_FALSE;
    olehost::Put(dispatch_, kEnableNetDataDisplay, off);
    olehost::PutText(dispatch_, kStatusBarDisplay, L"page text");
    ASSERT_TRUE(PumpUntil([&] { return Text(kInfoString) == L"page text"; }));
    olehost::PutText(dispatch_, kStatusBarDisplay, L"");
    PumpUntil([] { return false; }, 2500);
    EXPECT_EQ(Text(kInfoString), L"page text");

    SendMessageW(control_->Window(), WM_CONTROL_CLOSE, 0, 0);
    EXPECT_EQ(control_->VodEngine(), nullptr);
    EXPECT_EQ(control_->Kind(), CCStreamView::CORE_NONE);
    EXPECT_EQ(Text(kLocalPlayerUrl), L"");
    for (int id : {IDC_PLAY, IDC_STOP, IDC_CHAT, IDC_FULLSCREEN, IDC_VIDEOSIZE})
        EXPECT_FALSE(Enabled(id)) << id;
}

// Without Cgi the engine still starts, and nothing asks for advertisements;
// an Action that misses a key opens nothing, and the page's puts that reach
// the engine find none.
TEST_F(ControlBehaviour, NoAdRequestWithoutCgiAndNoEngineForABadAction)
{
    bag_.values[L"Cgi"] = L"";
    Activate();
    ASSERT_NE(control_->VodEngine(), nullptr);

    olehost::PutText(dispatch_, kAction, L"cid=5&mime=flv");
    SendMessageW(control_->Window(), WM_CONTROL_OPEN, 0, 0);
    EXPECT_EQ(control_->VodEngine(), nullptr);
    EXPECT_EQ(control_->Kind(), CCStreamView::CORE_VOD) << "the kind stays as read";
    VARIANT off;
    off.vt = VT_BOOL;
    off.boolVal = VARIANT_TRUE;
    EXPECT_EQ(olehost::Put(dispatch_, 27, off), S_OK);
    EXPECT_EQ(Text(kLocalPlayerUrl), L"");
    EXPECT_EQ(Text(kDownloadedPercent), L"0");

    // The same control with a Cgi asks once: the first Open never did.
    const std::wstring cgi = Wide(nettest::FixtureUrl("TOVRA_TRACKER_PORT", "/x"));
    olehost::PutText(dispatch_, 3, cgi.c_str());
    olehost::PutText(dispatch_, kAction, L"type=live&cid=77");
    SendMessageW(control_->Window(), WM_CONTROL_OPEN, 0, 0);
    ASSERT_NE(control_->LiveEngine(), nullptr);
    ASSERT_TRUE(PumpUntilServed("getad", 1));
    EXPECT_NE(content_.Get("/_state").find("\"body\": \"d3:cidi77e3:msg5:getade\""),
              std::string::npos);
    EXPECT_EQ(Served("getad"), 1);
}

// The player's reports drive the play state; a new Open while playing ends
// the old playback first.
TEST_F(ControlBehaviour, PlayStateFollowsThePlayer)
{
    Activate();
    PlayerReports(PLAYSTATE_PLAYING);
    PlayerReports(PLAYSTATE_PAUSED);
    PlayerReports(PLAYSTATE_PLAYING);
    EXPECT_EQ(Text(kPlayState), L"1");
    // The player ends by itself: 4, then 0.
    PlayerReports(PLAYSTATE_STOPPED);
    EXPECT_EQ(Events(), (std::vector<LONG>{1, 2, 1, 4, 0}));
    // A stop report while stopped fires nothing but still shows "stopped".
    PlayerReports(PLAYSTATE_STOPPED);
    EXPECT_EQ(Events().size(), 5u);
    EXPECT_EQ(Text(kStateString), L"停止");

    // Open while playing: 4 and 0 come first.
    PlayerReports(PLAYSTATE_PLAYING);
    SendMessageW(control_->Window(), WM_CONTROL_OPEN, 0, 0);
    EXPECT_EQ(Events(), (std::vector<LONG>{1, 2, 1, 4, 0, 1, 4, 0}));

    // The Stop command: 3 then 0; the player's own stop after it adds nothing.
    PlayerReports(PLAYSTATE_PLAYING);
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 1);
    PlayerReports(PLAYSTATE_STOPPED);
    EXPECT_EQ(Events(), (std::vector<LONG>{1, 2, 1, 4, 0, 1, 4, 0, 1, 3, 0}));
    EXPECT_NE(control_->VodEngine(), nullptr);
}

// The page's handler of PlayStateChanged reads PlayState: it sees the state
// being left.
TEST_F(ControlBehaviour, APlayStateHandlerReadsTheOldState)
{
    Activate();
    struct Reader : olehost::EventSink {
        IDispatch* page = nullptr;
        std::vector<std::wstring> read;
        STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* exception, UINT* error) override
        {
            read.push_back(olehost::GetText(page, kPlayState));
            return EventSink::Invoke(id, iid, locale, flags, params, result, exception, error);
        }
    } reader;
    reader.page = dispatch_;
    DWORD cookie = 0;
    ASSERT_EQ(point_->Advise(&reader, &cookie), S_OK);
    PlayerReports(PLAYSTATE_PLAYING);
    PlayerReports(PLAYSTATE_PAUSED);
    PlayerReports(PLAYSTATE_STOPPED);
    point_->Unadvise(cookie);
    // 1, 2, then 4 and 0: each handler read the state before it.
    EXPECT_EQ(reader.read, (std::vector<std::wstring>{L"0", L"1", L"2", L"4"}));
    EXPECT_EQ(Text(kPlayState), L"0");
}

// Keep-alives at the interval while playing only; a failed one gives its
// seconds to the next; a refusal stops playback and blocks play and open
// until an "ok", also across Close.
TEST_F(ControlBehaviour, SessionKeepAliveRunsWhilePlayingAndItsRefusalBlocks)
{
    content_.Set("{\"keepalive\": [\"ok\", \"500\", \"500\", \"500\", \"ok\", \"refuse\"], "
                 "\"reason\": \"no more\"}");
    bag_.values[L"UserSession"] = Wide(contentBase_) + L"/session?u=7|2";
    Activate();
    ASSERT_NE(control_->VodEngine(), nullptr);
    PlayerReports(PLAYSTATE_PLAYING);

    // ok at 2 s; then three tries of one failing request; then one reporting
    // the failed seconds too; then the refusal.
    ASSERT_TRUE(PumpUntilServed("session", 6));
    const std::string state = content_.Get("/_state");
    std::vector<int> times;
    for (std::size_t at = state.find("\"time\": \""); at != std::string::npos;
         at = state.find("\"time\": \"", at + 1))
        times.push_back(std::atoi(state.c_str() + at + 9));
    ASSERT_GE(times.size(), 6u) << state;
    EXPECT_EQ(times[0], 2);
    EXPECT_EQ(times[1], 2);
    EXPECT_EQ(times[3], 2);
    EXPECT_GE(times[4], 3) << "the failed request's seconds count again";
    EXPECT_NE(state.find(std::string("\"hash\": \"") + "0123456789abcdef0123456789abcdef"),
              std::string::npos);
    EXPECT_NE(state.find("\"cid\": \"4242\""), std::string::npos);

    // The refusal posts the stop: 3 and 0, without the stop advertisement.
    ASSERT_TRUE(PumpUntil([&] { return Text(kPlayState) == L"0"; }));
    EXPECT_EQ(Events(), (std::vector<LONG>{1, 3, 0}));
    const int sent = Served("session");
    PumpUntil([] { return false; }, 2500);
    EXPECT_EQ(Served("session"), sent) << "no keep-alive while stopped";

    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, 0), 0);
    EXPECT_EQ(Text(kStateString), L"no more");
    SendMessageW(control_->Window(), WM_CONTROL_CLOSE, 0, 0);
    olehost::PutText(dispatch_, kUserSession, (Wide(contentBase_) + L"/session?u=8|2").c_str());
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, 0), 0);
    EXPECT_EQ(control_->VodEngine(), nullptr) << "play opens nothing while refused";
    EXPECT_EQ(Text(kStateString), L"no more");
}

// The engines' status ids become the state text; an id the table lacks
// shows nothing.
TEST_F(ControlBehaviour, EngineStatusTextsAndAutoPlayOff)
{
    bag_.values[L"AutoPlay"] = L"0";
    Activate();
    EXPECT_EQ(control_->VodEngine(), nullptr);
    EXPECT_TRUE(Enabled(IDC_PLAY));

    const struct {
        UINT message;
        LPARAM id;
        const wchar_t* text;
    } cases[] = {
        {1298, 111, L"开始登入..."},     {1298, 112, L"登入成功！"},
        {1298, 113, L"登入失败！"},      {1298, 114, L"开始获取节点..."},
        {1298, 115, L"获取节点成功！"},  {1298, 116, L"获取节点失败！"},
        {1298, 117, L"开始连接节点..."}, {1570, 118, L"等待切到下一个节目。"},
        {1298, 9999, L""},
    };
    for (const auto& c : cases) {
        SendMessageW(control_->Window(), c.message, 1, c.id);
        EXPECT_EQ(Text(kStateString), c.text) << c.id;
    }
    // The live engine's stage 9 carries its own text.
    SendMessageW(control_->Window(), 1570, 9, reinterpret_cast<LPARAM>(L"own words"));
    EXPECT_EQ(Text(kStateString), L"own words");

    // The play button opens what AutoPlay left closed.
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_PLAY, 0), 0);
    EXPECT_NE(control_->VodEngine(), nullptr);
    EXPECT_FALSE(Enabled(IDC_PLAY));
    // A command from an item's notification other than a click is not ours.
    PlayerReports(PLAYSTATE_PLAYING);
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, 1), 1);
    EXPECT_EQ(Text(kPlayState), L"1");
    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 1);
    EXPECT_EQ(Text(kPlayState), L"0");
}

// The mute button toggles the Mute property; a press from another item's
// notification does nothing.
TEST_F(ControlBehaviour, MuteToggles)
{
    bag_.values[L"AutoPlay"] = L"0";
    Activate();
    const struct {
        WORD notification;
        const wchar_t* mute;
    } presses[] = {{0, L"-1"}, {0, L"0"}, {1, L"0"}, {0, L"-1"}};
    for (const auto& p : presses) {
        SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_MUTE, p.notification), 0);
        EXPECT_EQ(Text(16), p.mute);
    }
}

}  // namespace
