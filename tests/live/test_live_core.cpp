// CLiveCore under Wine: lifecycle and the tracker dialogue against the swarm
// fixture (tests/fixtures/swarm.py) with a real network core; connection
// events, ticks and playback start with a stand-in network whose events the
// test reports itself.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/vod/http/LoopbackClient.h"
#include "live/LiveCore.h"
#include "live/LiveEngineMessages.h"
#include "live/LivePeerSession.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "tests/common/OwnerWindow.h"
#include "tests/live/LiveCoreProbe.h"
#include "tests/live/LiveTestMessages.h"
#include "tests/net/NoGateway.h"
#include "vod/VodEngineMessages.h"

namespace {

const DWORD kWait = 15000;
const std::uint64_t kChannel = 77;

unsigned short EnvPort(const char* name)
{
    const char* port = std::getenv(name);
    return port ? static_cast<unsigned short>(std::atoi(port)) : 0;
}

std::wstring TrackerUrl()
{
    return L"http://127.0.0.1:" + std::to_wstring(EnvPort("TOVRA_TRACKER_PORT")) + L"/live";
}

std::string Tracker(const std::string& method, const std::string& path, const std::string& body = "")
{
    const std::string answer = Exchange(EnvPort("TOVRA_TRACKER_PORT"),
                                        method + " " + path + " HTTP/1.0\r\nContent-Length: " +
                                            std::to_string(body.size()) + "\r\n\r\n" + body);
    const std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

int TrackerWait(const std::string& msg, int n, double seconds)
{
    return std::atoi(
        Tracker("GET", "/_wait?msg=" + msg + "&n=" + std::to_string(n) + "&timeout=" + std::to_string(seconds))
            .c_str());
}

// A tracker "peer" entry as JSON for the extra_peers knob.
std::string PeerJson(const std::string& pid, int nodeType, bool withGwtype = true)
{
    return "{\"pid\": \"" + pid + "\", \"wip\": \"127.0.0.1\", \"wport\": 9, \"lip\": \"127.0.0.1\", " +
           "\"lport\": 9, " + (withGwtype ? "\"gwtype\": 0, " : "") + "\"nodetype\": " + std::to_string(nodeType) +
           "}";
}

PeerId Id(const std::string& text)
{
    return PeerId::FromBytes(text.data(), text.size());
}

// The owner window, with the live engine's status messages picked out.
class Owner : public OwnerWindow {
public:
    Owner() : OwnerWindow(L"LiveCoreTestOwner", 1) {}

    bool WaitFor(UINT message, WPARAM wParam, DWORD ms = kWait)
    {
        return OwnerWindow::WaitFor(message, wParam, ms);
    }
    std::vector<std::pair<WPARAM, LPARAM>> Statuses() const
    {
        std::vector<std::pair<WPARAM, LPARAM>> out;
        for (const MSG& m : seen)
            if (m.message == WM_LIVE_STATUS)
                out.push_back({m.wParam, m.lParam});
        return out;
    }
};

// The stand-in network: records what the engine asks of it.
class FakeNetwork : public ILiveNetwork {
public:
    struct Sent {
        PeerId peer;
        int type;
        std::string bytes;
    };
    void Start(const PropertyMap&, ppn::EventListener* listener) override
    {
        if (failStart)
            throw ppn::PPNException("no port", ppn::PPN_LAYER_CORE, ppn::PPN_CLASS_STATE, ppn::PPN_ERR_NOT_STARTED);
        if (onStart)
            onStart(listener);
    }
    void Stop(ppn::EventListener*) override {}
    void GetLocalAddress(PeerAddress& address, bool) override
    {
        address.Clear();
        address.id = Id("the-engine-itself");
    }
    void ConnectTo(const PeerAddress& peer, int) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        connects.push_back(peer.id);
    }
    void Close(const PeerId& peer, int) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        closes.push_back(peer);
    }
    void Send(const PeerId& peer, int type, const char* data, int length) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        sent.push_back({peer, type, std::string(data, static_cast<std::size_t>(length))});
    }
    void GetProperties(PropertyMap& properties) override
    {
        for (auto& entry : properties)
            entry.second = std::to_string(entry.first * 1000);
    }

    // Messages of one type sent to peer.
    std::vector<LiveMessage> SentOf(const PeerId& peer, std::uint8_t type)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<LiveMessage> out;
        for (const Sent& s : sent) {
            LiveMessage m;
            if (s.peer == peer && ReadLiveMessage(s.bytes.data(), static_cast<std::uint32_t>(s.bytes.size()), m) &&
                m.type == type)
                out.push_back(m);
        }
        return out;
    }

    bool failStart = false;
    // Events and data the core reports while it starts.
    std::function<void(ppn::EventListener*)> onStart;
    std::mutex mutex;
    std::vector<PeerId> connects;
    std::vector<PeerId> closes;
    std::deque<Sent> sent;
};

// The engine over a FakeNetwork the test keeps a pointer to.
class FakeNetCore : public LiveCoreProbe {
public:
    FakeNetwork* network = nullptr;
    bool failStart = false;
    std::function<void(ppn::EventListener*)> onStart;

protected:
    std::unique_ptr<ILiveNetwork> MakeNetwork() override
    {
        network = new FakeNetwork;
        network->failStart = failStart;
        network->onStart = onStart;
        return std::unique_ptr<ILiveNetwork>(network);
    }
};

class LiveCoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        // No port mapping: the system's UPnP object is not wanted under test.
        nettest::UseNoGateway();
    }
    void SetUp() override
    {
        ASSERT_NE(EnvPort("TOVRA_TRACKER_PORT"), 0) << "run through the swarm fixture";
        Tracker("POST", "/_control", "{\"reset\": true}");
    }
    void Configure(CLiveCore& core)
    {
        core.SetOwnerWindow(owner.Handle());
        core.SetChannelId(kChannel);
        core.SetNatServer("127.0.0.1", EnvPort("TOVRA_NAT_PORT"));
        core.SetTrackerUrl(TrackerUrl());
    }
    // Delivers one message from peer as the network core would.
    static void Deliver(CLiveCore& core, const PeerId& peer, const LiveMessage& message)
    {
        const std::string bytes = LivePacked(message);
        core.OnReceive(&peer, PPN_CONN_SRUDP, bytes.data(), static_cast<int>(bytes.size()));
    }
    // An accepted viewer says hello, is answered, and asks for the blocks
    // `pieces` of piece 5: its session has a request to serve.
    static void AcceptAndRequest(FakeNetCore& core, const PeerId& peer, const nps::BitField& pieces)
    {
        core.OnEvent(&peer, PPN_EVENT_ACCEPTED, PPN_CONN_SRUDP);
        Deliver(core, peer, LiveHello(LIVE_MSG_HELLO, 1, kChannel, 0, 0));
        ASSERT_EQ(core.network->SentOf(peer, LIVE_MSG_HELLO_REPLY).size(), 1u);
        LiveMessage request;
        request.type = LIVE_MSG_REQUEST;
        request.request.number = 1;
        request.request.pieces[5] = pieces;
        Deliver(core, peer, request);
    }
    template <class Predicate>
    static bool WaitUntil(LiveCoreProbe& core, Predicate predicate, DWORD ms = kWait)
    {
        const DWORD begin = GetTickCount();
        for (;;) {
            bool done = false;
            core.Inspect([&](const LiveCoreProbe& c) { done = predicate(c); });
            if (done)
                return true;
            if (GetTickCount() - begin >= ms)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }

    Owner owner;
};

}  // namespace

TEST_F(LiveCoreTest, StartRefusalsAndStopWithoutStart)
{
    CLiveCore idle;
    idle.Stop();   // never started: returns at once
    LiveCoreProbe unset;
    Configure(unset);
    unset.SetChannelId(0);
    EXPECT_FALSE(unset.Start(GetModuleHandleW(nullptr)));
    EXPECT_EQ(unset.GetWindow(), nullptr);

    FakeNetCore failing;
    failing.failStart = true;
    Configure(failing);
    EXPECT_FALSE(failing.Start(GetModuleHandleW(nullptr)));
    EXPECT_EQ(failing.GetWindow(), nullptr);
    std::int32_t rate = 0;
    EXPECT_FALSE(failing.GetDownloadRate(rate));

    FakeNetCore core;
    Configure(core);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(core.Start(GetModuleHandleW(nullptr)));
    std::int64_t total = 0;
    EXPECT_TRUE(core.GetDownloadRate(rate));
    EXPECT_EQ(rate, 275000);
    EXPECT_TRUE(core.GetUploadRate(rate));
    EXPECT_EQ(rate, 276000);
    EXPECT_TRUE(core.GetDownloadTotal(total));
    EXPECT_EQ(total, 273000);
    EXPECT_TRUE(core.GetUploadTotal(total));
    EXPECT_EQ(total, 274000);
    core.Stop();
    EXPECT_FALSE(core.GetUploadTotal(total));
    EXPECT_EQ(core.GetWindow(), nullptr);
}

TEST_F(LiveCoreTest, EmptyTrackerGivesTheStatusesAndNoConnection)
{
    LiveCoreProbe core;
    Configure(core);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(owner.WaitFor(WM_LIVE_CONNECTED, 0));
    core.Stop();
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{1, 111}, {2, 112}, {4, 114}, {6, 116}};
    EXPECT_EQ(owner.Statuses(), expected);
    // The request named the channel, our peer type and 50 peers.
    const std::string state = Tracker("GET", "/_state");
    EXPECT_NE(state.find("\"cid\": 77, \"msg\": \"reqpeer\", \"nums\": 50, \"peertype\": 0"), std::string::npos)
        << state;
}

TEST_F(LiveCoreTest, FailedRepliesAreRetriedThreeTimes)
{
    Tracker("POST", "/_control", "{\"fail\": {\"reqpeer\": 10}}");
    LiveCoreProbe core;
    Configure(core);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    EXPECT_EQ(TrackerWait("reqpeer", 4, 20), 4);
    // A fifth would come 2 s after the fourth.
    EXPECT_EQ(TrackerWait("reqpeer", 5, 5), 4);
    owner.Pump();
    core.Stop();
    for (const MSG& m : owner.seen)
        EXPECT_NE(m.message, WM_LIVE_CONNECTED) << "a failed reply sends no CONNECTED";
}

TEST_F(LiveCoreTest, ReplyEntriesAndThePassword)
{
    struct Case {
        std::string peers;
        const char* pwd;
        LRESULT answer;
        WPARAM connected;
        WPARAM lastStatus;
    } cases[] = {
        {PeerJson("a-viewer", 0), nullptr, 1, 1, 7},
        {PeerJson("no-gateway", 0, false), nullptr, 1, 0, 6},   // the entry is skipped
        {PeerJson("a-viewer", 0), "secret", 0, 0, 6},           // password refused
        {PeerJson("a-viewer", 0), "secret", 1, 1, 7},
    };
    for (const Case& c : cases) {
        Tracker("POST", "/_control",
                "{\"reset\": true, \"extra_peers\": [" + c.peers + "]" +
                    (c.pwd ? std::string(", \"pwd\": \"") + c.pwd + "\"" : std::string()) + "}");
        owner.seen.clear();
        owner.password.clear();
        owner.passwordAnswer = c.answer;
        FakeNetCore core;
        Configure(core);
        ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
        ASSERT_TRUE(owner.WaitFor(WM_LIVE_CONNECTED, c.connected)) << c.peers;
        EXPECT_EQ(owner.Statuses().back().first, c.lastStatus) << c.peers;
        EXPECT_EQ(owner.password, c.pwd ? c.pwd : "");
        EXPECT_EQ(core.GetSessionCount(), int(c.connected));
        core.Stop();
    }
}

TEST_F(LiveCoreTest, SourceAcceptedStartsPlaybackAtOnce)
{
    Tracker("POST", "/_control", "{\"extra_peers\": [" + PeerJson("the-source", 1) + "]}");
    FakeNetCore core;
    Configure(core);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(owner.WaitFor(WM_LIVE_CONNECTED, 1));
    const PeerId source = Id("the-source");
    core.OnEvent(&source, PPN_EVENT_CONNECTED, PPN_CONN_SRUDP);
    ASSERT_EQ(core.network->SentOf(source, LIVE_MSG_HELLO).size(), 1u);
    // Events of the other transports are not the engine's.
    core.OnEvent(&source, PPN_EVENT_CLOSED, PPN_CONN_SUDT);
    EXPECT_EQ(core.GetSessionCount(), 1);

    Deliver(core, source, LiveHello(LIVE_MSG_HELLO_REPLY, 3, kChannel, 500, 60));
    ASSERT_TRUE(WaitUntil(core, [](const LiveCoreProbe& c) { return c.PlaybackStarted(); }));
    EXPECT_EQ(core.WindowStartPiece(), 540u);
    EXPECT_TRUE(core.StartedFromSource());
    EXPECT_EQ(core.GetBufferingSeconds(), 0u) << "no countdown after a start from a source";
    core.Inspect([](const LiveCoreProbe& c) {
        EXPECT_EQ(c.Scheduler().WantedFirst(), 540u);
        EXPECT_EQ(c.Scheduler().WantedLast(), 549u);
        EXPECT_EQ(c.Connections().Connected().size(), 1u);
    });
    core.Stop();
}

TEST_F(LiveCoreTest, ViewerAcceptedStartsPlaybackThreeSecondsLater)
{
    Tracker("POST", "/_live_time?cid=77&time=1000");
    Tracker("POST", "/_control", "{\"extra_peers\": [" + PeerJson("viewer-a", 0) + ", " + PeerJson("viewer-b", 0) + "]}");
    FakeNetCore core;
    Configure(core);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(owner.WaitFor(WM_LIVE_CONNECTED, 1));
    const PeerId a = Id("viewer-a"), b = Id("viewer-b");
    core.OnEvent(&a, PPN_EVENT_CONNECTED, PPN_CONN_SRUDP);
    core.OnEvent(&b, PPN_EVENT_CONNECTED, PPN_CONN_SRUDP);
    Deliver(core, a, LiveHello(LIVE_MSG_HELLO_REPLY, 3, kChannel, 900, 100));   // middle 950
    Deliver(core, b, LiveHello(LIVE_MSG_HELLO_REPLY, 3, kChannel, 990, 40));    // 1010: past the live point
    const DWORD begin = GetTickCount();
    ASSERT_TRUE(WaitUntil(core, [](const LiveCoreProbe& c) { return c.PlaybackStarted(); }));
    EXPECT_GE(GetTickCount() - begin, 2500u);
    EXPECT_EQ(core.LivePoint(), 1000u);
    EXPECT_EQ(core.WindowStartPiece(), 930u);
    EXPECT_FALSE(core.StartedFromSource());
    EXPECT_EQ(core.GetBufferingSeconds(), 10u);
    core.Stop();
}

TEST_F(LiveCoreTest, RefusedHelloEndsTheSession)
{
    Tracker("POST", "/_control", "{\"extra_peers\": [" + PeerJson("refuser", 0) + "]}");
    FakeNetCore core;
    Configure(core);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(owner.WaitFor(WM_LIVE_CONNECTED, 1));
    const PeerId peer = Id("refuser");
    core.OnEvent(&peer, PPN_EVENT_CONNECTED, PPN_CONN_SRUDP);
    Deliver(core, peer, LiveHello(LIVE_MSG_HELLO_REPLY, 0, kChannel));
    ASSERT_TRUE(WaitUntil(core, [](const LiveCoreProbe& c) { return c.GetSessionCount() == 0; }));
    std::lock_guard<std::mutex> lock(core.network->mutex);
    EXPECT_EQ(core.network->closes.size(), 1u);
    core.Stop();
}

TEST_F(LiveCoreTest, AcceptedConnectionReplacesTheOldSessionWithoutClosingIt)
{
    Tracker("POST", "/_control", "{\"extra_peers\": [" + PeerJson("both-ways", 0) + "]}");
    FakeNetCore core;
    Configure(core);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    ASSERT_TRUE(owner.WaitFor(WM_LIVE_CONNECTED, 1));
    const PeerId peer = Id("both-ways");
    core.Inspect([&](const LiveCoreProbe& c) { EXPECT_EQ(c.Connections().Connecting().count(peer), 1u); });

    // Both sides connected at once; the core kept the other side's attempt.
    // The request gives the session its send timer.
    ASSERT_NO_FATAL_FAILURE(AcceptAndRequest(core, peer, nps::BitField(1, 1)));
    core.Inspect([&](const LiveCoreProbe& c) {
        EXPECT_TRUE(c.Connections().Connecting().empty());
        ASSERT_NE(c.SessionOf(peer), nullptr);
        EXPECT_TRUE(c.SessionOf(peer)->HasSendTimer());
    });

    // The same again (the peer reconnected): the old session goes to the
    // reap table and the connection just accepted stays open.
    core.OnEvent(&peer, PPN_EVENT_ACCEPTED, PPN_CONN_SRUDP);
    core.Inspect([&](const LiveCoreProbe& c) {
        EXPECT_EQ(c.GetSessionCount(), 1);
        EXPECT_EQ(c.ReapCount(), 1u);
        ASSERT_NE(c.SessionOf(peer), nullptr);
        EXPECT_FALSE(c.SessionOf(peer)->IsHandshaken());
    });
    {
        std::lock_guard<std::mutex> lock(core.network->mutex);
        EXPECT_TRUE(core.network->closes.empty());
    }
    // A close does close it.
    core.OnEvent(&peer, PPN_EVENT_CLOSED, PPN_CONN_SRUDP);
    EXPECT_EQ(core.GetSessionCount(), 0);
    std::lock_guard<std::mutex> lock(core.network->mutex);
    EXPECT_EQ(core.network->closes.size(), 1u);
    core.Stop();
}

TEST_F(LiveCoreTest, SessionTickUsesOnlyATableSession)
{
    FakeNetCore core;
    Configure(core);
    core.SetInitialSendRate(0);
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    // Writable memory that is no session: taking it for one would read a
    // null host through it.
    std::vector<char> notASession(4096, 0);
    SendMessageW(core.GetWindow(), WM_LIVE_SESSION_TICK, reinterpret_cast<WPARAM>(notASession.data()),
                 LIVE_SESSION_TICK_TAG);
    // A session that ended: its pointer is stale.
    const PeerId peer = Id("short-lived");
    core.OnEvent(&peer, PPN_EVENT_ACCEPTED, PPN_CONN_SRUDP);
    const LivePeerSession* stale = nullptr;
    core.Inspect([&](const LiveCoreProbe& c) { stale = c.SessionOf(peer); });
    core.OnEvent(&peer, PPN_EVENT_CLOSED, PPN_CONN_SRUDP);
    SendMessageW(core.GetWindow(), WM_LIVE_SESSION_TICK, reinterpret_cast<WPARAM>(stale), LIVE_SESSION_TICK_TAG);
    // Data from a peer without a session is dropped.
    Deliver(core, peer, LiveHello(LIVE_MSG_HELLO, 1, kChannel));
    EXPECT_TRUE(core.network->SentOf(peer, LIVE_MSG_HELLO_REPLY).empty());
    EXPECT_TRUE(core.Inspect([](const LiveCoreProbe&) {}));

    // A session replaced by an accepted connection waits in the reap table
    // still handshaken, with a request to finish: its ticks send nothing.
    // At the lowest rate its own timer pops one block a tick, so the last of
    // these blocks would not be due for seconds.
    const PeerId replaced = Id("replaced");
    // Blocks of a piece the engine has not.
    ASSERT_NO_FATAL_FAILURE(AcceptAndRequest(core, replaced, nps::BitField(16, 0xFFFF)));
    const LivePeerSession* old = nullptr;
    core.Inspect([&](const LiveCoreProbe& c) { old = c.SessionOf(replaced); });
    core.OnEvent(&replaced, PPN_EVENT_ACCEPTED, PPN_CONN_SRUDP);
    core.Inspect([&](const LiveCoreProbe& c) {
        EXPECT_EQ(c.ReapCount(), 1u);
        EXPECT_NE(c.SessionOf(replaced), old);
    });
    for (int tick = 0; tick < 64; ++tick)
        SendMessageW(core.GetWindow(), WM_LIVE_SESSION_TICK, reinterpret_cast<WPARAM>(old), LIVE_SESSION_TICK_TAG);
    EXPECT_TRUE(core.network->SentOf(replaced, LIVE_MSG_DONE).empty());
    core.Stop();
}

TEST_F(LiveCoreTest, TimedOutTextsOutliveTheEngineCall)
{
    // An owner on a thread that takes no messages while the engine sends.
    struct Busy {
        HWND window = nullptr;
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        static DWORD WINAPI Run(void* p)
        {
            Busy* self = static_cast<Busy*>(p);
            self->window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
            SetEvent(self->ready);
            WaitForSingleObject(self->release, kWait);
            DestroyWindow(self->window);
            return 0;
        }
    } busy;
    HANDLE thread = CreateThread(nullptr, 0, Busy::Run, &busy, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(busy.ready, kWait), WAIT_OBJECT_0);

    auto core = std::unique_ptr<FakeNetCore>(new FakeNetCore);
    Configure(*core);
    core->SetOwnerWindow(busy.window);
    ASSERT_TRUE(core->Start(GetModuleHandleW(nullptr)));
    const wchar_t* title = core->HoldHostText(L"Evening news");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(core->HoldHostText(L"Evening news"), title) << "equal texts share one copy";
    EXPECT_EQ(core->NotifyHostTimeout(WM_LIVE_STREAM_READY, reinterpret_cast<WPARAM>(title), 0, 100), 0);
    const wchar_t* wait = core->HoldHostText(L"\u7b49\u5f8550%");
    EXPECT_EQ(core->NotifyHostTimeout(WM_LIVE_STATUS, LIVE_STATUS_BUFFERING, reinterpret_cast<LPARAM>(wait), 100), 0);
    core->Stop();
    // After the time-outs and the Stop the owner may still be handed them.
    EXPECT_TRUE(core->IsHostText(title));
    EXPECT_TRUE(core->IsHostText(wait));
    EXPECT_FALSE(core->IsHostText(L"Evening news"));
    EXPECT_EQ(std::wstring(title), L"Evening news");
    EXPECT_EQ(std::wstring(wait), L"\u7b49\u5f8550%");
    SetEvent(busy.release);
    WaitForSingleObject(thread, kWait);
    CloseHandle(thread);
    CloseHandle(busy.ready);
    CloseHandle(busy.release);
}

TEST_F(LiveCoreTest, RelayQueueIsBounded)
{
    FakeNetCore core;
    Configure(core);
    EXPECT_FALSE(core.QueueRelayText("before start"));
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(core.QueueRelayText(""));
    int queued = 0;
    while (queued < 1000 && core.QueueRelayText("text " + std::to_string(queued)))
        ++queued;
    EXPECT_EQ(queued, 256);
    core.Stop();
}

TEST_F(LiveCoreTest, ACoreThatCallsBackWhileStartingIsAnswered)
{
    // The network core runs its threads as it starts: a peer that connects
    // and says hello at once is answered through the core, and its close
    // closes the connection.
    const PeerId peer = Id("early-caller");
    FakeNetCore core;
    Configure(core);
    core.onStart = [&](ppn::EventListener* listener) {
        listener->OnEvent(&peer, PPN_EVENT_ACCEPTED, PPN_CONN_SRUDP);
        const std::string hello = LivePacked(LiveHello(LIVE_MSG_HELLO, 1, kChannel));
        listener->OnReceive(&peer, PPN_CONN_SRUDP, hello.data(), static_cast<int>(hello.size()));
        listener->OnEvent(&peer, PPN_EVENT_CLOSED, PPN_CONN_SRUDP);
    };
    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    EXPECT_EQ(core.network->SentOf(peer, LIVE_MSG_HELLO_REPLY).size(), 1u);
    {
        std::lock_guard<std::mutex> lock(core.network->mutex);
        EXPECT_EQ(core.network->closes, std::vector<PeerId>{peer});
    }
    EXPECT_EQ(core.GetSessionCount(), 0);
    core.Stop();
}

TEST_F(LiveCoreTest, PlayerNoticesSetPacingAndNeedTheEngineWindow)
{
    const auto notices = [](CLiveCore& core) {
        core.NotifyBuffering();
        core.NotifyPlaying();
        core.NotifyPaused();
        core.NotifyStopped();
    };
    const auto landedHere = [] {
        MSG m;
        return PeekMessageW(&m, nullptr, WM_LIVE_PLAYER_BUFFERING, WM_LIVE_PLAYER_STOPPED, PM_REMOVE) != FALSE;
    };
    FakeNetCore core;
    Configure(core);
    notices(core);
    EXPECT_FALSE(landedHere()) << "before Start";

    ASSERT_TRUE(core.Start(GetModuleHandleW(nullptr)));
    // Buffering lifts the pacing; each other state puts it back.
    struct Step {
        void (CLiveCore::*notice)();
        bool noPacing;
    } steps[] = {
        {&CLiveCore::NotifyBuffering, true}, {&CLiveCore::NotifyPlaying, false},
        {&CLiveCore::NotifyBuffering, true}, {&CLiveCore::NotifyPaused, false},
        {&CLiveCore::NotifyBuffering, true}, {&CLiveCore::NotifyStopped, false},
    };
    int i = 0;
    for (const Step& step : steps) {
        (core.*step.notice)();
        EXPECT_TRUE(WaitUntil(core, [&](const LiveCoreProbe& c) { return c.NoPacingFlag() == step.noPacing; }))
            << "step " << i++;
    }
    EXPECT_FALSE(landedHere());
    core.Stop();
    notices(core);
    EXPECT_FALSE(landedHere()) << "after Stop";
}
