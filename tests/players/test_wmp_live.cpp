// End to end: the live Windows Media push endpoint of tests/tools/livefeed,
// framed ("mmsp") and unframed ("wmv2"), played through the selector by the
// WMP host on the stand-in control.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>

#include "players/PlayerSelector.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/PlayerTestSupport.h"

namespace {

const DWORD kWaitMs = 20000;

// livefeed in its own process; its first "READY" line gives the address.
class LiveFeed {
public:
    explicit LiveFeed(const std::wstring& pieces, const std::wstring& options = L"--rate 1")
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr;
        CreatePipe(&outRead, &outWrite, &inherit, 0);
        CreatePipe(&inRead, &m_input, &inherit, 0);
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW start = {};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = inRead;
        start.hStdOutput = outWrite;
        start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring command = L"\"" LIVEFEED_PATH L"\" \"" + pieces + L"\" " + options;
        m_started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &start, &m_process) != 0;
        CloseHandle(outWrite);
        CloseHandle(inRead);
        m_output = outRead;
    }
    ~LiveFeed()
    {
        CloseHandle(m_input);   // its stdin ends: it stops and exits
        if (m_started) {
            WaitForSingleObject(m_process.hProcess, 10000);
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
        CloseHandle(m_output);
    }

    // The address of the next READY line; empty when the feed ended first.
    std::wstring ReadyUrl()
    {
        std::string line;
        char c;
        DWORD read = 0;
        while (m_started && ReadFile(m_output, &c, 1, &read, nullptr) && read == 1) {
            if (c != '\n') {
                line.push_back(c);
                continue;
            }
            if (line.compare(0, 6, "READY ") == 0) {
                std::string url = line.substr(6, line.find(' ', 6) - 6);
                return std::wstring(url.begin(), url.end());
            }
            line.clear();
        }
        return std::wstring();
    }

private:
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
    HANDLE m_input = nullptr;
    HANDLE m_output = nullptr;
};

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
