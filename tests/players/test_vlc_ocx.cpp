// The VLC host over the VLC stand-in control: the address it hands over, the
// playlist rules, the states it posts, the control without IVLCControl2 and
// the mouse hook on the picture window, driven by real input.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/axhost/PublishedIds.h"
#include "players/PlayerSelector.h"
#include "players/hooks/VlcHookRegistry.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/HostedControl.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/ServedMedia.h"
#include "tests/players/StandinSelectorTest.h"

namespace {

const DWORD kWaitMs = 10000;
const wchar_t kNowhere[] = L"vlch://127.0.0.1:9";

class VlcHostTest : public StandinSelectorTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StandinSelectorTest::SetUp());
        ShowWindow(m_owner.Handle(), SW_SHOW);
        SetForegroundWindow(m_owner.Handle());
        m_selector.SetRect(RECT{20, 20, 340, 260}, FALSE);
    }

    // Polls as the owner's timer does until the play state arrives.
    bool PollUntilState(WPARAM state)
    {
        return PumpUntil(
            [&] {
                int moved = 0;
                m_selector.PollActivity(&moved);
                PumpMessages();
                for (const MSG& m : m_owner.seen) {
                    if (m.message == WM_PLAYER_PLAYSTATE && m.wParam == state)
                        return true;
                }
                return false;
            },
            kWaitMs);
    }

    int Reports(WPARAM state)
    {
        int count = 0;
        for (WPARAM reported : m_owner.Params(WM_PLAYER_PLAYSTATE))
            count += reported == state;
        return count;
    }

    // The video object of IVLCControl2, as the test reaches it.
    IDispatch* Video()
    {
        IDispatch* control = HostedControl(m_selector);
        IDispatch* control2 = nullptr;
        VARIANT video;
        VariantInit(&video);
        if (control && SUCCEEDED(control->QueryInterface(IID_IVLCControl2,
                                                         reinterpret_cast<void**>(&control2)))) {
            CallByName(control2, L"video", DISPATCH_PROPERTYGET, {}, &video);
            control2->Release();
        }
        if (control)
            control->Release();
        return video.vt == VT_DISPATCH ? video.pdispVal : nullptr;
    }

    // The media file served over HTTP by a loopback server of this process;
    // the address as the VLC kind takes it.
    std::wstring Serve(const wchar_t* file)
    {
        return media.Serve(L"vlch", file);
    }

    ServedMedia media;
};

TEST_F(VlcHostTest, OpenHandsOverTheAddressLowerCaseAsHttp)
{
    // Upper case is no VLC address to the selector: the kind is given.
    ASSERT_EQ(S_OK, m_selector.Open(L"VLCH://127.0.0.1:9/Live?A=vlch:x", PLAYER_VLC));
    ASSERT_EQ(PLAYER_VLC, m_selector.Kind());
    std::wstring log = TakeStandinLog();
    std::vector<std::wstring> order = {
        L"VLC.DoVerb(-5)",
        L"VLC.AutoPlay=0",
        L"VLC.Visible=-1",
        L"VLC.AutoLoop=0",
        L"VLC.control2.StartTime=0",
        L"VLC.control2.playlist",
        L"VLC.playlist.clear",
        L"VLC.playlist.add(http://127.0.0.1:9/live?a=http:x,,:rtsp-tcp)",
        L"VLC.playlist.playItem(0)",
    };
    std::size_t at = 0;
    for (const std::wstring& line : order) {
        std::size_t found = log.find(line, at);
        ASSERT_NE(std::wstring::npos, found) << "after " << at << ": " << std::string(line.begin(), line.end())
                                             << "\n" << std::string(log.begin(), log.end());
        at = found + line.size();
    }
    HWND host = nullptr;
    ASSERT_EQ(S_OK, m_selector.GetPlayerWindow(&host));
    EXPECT_EQ(static_cast<LONG_PTR>(CPlayerSelector::kVlcId), GetWindowLongPtrW(host, GWLP_ID));

    // Playing already: Play only asks; Pause toggles; Stop stops the playlist.
    ASSERT_EQ(S_OK, m_selector.Open(Serve(L"long.ts").c_str()));
    TakeStandinLog();
    EXPECT_EQ(S_OK, m_selector.Play());
    log = TakeStandinLog();
    EXPECT_NE(std::wstring::npos, log.find(L"VLC.playlist.isPlaying"));
    EXPECT_EQ(std::wstring::npos, log.find(L"VLC.playlist.play\n"));
    EXPECT_EQ(S_OK, m_selector.Pause());
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"VLC.playlist.togglePause\n"));
    EXPECT_EQ(S_OK, m_selector.Stop());
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"VLC.playlist.stop\n"));
    // Stopped: Play starts it again; Pause does nothing.
    EXPECT_EQ(S_OK, m_selector.Pause());
    EXPECT_EQ(std::wstring::npos, TakeStandinLog().find(L"togglePause"));
    EXPECT_EQ(S_OK, m_selector.Play());
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"VLC.playlist.play\n"));

    // Close stops through IVLCControl and keeps the host, hidden.
    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"VLC.stop\n"));
    EXPECT_TRUE(IsWindow(host));
    EXPECT_FALSE(IsWindowVisible(host));
}

TEST_F(VlcHostTest, AStreamPlaysAndEachStateIsPostedOnce)
{
    std::wstring url = Serve(L"long.ts");
    ASSERT_EQ(S_OK, m_selector.Open(url.c_str()));
    ASSERT_EQ(S_OK, m_selector.Play());
    ASSERT_TRUE(PollUntilState(PLAYSTATE_PLAYING));
    // Polled again and again while it plays: no second report.
    double first = 0, later = 0;
    ASSERT_EQ(S_OK, m_selector.GetPosition(&first));
    ASSERT_TRUE(PumpUntil(
        [&] {
            int moved = 0;
            m_selector.PollActivity(&moved);
            return SUCCEEDED(m_selector.GetPosition(&later)) && later >= first + 2;
        },
        kWaitMs));
    EXPECT_EQ(later, static_cast<double>(static_cast<long>(later)));   // whole seconds
    EXPECT_EQ(1, Reports(PLAYSTATE_PLAYING));
    EXPECT_EQ(std::vector<WPARAM>{1}, m_owner.Params(WM_PLAYER_OPENSTATE));   // opening
    int width = 0, height = 0;
    EXPECT_EQ(S_OK, m_selector.GetVideoSize(&width, &height));
    EXPECT_EQ(176, width);
    EXPECT_EQ(144, height);
    EXPECT_TRUE(VlcHooks().HasHooks());   // registered at "playing"

    // Paused, then playing again: each change once.
    ASSERT_EQ(S_OK, m_selector.Pause());
    ASSERT_TRUE(PollUntilState(PLAYSTATE_PAUSED));
    ASSERT_EQ(S_OK, m_selector.Play());
    m_owner.seen.clear();
    ASSERT_TRUE(PollUntilState(PLAYSTATE_PLAYING));
    EXPECT_EQ(1, Reports(PLAYSTATE_PLAYING));
    EXPECT_EQ(0, Reports(PLAYSTATE_PAUSED));

    // A seek sets the input's time in milliseconds.
    TakeStandinLog();
    double duration = -1;
    EXPECT_EQ(S_OK, m_selector.GetDuration(&duration));
    EXPECT_EQ(0, duration);   // a stream over HTTP has no length
    EXPECT_EQ(S_OK, m_selector.SeekPermille(500));
    EXPECT_NE(std::wstring::npos, TakeStandinLog().find(L"VLC.input.time=0"));

    // Stopped: reported once. The poll puts the hook back at once; Close
    // takes it away.
    ASSERT_EQ(S_OK, m_selector.Stop());
    ASSERT_TRUE(PollUntilState(PLAYSTATE_STOPPED));
    int moved = 0;
    m_selector.PollActivity(&moved);
    EXPECT_EQ(1, Reports(PLAYSTATE_STOPPED));
    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_FALSE(VlcHooks().HasHooks());
    media.Stop();
}

TEST_F(VlcHostTest, WithoutIVLCControl2CommandsDoNothingAndReadsFail)
{
    SetStandinKnob(L"NO_VLCCONTROL2", L"1");
    ASSERT_EQ(S_OK, m_selector.Open(kNowhere));
    EXPECT_EQ(S_OK, m_selector.Play());
    EXPECT_EQ(S_OK, m_selector.Pause());
    EXPECT_EQ(S_OK, m_selector.Stop());
    EXPECT_EQ(S_OK, m_selector.SetMute(1));
    EXPECT_EQ(S_OK, m_selector.SetVolume(30));   // IVLCControl's own
    int width = -1, height = -1;
    EXPECT_EQ(S_OK, m_selector.GetVideoSize(&width, &height));
    EXPECT_EQ(-1, width);
    EXPECT_EQ(S_OK, m_selector.SetFullScreen(1));
    int fullScreen = 1;
    EXPECT_EQ(E_FAIL, m_selector.GetFullScreen(&fullScreen));
    EXPECT_EQ(0, fullScreen);
    double value = -1;
    EXPECT_EQ(E_FAIL, m_selector.GetPosition(&value));
    EXPECT_EQ(S_OK, m_selector.GetDuration(&value));   // the selector's rule
    EXPECT_EQ(-1, value);
    EXPECT_EQ(E_FAIL, m_selector.SeekPermille(500));
    int moved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&moved));   // the state reads as 0: no report
    PumpMessages();
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_OPENSTATE) + m_owner.Count(WM_PLAYER_PLAYSTATE));
    std::wstring log = TakeStandinLog();
    EXPECT_EQ(std::wstring::npos, log.find(L"playlist")) << std::string(log.begin(), log.end());
    EXPECT_NE(std::wstring::npos, log.find(L"VLC.Volume=30"));
}

TEST_F(VlcHostTest, ACreationFailureGivesTheVlcCode)
{
    SetStandinKnob(L"FAIL_CREATE", L"VLC");
    EXPECT_EQ(E_PLAYER_VLC_CREATE, m_selector.Open(kNowhere));
    EXPECT_EQ(PLAYER_NONE, m_selector.Kind());
}

TEST_F(VlcHostTest, ADoubleClickStaysPendingUntilTheControlChanges)
{
    ASSERT_EQ(S_OK, m_selector.Open(kNowhere));
    int moved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&moved));   // registers the hook
    ASSERT_TRUE(VlcHooks().HasHooks());
    HWND picture = HostedWindow(m_selector, L"VLC DirectX video");
    ASSERT_NE(nullptr, picture);
    POINT at = CentreOf(picture);
    IDispatch* video = Video();
    ASSERT_NE(nullptr, video);

    // Without a picture the control keeps its size: the request waits.
    MouseAt(0, at.x, at.y);
    for (int click = 0; click < 2; ++click) {
        MouseAt(MOUSEEVENTF_LEFTDOWN, at.x, at.y);
        MouseAt(MOUSEEVENTF_LEFTUP, at.x, at.y);
    }
    std::wstring log;
    ASSERT_TRUE(PumpUntil([&] { return (log += TakeStandinLog()).find(L"double click") != std::wstring::npos; },
                          kWaitMs));
    EXPECT_NE(std::wstring::npos, log.find(L"VLC.double click: no picture"));
    moved = 0;
    EXPECT_EQ(0, m_selector.PollActivity(&moved));
    EXPECT_EQ(1, moved);   // the mouse came onto the picture
    EXPECT_EQ(0, m_selector.PollActivity(&moved));

    // The control changes: the poll sees it once.
    ASSERT_EQ(S_OK, CallByName(video, L"fullscreen", DISPATCH_PROPERTYPUT, {LongValue(1)}));
    EXPECT_EQ(1, m_selector.PollActivity(&moved));
    EXPECT_EQ(0, m_selector.PollActivity(&moved));
    // A change nobody asked for is not a toggle.
    ASSERT_EQ(S_OK, CallByName(video, L"fullscreen", DISPATCH_PROPERTYPUT, {LongValue(0)}));
    EXPECT_EQ(0, m_selector.PollActivity(&moved));
    video->Release();

    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_FALSE(VlcHooks().HasHooks());
}

}  // namespace
