// The reliable transport's connection table between a recording UH core and
// a recording facade, on a fake clock: opening after the punch, accepting,
// two peers connecting at once, refusals, time-outs, statistics and Stop.
#include "net/Winsock.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/PpnEvents.h"
#include "net/PropertyMap.h"
#include "net/SRUDPCore.h"
#include "net/SrudpConnection.h"
#include "tests/net/FakeTransportHost.h"

namespace {

using nettest::FakeNow;
using nettest::From;
using nettest::MakeAddress;
using nettest::SessionWith;
using srudp::SrudpConnection;

const PeerAddress kAlice = MakeAddress("ALICE.ALICE.ALICE.AL", INADDR_LOOPBACK, 5001);
const PeerAddress kBob = MakeAddress("BOB.BOB.BOB.BOB.BOB.", INADDR_LOOPBACK, 5002);
// Where the punch found Bob: not the endpoint Alice was given.
const Ipv4Endpoint kBobPunched = {htonl(INADDR_LOOPBACK), htons(6002)};

std::string Control(std::uint8_t code, std::uint16_t result, const PeerId& from, std::uint8_t version = 18) {
    nps::DefaultBlockBuffer b;
    EncodeSrudpControl(b, SrudpControlMessage{code, 10, 1, result, 0, from}, version);
    return std::string(b.data, b.size);
}

class SrudpCoreTest : public ::testing::Test {
protected:
    SrudpCoreTest() : host(kAlice), core(&nettest::FakeClock) {}

    void SetUp() override { ASSERT_TRUE(core.Start(&host, &sink)); }

    void Packet(const std::string& bytes, const Ipv4Endpoint& from) {
        const PeerAddress source = From(from);
        core.OnPacket(bytes.data(), static_cast<int>(bytes.size()), &source);
    }
    void Advance(std::int64_t ms) {
        FakeNow() += ms;
        core.Sweep();
    }
    // Alice's connection to Bob, up to the accept.
    void Establish() {
        ASSERT_TRUE(core.ConnectTo(kBob));
        const UHSession s = SessionWith(MakeAddress("BOB.BOB.BOB.BOB.BOB.", INADDR_LOOPBACK, 6002));
        core.OnPunchResult(1, 1, 0, &s, 0);
        Packet(Control(SRUDP_ACCEPT, 0, kBob.id), kBobPunched);
        ASSERT_TRUE(core.IsEstablished(kBob.id));
        host.TakeSent();
    }

    nettest::FakeTransportHost host;
    nettest::RecordingSink sink;
    srudp::SRUDPCore core;
};

TEST(SrudpCoreStart, NeedsBothEndsAndLeavesTheUhCoreAtStop) {
    nettest::FakeTransportHost host(kAlice);
    nettest::RecordingSink sink;
    srudp::SRUDPCore core(&nettest::FakeClock);
    EXPECT_FALSE(core.ConnectTo(kBob));
    EXPECT_FALSE(core.Start(nullptr, &sink));
    EXPECT_FALSE(core.Start(&host, nullptr));
    ASSERT_TRUE(core.Start(&host, &sink));
    ASSERT_TRUE(core.Start(&host, &sink));
    EXPECT_EQ(host.listeners, std::vector<UHListener*>{&core});
    core.Stop();
    EXPECT_TRUE(host.listeners.empty());
    EXPECT_FALSE(core.ConnectTo(kBob));
}

TEST_F(SrudpCoreTest, ConnectGoesOutWhereThePunchFoundThePeer) {
    ASSERT_TRUE(core.ConnectTo(kBob));
    ASSERT_EQ(host.punched.size(), 1u);
    EXPECT_TRUE(host.punched[0].peer == kBob);
    EXPECT_EQ(host.punched[0].type, 1);
    EXPECT_EQ(host.punched[0].tag, 0);
    EXPECT_EQ(core.ConnectionState(kBob.id), SrudpConnection::kPunching);
    EXPECT_TRUE(core.ConnectTo(kBob));  // already under way: nothing new
    EXPECT_EQ(host.punched.size(), 1u);
    EXPECT_FALSE(core.Close(kBob.id));
    EXPECT_TRUE(host.TakeSent().empty());

    const UHSession s = SessionWith(MakeAddress("BOB.BOB.BOB.BOB.BOB.", INADDR_LOOPBACK, 6002));
    core.OnPunchResult(1, 1, 0, &s, 0);
    EXPECT_EQ(core.ConnectionState(kBob.id), SrudpConnection::kConnecting);
    const std::vector<nettest::FakeTransportHost::Sent> sent = host.TakeSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].to == kBobPunched);
    EXPECT_EQ(static_cast<unsigned char>(sent[0].bytes[12]), SRUDP_CONNECT);

    Packet(Control(SRUDP_ACCEPT, 0, kBob.id), kBobPunched);
    ASSERT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECTED});
    const nettest::RecordingSink::Event e = sink.Events()[0];
    EXPECT_EQ(e.type, PPN_CONN_SRUDP);
    EXPECT_TRUE(e.peer.id == kBob.id);
    EXPECT_TRUE(e.peer.endpoint.Public() == kBobPunched);
    EXPECT_TRUE(e.peer.endpoint.Local() == (Ipv4Endpoint{0, 0}));
    EXPECT_TRUE(core.IsEstablished(kBob.id));
    EXPECT_TRUE(core.ConnectTo(kBob));  // the facade refuses this one itself
    EXPECT_EQ(host.punched.size(), 1u);
}

TEST_F(SrudpCoreTest, RefusalsOfTheUhCoreAndOfThePunchEndTheAttempt) {
    host.punchAllowed = false;
    EXPECT_FALSE(core.ConnectTo(kBob));
    EXPECT_FALSE(core.HasConnection(kBob.id));

    host.punchAllowed = true;
    ASSERT_TRUE(core.ConnectTo(kBob));
    const UHSession s = SessionWith(kBob);
    core.OnPunchResult(2, 1, 0, &s, 0);
    EXPECT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECT_FAILED});
    EXPECT_FALSE(core.HasConnection(kBob.id));
}

// A result of an older punch must not restart an established stream.
TEST_F(SrudpCoreTest, StalePunchResultsAreIgnored) {
    Establish();
    const UHSession s = SessionWith(kBob);
    core.OnPunchResult(1, 1, 0, &s, 0);
    core.OnPunchResult(2, 1, 0, &s, 0);
    EXPECT_TRUE(core.IsEstablished(kBob.id));
    EXPECT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECTED});
    EXPECT_TRUE(host.TakeSent().empty());
}

TEST_F(SrudpCoreTest, RefusedConnectEndsWithEvent2AtOnce) {
    ASSERT_TRUE(core.ConnectTo(kBob));
    const UHSession s = SessionWith(kBob);
    core.OnPunchResult(1, 1, 0, &s, 0);
    Packet(Control(SRUDP_ACCEPT, 17, kBob.id), kBob.endpoint.Public());
    EXPECT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECT_FAILED});
    EXPECT_FALSE(core.HasConnection(kBob.id));
    EXPECT_TRUE(core.ConnectTo(kBob));  // the caller may try again at once
    EXPECT_EQ(host.punched.size(), 2u);
}

TEST_F(SrudpCoreTest, UnansweredConnectFailsAfterElevenTries) {
    ASSERT_TRUE(core.ConnectTo(kBob));
    const UHSession s = SessionWith(kBob);
    core.OnPunchResult(1, 1, 0, &s, 0);
    for (int i = 0; i < 10; ++i)
        Advance(200);
    EXPECT_TRUE(sink.Events().empty());
    EXPECT_EQ(host.TakeCodes(), std::vector<int>(11, SRUDP_CONNECT));
    Advance(200);
    EXPECT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECT_FAILED});
    EXPECT_FALSE(core.HasConnection(kBob.id));
}

TEST_F(SrudpCoreTest, IncomingConnectIsAcceptedWhereItCameFrom) {
    const PeerAddress bob = kBob;
    core.OnIncomingSession(1, 0, &bob);
    EXPECT_EQ(core.ConnectionState(kBob.id), SrudpConnection::kPunched);
    EXPECT_TRUE(sink.Events().empty());
    // The connect arrives from another endpoint than the punch did.
    Packet(Control(SRUDP_CONNECT, 0, kBob.id), kBobPunched);
    ASSERT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_ACCEPTED});
    EXPECT_TRUE(sink.Events()[0].peer.endpoint.Public() == kBobPunched);
    const std::vector<nettest::FakeTransportHost::Sent> sent = host.TakeSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].to == kBobPunched);
    EXPECT_EQ(static_cast<unsigned char>(sent[0].bytes[12]), SRUDP_ACCEPT);
    // Messages from unknown ids are dropped unanswered.
    Packet(Control(SRUDP_CONNECT, 0, PeerId::FromBytes("STRANGER", 8)), kBobPunched);
    EXPECT_TRUE(host.TakeSent().empty());
}

// A half-open incoming path holds up a ConnectTo of ours until it times out;
// the caller then hears event 2 and may try again.
TEST_F(SrudpCoreTest, HalfOpenIncomingTimesOutAndReleasesTheCaller) {
    const PeerAddress bob = kBob;
    core.OnIncomingSession(1, 0, &bob);
    ASSERT_TRUE(core.ConnectTo(kBob));
    EXPECT_TRUE(host.punched.empty());
    Advance(9999);
    EXPECT_TRUE(core.HasConnection(kBob.id));
    Advance(1);
    EXPECT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECT_FAILED});
    EXPECT_FALSE(core.HasConnection(kBob.id));
    ASSERT_TRUE(core.ConnectTo(kBob));
    EXPECT_EQ(host.punched.size(), 1u);
}

// Two peers connect to each other at once: the side whose id sorts first
// gives up its attempt and takes the other's.
TEST(SrudpCoreMutual, SideWhoseIdSortsFirstTakesTheOthersAttempt) {
    struct Case {
        PeerAddress own, peer;
        bool keepsOutgoing;
    } cases[] = {{kAlice, kBob, false}, {kBob, kAlice, true}};
    for (const Case& c : cases) {
        nettest::FakeTransportHost host(c.own);
        nettest::RecordingSink sink;
        srudp::SRUDPCore core(&nettest::FakeClock);
        ASSERT_TRUE(core.Start(&host, &sink));
        for (int state : {SrudpConnection::kPunching, SrudpConnection::kConnecting}) {
            ASSERT_TRUE(core.ConnectTo(c.peer));
            if (state == SrudpConnection::kConnecting) {
                const UHSession s = SessionWith(c.peer);
                core.OnPunchResult(1, 1, 0, &s, 0);
            }
            ASSERT_EQ(core.ConnectionState(c.peer.id), state);
            core.OnIncomingSession(1, 0, &c.peer);
            EXPECT_EQ(core.ConnectionState(c.peer.id), c.keepsOutgoing ? state : SrudpConnection::kPunched);
            // The incoming one accepts the peer's connect; the outgoing one ignores it.
            const PeerAddress from = From(c.peer.endpoint.Public());
            const std::string connect = Control(SRUDP_CONNECT, 0, c.peer.id);
            core.OnPacket(connect.data(), static_cast<int>(connect.size()), &from);
            EXPECT_EQ(core.IsEstablished(c.peer.id), !c.keepsOutgoing);
            core.Stop();
            ASSERT_TRUE(core.Start(&host, &sink));
        }
    }
}

TEST_F(SrudpCoreTest, EstablishedOutgoingConnectionIgnoresAnIncomingPunch) {
    Establish();
    core.OnIncomingSession(1, 0, &kBob);
    EXPECT_TRUE(core.IsEstablished(kBob.id));
}

TEST_F(SrudpCoreTest, MessagesAndStatistics) {
    Establish();
    const std::string message(1000, 'm');
    ASSERT_TRUE(core.Send(kBob.id, message.data(), static_cast<int>(message.size())));
    EXPECT_FALSE(core.Send(kAlice.id, "x", 1));  // no such connection
    EXPECT_FALSE(core.Send(kBob.id, "x", 0));
    core.Sweep();
    std::vector<std::size_t> sizes;
    for (const nettest::FakeTransportHost::Sent& s : host.TakeSent())
        sizes.push_back(s.bytes.size());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{12 + 30 + 12 + 800, 12 + 30 + 12 + 200}));
    std::string text;
    ASSERT_TRUE(core.GetProperty(PPN_STAT_SRUDP_BYTES_SENT, text));
    EXPECT_EQ(text, std::to_string(42 + 854 + 254));  // the connect and the two fragments

    // Bob's data and a datagram too short to be anything: both counted.
    nps::DefaultBlockBuffer data;
    EncodeSrudpData(data, kBob.id, 1, SrudpFragmentHeader{PPN_MAGIC, 1, 0, 0, 0}, "hello", 5);
    Packet(std::string(data.data, data.size), kBobPunched);
    Packet(std::string(12, '\0'), kBobPunched);
    Packet(std::string(11, '\0'), kBobPunched);
    ASSERT_EQ(sink.Received().size(), 1u);
    EXPECT_EQ(sink.Received()[0].bytes, "hello");
    EXPECT_EQ(sink.Received()[0].type, PPN_CONN_SRUDP);
    EXPECT_TRUE(sink.Received()[0].peer == kBob.id);

    ASSERT_TRUE(core.GetProperty(PPN_STAT_SRUDP_BYTES_RECEIVED, text));
    EXPECT_EQ(text, std::to_string(42 + data.size + 12));  // the accept, the data, the 12 bytes
    for (int id = PPN_STAT_SRUDP_RECV_RATE; id <= PPN_STAT_SRUDP_AVG_SEND_RATE; ++id)
        EXPECT_TRUE(core.GetProperty(id, text)) << id;
    EXPECT_FALSE(core.GetProperty(PPN_STAT_SUDT_BYTES_RECEIVED, text));
}

TEST_F(SrudpCoreTest, ClosesAreAnsweredAndReported) {
    Establish();
    Packet(Control(SRUDP_CLOSE, 0, kBob.id), kBobPunched);
    EXPECT_EQ(host.TakeCodes(), std::vector<int>{SRUDP_CLOSE_ACK});
    Advance(1999);
    EXPECT_EQ(sink.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECTED});
    Advance(1);
    EXPECT_EQ(sink.EventNumbers(), (std::vector<int>{PPN_EVENT_CONNECTED, PPN_EVENT_CLOSED}));
    EXPECT_FALSE(core.HasConnection(kBob.id));
}

TEST_F(SrudpCoreTest, SilentConnectionTimesOut) {
    Establish();
    Advance(9999);
    EXPECT_TRUE(core.IsEstablished(kBob.id));
    Advance(1);
    EXPECT_EQ(sink.EventNumbers(), (std::vector<int>{PPN_EVENT_CONNECTED, PPN_EVENT_TIMEOUT}));
}

TEST_F(SrudpCoreTest, StopSendsNothingAndRaisesNothing) {
    Establish();
    ASSERT_TRUE(core.Send(kBob.id, "queued", 6));
    const std::size_t events = sink.Events().size();
    core.Stop();
    host.TakeSent();  // the retransmit thread may have sent the message before
    FakeNow() += 60000;
    EXPECT_FALSE(core.HasConnection(kBob.id));
    EXPECT_EQ(sink.Events().size(), events);
    EXPECT_TRUE(host.TakeSent().empty());
}

}  // namespace
