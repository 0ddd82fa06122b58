#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <memory>

#include "players/DShowPlayer.h"
#include "players/PlayerSelector.h"
#include "tests/players/PlayerTestSupport.h"

namespace {

class SelectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_TRUE(m_owner.Handle());
        m_selector.m_owner = m_owner.Handle();
        m_selector.SetParentWindow(m_owner.Handle());
        m_selector.SetRect(RECT{10, 20, 330, 260}, FALSE);
    }
    void TearDown() override
    {
        m_selector.DestroyAll();
        CoUninitialize();
    }

    RecordingOwner m_owner;
    CPlayerSelector m_selector;
};

TEST(PlayerSelectorKinds, RulesApplyInOrder)
{
    struct Case {
        const wchar_t* address;
        PlayerKind kind;
    };
    const Case cases[] = {
        {L"zaror://0x00ab12f0/1.rm", PLAYER_DSHOW},
        {L"zaror://0x00ab12f0/1.flv", PLAYER_DSHOW},        // rule 1 before rule 7
        {L"mms://h/live", PLAYER_WMP},
        {L"mmsu://h/live.rm", PLAYER_WMP},
        {L"mmst://h/live.flv", PLAYER_WMP},
        {L"rtsp://h/x.flv", PLAYER_REAL},                   // rule 3 before rule 7
        {L"vlch://127.0.0.1:5000", PLAYER_VLC},
        {L"http://h/m.rmvb", PLAYER_REAL},
        {L"c:\\v\\m.ra", PLAYER_REAL},
        {L"m.rv", PLAYER_REAL},
        {L"http://h/m.swf", PLAYER_FLASH},
        {L"http://h/m.swf?x=1", PLAYER_FLASH},             // rule 8: a URL with ".swf?"
        {L"m.swf?x", PLAYER_WMP},                          // not a URL
        {L"http://h/m.flv", PLAYER_FLV},
        {L"http://h/m.FLV", PLAYER_WMP},                   // comparisons keep case
        {L"http://h/m.flv?q", PLAYER_WMP},                 // the query is in the extension
        {L"RTSP://h/x.rm", PLAYER_REAL},                   // by its extension
        {L"RTSP://h/x", PLAYER_WMP},
        {L"http://127.0.0.1:4000/1.flv", PLAYER_FLV},      // live addresses
        {L"http://127.0.0.1:4000/1.rm", PLAYER_REAL},
        {L"http://127.0.0.1:4000/1.wmv", PLAYER_WMP},
        {L"http://h/m.wmv", PLAYER_WMP},
        {L"", PLAYER_WMP},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.kind, CPlayerSelector::KindFromUrl(c.address)) << c.address;
}

TEST_F(SelectorTest, EveryCommandWithoutAPlayerAnswersNone)
{
    int value = 5;
    double position = 0;
    int width = 0, height = 0;
    BSTR url = nullptr;
    HWND window = nullptr;
    struct Case {
        const char* what;
        HRESULT result;
    };
    const Case cases[] = {
        {"Play", m_selector.Play()},
        {"Pause", m_selector.Pause()},
        {"Stop", m_selector.Stop()},
        {"Close", m_selector.Close()},
        {"SetVolume", m_selector.SetVolume(50)},
        {"SetMute", m_selector.SetMute(1)},
        {"GetFullScreen", m_selector.GetFullScreen(&value)},
        {"SetFullScreen", m_selector.SetFullScreen(1)},
        {"GetBufferingPercent", m_selector.GetBufferingPercent(&value)},
        {"GetPosition", m_selector.GetPosition(&position)},
        {"GetDuration", m_selector.GetDuration(&position)},
        {"SeekPermille", m_selector.SeekPermille(500)},
        {"GetVideoSize", m_selector.GetVideoSize(&width, &height)},
        {"GetSourceUrl", m_selector.GetSourceUrl(&url)},
        {"GetPlayerWindow", m_selector.GetPlayerWindow(&window)},
        {"ShowPlayer", m_selector.ShowPlayer()},
        {"HidePlayer", m_selector.HidePlayer()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(E_PLAYER_NONE, c.result) << c.what;
    EXPECT_EQ(0, value);   // GetFullScreen clears its output even then
    EXPECT_EQ(0, m_selector.PollActivity(&value));

    EXPECT_EQ(E_INVALIDARG, m_selector.GetPosition(nullptr));
    EXPECT_EQ(E_INVALIDARG, m_selector.GetDuration(nullptr));
    EXPECT_EQ(E_INVALIDARG, m_selector.GetVideoSize(&width, nullptr));
    EXPECT_EQ(E_INVALIDARG, m_selector.GetPlayerWindow(nullptr));
    EXPECT_EQ(E_UNEXPECTED, m_selector.SetFlashLoop(1));   // no Flash host
    EXPECT_EQ(0, m_selector.Kind());
    m_selector.DestroyAll();
    m_selector.DestroyAll();
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_PLAYSTATE));
}

TEST_F(SelectorTest, HostsThatCannotBeMadeAnswerTheirCreationCode)
{
    // The tests' stand-in controls may be registered in the prefix: none of
    // them may be created here.
    SetEnvironmentVariableW(L"TOVRA_STANDIN_FAIL_CREATE", L"*");
    struct Case {
        const wchar_t* address;
        int kind;
        HRESULT result;
    };
    const Case cases[] = {
        {L"rtsp://h/x", 0, E_PLAYER_REAL_CREATE},
        {L"http://h/m.swf", 0, E_PLAYER_FLASH_CREATE},
        {L"http://h/m.wmv", 0, E_PLAYER_WMP_CREATE},
        {L"http://h/m.flv", 0, E_PLAYER_FLV_CREATE},
        {L"vlch://127.0.0.1:5000", 0, E_PLAYER_VLC_CREATE},
        {L"http://h/m.wmv", PLAYER_VLC, E_PLAYER_VLC_CREATE},   // the kind given wins
        {L"http://h/m.wmv", 7, E_UNEXPECTED},
        {L"http://h/m.wmv", -1, E_UNEXPECTED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, m_selector.Open(c.address, c.kind)) << c.address;
        EXPECT_EQ(0, m_selector.Kind()) << c.address;
    }
    SetEnvironmentVariableW(L"TOVRA_STANDIN_FAIL_CREATE", nullptr);
}

TEST_F(SelectorTest, AFailedHandOverKeepsTheKindAndHidesTheWindow)
{
    // Not a running engine's reader host: no graph is built.
    EXPECT_EQ(E_FAIL, m_selector.Open(L"zaror://0x00001234/1.rm"));
    EXPECT_EQ(PLAYER_DSHOW, m_selector.Kind());
    HWND window = nullptr;
    ASSERT_EQ(S_OK, m_selector.GetPlayerWindow(&window));
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(static_cast<LONG_PTR>(CPlayerSelector::kDShowId), GetWindowLongPtrW(window, GWLP_ID));
    EXPECT_EQ(nullptr, m_selector.DShowHost()->Graph());
    // The next command goes to that host, which has no graph.
    EXPECT_EQ(E_UNEXPECTED, m_selector.Play());
    EXPECT_EQ(E_UNEXPECTED, m_selector.SetVolume(50));
    EXPECT_EQ(S_OK, m_selector.Close());
    EXPECT_EQ(0, m_selector.Kind());
    // The host stays, hidden, and is used again.
    CDShowPlayer* host = m_selector.DShowHost();
    EXPECT_EQ(E_FAIL, m_selector.Open(L"zaror://0x1/1.wmv"));
    EXPECT_EQ(host, m_selector.DShowHost());
}

TEST_F(SelectorTest, OnlyTheCurrentKindsReportsReachTheOwner)
{
    m_selector.Open(L"zaror://0x1/1.rm");
    ASSERT_EQ(PLAYER_DSHOW, m_selector.Kind());
    m_selector.NotifyOwner(PLAYER_DSHOW, WM_PLAYER_PLAYSTATE, 3, 0, true);
    m_selector.NotifyOwner(PLAYER_DSHOW, WM_PLAYER_PLAYSTATE, 2, 0, false);
    m_selector.NotifyOwner(PLAYER_FLV, WM_PLAYER_PLAYSTATE, 5, 0, true);
    EXPECT_EQ((std::vector<WPARAM>{3, 2}), m_owner.Params(WM_PLAYER_PLAYSTATE));

    // The closed host is alive but no longer heard.
    m_selector.Close();
    m_selector.NotifyOwner(PLAYER_DSHOW, WM_PLAYER_PLAYSTATE, 1, 0, true);
    m_selector.NotifyOwner(PLAYER_DSHOW, WM_PLAYER_PLAYSTATE, 1, 0, false);
    EXPECT_EQ(2, m_owner.Count(WM_PLAYER_PLAYSTATE));
}

TEST(PlayerSelectorScreenSaver, OnlyTheSelectorThatSwitchedItOffSwitchesItOn)
{
    auto active = [] {
        BOOL on = FALSE;
        SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &on, 0);
        return on != FALSE;
    };
    BOOL before = active();
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0));
    ASSERT_TRUE(active());
    auto first = std::make_unique<CPlayerSelector>();
    EXPECT_FALSE(active());
    auto second = std::make_unique<CPlayerSelector>();
    auto third = std::make_unique<CPlayerSelector>();
    third.reset();
    second.reset();
    EXPECT_FALSE(active());
    first.reset();
    EXPECT_TRUE(active());

    // Off at construction: left off.
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
    { CPlayerSelector quiet; }
    EXPECT_FALSE(active());
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, before, nullptr, 0);
}

} // namespace
