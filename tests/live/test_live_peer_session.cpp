// LivePeerSession against a test host: hellos, serving with its pacing and
// rate control, the receiving side's accounting, the bounds of what a peer
// can make us hold, and the end of a session with its send timer.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/text/HexText.h"
#include "live/LiveEngineMessages.h"
#include "tests/live/LiveTestHost.h"

namespace {

const PeerId kPeer = PeerId::FromBytes("peer", 4);

LiveMessage Hello(std::uint8_t type, std::uint8_t flags, std::uint32_t start, std::size_t bits,
                  std::uint64_t channel = 7) {
    return LiveHello(type, flags, channel, start, bits);
}

LiveMessage Request(std::uint64_t number, std::uint32_t piece, std::size_t blocks, std::uint8_t loss = 0) {
    LiveMessage m;
    m.type = LIVE_MSG_REQUEST;
    m.request.number = number;
    m.request.pieces[piece].resize(blocks, true);
    m.request.lossPercent = loss;
    return m;
}

LiveMessage Block(std::uint32_t piece, std::uint16_t block, std::uint16_t queued, std::uint16_t kbit,
                  const std::string& data) {
    LiveMessage m;
    m.type = LIVE_MSG_BLOCK;
    m.block.piece = piece;
    m.block.block = block;
    m.block.queued = queued;
    m.block.rate = kbit;
    m.block.data = {data.data(), static_cast<std::uint32_t>(data.size())};
    return m;
}

// A session this side accepted (the peer connected), serving from a window
// that holds piece 100 of 20 blocks.
std::unique_ptr<LivePeerSession> Serving(LiveTestHost& host) {
    static const std::string piece(20 * kLiveBlockSize, 's');
    host.window.AddPiece(100, static_cast<std::uint32_t>(piece.size()), piece.data());
    auto session = std::make_unique<LivePeerSession>(host, kPeer, 0);
    Deliver(*session, Hello(LIVE_MSG_HELLO, 0, 0, 0));
    host.sent.clear();
    return session;
}

// A session this side opened, accepted by a peer that shows pieces
// start .. start + bits - 1.
std::unique_ptr<LivePeerSession> Requesting(LiveTestHost& host, std::uint32_t start = 1, std::size_t bits = 50) {
    auto session = std::make_unique<LivePeerSession>(host, kPeer, 1);
    session->SetInitiator(true);
    Deliver(*session, Hello(LIVE_MSG_HELLO_REPLY, 3, start, bits));
    host.sent.clear();
    return session;
}

// Asks for blocks 0-14 of piece 5 and receives 5-14: the tenth arrival
// declares 0-4 lost.
void AskFifteenGetTheLastTen(LivePeerSession& session) {
    const std::string data(kLiveBlockSize, 'd');
    BlockBitFieldMap wanted;
    wanted[5].resize(15, true);
    session.SendRequest(wanted);
    for (std::uint16_t b = 5; b < 15; ++b)
        Deliver(session, Block(5, b, 0, 400, data));
}

void DropPostedMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

class LivePeerSessionTest : public ::testing::Test {
protected:
    void TearDown() override { DropPostedMessages(); }
    LiveTestHost m_host;
};

}  // namespace

TEST_F(LivePeerSessionTest, TheConnectingSideSaysHelloWithItsWindow) {
    LivePeerSession session(m_host, kPeer, 0);
    session.SetInitiator(true);
    session.SendHello();
    ASSERT_EQ(m_host.sent.size(), 1u);
    EXPECT_EQ(m_host.sent[0].transport, 1);
    EXPECT_EQ(LowerHex(m_host.sent[0].bytes.data(), m_host.sent[0].bytes.size()),
              "2001200100070000000000000000000000000000000000000000000000");
    EXPECT_EQ(m_host.sent[0].bytes.size(), 29u);
}

// The accepting side's answers; a refused peer is left not handshaken, so
// its request that follows is never served.
TEST_F(LivePeerSessionTest, HellosAreAcceptedOrRefusedAndRefusedPeersAreNotServed) {
    const struct {
        const char* name;
        std::uint8_t version;
        std::uint64_t channel;
        std::uint32_t sessions;
        bool accepted;
    } cases[] = {
        {"first", 1, 7, 1, true},          {"the 40th session", 1, 7, 40, true},
        {"the 41st session", 1, 7, 41, false}, {"version 2", 2, 7, 1, false},
        {"another channel", 1, 8, 1, false},
    };
    for (const auto& c : cases) {
        LiveTestHost host;
        static const std::string piece(kLiveBlockSize, 'p');
        host.window.AddPiece(100, kLiveBlockSize, piece.data());
        host.sessions = c.sessions;
        LivePeerSession session(host, kPeer, 0);
        LiveMessage hello = Hello(LIVE_MSG_HELLO, 1, 90, 5, c.channel);
        hello.hello.version = c.version;
        hello.hello.peerType = 1;
        hello.hello.headerIds = {4, 5};
        Deliver(session, hello);
        Deliver(session, hello);  // a second hello is not answered again

        auto replies = host.SentOf(LIVE_MSG_HELLO_REPLY);
        ASSERT_EQ(replies.size(), 1u) << c.name;
        EXPECT_EQ(session.IsHandshaken(), c.accepted) << c.name;
        if (c.accepted) {
            EXPECT_EQ(replies[0].hello.flags, 3) << c.name;
            EXPECT_EQ(replies[0].hello.start, 100u) << c.name;
            EXPECT_EQ(replies[0].hello.availability.count(), 1u) << c.name;
            EXPECT_EQ(session.NodeType(), 1u) << c.name;
            EXPECT_EQ(session.Availability().Start(), 90u) << c.name;
            EXPECT_EQ(session.HeaderIds(), (LivePieceSet{4, 5})) << c.name;
        } else {
            EXPECT_EQ(host.sent[0].bytes, std::string("\x21\x01\x21\x00\x00\x07\x00\x00\x00\x00\x00\x00\x00", 13))
                << c.name;
            EXPECT_EQ(session.NodeType(), 0u) << c.name;
        }
        Deliver(session, Request(1, 100, 1));
        for (int tick = 0; tick < 10; ++tick)
            session.OnSendTick();
        EXPECT_EQ(host.SentOf(LIVE_MSG_BLOCK).size(), c.accepted ? 1u : 0u) << c.name;
    }
}

TEST_F(LivePeerSessionTest, TheHelloReplyPostsTheResultToTheEngine) {
    const struct {
        std::uint8_t flags;
        bool initiator;
        LPARAM posted;  // 0: nothing posted
    } cases[] = {{3, true, LIVE_SESSION_ACCEPTED}, {0, true, LIVE_SESSION_REFUSED}, {3, false, 0}};
    for (const auto& c : cases) {
        LivePeerSession session(m_host, kPeer, 0);
        session.SetInitiator(c.initiator);
        Deliver(session, Hello(LIVE_MSG_HELLO_REPLY, c.flags, 5, 3));
        MSG msg;
        const bool got = PeekMessageW(&msg, nullptr, WM_LIVE_SESSION_RESULT, WM_LIVE_SESSION_RESULT, PM_REMOVE);
        EXPECT_EQ(got, c.posted != 0) << int(c.flags) << c.initiator;
        if (got) {
            EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(&session));
            EXPECT_EQ(msg.lParam, c.posted);
        }
        EXPECT_EQ(session.IsHandshaken(), c.posted == LIVE_SESSION_ACCEPTED);
        EXPECT_EQ(session.Availability().Bits().size(), c.posted == LIVE_SESSION_ACCEPTED ? 3u : 0u);
    }
}

TEST_F(LivePeerSessionTest, ARequestBeforeTheHelloIsIgnored) {
    static const std::string piece(kLiveBlockSize, 'p');
    m_host.window.AddPiece(100, kLiveBlockSize, piece.data());
    LivePeerSession session(m_host, kPeer, 0);
    Deliver(session, Request(1, 100, 1));
    EXPECT_EQ(session.QueuedBlocks(), 0u);
    Deliver(session, Hello(LIVE_MSG_HELLO, 0, 0, 0));
    for (int tick = 0; tick < 10; ++tick)
        session.OnSendTick();
    EXPECT_TRUE(m_host.SentOf(LIVE_MSG_BLOCK).empty());
    EXPECT_TRUE(m_host.SentOf(LIVE_MSG_DONE).empty());
}

TEST_F(LivePeerSessionTest, BlocksLeaveAtTheSendRateThenDone) {
    const struct {
        std::int32_t kbit;
        std::uint32_t period;
        std::size_t blocksPerTick;
        std::uint16_t rateField;
    } cases[] = {{400, 16, 1, 400}, {12800, 1, 2, 12800}};
    for (const auto& c : cases) {
        LiveTestHost host;
        host.initialKbit = c.kbit;
        auto session = Serving(host);
        EXPECT_EQ(session->Rate().Period(), c.period);
        Deliver(*session, Request(1, 100, 4));
        EXPECT_EQ(session->QueuedBlocks(), 4u);
        session->OnSendTick();
        auto blocks = host.SentOf(LIVE_MSG_BLOCK);
        ASSERT_EQ(blocks.size(), c.blocksPerTick) << c.kbit;
        EXPECT_EQ(blocks[0].block.rate, c.rateField);
        EXPECT_EQ(blocks[0].block.queued, 3);
        EXPECT_EQ(blocks[0].block.data.size, kLiveBlockSize);
        EXPECT_EQ(host.sent.front().transport, 2);
        for (int tick = 0; tick < 8; ++tick)
            session->OnSendTick();
        EXPECT_EQ(host.SentOf(LIVE_MSG_BLOCK).size(), 4u);
        auto done = host.SentOf(LIVE_MSG_DONE);
        ASSERT_EQ(done.size(), 1u) << c.kbit;  // once, not on every idle tick
        EXPECT_EQ(done[0].done, 1u);
    }
}

TEST_F(LivePeerSessionTest, TheRateFollowsTheLossOfRequestsEveryThreeSeconds) {
    auto session = Serving(m_host);
    std::uint64_t number = 0;
    // The first 3000 ms decide nothing.
    for (std::uint32_t ms = 0; ms + 16 < 3000; ms += 16) {
        session->OnSendTick();
        Deliver(*session, Request(++number, 100, 0, 0));
    }
    EXPECT_EQ(session->Rate().Rate(), 400000u);
    const struct {
        std::uint8_t loss;
        std::uint32_t rate;
    } windows[] = {{0, 440000}, {0, 520000}, {0, 680000}, {10, 680000}};
    for (const auto& w : windows) {
        for (std::uint32_t ms = 0; ms < 3000; ms += session->Rate().Period())
            session->OnSendTick();
        Deliver(*session, Request(++number, 100, 0, w.loss));
        EXPECT_EQ(session->Rate().Rate(), w.rate) << int(w.loss);
    }
}

TEST_F(LivePeerSessionTest, APeerTakesRequestsWhileItsQueueDrainsInHalfASecond) {
    const struct {
        std::uint16_t queued;
        bool eligible;
    } cases[] = {{31, true}, {32, false}, {40, false}};
    const std::string data(kLiveBlockSize, 'd');
    for (const auto& c : cases) {
        auto session = Requesting(m_host);
        Deliver(*session, Block(1, 0, c.queued, 400, data));
        EXPECT_EQ(session->PeerRate(), 400000u);
        EXPECT_EQ(session->CanTakeRequests(), c.eligible) << c.queued;
    }
}

TEST_F(LivePeerSessionTest, AssignRequestsTakesShownPiecesUntilHalfASecondIsQueued) {
    auto session = Requesting(m_host, 1, 3);  // shows pieces 1-3
    BlockBitFieldMap wanted;
    for (std::uint32_t piece = 1; piece <= 4; ++piece)
        wanted[piece].resize(20, true);
    session->AssignRequests(wanted);
    // 20 blocks of piece 1 leave 0.32 s; with piece 2 0.64 s: no third.
    auto requests = m_host.SentOf(LIVE_MSG_REQUEST);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].request.number, 1u);
    EXPECT_EQ(requests[0].request.pieces.size(), 2u);
    EXPECT_EQ(wanted.size(), 2u);
    EXPECT_EQ(wanted.count(4), 1u);
    EXPECT_EQ(session->PeerQueue(), 40u);
    EXPECT_EQ(session->OutstandingBlocks(), 40u);
    // A request the network refused records nothing.
    m_host.failSends = true;
    session->SendRequest(wanted);
    EXPECT_EQ(session->OutstandingBlocks(), 40u);
}

// MatchArrivals counts a missing block as lost only when the peer shows its
// piece; DONE only when it does not. Peers rely on both as they are.
TEST_F(LivePeerSessionTest, ArrivalChecksAndDoneCountLossesUnderOppositeConditions) {
    const std::string data(kLiveBlockSize, 'd');
    const struct {
        const char* name;
        bool shows;
        bool byDone;
        std::uint32_t lost;
    } cases[] = {
        {"arrivals, shown", true, false, 5},
        {"arrivals, not shown", false, false, 0},
        {"done, shown", true, true, 0},
        {"done, not shown", false, true, 15},
    };
    for (const auto& c : cases) {
        LiveTestHost host;
        auto session = Requesting(host, c.shows ? 1 : 50, 10);
        BlockBitFieldMap wanted;
        wanted[5].resize(15, true);
        session->SendRequest(wanted);
        if (c.byDone) {
            LiveMessage done;
            done.type = LIVE_MSG_DONE;
            done.done = 1;
            Deliver(*session, done);
            EXPECT_EQ(session->OutstandingBlocks(), 0u) << c.name;
            EXPECT_EQ(session->PeerQueue(), 0u) << c.name;
        } else {
            for (std::uint16_t b = 5; b < 15; ++b)  // ten arrivals, blocks 0-4 missing
                Deliver(*session, Block(5, b, 0, 400, data));
        }
        EXPECT_EQ(session->LostCount(), c.lost) << c.name;
        std::set<std::uint64_t> lost;
        session->TakeLost(lost);
        EXPECT_EQ(lost.size(), c.byDone ? 15u : 5u) << c.name;
    }
}

TEST_F(LivePeerSessionTest, ABlockArrivingAfterItWasDeclaredLostCountsBack) {
    const std::string data(kLiveBlockSize, 'd');
    auto session = Requesting(m_host);
    AskFifteenGetTheLastTen(*session);
    ASSERT_EQ(session->LostCount(), 5u);
    Deliver(*session, Block(5, 0, 0, 400, data));
    EXPECT_EQ(session->LostCount(), 4u);
    std::set<std::uint64_t> lost;
    session->TakeLost(lost);
    EXPECT_EQ(lost, (std::set<std::uint64_t>{LiveBlockKey(5, 1), LiveBlockKey(5, 2), LiveBlockKey(5, 3),
                                             LiveBlockKey(5, 4)}));
}

TEST_F(LivePeerSessionTest, LossStatisticsTravelWithTheNextRequest) {
    auto session = Requesting(m_host);
    AskFifteenGetTheLastTen(*session);
    m_host.clock += 2000;
    session->MatchArrivals();  // 2 s since the last computation
    EXPECT_FLOAT_EQ(session->LossRatio(), 5.0f / 15.0f);
    BlockBitFieldMap more;
    more[6].resize(1, true);
    session->SendRequest(more);
    auto requests = m_host.SentOf(LIVE_MSG_REQUEST);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].request.number, 2u);
    EXPECT_EQ(requests[1].request.lossPercent, 33);
}

// What one peer can make this side hold is bounded.
TEST_F(LivePeerSessionTest, PeerInputIsBounded) {
    {
        auto session = Serving(m_host);
        LiveMessage request;
        request.type = LIVE_MSG_REQUEST;
        request.request.number = 1;
        for (std::uint32_t piece = 1; piece <= 4; ++piece)
            request.request.pieces[piece].resize(kLiveMostBlocksPerPiece, true);
        Deliver(*session, request);
        EXPECT_EQ(session->QueuedBlocks(), kLiveMostQueuedBlocks);
    }
    {
        LivePeerSession session(m_host, kPeer, 0);
        LiveMessage hello = Hello(LIVE_MSG_HELLO, 1, 0, 0);
        for (std::uint32_t id = 0; id < 2000; ++id)
            hello.hello.headerIds.insert(id);
        Deliver(session, hello);
        EXPECT_EQ(session.HeaderIds().size(), kLiveMostHeaderIdsPerPeer);
        LiveMessage list;
        list.type = LIVE_MSG_HEADER_LIST;
        list.flags = {{0, 0}, {5000, 1}};
        Deliver(session, list);
        EXPECT_EQ(session.HeaderIds().size(), kLiveMostHeaderIdsPerPeer);
        EXPECT_EQ(session.HeaderIds().count(0), 0u);
        EXPECT_EQ(session.HeaderIds().count(5000), 1u);
        Deliver(session, list);  // full again: 5000 stays, nothing joins
        EXPECT_EQ(session.HeaderIds().size(), kLiveMostHeaderIdsPerPeer);
    }
    {
        auto session = Requesting(m_host, 100, 5);
        LiveMessage have;
        have.type = LIVE_MSG_HAVE;
        have.start = 100;
        have.flags = {{100 + kLiveMostAheadPieces, 1}};
        Deliver(*session, have);
        EXPECT_EQ(session->Availability().Bits().size(), 5u);
    }
}

TEST_F(LivePeerSessionTest, RateSettingsOfZeroGiveAFiniteInterval) {
    m_host.initialKbit = 0;
    m_host.assumedKbit = 0;
    LivePeerSession session(m_host, kPeer, 0);
    EXPECT_EQ(session.Rate().Rate(), LiveSendRate::kLowest);
    EXPECT_EQ(session.Rate().Period(), 640u);
    EXPECT_EQ(session.PeerRate(), 1000u);
}

TEST_F(LivePeerSessionTest, HeadersPieceInfoAndRelayTextsReachTheEngine) {
    auto session = Requesting(m_host, 1, 50);
    LiveMessage header;
    header.type = LIVE_MSG_HEADER;
    header.headerId = 9;
    header.headerPresent = 0;
    Deliver(*session, header);
    EXPECT_TRUE(m_host.scheduler.Headers().empty());
    header.headerPresent = 1;
    header.header = {"FLV1", 4};
    Deliver(*session, header);
    EXPECT_EQ(m_host.scheduler.Headers().at(9), "FLV1");

    LiveMessage ask;
    ask.type = LIVE_MSG_HEADER_REQUEST;
    ask.headerId = 9;
    Deliver(*session, ask);
    ask.headerId = 10;  // not held: no answer
    Deliver(*session, ask);
    auto answers = m_host.SentOf(LIVE_MSG_HEADER);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].header.str(), "FLV1");

    static const std::string piece(1000, 'q');
    m_host.window.AddPiece(3, 1000, piece.data());
    LiveMessage infoRequest;
    infoRequest.type = LIVE_MSG_PIECE_INFO_REQUEST;
    infoRequest.pieces = {2, 3};
    Deliver(*session, infoRequest);
    infoRequest.pieces = {2};  // none held: no answer
    Deliver(*session, infoRequest);
    auto infos = m_host.SentOf(LIVE_MSG_PIECE_INFO);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].lengths, (LivePieceLengths{{3, 1000}}));

    LiveMessage relay;
    relay.type = LIVE_MSG_RELAY;
    relay.relay.origin = kPeer;
    relay.relay.text = "hello";
    Deliver(*session, relay);
    EXPECT_EQ(m_host.relays, (std::vector<std::string>{"hello"}));
}

namespace {

// The engine window's part in the send timer: each WM_LIVE_SESSION_TICK runs
// the session's send tick, as the engine's handler does.
struct TickLog {
    int ticks = 0;
    bool foreign = false;  // a tick without the session or its tag
    LivePeerSession* session = nullptr;
};
TickLog g_tickLog;

LRESULT CALLBACK TickWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_LIVE_SESSION_TICK)
        return DefWindowProcW(window, message, wParam, lParam);
    ++g_tickLog.ticks;
    if (lParam != LIVE_SESSION_TICK_TAG || wParam != reinterpret_cast<WPARAM>(g_tickLog.session))
        g_tickLog.foreign = true;
    else
        g_tickLog.session->OnSendTick();
    return 0;
}

HWND MakeTickWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = TickWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LiveTestTicks";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"LiveTestTicks", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Waits at most `ms` for the event (or, without one, for `ticks` ticks) while
// this thread handles the messages the timer sends.
bool PumpUntil(HANDLE event, int ticks, DWORD ms) {
    const DWORD deadline = GetTickCount() + ms;
    for (;;) {
        if (event == nullptr && g_tickLog.ticks >= ticks)
            return true;
        const DWORD now = GetTickCount();
        if (static_cast<LONG>(deadline - now) <= 0)
            return false;
        const DWORD got = MsgWaitForMultipleObjects(event ? 1 : 0, event ? &event : nullptr, FALSE,
                                                    deadline - now, QS_ALLINPUT);
        if (event != nullptr && got == WAIT_OBJECT_0)
            return true;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
}

}  // namespace

// The send timer ticks the session through the engine window; closing the
// session hands it to the reap table, which deletes it once the timer's
// deletion has completed, while the engine thread goes on handling ticks.
TEST_F(LivePeerSessionTest, TheSendTimerTicksThroughTheEngineWindowAndAClosedSessionIsReaped) {
    HWND window = MakeTickWindow();
    ASSERT_NE(window, nullptr);
    m_host.engineWindow = window;
    m_host.queue = CreateTimerQueue();
    ASSERT_NE(m_host.queue, nullptr);
    auto owned = Serving(m_host);
    g_tickLog = TickLog();
    g_tickLog.session = owned.get();
    Deliver(*owned, Request(1, 100, 3));
    ASSERT_TRUE(owned->HasSendTimer());
    ASSERT_TRUE(PumpUntil(nullptr, 5, 10000));
    EXPECT_FALSE(g_tickLog.foreign);
    EXPECT_EQ(m_host.SentOf(LIVE_MSG_BLOCK).size(), 3u);
    EXPECT_EQ(m_host.SentOf(LIVE_MSG_DONE).size(), 1u);

    LivePeerSession* session = owned.release();
    EXPECT_TRUE(session->Close());
    EXPECT_FALSE(session->IsHandshaken());
    EXPECT_EQ(session->QueuedBlocks(), 0u);
    EXPECT_EQ(m_host.closes, 1);
    ASSERT_EQ(m_host.reapEvents.size(), 1u);
    ASSERT_TRUE(PumpUntil(m_host.reapEvents[0], 0, 10000));
    SetEvent(m_host.reapEvents[0]);  // the wait took the auto-reset signal; give it back
    EXPECT_EQ(m_host.reap.Reap(), 1u);
    EXPECT_EQ(m_host.reap.Size(), 0u);
    DeleteTimerQueueEx(m_host.queue, INVALID_HANDLE_VALUE);
    DestroyWindow(window);

    LivePeerSession plain(m_host, kPeer, 0);
    EXPECT_FALSE(plain.Close());  // no timer: the caller deletes it at once
}
