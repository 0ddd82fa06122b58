// End to end: the stream header of a live channel changes under the FLV,
// Real and VLC hosts. tests/tools/livefeed serves one piece file, then a
// second one under another header id; the local player of the first stops,
// which ends the hosted player's stream, and a new endpoint is announced.
// The owner must hear the end of the first stream, then the new address
// must play and its position advance, on the same host.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>

#include "players/PlayerSelector.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/LiveFeed.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/StandinSelectorTest.h"

namespace {

const DWORD kWaitMs = 30000;

struct HeaderChangeCase {
    const wchar_t* pieces;    // first.lpc and second.lpc under this name
    const wchar_t* scheme;    // of the address the feed announces
    int kind;                 // the host the selector chooses
    UINT endMessage;          // what the owner hears when the stream ends
    WPARAM endParam;
};

std::ostream& operator<<(std::ostream& out, const HeaderChangeCase& c)
{
    std::wstring name = c.pieces;
    return out << std::string(name.begin(), name.end());
}

const HeaderChangeCase kCases[] = {
    // The movie's state, read by the host's poll.
    {L"flv", L"http://127.0.0.1:", PLAYER_FLV, WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED},
    // The control's state event.
    {L"real", L"http://127.0.0.1:", PLAYER_REAL, WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED},
    // The input's "ended" state, which the host reports as closed.
    {L"vlch", L"vlch://127.0.0.1:", PLAYER_VLC, WM_PLAYER_OPENSTATE, 2},
};

class LiveHeaderChange : public StandinSelectorTest,
                         public ::testing::WithParamInterface<HeaderChangeCase> {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(StandinSelectorTest::SetUp());
        ShowWindow(m_owner.Handle(), SW_SHOW);
    }

    // Polls the selector as the control's timer does (the FLV host reads its
    // state through the position, the VLC host through the activity poll)
    // until the owner has heard `message` with `wParam`.
    bool Hears(UINT message, WPARAM wParam)
    {
        return PumpUntil(
            [&] {
                int moved = 0;
                double position = 0;
                m_selector.PollActivity(&moved);
                m_selector.GetPosition(&position);
                for (const MSG& m : m_owner.seen) {
                    if (m.message == message && m.wParam == wParam)
                        return true;
                }
                return false;
            },
            kWaitMs);
    }
    bool Advances()
    {
        double first = 0, later = 0;
        if (FAILED(m_selector.GetPosition(&first)))
            return false;
        return PumpUntil(
            [&] {
                int moved = 0;
                m_selector.PollActivity(&moved);
                return SUCCEEDED(m_selector.GetPosition(&later)) && later >= first + 1.0;
            },
            kWaitMs);
    }
    void Plays(const std::wstring& url)
    {
        const HeaderChangeCase& c = GetParam();
        ASSERT_EQ(0u, url.find(c.scheme)) << url.c_str();
        m_owner.seen.clear();
        ASSERT_EQ(S_OK, m_selector.Open(url.c_str()));
        ASSERT_EQ(c.kind, m_selector.Kind());
        ASSERT_EQ(S_OK, m_selector.Play());
        ASSERT_TRUE(Hears(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING)) << "no PLAYSTATE 3";
    }
};

TEST_P(LiveHeaderChange, TheFirstStreamEndsAndTheNewAddressPlays)
{
    const HeaderChangeCase& c = GetParam();
    const std::wstring dir = std::wstring(PIECES_DIR) + L"/" + c.pieces;
    LiveFeed feed(dir + L"/first.lpc", L"--rate 1 --then \"" + dir + L"/second.lpc\"");
    const std::wstring url = feed.ReadyUrl();
    ASSERT_NO_FATAL_FAILURE(Plays(url));
    m_owner.seen.clear();
    ASSERT_TRUE(Hears(c.endMessage, c.endParam)) << "the end of the first stream went unheard";
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_ERROR));

    ASSERT_NO_FATAL_FAILURE(Plays(feed.ReadyUrl()));
    EXPECT_TRUE(Advances()) << "the position of the new stream stayed";
    EXPECT_EQ(0, m_owner.Count(WM_PLAYER_ERROR));
    EXPECT_EQ(S_OK, m_selector.Stop());
}

INSTANTIATE_TEST_SUITE_P(Hosts, LiveHeaderChange, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HeaderChangeCase>& info) {
                             std::wstring name = info.param.pieces;
                             return std::string(name.begin(), name.end());
                         });

}  // namespace
