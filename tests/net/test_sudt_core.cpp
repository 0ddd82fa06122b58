// The raw datagram transport's table between a recording UH core and a
// recording facade: which peers can send and receive, where their datagrams
// go, how endpoints move, and its statistics.
#include "net/Winsock.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/PpnEvents.h"
#include "net/PropertyMap.h"
#include "net/SUDTCore.h"
#include "tests/net/FakeTransportHost.h"

namespace {

using nettest::From;
using nettest::MakeAddress;
using nettest::SessionWith;

const PeerAddress kOwn = MakeAddress("OWN.OWN.OWN.OWN.OWN.", INADDR_LOOPBACK, 5000);
const PeerAddress kAnn = MakeAddress("ANN.ANN.ANN.ANN.ANN.", INADDR_LOOPBACK, 5001);
const PeerAddress kBen = MakeAddress("BEN.BEN.BEN.BEN.BEN.", INADDR_LOOPBACK, 5002);

class SudtCoreTest : public ::testing::Test {
protected:
    SudtCoreTest() : host(kOwn) {}
    void SetUp() override { ASSERT_TRUE(sudt.Start(&host, &sink)); }

    void Datagram(const std::string& bytes, const Ipv4Endpoint& from) {
        const PeerAddress source = From(from);
        sudt.OnDatagram(bytes.data(), static_cast<int>(bytes.size()), &source);
    }
    std::string Stat(int id) {
        std::string text;
        EXPECT_TRUE(sudt.GetProperty(id, text)) << id;
        return text;
    }

    nettest::FakeTransportHost host;
    nettest::RecordingSink sink;
    SUDTCore sudt;
};

TEST_F(SudtCoreTest, PeerSendsOnlyOnceItsPunchSucceeded) {
    ASSERT_TRUE(sudt.ConnectTo(kAnn));
    EXPECT_TRUE(sudt.HasPeer(kAnn.id));
    EXPECT_FALSE(sudt.Send(kAnn.id, "early", 5));
    // The punch found Ann elsewhere: that is where datagrams go.
    const PeerAddress found = MakeAddress("ANN.ANN.ANN.ANN.ANN.", INADDR_LOOPBACK, 7001);
    const UHSession s = SessionWith(found);
    sudt.OnPunchResult(1, 1, 0, &s, 0);
    ASSERT_TRUE(sudt.Send(kAnn.id, "piece", 5));
    std::vector<nettest::FakeTransportHost::Sent> sent = host.TakeSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, "piece");
    EXPECT_TRUE(sent[0].to == found.endpoint.Public());
    EXPECT_FALSE(sudt.Send(kAnn.id, std::string(1501, 'x').data(), 1501));
    EXPECT_TRUE(sudt.Send(kAnn.id, std::string(1500, 'x').data(), 1500));
    EXPECT_FALSE(sudt.Send(kAnn.id, nullptr, 5));
    EXPECT_FALSE(sudt.Send(kBen.id, "x", 1));
    EXPECT_EQ(Stat(PPN_STAT_SUDT_BYTES_SENT), "1505");

    Datagram("from ann", found.endpoint.Public());
    ASSERT_EQ(sink.Received().size(), 1u);
    EXPECT_TRUE(sink.Received()[0].peer == kAnn.id);
    EXPECT_EQ(sink.Received()[0].type, PPN_CONN_SUDT);
    EXPECT_EQ(sink.Received()[0].bytes, "from ann");
}

TEST_F(SudtCoreTest, FailedPunchForgetsThePeer) {
    ASSERT_TRUE(sudt.ConnectTo(kAnn));
    const UHSession s = SessionWith(kAnn);
    sudt.OnPunchResult(2, 1, 0, &s, 0);
    EXPECT_FALSE(sudt.HasPeer(kAnn.id));
}

// A peer that punched to us can trade datagrams at once; others are dropped
// and not counted. Two peers behind one address keep their own ports.
TEST_F(SudtCoreTest, IncomingPeersAreToldApartByTheirSource) {
    const PeerAddress ann = kAnn, annNeighbour = MakeAddress("NEIGHBOUR.NEIGHBOUR.", INADDR_LOOPBACK, 5009);
    sudt.OnIncomingSession(1, 0, &ann);
    sudt.OnIncomingSession(1, 0, &annNeighbour);
    Datagram("a", ann.endpoint.Public());
    Datagram("n", annNeighbour.endpoint.Public());
    Datagram("stranger", kBen.endpoint.Public());
    const std::vector<nettest::RecordingSink::Data> got = sink.Received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].peer == ann.id);
    EXPECT_TRUE(got[1].peer == annNeighbour.id);
    EXPECT_EQ(Stat(PPN_STAT_SUDT_BYTES_RECEIVED), "2");
    EXPECT_TRUE(sudt.Send(ann.id, "back", 4));
}

TEST_F(SudtCoreTest, EndpointFollowsTheReliableConnection) {
    const PeerAddress ann = kAnn;
    sudt.OnIncomingSession(1, 0, &ann);
    const Ipv4Endpoint moved = {htonl(INADDR_LOOPBACK), htons(7777)};
    EXPECT_TRUE(sudt.SetEndpoint(kAnn.id, moved));
    EXPECT_FALSE(sudt.SetEndpoint(kBen.id, moved));
    Datagram("old", kAnn.endpoint.Public());
    Datagram("new", moved);
    ASSERT_EQ(sink.Received().size(), 1u);
    EXPECT_EQ(sink.Received()[0].bytes, "new");
    ASSERT_TRUE(sudt.Send(kAnn.id, "x", 1));
    EXPECT_TRUE(host.TakeSent()[0].to == moved);

    // A waiting peer gets the endpoint but stays waiting.
    ASSERT_TRUE(sudt.ConnectTo(kBen));
    EXPECT_TRUE(sudt.SetEndpoint(kBen.id, kBen.endpoint.Public()));
    EXPECT_FALSE(sudt.Send(kBen.id, "x", 1));
}

TEST_F(SudtCoreTest, CloseAndStopForgetPeers) {
    const PeerAddress ann = kAnn, ben = kBen;
    sudt.OnIncomingSession(1, 0, &ann);
    sudt.OnIncomingSession(1, 0, &ben);
    EXPECT_TRUE(sudt.Close(kAnn.id));
    EXPECT_FALSE(sudt.Close(kAnn.id));
    Datagram("after close", kAnn.endpoint.Public());
    EXPECT_TRUE(sink.Received().empty());
    // Ben took over Ann's old endpoint before Ann left: Ben keeps it.
    sudt.OnIncomingSession(1, 0, &ann);
    EXPECT_TRUE(sudt.SetEndpoint(kBen.id, kAnn.endpoint.Public()));
    EXPECT_TRUE(sudt.Close(kAnn.id));
    Datagram("ben", kAnn.endpoint.Public());
    ASSERT_EQ(sink.Received().size(), 1u);
    EXPECT_TRUE(sink.Received()[0].peer == kBen.id);

    sudt.Stop();
    EXPECT_TRUE(host.listeners.empty());
    EXPECT_FALSE(sudt.HasPeer(kBen.id));
    EXPECT_FALSE(sudt.ConnectTo(kAnn));
    EXPECT_FALSE(sudt.Send(kBen.id, "x", 1));
}

TEST_F(SudtCoreTest, StatisticsIds) {
    std::string text;
    for (int id = PPN_STAT_SUDT_BYTES_RECEIVED; id <= PPN_STAT_SUDT_AVG_SEND_RATE; ++id)
        EXPECT_EQ(Stat(id), "0") << id;
    EXPECT_FALSE(sudt.GetProperty(PPN_STAT_SRUDP_BYTES_SENT, text));
    const PeerAddress ann = kAnn;
    sudt.OnIncomingSession(1, 0, &ann);
    ASSERT_TRUE(sudt.Send(kAnn.id, std::string(1000, 'r').data(), 1000));
    EXPECT_EQ(Stat(PPN_STAT_SUDT_SEND_RATE), "200");      // 1000 bytes over five slots
    EXPECT_NE(Stat(PPN_STAT_SUDT_AVG_SEND_RATE), "0");
}

}  // namespace
