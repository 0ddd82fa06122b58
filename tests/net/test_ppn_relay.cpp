// The network facade through the impairment relay (tests/fixtures/udp_relay.py):
// loss, duplication and reordering between two cores, a connection silenced
// until it times out, and a connect that never gets through.
#include "net/Winsock.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/net/PpnTestSupport.h"

namespace {

using nettest::ExpectThrows;
using nettest::OnLoopback;
using nettest::Pattern;
using nettest::PpnCoreTest;
using nettest::Recorder;

class PpnRelayTest : public PpnCoreTest {
protected:
    void SetUp() override {
        PpnCoreTest::SetUp();
        ASSERT_TRUE(relay.Ready()) << "run under tests/fixtures/runner.py with udp_relay";
    }
};

TEST_F(PpnRelayTest, LossDuplicationAndReorderingThroughTheRelay) {
    ppn::PPNCore a, b;
    Recorder aEvents, bEvents;
    const PeerAddress aAddress = Start(a, aEvents), bAddress = Start(b, bEvents);
    int pair;
    const std::uint16_t viaRelay =
        Relay(Port(aAddress), Port(bAddress), "\"seed\": 11, \"drop\": 0.05, \"duplicate\": 0.05, \"reorder\": 0.1",
              &pair);
    ASSERT_GT(viaRelay, 0);
    Connect(a, aEvents, OnLoopback(bAddress.id, viaRelay), bEvents);

    std::vector<std::string> sent;
    std::mt19937 sizes(5);
    for (int i = 0; i < 120; ++i) {
        sent.push_back(Pattern(1000u + i, 1 + sizes() % 9000));
        a.Send(bAddress.id, PPN_CONN_SRUDP, sent.back().data(), static_cast<int>(sent.back().size()));
    }
    ASSERT_TRUE(bEvents.WaitMessages(PPN_CONN_SRUDP, sent.size(), 50000));
    EXPECT_TRUE(bEvents.Messages(PPN_CONN_SRUDP) == sent);
    EXPECT_GT(RelayStat(pair, "dropped"), 0);
    EXPECT_GT(RelayStat(pair, "duplicated"), 0);
    EXPECT_GT(RelayStat(pair, "reordered"), 0);
    // Raw datagrams go the relay's way too, and a tells them apart as b's.
    RelayKnobs(pair, "\"drop\": 0");
    b.Send(aAddress.id, PPN_CONN_SUDT, "raw", 3);
    ASSERT_TRUE(aEvents.WaitMessages(PPN_CONN_SUDT, 1));
    EXPECT_TRUE(aEvents.Items().back().peer == bAddress.id);
}

TEST_F(PpnRelayTest, SilencedConnectionTimesOutOnBothSides) {
    ppn::PPNCore a, b;
    Recorder aEvents, bEvents;
    const PeerAddress aAddress = Start(a, aEvents), bAddress = Start(b, bEvents);
    int pair;
    const std::uint16_t viaRelay = Relay(Port(aAddress), Port(bAddress), "", &pair);
    Connect(a, aEvents, OnLoopback(bAddress.id, viaRelay), bEvents);
    RelayKnobs(pair, "\"block\": \"all\"");
    const DWORD start = GetTickCount();
    ASSERT_TRUE(aEvents.WaitEvent(PPN_EVENT_TIMEOUT, 20000));
    ASSERT_TRUE(bEvents.WaitEvent(PPN_EVENT_TIMEOUT, 20000));
    EXPECT_GE(GetTickCount() - start, 9000u);
    ExpectThrows([&] { a.Send(bAddress.id, PPN_CONN_SUDT, "x", 1); }, ppn::kErrSudtNoConnection, "raw after 3");
}

// The punch gets through but no connect does: event 2 after the retries.
TEST_F(PpnRelayTest, UnansweredConnectEndsWithEvent2) {
    ppn::PPNCore a, b;
    Recorder aEvents, bEvents;
    const PeerAddress aAddress = Start(a, aEvents), bAddress = Start(b, bEvents);
    int pair;
    const std::uint16_t viaRelay = Relay(Port(aAddress), Port(bAddress), "\"block\": \"srudp\"", &pair);
    a.ConnectTo(OnLoopback(bAddress.id, viaRelay), PPN_CONN_SRUDP);
    ASSERT_TRUE(aEvents.WaitEvent(PPN_EVENT_CONNECT_FAILED));
    EXPECT_GE(RelayStat(pair, "blocked"), 11);
    // What the relay held back were the connects, and nothing else.
    const std::string log = relay.Get("/_log?id=" + std::to_string(pair));
    int connects = 0;
    for (std::string::size_type at = 0, end; (end = log.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = log.substr(at, end - at);
        if (line.find("\"block\"") == std::string::npos)
            continue;
        EXPECT_NE(line.find("\"code\": 33"), std::string::npos) << line;
        ++connects;
    }
    EXPECT_EQ(connects, RelayStat(pair, "blocked"));
    EXPECT_EQ(aEvents.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECT_FAILED});
    EXPECT_TRUE(bEvents.EventNumbers().empty());
    ExpectThrows([&] { a.Send(bAddress.id, PPN_CONN_SUDT, "x", 1); }, ppn::kErrSudtNoConnection, "raw after 2");
}

}  // namespace
