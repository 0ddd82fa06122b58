// CVodCore under Wine against the swarm fixture (tests/fixtures/swarm.py):
// lifecycle, the file-size request with its retries, the readers.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/LoopbackClient.h"
#include "vod/VodCore.h"
#include "vod/VodEngineMessages.h"
#include "vod/VodTrackerMessages.h"
#include "vod/reader/ReaderHostRegistry.h"
#include "tests/common/OwnerWindow.h"
#include "tests/common/ProcessCounts.h"

namespace {

const std::string kHash = "0123456789ABCDEF0123456789ABCDEF";
const std::string kLowerHash = "0123456789abcdef0123456789abcdef";
const DWORD kWait = 10000;

unsigned short TrackerPort()
{
    const char* port = std::getenv("TOVRA_TRACKER_PORT");
    return port ? static_cast<unsigned short>(std::atoi(port)) : 0;
}

unsigned short NatPort()
{
    const char* port = std::getenv("TOVRA_NAT_PORT");
    return port ? static_cast<unsigned short>(std::atoi(port)) : 0;
}

std::wstring TrackerUrl()
{
    return L"http://127.0.0.1:" + std::to_wstring(TrackerPort()) + L"/cgi-bin/vod.fcgi";
}

// The body of a plain HTTP/1.0 exchange with the tracker's control routes.
std::string Tracker(const std::string& method, const std::string& path, const std::string& body = "")
{
    const std::string answer =
        Exchange(TrackerPort(), method + " " + path + " HTTP/1.0\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body);
    const std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

int TrackerWait(const std::string& msg, int n, double seconds)
{
    return std::atoi(Tracker("GET", "/_wait?msg=" + msg + "&n=" + std::to_string(n) +
                                        "&timeout=" + std::to_string(seconds)).c_str());
}

// The owner window; the password challenge is refused unless a test says.
class OwnerSink : public OwnerWindow {
public:
    OwnerSink() : OwnerWindow(L"VodCoreTestOwner", 0) {}
};

class VodCoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }

    void SetUp() override
    {
        ASSERT_NE(TrackerPort(), 0) << "run through the swarm fixture";
        Tracker("POST", "/_control", "{\"reset\": true}");
        m_core.SetOwnerWindow(m_owner.Handle());
        m_core.SetNatServer("127.0.0.1", NatPort());
        m_core.SetHash(kHash);
        m_core.SetContentId(77);
        m_core.SetTrackerUrl(TrackerUrl());
        m_core.SetMediaType(L"flv");
    }

    void KnowFile(std::int64_t size, std::uint32_t bitRate)
    {
        Tracker("POST", "/_control", "{\"files\": {\"" + kLowerHash + "\": [" +
                                         std::to_string(size) + ", " + std::to_string(bitRate) + "]}}");
    }

    OwnerSink m_owner;
    CVodCore m_core;
};

}  // namespace

TEST_F(VodCoreTest, StartNeedsHashCidAndASendableFileRequest)
{
    CVodCore noCid;
    noCid.SetHash(kHash);
    noCid.SetTrackerUrl(TrackerUrl());
    EXPECT_FALSE(noCid.Start(GetModuleHandleW(nullptr)));
    EXPECT_EQ(noCid.GetWindow(), nullptr);

    CVodCore noHash;
    noHash.SetContentId(1);
    noHash.SetTrackerUrl(TrackerUrl());
    EXPECT_FALSE(noHash.Start(GetModuleHandleW(nullptr)));

    // Size 0 and no usable tracker URL: "reqfileinfo" cannot be sent.
    for (const wchar_t* url : {L"", L"ftp://127.0.0.1/x"}) {
        CVodCore core;
        core.SetNatServer("127.0.0.1", NatPort());
        core.SetHash(kHash);
        core.SetContentId(1);
        core.SetTrackerUrl(url);
        EXPECT_FALSE(core.Start(GetModuleHandleW(nullptr)));
        EXPECT_FALSE(core.IsRunning());
        EXPECT_FALSE(core.IsAlive());
    }
    EXPECT_EQ(Tracker("GET", "/_wait?msg=reqfileinfo&n=1&timeout=0").find('0'), 0u);

    // A size the block map cannot hold counts as unknown, so without a
    // tracker URL the engine cannot start; the largest size it holds needs
    // no tracker.
    const struct {
        std::int64_t size;
        bool starts;
    } sizes[] = {{-1, false}, {kVodMaxFileSize + 1, false}, {kVodMaxFileSize, true}};
    for (const auto& c : sizes) {
        CVodCore core;
        core.SetNatServer("127.0.0.1", NatPort());
        core.SetHash(kHash);
        core.SetContentId(1);
        core.SetSize(c.size);
        core.SetTrackerUrl(L"");
        EXPECT_EQ(core.Start(GetModuleHandleW(nullptr)), c.starts) << c.size;
        if (c.starts) {
            EXPECT_EQ(core.GetSize(), c.size);
        }
        core.Stop();
    }
}

TEST_F(VodCoreTest, UnknownSizeIsAskedOfTheTrackerInLowerCase)
{
    KnowFile(3 * 36864 + 100, 0);
    Tracker("POST", "/_control", "{\"delay_ms\": {\"reqfileinfo\": 300}}");
    ASSERT_TRUE(m_core.Start(GetModuleHandleW(nullptr)));
    // No reader before the size is known.
    EXPECT_EQ(m_core.Open("x", 0), nullptr);
    // Timer 1 runs once the size is known: its status comes first, then the
    // failure to ask for peers without a network core.
    ASSERT_TRUE(m_owner.WaitFor(WM_VOD_STATUS, VOD_STATUS_LOGGED_IN, kWait));
    ASSERT_TRUE(m_owner.WaitFor(WM_VOD_STATUS, VOD_STATUS_NO_PEERS, kWait));
    for (const MSG& m : m_owner.seen) {
        if (m.message == WM_VOD_STATUS) {
            EXPECT_EQ(m.lParam, static_cast<LPARAM>(110 + m.wParam));
        }
    }
    EXPECT_EQ(m_core.GetSize(), 3 * 36864 + 100);
    EXPECT_EQ(m_core.GetBitRate(), 1000000u);
    const std::string state = Tracker("GET", "/_state");
    EXPECT_NE(state.find("\"hash\": \"" + kLowerHash + "\""), std::string::npos) << state;
    EXPECT_EQ(TrackerWait("reqfileinfo", 1, 0), 1);
    EXPECT_EQ(m_core.Open("x", 0), &m_core);
}

TEST_F(VodCoreTest, FailedFileRequestsAreRetriedThreeTimes)
{
    KnowFile(36864, 500000);
    Tracker("POST", "/_control", "{\"fail\": {\"reqfileinfo\": 2}}");
    ASSERT_TRUE(m_core.Start(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(m_owner.WaitFor(WM_VOD_STATUS, VOD_STATUS_LOGGED_IN, kWait));
    EXPECT_EQ(TrackerWait("reqfileinfo", 3, 0), 3);
    EXPECT_EQ(m_core.GetBitRate(), 500000u);
    m_core.Stop();

    // Four failures: three retries, then the engine stays without a size.
    CVodCore core;
    core.SetNatServer("127.0.0.1", NatPort());
    core.SetHash(kHash);
    core.SetContentId(78);
    core.SetTrackerUrl(TrackerUrl());
    Tracker("POST", "/_control", "{\"reset\": true}");
    Tracker("POST", "/_control", "{\"fail\": {\"reqfileinfo\": 10}}");
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    EXPECT_EQ(TrackerWait("reqfileinfo", 4, 15), 4);
    EXPECT_EQ(TrackerWait("reqfileinfo", 5, 2.5), 4);
    EXPECT_EQ(core.Open("x", 0), nullptr);
}

TEST_F(VodCoreTest, ReadsWithoutPeersEndAndPlayUrls)
{
    m_core.SetSize(2 * 36864);
    ASSERT_TRUE(m_core.Start(GetModuleHandleW(nullptr)));
    // Known size: no file request at all.
    ASSERT_TRUE(m_owner.WaitFor(WM_VOD_STATUS, VOD_STATUS_NO_PEERS, kWait));
    EXPECT_EQ(TrackerWait("reqfileinfo", 1, 0), 0);
    EXPECT_TRUE(m_core.IsAlive());
    inf::IReader* reader = m_core.Open("x", 40000);
    ASSERT_EQ(reader, &m_core);
    unsigned char buffer[100];
    // Nothing held and no connected peer: nothing will come.
    EXPECT_EQ(reader->Read(40000, buffer, sizeof buffer), -1);
    EXPECT_EQ(reader->Read(2 * 36864, buffer, sizeof buffer), -1);
    EXPECT_EQ(reader->GetSize(), 2 * 36864);

    const std::wstring url = m_core.GetPlayUrl();
    ASSERT_EQ(url.rfind(L"http://127.0.0.1:", 0), 0u) << url;
    EXPECT_EQ(url.substr(url.size() - 6), L"/1.flv");
    m_core.SetMediaType(L"FLV");
    EXPECT_EQ(m_core.GetPlayUrl().rfind(L"zaror://0x", 0), 0u);

    m_core.Stop();
    EXPECT_FALSE(m_core.IsAlive());
    EXPECT_EQ(m_core.Open("x", 0), nullptr);
    EXPECT_EQ(m_core.Read(0, buffer, sizeof buffer), 0);
}

TEST_F(VodCoreTest, SeeksPlaceTheWindowAndWmvStartsABlockEarlier)
{
    m_core.SetSize(10 * 36864);
    ASSERT_TRUE(m_core.Start(GetModuleHandleW(nullptr)));
    struct Case {
        const wchar_t* type;
        unsigned long long offset;
        std::uint32_t start;
    } cases[] = {
        {L"flv", 100000, 2},          // block 2 (73,728 .. 110,591)
        {L"flv", 10 * 36864, 2},      // beyond the end: ignored
        {L"flv", 0, 0},
        {L"wmv", 80000, 1},           // 80,000 - 36,864 lies in block 1
        {L"wmv", 20000, 0},           // at most one block in: from 0
        {L"wmv", 9 * 36864 + 5, 8},
    };
    for (const Case& c : cases) {
        m_core.SetMediaType(c.type);
        ASSERT_EQ(m_core.Open("x", c.offset), &m_core);
        EXPECT_EQ(m_core.GetContiguousBlocks(), c.start) << c.offset;
    }
    m_core.Stop();
    EXPECT_EQ(m_core.GetContiguousBlocks(), 0u);
}

TEST_F(VodCoreTest, TwentyStartStopCyclesLeaveNoThreadOrHandle)
{
    m_core.SetSize(10 * 36864);
    ASSERT_TRUE(m_core.Start(GetModuleHandleW(nullptr)));
    m_core.Stop();
    const auto hostNumber =
        reinterpret_cast<std::uintptr_t>(static_cast<inf::IReaderHost*>(&m_core));
    const int threads = testcounts::ThreadsOfThisProcess();
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    for (int i = 0; i < 20; ++i) {
        // Alternate a known size with one asked of a slow tracker, so that
        // some cycles stop with a request still running.
        m_core.SetSize(i % 2 ? 10 * 36864 : 0);
        if (i == 1)
            Tracker("POST", "/_control", "{\"delay_ms\": {\"reqfileinfo\": 300}}");
        ASSERT_TRUE(m_core.Start(GetModuleHandleW(nullptr))) << i;
        EXPECT_TRUE(m_core.IsAlive());
        // Players find the running engine's reader host by its number.
        EXPECT_EQ(inf::FindReaderHost(hostNumber), static_cast<inf::IReaderHost*>(&m_core));
        m_core.Stop();
        EXPECT_EQ(inf::FindReaderHost(hostNumber), nullptr);
    }
    // Never more than before: a leak grows both counts, while a worker of the
    // system's (a timer or request thread counted in the baseline) may have
    // ended since.
    EXPECT_LE(testcounts::ThreadsOfThisProcess(), threads);
    DWORD after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_LE(after, handles);
}

namespace {

// A "peer" entry of a tracker reply, as JSON for the extra_peers knob; the
// address leads nowhere.
std::string FakePeer(char id, int nodeType)
{
    return "{\"pid\": \"" + std::string(20, id) +
           "\", \"wip\": \"127.0.0.1\", \"wport\": 9, \"lip\": \"127.0.0.1\", \"lport\": 9, "
           "\"gwtype\": 0, \"nodetype\": " + std::to_string(nodeType) + "}";
}

}  // namespace

TEST_F(VodCoreTest, TrackerRepliesToReqPeer)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(TrackerPort());
    struct Case {
        const char* name;
        std::string knobs;
        LRESULT passwordAnswer;
        int reqpeers;          // requests the tracker sees in all
        int connected;         // WM_VOD_CONNECTED's wParam; -1: none comes
        int lastStatus;
        int sessions;
        const char* secondPath;  // where the second "reqpeer" went, if any
    } cases[] = {
        {"empty list", "{\"empty_peers\": true}", 0, 1, 0, VOD_STATUS_NO_PEERS, 0, nullptr},
        {"password refused", "{\"pwd\": \"secret\", \"extra_peers\": [" + FakePeer('a', 0) + "]}", 0, 1, 0,
         VOD_STATUS_NO_PEERS, 0, nullptr},
        {"password accepted", "{\"pwd\": \"secret\", \"extra_peers\": [" + FakePeer('a', 0) + "]}", 1, 1, 1,
         VOD_STATUS_CONNECTING, 1, nullptr},
        // The later of two entries with one id wins: one session for 'b'.
        {"duplicate peer",
         "{\"extra_peers\": [" + FakePeer('b', 1) + ", " + FakePeer('c', 0) + ", " + FakePeer('b', 0) + "]}", 0, 1,
         1, VOD_STATUS_CONNECTING, 2, nullptr},
        {"redirect", "{\"redirect\": [\"" + url + "/elsewhere\", 1], \"extra_peers\": [" + FakePeer('d', 0) + "]}",
         0, 2, 1, VOD_STATUS_CONNECTING, 1, "/elsewhere"},
        {"redirect to itself", "{\"redirect\": [\"" + url + "/cgi-bin/vod.fcgi\", 1]}", 0, 1, 0,
         VOD_STATUS_NO_PEERS, 0, nullptr},
        {"two failures", "{\"fail\": {\"reqpeer\": 2}, \"extra_peers\": [" + FakePeer('e', 0) + "]}", 0, 3, 1,
         VOD_STATUS_CONNECTING, 1, "/cgi-bin/vod.fcgi"},
        // Three retries after failed transfers, then nothing: no notice at all.
        {"four failures", "{\"fail\": {\"reqpeer\": 9}}", 0, 4, -1, VOD_STATUS_ASKING_PEERS, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tracker("POST", "/_control", "{\"reset\": true}");
        Tracker("POST", "/_control", c.knobs);
        OwnerSink owner;
        owner.passwordAnswer = c.passwordAnswer;
        CVodCore core;
        core.SetOwnerWindow(owner.Handle());
        core.SetNatServer("127.0.0.1", NatPort());
        core.SetHash(kHash);
        core.SetContentId(77);
        core.SetSize(5 * 36864);
        core.SetTrackerUrl(TrackerUrl());
        ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
        if (c.connected >= 0) {
            ASSERT_TRUE(owner.WaitFor(WM_VOD_CONNECTED, static_cast<WPARAM>(c.connected), kWait));
            EXPECT_EQ(core.GetSessionCount(), c.sessions);
        } else {
            EXPECT_EQ(TrackerWait("reqpeer", c.reqpeers, 15), c.reqpeers);
            EXPECT_EQ(TrackerWait("reqpeer", c.reqpeers + 1, 2.5), c.reqpeers);
            // Takes in the notices posted so far: none may be WM_VOD_CONNECTED.
            EXPECT_FALSE(owner.WaitFor(WM_VOD_CONNECTED, 0, 200));
        }
        EXPECT_EQ(TrackerWait("reqpeer", c.reqpeers + 1, 0), c.reqpeers);
        int last = 0;
        bool connectedSeen = false;
        for (const MSG& m : owner.seen) {
            if (m.message == WM_VOD_STATUS && !connectedSeen)
                last = static_cast<int>(m.wParam);
            if (m.message == WM_VOD_CONNECTED)
                connectedSeen = true;
        }
        EXPECT_EQ(connectedSeen, c.connected >= 0);
        EXPECT_EQ(last, c.lastStatus);
        EXPECT_EQ(owner.password, c.knobs.find("pwd") != std::string::npos ? "secret" : "");
        if (c.secondPath != nullptr) {
            const std::string state = Tracker("GET", "/_state");
            const std::size_t first = state.find("\"msg\": \"reqpeer\"");
            ASSERT_NE(first, std::string::npos);
            const std::size_t second = state.find("\"msg\": \"reqpeer\"", first + 1);
            ASSERT_NE(second, std::string::npos);
            EXPECT_NE(state.find(std::string("\"path\": \"") + c.secondPath + "\"", second), std::string::npos)
                << state;
        }
        core.Stop();
    }
}
