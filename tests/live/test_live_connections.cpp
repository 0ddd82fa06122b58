// The live engine's candidate tables and where playback starts, with the
// connect played by the test.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "live/LiveConnections.h"
#include "live/LiveStartPiece.h"

namespace {

LiveCandidate Candidate(const std::string& id, int nodeType, int tries = 0)
{
    LiveCandidate c;
    c.address.Clear();
    c.address.id = PeerId::FromBytes(id.data(), id.size());
    c.nodeType = static_cast<std::uint8_t>(nodeType);
    c.tries = static_cast<std::uint8_t>(tries);
    return c;
}

std::vector<LiveCandidate> Viewers(int count, const std::string& prefix = "v")
{
    std::vector<LiveCandidate> out;
    for (int i = 0; i < count; ++i)
        out.push_back(Candidate(prefix + std::to_string(100 + i), 0));
    return out;
}

// The connect: records every attempt; those in `refused` do not start.
struct Connector {
    std::vector<LiveCandidate> tried;
    std::set<std::string> refused;
    LiveConnections::Connect Fn()
    {
        return [this](const LiveCandidate& c) {
            tried.push_back(c);
            return refused.count(Name(c)) == 0;
        };
    }
    static std::string Name(const LiveCandidate& c) { return reinterpret_cast<const char*>(c.address.id.bytes); }
};

PeerId Id(const std::string& text)
{
    return PeerId::FromBytes(text.data(), text.size());
}

}  // namespace

TEST(LiveConnections, ConnectCandidatesCountsOnlyStartedConnects)
{
    struct Case {
        int sessions;
        int viewers;
        int sources;
        int refusedViewers;   // the first n viewers do not start
        std::size_t tried;
        std::size_t count;
        std::size_t left;
    } cases[] = {
        {15, 30, 0, 0, 5, 20, 25},    // at most 5 connects at 15 sessions
        {15, 30, 0, 3, 8, 20, 22},    // refused ones do not count
        {0, 3, 0, 0, 3, 3, 0},
        {25, 10, 2, 0, 2, 27, 10},    // sources beyond 20 sessions, no viewer
        {0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        LiveConnections connections;
        std::vector<LiveCandidate> all = Viewers(c.viewers);
        for (int i = 0; i < c.sources; ++i)
            all.push_back(Candidate("s" + std::to_string(i), 1));
        connections.AddCandidates(all);
        Connector connector;
        for (int i = 0; i < c.refusedViewers; ++i)
            connector.refused.insert("v" + std::to_string(100 + i));
        const std::size_t count = connections.ConnectCandidates(c.sessions, connector.Fn());
        EXPECT_EQ(connector.tried.size(), c.tried) << c.sessions << "/" << c.viewers;
        EXPECT_EQ(count, c.count) << c.sessions << "/" << c.viewers;
        EXPECT_EQ(connections.Candidates().size(), c.left);
        EXPECT_EQ(connections.Connecting().size(), c.tried - std::min<std::size_t>(c.tried, c.refusedViewers));
        for (int i = 0; i < c.sources; ++i)
            EXPECT_EQ(connector.tried[i].nodeType, 1) << "sources go first";
    }
}

TEST(LiveConnections, EventsMovePeersBetweenTables)
{
    LiveConnections connections;
    connections.AddCandidates({Candidate("viewer", 0, 0), Candidate("tired", 0, 3), Candidate("source", 1, 7),
                               Candidate("lost", 0, 2)});
    Connector connector;
    connections.ConnectCandidates(0, connector.Fn());
    ASSERT_EQ(connections.Connecting().size(), 4u);

    connections.OnConnected(Id("lost"));
    EXPECT_EQ(connections.Connected().at(Id("lost")).tries, 0);
    connections.OnConnectFailed(Id("viewer"), 1000);
    connections.OnConnectFailed(Id("tired"), 1000);    // a viewer with 3 tries goes
    connections.OnConnectFailed(Id("source"), 1000);   // a source always stays
    EXPECT_EQ(connections.Retry().size(), 2u);
    EXPECT_EQ(connections.Retry().count(Id("tired")), 0u);
    EXPECT_EQ(connections.Retry().at(Id("viewer")).failureTime, 1000u);
    EXPECT_TRUE(connections.Connecting().empty());

    connections.OnTimedOut(Id("lost"), 2000, true);
    EXPECT_TRUE(connections.SourceLost());
    EXPECT_TRUE(connections.Connected().empty());
    EXPECT_EQ(connections.Retry().at(Id("lost")).failureTime, 2000u);

    // An accepted connection replaces one still connecting.
    connections.AddCandidates({Candidate("both", 0)});
    connections.ConnectCandidates(0, connector.Fn());
    connections.OnReplaced(Id("both"));
    EXPECT_TRUE(connections.Connecting().empty());
}

TEST(LiveConnections, MaintainTopsUpAndRetriesEveryTenSeconds)
{
    struct Case {
        std::size_t sessions;
        bool sourceLost;
        std::uint32_t now;         // failures at 1000 (viewer) and 5000 (source)
        std::size_t retried;
    } cases[] = {
        {5, false, 11000, 1},      // only the viewer is 10 s old
        {5, false, 15000, 2},
        {20, false, 15000, 0},     // full: nothing without a lost source
        {20, true, 15000, 1},      // full: the source only, whatever its age
        {20, true, 6000, 1},
    };
    for (const Case& c : cases) {
        LiveConnections connections;
        connections.AddCandidates({Candidate("viewer", 0), Candidate("source", 1)});
        Connector connector;
        connections.ConnectCandidates(0, connector.Fn());
        connections.OnConnectFailed(Id("viewer"), 1000);
        if (c.sourceLost) {
            connections.OnConnected(Id("source"));
            connections.OnTimedOut(Id("source"), 5000, true);
        } else {
            connections.OnConnectFailed(Id("source"), 5000);
        }
        connector.tried.clear();
        for (int tick = 0; tick < 99; ++tick)
            connections.Maintain(c.sessions, c.now, connector.Fn());
        EXPECT_TRUE(connector.tried.empty()) << "nothing before ten seconds of ticks";
        connections.Maintain(c.sessions, c.now, connector.Fn());
        EXPECT_EQ(connector.tried.size(), c.retried) << c.sessions << " " << c.now;
        for (const LiveCandidate& tried : connector.tried)
            EXPECT_EQ(tried.tries, 1);
        EXPECT_EQ(connections.Retry().size(), 2 - c.retried);
        EXPECT_FALSE(connections.SourceLost() && c.sessions >= 20);
    }
}

TEST(LiveConnections, MaintainConnectsCandidatesWhileTenOrFewer)
{
    for (std::size_t sessions : {std::size_t(10), std::size_t(11)}) {
        LiveConnections connections;
        connections.AddCandidates(Viewers(3));
        Connector connector;
        connections.Maintain(sessions, 0, connector.Fn());
        EXPECT_EQ(connector.tried.size(), sessions <= 10 ? 3u : 0u);
    }
}

TEST(LiveStartPiece, ChoiceAndWindowStart)
{
    struct Case {
        std::vector<LivePeerHolding> peers;
        std::uint32_t livePoint;
        std::uint32_t lag;
        std::uint32_t piece;     // chosen
        std::uint32_t start;     // window start
    } cases[] = {
        {{{900, 100}, {950, 40}}, 1000, 20, 970, 950},   // largest middle; the floor is its start
        {{{900, 100}, {990, 40}}, 1000, 20, 950, 930},   // 1010 lies beyond the live point
        {{{980, 10}}, 1000, 20, 985, 980},                // never below what the peer holds
        {{}, 5, 20, 0, 1},                                // nothing: from the live point, at least 1
        {{{0, 0}}, 1000, 20, 0, 980},                     // a middle of 0 does not count
        {{{900, 100}}, 1000, 5, 950, 945},
    };
    for (const Case& c : cases) {
        const LiveStartChoice choice = ChooseLiveStartPiece(c.peers, c.livePoint);
        EXPECT_EQ(choice.piece, c.piece);
        EXPECT_EQ(LiveWindowStart(choice.piece, c.livePoint, c.lag, choice.floor), c.start);
    }
    // A source holding 500 .. 559: one past its newest piece, minus the lag.
    EXPECT_EQ(LiveWindowStart(560, 0, 20), 540u);
    EXPECT_EQ(LiveWindowStart(10, 0, 20), 1u);
    EXPECT_EQ(LiveWindowStart(0xFFFFFFFFu, 0, 20), 0xFFFFFFFFu - 20);
}
