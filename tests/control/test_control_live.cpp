// The control on the live channels of the play_swarm fixture, each page a
// control in its own container: a Windows Media player that reports an
// error is stopped and the channel replayed with the DirectShow player; the
// VLC box answered Yes opens the download page; a chat line typed in one
// viewer's page reaches the other viewer's page through the live engines; the
// full-screen player's mouse reaches the overlay strip over its picture.
#include "tests/control/ControlPage.h"

#include <dshow.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/ControlIds.h"
#include "live/LiveCore.h"
#include "players/DShowPlayer.h"
#include "players/PlayerKind.h"
#include "tests/common/LinkRecorder.h"
#include "tests/platform/StandinSupport.h"
#include "ui/CVideoADDisplayWnd.h"
#include "ui/chat/ChatIds.h"

namespace {

using namespace controltest;

const DISPID kStateString = 17, kInfoString = 25, kLocalPlayerUrl = 38, kPlayState = 39;
const wchar_t kPlayFailed[] = L"播放媒体失败！";

// One page, with its play-state events, its texts and its chat as the
// viewer uses it.
class Page : public ControlPage {
public:
    std::wstring Text(DISPID id) { return olehost::GetText(dispatch_, id); }
    std::vector<LONG> Events() const
    {
        std::vector<LONG> values;
        for (const VARIANT& v : sink_.calls)
            values.push_back(v.lVal);
        return values;
    }
    // A second sink of the page's script, connected until Close.
    bool Advise(IDispatch* sink)
    {
        DWORD cookie = 0;
        return point_->Advise(sink, &cookie) == S_OK;
    }
    IDispatch* Script() const { return dispatch_; }
};

// Pages of the tests' own; the fixture's page stays unused.
class ControlLive : public ControlPageTest {
protected:
    void SetUp() override
    {
        ControlPageTest::SetUp();
        ASSERT_TRUE(tracker_.Ready()) << "run through the play_swarm fixture";
        ASSERT_TRUE(RegisterStandins());
        content_.Set("{\"reset\": true}");
    }
    void TearDown() override
    {
        tracker_.Set("{\"hidden\": []}");
        ControlPageTest::TearDown();
    }

    void JoinTwoViewers(Page& first, Page& second);

    void Channel(const char* variable)
    {
        ASSERT_FALSE(FixtureText(variable).empty()) << variable;
        bag_.values[L"Action"] = L"type=live&cid=" + FixtureText(variable);
    }

    nettest::FixtureControl tracker_{"TOVRA_TRACKER_PORT"};
    nettest::FixtureControl content_{"TOVRA_CONTENT_PORT"};
};

// The address the source filter of a DirectShow graph was loaded with.
std::wstring GraphSource(IGraphBuilder* graph)
{
    std::wstring address;
    IEnumFilters* filters = nullptr;
    if (!graph || FAILED(graph->EnumFilters(&filters)))
        return address;
    IBaseFilter* filter = nullptr;
    while (address.empty() && filters->Next(1, &filter, nullptr) == S_OK) {
        IFileSourceFilter* source = nullptr;
        if (SUCCEEDED(filter->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&source)))) {
            LPOLESTR name = nullptr;
            if (SUCCEEDED(source->GetCurFile(&name, nullptr)) && name)
                address = name;
            CoTaskMemFree(name);
            source->Release();
        }
        filter->Release();
    }
    filters->Release();
    return address;
}

// The Windows Media player reports an error once it played: the control
// stops (3, 0, as a stop of its own), and plays the channel's address again
// with the DirectShow player, once. Wine's Windows Media reader opens files
// only: there the DirectShow open fails, and the failure text shows.
TEST_F(ControlLive, AWindowsMediaErrorReplaysWithTheDirectShowPlayer)
{
    ASSERT_NO_FATAL_FAILURE(Channel("TOVRA_WMV2_CID"));
    SetStandinKnob(L"WMP_DAMAGE_AT", L"5");
    TakeStandinLog();
    Page page;
    ASSERT_TRUE(page.Open(bag_));
    const bool replayed = PumpUntil([&] {
        return page.Control().MainPlayer().Kind() == PLAYER_DSHOW &&
               (page.Events().size() >= 6 || page.Text(kStateString) == kPlayFailed);
    }, kPlayBound);
    SetStandinKnob(L"WMP_DAMAGE_AT", nullptr);
    const std::wstring log = TakeStandinLog();
    ASSERT_TRUE(replayed) << Narrow(page.Text(kStateString)) << "\n" << Narrow(log);

    // The Windows Media player had the engine's address once, played, hit
    // the damaged packet; its host read the error, the control its source
    // address, and the player was stopped and closed.
    const std::wstring url = page.Text(kLocalPlayerUrl);
    ASSERT_EQ(url.compare(0, 17, L"http://127.0.0.1:"), 0) << Narrow(url);
    const std::wstring put = L"WMP.URL=" + url + L"\n";
    size_t at = log.find(put);
    EXPECT_NE(at, std::wstring::npos) << Narrow(log);
    EXPECT_EQ(log.find(put, at + 1), std::wstring::npos) << Narrow(log);
    for (const wchar_t* step : {L"WMP.play()\n", L"WMP.Fire 5101(3)\n", L"data packet 5 damaged\n",
                                L"WMP.errorCode\n", L"WMP.sourceURL\n", L"WMP.close()\n"}) {
        at = at == std::wstring::npos ? at : log.find(step, at);
        EXPECT_NE(at, std::wstring::npos) << Narrow(step) << " in order in\n" << Narrow(log);
    }

    // The DirectShow player was given the same address.
    ASSERT_NE(page.Control().MainPlayer().DShowHost(), nullptr);
    EXPECT_EQ(GraphSource(page.Control().MainPlayer().DShowHost()->Graph()), url);
    const std::vector<LONG> played = {2, 1, 3, 0, 2, 1}, failed = {2, 1, 3, 0};
    if (page.Events() == played) {
        EXPECT_EQ(page.Text(kPlayState), L"1");
    } else {
        EXPECT_EQ(page.Events(), failed);
        EXPECT_EQ(page.Text(kStateString), kPlayFailed);
        EXPECT_EQ(page.Text(kPlayState), L"0");
    }
}

// The FLV channel's header names its programme ("Test channel"): the
// stream-ready notice stops and plays again, and the status strip then
// rotates "正在播放: " and the title, the only keyed text without the
// statistics line.
TEST_F(ControlLive, TheProgrammeTitleShowsOnceTheChannelPlays)
{
    ASSERT_NO_FATAL_FAILURE(Channel("TOVRA_LIVE_CID"));
    bag_.values[L"EnableNetDataDisplay"] = L"0";
    Page page;
    ASSERT_TRUE(page.Open(bag_));
    ASSERT_TRUE(PumpUntil([&] { return page.Events().size() >= 2; }, kPlayBound))
        << Narrow(page.Text(kStateString));
    EXPECT_EQ(page.Events(), (std::vector<LONG>{2, 1}));
    EXPECT_EQ(page.Text(kInfoString), L"正在播放: Test channel") << Narrow(page.Text(kInfoString));
}

// A page script that closes the control as soon as it reports 0.
// (It outlives the page, whose connection lets go of it at the end.)
class CloseWhenStopped : public olehost::EventSink {
public:
    IDispatch* control = nullptr;

    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argument) override
    {
        EventSink::Invoke(id, iid, locale, flags, params, result, exception, argument);
        if (params && params->cArgs == 1 && params->rgvarg[0].lVal == 0) {
            const DISPID kClose = 34;
            DISPPARAMS none = {nullptr, nullptr, 0, 0};
            control->Invoke(kClose, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
        }
        return S_OK;
    }
};

bool g_timerRan = false;

void CALLBACK TimerRan(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_timerRan = true;
}

// The page closes the control when the error's stop reports 0: the replay
// that the error posted finds nothing open, and opens nothing again.
TEST_F(ControlLive, AReplayAfterThePageClosedOpensNothing)
{
    ASSERT_NO_FATAL_FAILURE(Channel("TOVRA_WMV2_CID"));
    SetStandinKnob(L"WMP_DAMAGE_AT", L"5");
    CloseWhenStopped script;
    Page page;
    ASSERT_TRUE(page.Open(bag_));
    script.control = page.Script();
    ASSERT_TRUE(page.Advise(&script));
    const bool stopped = PumpUntil([&] { return script.calls.size() >= 4; }, kPlayBound);
    SetStandinKnob(L"WMP_DAMAGE_AT", nullptr);
    ASSERT_TRUE(stopped) << Narrow(page.Text(kStateString));
    EXPECT_EQ(page.Events(), (std::vector<LONG>{2, 1, 3, 0}));
    EXPECT_EQ(page.Control().LiveEngine(), nullptr) << "closed";
    // The replay was posted before this timer, whose message comes only
    // once no posted message is left.
    g_timerRan = false;
    SetTimer(nullptr, 0, 0, TimerRan);
    ASSERT_TRUE(PumpUntil([] { return g_timerRan; }));
    EXPECT_EQ(page.Control().LiveEngine(), nullptr) << "opened again";
    EXPECT_EQ(page.Control().Kind(), CCStreamView::CORE_NONE);
    EXPECT_EQ(page.Events(), (std::vector<LONG>{2, 1, 3, 0}));
}

// A VLC channel without VLC, the box answered Yes: the download page is
// opened (it reaches the link recorder in the browser's place), and the
// control stays stopped with the failure text.
TEST_F(ControlLive, TheVlcBoxAnsweredYesOpensTheDownloadPage)
{
    ASSERT_NO_FATAL_FAILURE(Channel("TOVRA_VLCH_CID"));
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    SchemeToRecorder web(L"http");
    ASSERT_TRUE(web.ok());
    SetStandinKnob(L"FAIL_CREATE", L"VLC");
    std::vector<AnsweredBoxes::Box> boxes;
    Page page;
    bool failed;
    {
        AnsweredBoxes answered(IDYES);
        failed = page.Open(bag_) &&
                 PumpUntil([&] { return page.Text(kStateString) == kPlayFailed; }, kPlayBound);
        boxes = answered.Seen();
    }
    SetStandinKnob(L"FAIL_CREATE", nullptr);
    ASSERT_TRUE(failed) << Narrow(page.Text(kStateString));
    ASSERT_TRUE(recorder.WaitForLaunches(1, kBound));
    ASSERT_EQ(recorder.CommandLines().size(), 1u);
    EXPECT_EQ(recorder.Arguments(0), (std::vector<std::wstring>{L"http://vlc.invalid/download/"}));
    ASSERT_EQ(boxes.size(), 1u) << "the Yes brings no second box";
    EXPECT_NE(boxes[0].text.find(L"VLC"), std::wstring::npos) << Narrow(boxes[0].text);
    EXPECT_TRUE(page.Events().empty());
    EXPECT_EQ(page.Text(kPlayState), L"0");
}

// The pid (as the JSON text of the tracker's state spells it, escapes kept)
// that announced itself on the channel as its source.
std::string SourcePid(const std::string& state, const std::string& cid)
{
    const std::string opening = "{\"cid\": " + cid + ", \"pid\": \"";
    const std::string closing = "\", \"peertype\": 1}";
    for (size_t at = state.find(opening); at != std::string::npos; at = state.find(opening, at + 1)) {
        const size_t begin = at + opening.size();
        size_t end = begin;
        while (end < state.size() && state[end] != '"')
            end += state[end] == '\\' ? 2 : 1;
        if (state.compare(end, closing.size(), closing) == 0)
            return state.substr(begin, end - begin);
    }
    return std::string();
}

// Two viewers of the FLV channel: the second finds only the first (the
// tracker leaves the source out), so what reaches the second came through
// the first.
void ControlLive::JoinTwoViewers(Page& first, Page& second)
{
    ASSERT_NO_FATAL_FAILURE(Channel("TOVRA_LIVE_CID"));
    const std::string cid = Narrow(FixtureText("TOVRA_LIVE_CID"));
    const int announced = tracker_.WaitCount("msg=peeron", 1, 0);
    ASSERT_TRUE(first.Open(bag_));
    // The first viewer announces itself once it plays.
    ASSERT_TRUE(PumpUntil(
        [&] { return tracker_.WaitCount("msg=peeron", announced + 1, 0) > announced; }, kPlayBound))
        << Narrow(first.Text(kStateString));
    const std::string source = SourcePid(tracker_.Get("/_state"), cid);
    ASSERT_FALSE(source.empty()) << tracker_.Get("/_state");
    tracker_.Set("{\"hidden\": [\"" + source + "\"]}");
    ASSERT_TRUE(second.Open(bag_));
    auto sessions = [](Page& page) {
        return page.Control().LiveEngine() ? page.Control().LiveEngine()->GetSessionCount() : 0;
    };
    ASSERT_TRUE(PumpUntil([&] { return sessions(first) >= 2 && sessions(second) >= 1; }, kPlayBound))
        << "sessions " << sessions(first) << " " << sessions(second);
    EXPECT_EQ(sessions(second), 1) << "the source is hidden from the second viewer";
}

// The chat lines each viewer types reach the other one's page through the
// live engines.
TEST_F(ControlLive, ChatLinesCrossBetweenTwoViewersOfAChannel)
{
    Page first, second;
    ASSERT_NO_FATAL_FAILURE(JoinTwoViewers(first, second));

    // First to second: the hidden chat blinks its button; opened, it shows the line.
    first.Command(IDC_CHAT);
    ASSERT_TRUE(first.ChatShown());
    first.Say(L"live line one");
    ASSERT_TRUE(PumpUntil([&] { return !second.Control().Chat().History().empty(); }));
    EXPECT_TRUE(second.Control().ChatButton().blinking);
    second.Command(IDC_CHAT);
    ASSERT_TRUE(second.ChatShown());
    EXPECT_NE(second.Log().find(L"live line one"), std::wstring::npos) << Narrow(second.Log());

    // Second to first, into the chat on screen.
    second.Say(L"live line two");
    ASSERT_TRUE(PumpUntil([&] { return first.Log().find(L"live line two") != std::wstring::npos; }))
        << Narrow(first.Log());
    EXPECT_FALSE(first.Control().ChatButton().blinking);
}

// What the overlay strip is sent, recorded in front of its own procedure.
struct StripRecord {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP ||
            message == WM_MBUTTONDOWN)
            seen.push_back(MSG{hwnd, message, wParam, lParam, 0, {0, 0}});
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    static WNDPROC original;
    static std::vector<MSG> seen;
};
WNDPROC StripRecord::original = nullptr;
std::vector<MSG> StripRecord::seen;

// The Windows Media player in full screen: its mouse over the picture comes
// to the control without a point, and the control passes the move and the
// left button to the overlay strip when the cursor is on it.
TEST_F(ControlLive, TheFullScreenPlayersMouseReachesTheOverlayStrip)
{
    content_.Set("{\"ad\": \"xml\", \"ad_xml\": \"<ad><wad><i text='over the picture' "
                 "clr='#0000FF'></i></wad></ad>\"}");
    ASSERT_NO_FATAL_FAILURE(Channel("TOVRA_WMV2_CID"));
    Page page;
    ASSERT_TRUE(page.Open(bag_));
    ASSERT_TRUE(PumpUntil([&] { return page.Events().size() >= 2; }, kPlayBound))
        << Narrow(page.Text(kStateString));
    HWND picture = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        picture = FindWindowW(L"TovraStandinFullScreen", nullptr);
        if (!picture)
            page.Command(IDC_FULLSCREEN);
        return picture != nullptr;
    }, 30000));
    HWND strip = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        CVideoADDisplayWnd* overlay = page.Control().AdPane().Overlay();
        strip = overlay ? overlay->Handle() : nullptr;
        return strip && IsWindowVisible(strip) && GetAncestor(strip, GA_PARENT) == GetDesktopWindow();
    })) << "the strip over the full-screen picture";
    RECT rect;
    GetWindowRect(strip, &rect);
    const POINT on = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    const POINT off = {on.x, rect.bottom + 100};
    StripRecord::seen.clear();
    StripRecord::original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(strip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StripRecord::Proc)));

    const struct {
        UINT message;
        WPARAM keys;
        UINT forwarded;   // 0: nothing
        WPARAM flags;
    } cases[] = {
        {WM_MOUSEMOVE, 0, WM_MOUSEMOVE, 0},
        {WM_MOUSEMOVE, MK_LBUTTON, WM_MOUSEMOVE, MK_LBUTTON},
        {WM_LBUTTONDOWN, MK_LBUTTON, WM_LBUTTONDOWN, MK_LBUTTON},
        {WM_LBUTTONUP, 0, WM_LBUTTONUP, MK_LBUTTON},
        {WM_MBUTTONDOWN, MK_MBUTTON, 0, 0},
    };
    for (const bool onStrip : {true, false}) {
        const POINT cursor = onStrip ? on : off;
        SetCursorPos(cursor.x, cursor.y);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(c.message) + (onStrip ? " on the strip" : " off it"));
            // Pending input first: the player's own reports of the cursor's move.
            PumpUntil([] { return false; }, 0);
            StripRecord::seen.clear();
            SendMessageW(picture, c.message, c.keys, MAKELPARAM(5, 5));
            if (!onStrip || c.forwarded == 0) {
                EXPECT_TRUE(StripRecord::seen.empty());
                continue;
            }
            ASSERT_EQ(StripRecord::seen.size(), 1u);
            EXPECT_EQ(StripRecord::seen[0].message, c.forwarded);
            EXPECT_EQ(StripRecord::seen[0].wParam, c.flags);
            EXPECT_EQ(StripRecord::seen[0].lParam, MAKELPARAM(on.x, on.y));
        }
    }
    SetWindowLongPtrW(strip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StripRecord::original));
    page.Command(IDC_STOP);
}

}  // namespace
