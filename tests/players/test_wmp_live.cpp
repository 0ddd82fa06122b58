// End to end: the live Windows Media push endpoint of tests/tools/livefeed,
// framed ("mmsp") and unframed ("wmv2"), played through the selector by the
// WMP host on the stand-in control.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>

#include "players/PlayerSelector.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/LiveFeed.h"
#include "tests/players/PlayerTestSupport.h"

namespace {

const DWORD kWaitMs = 20000;

class WmpLiveFixture {
protected:
    void Begin()
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(RegisterStandins());
        ShowWindow(m_owner.Handle(), SW_SHOW);
        m_selector.m_owner = m_owner.Handle();
        m_selector.SetParentWindow(m_owner.Handle());
        m_selector.SetRect(RECT{0, 0, 320, 240}, FALSE);
    }
    void End()
    {
        m_selector.DestroyAll();
        OleUninitialize();
    }

    RecordingOwner m_owner;
    CPlayerSelector m_selector;
};

class WmpLiveTest : public ::testing::TestWithParam<const wchar_t*>, protected WmpLiveFixture {
protected:
    void SetUp() override { Begin(); }
    void TearDown() override { End(); }
};

class WmpLiveChange : public ::testing::Test, protected WmpLiveFixture {
protected:
    void SetUp() override { Begin(); }
    void TearDown() override { End(); }
};

TEST_P(WmpLiveTest, ThePushEndpointPlaysAndThePositionAdvances)
{
    LiveFeed feed(std::wstring(PIECES_DIR) + L"/" + GetParam() + L".lpc");
    std::wstring url = feed.ReadyUrl();
    ASSERT_EQ(0u, url.find(L"http://127.0.0.1:")) << url.c_str();
    ASSERT_EQ(PLAYER_WMP, CPlayerSelector::KindFromUrl(url.c_str()));
    ASSERT_EQ(S_OK, m_selector.Open(url.c_str()));
    ASSERT_EQ(S_OK, m_selector.Play());
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kWaitMs));
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_ERROR));
    double first = 0, later = 0;
    ASSERT_EQ(S_OK, m_selector.GetPosition(&first));
    EXPECT_TRUE(PumpUntil([&] { return SUCCEEDED(m_selector.GetPosition(&later)) && later >= first + 1.0; },
                          kWaitMs))
        << first << " " << later;
    int width = 0, height = 0;
    EXPECT_EQ(S_OK, m_selector.GetVideoSize(&width, &height));
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_ERROR));
    EXPECT_EQ(S_OK, m_selector.Stop());
}

// The stream's header changes: the player stops, then the address of the
// restarted endpoint plays.
TEST_F(WmpLiveChange, AHeaderChangeStopsThePlayerAndTheNewAddressPlays)
{
    LiveFeed feed(std::wstring(PIECES_DIR) + L"/first.lpc",
                  L"--rate 1 --then \"" + std::wstring(PIECES_DIR) + L"/second.lpc\"");
    std::wstring url = feed.ReadyUrl();
    ASSERT_EQ(S_OK, m_selector.Open(url.c_str()));
    ASSERT_EQ(S_OK, m_selector.Play());
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kWaitMs));
    m_owner.seen.clear();
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, kWaitMs));
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_ERROR));

    std::wstring next = feed.ReadyUrl();
    ASSERT_EQ(0u, next.find(L"http://127.0.0.1:")) << next.c_str();
    m_owner.seen.clear();
    ASSERT_EQ(S_OK, m_selector.Open(next.c_str()));
    ASSERT_EQ(S_OK, m_selector.Play());
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kWaitMs));
    double first = 0, later = 0;
    ASSERT_EQ(S_OK, m_selector.GetPosition(&first));
    EXPECT_TRUE(PumpUntil([&] { return SUCCEEDED(m_selector.GetPosition(&later)) && later >= first + 1.0; },
                          kWaitMs));
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_ERROR));
}

INSTANTIATE_TEST_SUITE_P(Framing, WmpLiveTest, ::testing::Values(L"wmv2", L"mmsp"));

}  // namespace
