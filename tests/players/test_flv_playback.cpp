// FLV end to end: the selector opens and plays an FLV file from the loopback
// HTTP server and a live FLV channel from the live FLV player, through the
// FLV host and the Flash stand-in, which really reads the streams. The live
// channel is started by its own case: its pieces run out a fixed time after
// the feed starts, however long the cases before it took.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <string>

#include "players/PlayerSelector.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/LiveFeed.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/StandinSelectorTest.h"

namespace {

std::wstring Env(const wchar_t* name)
{
    wchar_t value[1024] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length && length < 1024 ? value : L"";
}

class FlvPlaybackTest : public StandinSelectorTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StandinSelectorTest::SetUp());
        // The host polls the movie's newest state: a seeking that lasted less
        // than a poll would go unheard.
        SetStandinKnob(L"FLASH_HOLD_SEEKING", L"1");
    }

    // Polls the position as the control's timer does, until `done` holds.
    bool PollUntil(const std::function<bool(double)>& done, DWORD timeoutMs)
    {
        return PumpUntil(
            [&] {
                double position = -1;
                return SUCCEEDED(m_selector.GetPosition(&position)) && done(position);
            },
            timeoutMs);
    }
    bool Saw(WPARAM state)
    {
        for (WPARAM seen : m_owner.Params(WM_PLAYER_PLAYSTATE))
            if (seen == state)
                return true;
        return false;
    }

    // Open, Play, PLAYSTATE 3 and a position that moves on.
    void PlaysAndAdvances(const std::wstring& url)
    {
        ASSERT_FALSE(url.empty()) << "the fixture gave no address";
        ASSERT_EQ(m_selector.Open(url.c_str()), S_OK);
        ASSERT_EQ(m_selector.Kind(), PLAYER_FLV);
        ASSERT_EQ(m_selector.Play(), S_OK);
        double first = -1;
        ASSERT_TRUE(PollUntil([&](double p) { first = p; return Saw(PLAYSTATE_PLAYING); }, 30000))
            << "no PLAYSTATE 3";
        EXPECT_TRUE(PollUntil([&](double p) { return p >= first + 2; }, 30000))
            << "the position stayed at " << first;
    }

};

TEST_F(FlvPlaybackTest, AFileFromTheLoopbackServerPlaysAndSeeksByOffset)
{
    PlaysAndAdvances(Env(L"TOVRA_FLV_FILE_URL"));
    double duration = 0;
    ASSERT_EQ(m_selector.GetDuration(&duration), S_OK);
    EXPECT_EQ(duration, 20);

    // Half way: the movie asks the server again from the key frame before 10 s.
    m_owner.seen.clear();
    ASSERT_EQ(m_selector.SeekPermille(500), S_OK);
    EXPECT_TRUE(PollUntil([&](double p) { return Saw(PLAYSTATE_SEEKING) && Saw(PLAYSTATE_PLAYING) && p >= 9; },
                          30000));
    const std::wstring log = TakeStandinLog();
    const size_t get = log.rfind(L"Flash.playback GET /");
    ASSERT_NE(get, std::wstring::npos) << std::string(log.begin(), log.end());
    const long long offset = _wtoi64(log.c_str() + get + wcslen(L"Flash.playback GET /"));
    EXPECT_GT(offset, 13);
    // The fixture writes the server's lines to the file from a thread of its
    // own: the line may come after the movie played from the new offset.
    const std::wstring opensPath = Env(L"TOVRA_FLV_FILE_OPENS");   // a Z: path
    const std::string opened = "open " + std::to_string(offset);
    std::string served;
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::ifstream opens(std::string(opensPath.begin(), opensPath.end()));
            served.assign(std::istreambuf_iterator<char>(opens), std::istreambuf_iterator<char>());
            return served.find(opened) != std::string::npos;
        },
        10000))
        << served;

    // Stop: the owner hears it stopped at the next poll.
    ASSERT_EQ(m_selector.Stop(), S_OK);
    EXPECT_TRUE(PollUntil([&](double) { return Saw(PLAYSTATE_STOPPED); }, 10000));
    EXPECT_EQ(m_selector.Close(), S_OK);
}

TEST_F(FlvPlaybackTest, TheLiveFlvChannelPlays)
{
    LiveFeed feed(FLV_LIVE_PIECES);
    PlaysAndAdvances(feed.ReadyUrl());
    EXPECT_EQ(TakeStandinLog().find(L"bad stream"), std::wstring::npos);
}

}  // namespace
