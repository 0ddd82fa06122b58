// The engine's scheduling unit with real sessions: broadcasts, header and
// piece-size tables with their bounds, and two sessions wired back to back
// that move a stretch of the channel through a lossy datagram path.
#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/live/LiveTestHost.h"

namespace {

LiveMessage Hello(std::uint8_t type, std::uint8_t flags, std::uint64_t channel = 7) {
    return LiveHello(type, flags, channel);
}

// Sessions of one host, each with its own packet queue.
struct Peer {
    LiveTestHost host;
    std::unique_ptr<LivePeerSession> session;
};

std::string PieceBytes(std::uint32_t piece, std::uint32_t length) {
    std::string bytes(length, '\0');
    for (std::uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((piece * 131 + i * 17 + (i >> 8)) & 0xFF);
    return bytes;
}

}  // namespace

// Broadcasts reach handshaken viewer peers only: not a source, and not a
// peer whose hello this side refused.
TEST(LiveScheduler, HaveAndHeaderListReachHandshakenViewersOnly) {
    LiveTestHost host;
    LiveScheduler::Sessions sessions;
    std::vector<std::unique_ptr<LivePeerSession>> owned;
    const struct {
        std::uint64_t channel;
        std::uint8_t peerType;
    } peers[] = {{7, 0}, {8, 0}, {7, 1}};  // accepted viewer, refused, source
    for (const auto& p : peers) {
        owned.push_back(std::make_unique<LivePeerSession>(host, PeerId::FromBytes("x", 1), 0));
        LiveMessage hello = Hello(LIVE_MSG_HELLO, 0, p.channel);
        hello.hello.peerType = p.peerType;
        Deliver(*owned.back(), hello);
        sessions.push_back(owned.back().get());
    }
    host.sent.clear();
    static const std::string piece(100, 'h');
    host.window.AddPiece(20, 100, piece.data());
    host.scheduler.OnHeader(3, {"hdr", 3});
    host.scheduler.SendHave(sessions);
    host.scheduler.SendHeaderList(sessions);
    host.scheduler.SendHave(sessions);        // nothing new completed
    host.scheduler.SendHeaderList(sessions);  // nothing new stored
    auto haves = host.SentOf(LIVE_MSG_HAVE);
    ASSERT_EQ(haves.size(), 1u);
    EXPECT_EQ(haves[0].flags, (BlockFlagMap{{20, 1}}));
    EXPECT_EQ(haves[0].start, 20u);
    EXPECT_EQ(haves[0].lengths, (LivePieceLengths{{20, 100}}));
    auto lists = host.SentOf(LIVE_MSG_HEADER_LIST);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].flags, (BlockFlagMap{{3, 1}}));
    EXPECT_EQ(host.sent.size(), 2u);
}

TEST(LiveScheduler, StoredHeadersAreBounded) {
    LiveTestHost host;
    LiveScheduler& scheduler = host.scheduler;
    const std::string big(kLiveMostHeaderBytes + 1, 'b');
    scheduler.OnHeader(1, {big.data(), static_cast<std::uint32_t>(big.size())});
    EXPECT_TRUE(scheduler.Headers().empty());
    scheduler.OnHeader(1, {big.data(), kLiveMostHeaderBytes});
    EXPECT_EQ(scheduler.Headers().size(), 1u);
    for (std::uint32_t id = 2; id <= kLiveMostStoredHeaders + 5; ++id)
        scheduler.OnHeader(id, {"h", 1});
    EXPECT_EQ(scheduler.Headers().size(), kLiveMostStoredHeaders);
    EXPECT_EQ(scheduler.Headers().begin()->first, 6u);  // the lowest ids went first

    std::string bytes;
    EXPECT_TRUE(scheduler.OnGetHeader(6, bytes));
    EXPECT_EQ(bytes, "h");
    EXPECT_FALSE(scheduler.OnGetHeader(500, bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(scheduler.WantedHeaderIds(), (LivePieceSet{500}));
    scheduler.OnHeader(500, {"x", 1});
    EXPECT_TRUE(scheduler.WantedHeaderIds().empty());
}

TEST(LiveScheduler, PieceLengthsAreKeptWithinBounds) {
    LiveTestHost host;
    host.window.SetStart(1000);
    const struct {
        const char* name;
        std::uint32_t piece;
        std::uint32_t length;
        bool kept;
    } cases[] = {
        {"in the window", 1005, 5000, true},
        {"16 MiB", 1006, kLiveMostPieceBytes, true},
        {"above 16 MiB", 1007, kLiveMostPieceBytes + 1, false},
        {"below the window", 999, 10, false},
        {"last piece ahead", 1000 + kLiveMostAheadPieces - 1, 10, true},
        {"too far ahead", 1000 + kLiveMostAheadPieces, 10, false},
    };
    for (const auto& c : cases) {
        host.scheduler.OnPieceInfo({{c.piece, c.length}});
        EXPECT_EQ(host.scheduler.PieceSizes().count(c.piece), c.kept ? 1u : 0u) << c.name;
    }
    host.scheduler.OnPieceInfo({{1005, 1}});
    EXPECT_EQ(host.scheduler.PieceSizes().at(1005), 5000u);  // a known length stays
}

TEST(LiveScheduler, EachWantedHeaderIsAskedOfOnePeerAPass) {
    LiveTestHost host;
    std::vector<std::unique_ptr<LivePeerSession>> owned;
    LiveScheduler::Sessions sessions;
    for (int i = 0; i < 3; ++i) {
        owned.push_back(std::make_unique<LivePeerSession>(host, PeerId::FromBytes("x", 1), 0));
        LiveMessage hello = Hello(LIVE_MSG_HELLO, 1);
        hello.hello.headerIds = {5, 6};
        Deliver(*owned.back(), hello);
        sessions.push_back(owned.back().get());
    }
    std::string bytes;
    host.scheduler.OnGetHeader(5, bytes);
    host.scheduler.OnGetHeader(7, bytes);  // no peer lists 7
    host.sent.clear();
    for (int tick = 0; tick < 30; ++tick)
        host.scheduler.RequestHeaders(sessions);
    auto asks = host.SentOf(LIVE_MSG_HEADER_REQUEST);
    ASSERT_EQ(asks.size(), 1u);  // one pass in three seconds, one peer
    EXPECT_EQ(asks[0].headerId, 5u);
}

// The viewer connects to a source holding pieces 1-30, learns their lengths,
// asks for their blocks and gets them over a datagram path that loses one in
// ten; lost blocks are found and asked again until every piece is whole.
TEST(LiveScheduler, TwoSessionsMoveThirtyPiecesThroughTenPercentLoss) {
    Peer source, viewer;
    const std::uint32_t kPieces = 30;
    for (std::uint32_t piece = 1; piece <= kPieces; ++piece) {
        const std::uint32_t length = 2000 + 97 * piece;
        ASSERT_TRUE(source.host.window.AddPiece(piece, length, PieceBytes(piece, length).data()));
    }
    source.session = std::make_unique<LivePeerSession>(source.host, PeerId::FromBytes("viewer", 6), 0);
    viewer.session = std::make_unique<LivePeerSession>(viewer.host, PeerId::FromBytes("source", 6), 1);
    viewer.session->SetInitiator(true);
    viewer.host.window.SetStart(1);
    viewer.host.scheduler.StartWanted(1);
    viewer.session->SendHello();

    std::mt19937 random(17);
    std::uint64_t dropped = 0;
    auto pump = [&] {
        while (!source.host.sent.empty() || !viewer.host.sent.empty()) {
            for (Peer* from : {&source, &viewer}) {
                Peer* to = from == &source ? &viewer : &source;
                while (!from->host.sent.empty()) {
                    const LiveTestPacket packet = from->host.sent.front();
                    from->host.sent.pop_front();
                    if (packet.transport == 2 && random() % 10 == 0) {
                        ++dropped;
                        continue;
                    }
                    to->session->OnPacket(packet.bytes.data(), static_cast<std::uint32_t>(packet.bytes.size()));
                }
            }
        }
    };
    pump();
    ASSERT_TRUE(viewer.session->IsHandshaken());
    ASSERT_TRUE(source.session->IsHandshaken());

    LiveScheduler& scheduler = viewer.host.scheduler;
    const LiveScheduler::Sessions sessions = {viewer.session.get()};
    auto complete = [&] {
        for (std::uint32_t piece = 1; piece <= kPieces; ++piece)
            if (!viewer.host.window.IsComplete(piece))
                return false;
        return true;
    };
    int ticks = 0;
    for (; ticks < 6000 && !complete(); ++ticks) {
        scheduler.AdvanceWantedWindow();
        scheduler.CreateWantedSlots();
        scheduler.RewantHead();
        scheduler.RequestPieceInfo(sessions);
        if (ticks % 10 == 9)
            scheduler.SendHave(sessions);
        const LiveScheduler::Sessions eligible = scheduler.CollectEligibleSessions(sessions);
        if (!eligible.empty()) {
            scheduler.ScheduleRequests(eligible);
            scheduler.UpkeepTables();
        }
        pump();
        // 100 ms of the source's send timer.
        for (std::uint32_t ms = 0; ms < 100; ms += source.session->Rate().Period()) {
            source.session->OnSendTick();
            pump();
        }
        source.host.clock += 100;
        viewer.host.clock += 100;
    }
    ASSERT_TRUE(complete()) << "after " << ticks << " ticks";
    EXPECT_GT(dropped, 0u);
    std::vector<char> buffer(8000);
    for (std::uint32_t piece = 1; piece <= kPieces; ++piece) {
        std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
        ASSERT_EQ(viewer.host.window.GetPiece(piece, buffer.data(), length), std::int32_t(2000 + 97 * piece));
        EXPECT_EQ(std::string(buffer.data(), length), PieceBytes(piece, length)) << piece;
    }
    std::cout << "30 pieces in " << ticks << " ticks of 100 ms, " << dropped << " datagrams dropped\n";
}
