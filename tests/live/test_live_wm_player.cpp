// The writer player over the writer runtime stand-in (wmvcore.dll beside this
// test, loaded natively): its network sink hands every client the input
// count and then one entry per written sample.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "live/LivePlayerSelector.h"
#include "live/LiveWMPlayer.h"

namespace {

const DWORD kBoundMs = 10000;

// The writer profile of two streams, as UTF-16 text with its zero.
std::string Profile(bool terminated = true)
{
    const std::wstring text =
        L"<profile version=\"589824\" name=\"live\"><streamconfig streamnumber=\"1\"/>"
        L"<streamconfig streamnumber=\"2\"/></profile>";
    std::string bytes(reinterpret_cast<const char*>(text.c_str()), text.size() * sizeof(wchar_t));
    if (terminated)
        bytes.append(2, '\0');
    return bytes;
}

std::string Record(std::uint8_t stream, std::uint8_t flags, std::uint64_t time, const std::string& data)
{
    std::string record(1, static_cast<char>(stream));
    record += static_cast<char>(flags);
    record.append(reinterpret_cast<const char*>(&time), 8);
    return record + data;
}

int Push(CLiveWMPlayer& player, const std::string& record)
{
    return player.PushData(record.data(), static_cast<std::uint32_t>(record.size()), 1000, true);
}

void SetKnob(const char* steps)
{
    SetEnvironmentVariableA("TOVRA_WMVCORE_FAIL", steps);
}

struct Entry {
    std::uint16_t stream;
    std::uint64_t time;
    std::uint32_t flags;
    std::string data;
};

// A client of the sink: reads the dump with a bounded wait for each read.
class DumpClient {
public:
    explicit DumpClient(std::uint16_t port)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        DWORD bound = kBoundMs;
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&bound), sizeof(bound));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        m_connected = connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~DumpClient()
    {
        closesocket(m_socket);
        WSACleanup();
    }
    bool Connected() const { return m_connected; }
    bool Read(void* out, std::size_t length)
    {
        char* at = static_cast<char*>(out);
        for (std::size_t got = 0; got < length;) {
            int step = recv(m_socket, at + got, static_cast<int>(length - got), 0);
            if (step <= 0)
                return false;
            got += static_cast<std::size_t>(step);
        }
        return true;
    }
    bool ReadEntry(Entry& entry)
    {
        std::uint32_t length = 0;
        if (!Read(&entry.stream, 2) || !Read(&entry.time, 8) || !Read(&entry.flags, 4) || !Read(&length, 4))
            return false;
        entry.data.assign(length, '\0');
        return length == 0 || Read(&entry.data[0], length);
    }

private:
    SOCKET m_socket;
    bool m_connected;
};

std::uint16_t PortOf(CLiveBasePlayer& player)
{
    std::wstring url = player.GetUrl();
    std::size_t colon = url.rfind(L':');
    return static_cast<std::uint16_t>(colon == std::wstring::npos ? 0 : _wtoi(url.c_str() + colon + 1));
}

class LiveWMPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { SetKnob(nullptr); }
    void TearDown() override { SetKnob(nullptr); }
};

TEST_F(LiveWMPlayerTest, EachStreamStartsAtItsFirstCleanPointFromTimeZero)
{
    CLiveWMPlayer player;
    // No terminating zero and an odd trailing byte: the copy ends the text.
    std::string profile = Profile(false) + "x";
    ASSERT_TRUE(player.Start(profile.data(), static_cast<std::uint32_t>(profile.size())));
    std::uint16_t port = PortOf(player);
    ASSERT_NE(port, 0);
    DumpClient client(port);
    ASSERT_TRUE(client.Connected());

    struct Case {
        std::string record;
        int taken;
    };
    const Case cases[] = {
        {Record(1, 0, 90000, "before any clean point"), 0},
        {Record(2, WM_SF_CLEANPOINT, 100000, "first clean point"), 1},
        {Record(1, WM_SF_CLEANPOINT, 80000, "older than the first sample"), 1},
        {Record(1, WM_SF_CLEANPOINT, 150000, "stream 1 begins"), 1},
        {Record(2, 0, 160000, "delta"), 1},
        {Record(1, WM_SF_CLEANPOINT, 170000, ""), 1},
        {std::string(9, '\1'), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Push(player, c.record), c.taken) << c.record.substr(10);

    std::uint32_t inputs = 0;
    ASSERT_TRUE(client.Read(&inputs, 4));
    EXPECT_EQ(inputs, 2u);
    const Entry expected[] = {
        {2, 0, WM_SF_CLEANPOINT | WM_SF_DISCONTINUITY, "first clean point"},
        // Stream 1's first clean point was the older one, not written.
        {1, 50000, WM_SF_CLEANPOINT, "stream 1 begins"},
        {2, 60000, 0, "delta"},
        {1, 70000, WM_SF_CLEANPOINT, ""},
    };
    for (const Entry& want : expected) {
        Entry got;
        ASSERT_TRUE(client.ReadEntry(got)) << want.data;
        EXPECT_EQ(got.stream, want.stream) << want.data;
        EXPECT_EQ(got.time, want.time) << want.data;
        EXPECT_EQ(got.flags, want.flags) << want.data;
        EXPECT_EQ(got.data, want.data);
    }
    // Nothing more was written: Stop ends the dump.
    player.Stop();
    char more = 0;
    EXPECT_FALSE(client.Read(&more, 1));
    EXPECT_EQ(Push(player, cases[3].record), 0);
}

TEST_F(LiveWMPlayerTest, AFailedStepFailsStartAndTheNextStartBeginsAfresh)
{
    struct Case {
        const char* knob;
        std::string profile;
    };
    const Case cases[] = {
        {"profilemanager", Profile()},  // the player has no profile manager at all
        {"writer", Profile()},
        {"sink", Profile()},
        {"open", Profile()},
        {nullptr, std::string("<\0p\0/\0>\0\0\0", 10)},  // a profile of no streams
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.knob ? c.knob : "no streams");
        SetKnob(c.knob);
        CLiveWMPlayer player;
        EXPECT_FALSE(player.Start(c.profile.data(), static_cast<std::uint32_t>(c.profile.size())));
        EXPECT_EQ(Push(player, Record(1, WM_SF_CLEANPOINT, 1, "x")), 0);
        SetKnob(nullptr);
        std::string good = Profile();
        bool recovers = player.Start(good.data(), static_cast<std::uint32_t>(good.size()));
        // Without a profile manager the player can never start.
        EXPECT_EQ(recovers, c.knob == nullptr || std::strcmp(c.knob, "profilemanager") != 0);
        player.Stop();
    }
}

struct PushLoop {
    CLiveWMPlayer* player;
    HANDLE pushed;  // set once a few pushes went through
    volatile LONG stop;
    int afterStop;  // pushes taken once Stop had returned
};

DWORD WINAPI PushUntilTold(LPVOID context)
{
    PushLoop* loop = static_cast<PushLoop*>(context);
    const std::string data(64 * 1024, 'd');
    for (std::uint64_t n = 0; !loop->stop && n < 100000; ++n) {
        Push(*loop->player, Record(1, WM_SF_CLEANPOINT, 1 + n, data));
        if (n == 16)
            SetEvent(loop->pushed);
    }
    return 0;
}

DWORD WINAPI StopPlayer(LPVOID player)
{
    static_cast<CLiveWMPlayer*>(player)->Stop();
    return 0;
}

TEST_F(LiveWMPlayerTest, StopOnAnotherThreadWithAClientThatNeverReadsReturns)
{
    CLiveWMPlayer player;
    std::string profile = Profile();
    ASSERT_TRUE(player.Start(profile.data(), static_cast<std::uint32_t>(profile.size())));
    DumpClient client(PortOf(player));  // never reads
    ASSERT_TRUE(client.Connected());

    PushLoop loop = {&player, CreateEventW(nullptr, TRUE, FALSE, nullptr), 0, 0};
    HANDLE pusher = CreateThread(nullptr, 0, PushUntilTold, &loop, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(loop.pushed, kBoundMs), WAIT_OBJECT_0);
    HANDLE stopper = CreateThread(nullptr, 0, StopPlayer, &player, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(stopper, kBoundMs), WAIT_OBJECT_0);
    // Pushes after Stop are refused, and the pusher never touched a released writer.
    EXPECT_EQ(Push(player, Record(1, WM_SF_CLEANPOINT, 5, "late")), 0);
    InterlockedExchange(&loop.stop, 1);
    EXPECT_EQ(WaitForSingleObject(pusher, kBoundMs), WAIT_OBJECT_0);
    CloseHandle(stopper);
    CloseHandle(pusher);
    CloseHandle(loop.pushed);
}

std::string SelectorHeader(const std::string& playerHeader)
{
    std::string header = "wmv ";
    header.append(4, '\0');  // header id
    header.append(2, '\0');  // no title
    return header + playerHeader;
}

TEST_F(LiveWMPlayerTest, TheWmvTagSelectsTheWriterPlayer)
{
    LivePlayerSelector selector;
    std::string header = SelectorHeader(Profile());
    ASSERT_TRUE(selector.Select(header.data(), static_cast<std::uint32_t>(header.size())));
    std::wstring url = selector.GetUrl();
    EXPECT_EQ(url.substr(0, 17), L"http://127.0.0.1:");
    EXPECT_EQ(url.substr(url.size() - 6), L"/1.wmv");
    ASSERT_NE(selector.Current(), nullptr);
    EXPECT_NE(PortOf(*selector.Current()), 0);
}

}  // namespace
