// The network facade end to end: cores on 127.0.0.1 logging in to the NAT
// server fixture, the error table, two cores talking directly, a peer played
// by the test, and Stop against a listener that is sending.
#include "net/Winsock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "common/pack/Pack.h"
#include "net/PPNException.h"
#include "net/SrudpConnection.h"
#include "net/SrudpMessages.h"
#include "net/UhMessages.h"
#include "tests/net/PpnTestSupport.h"

namespace {

using nettest::ExpectThrows;
using nettest::kEventWaitMs;
using nettest::Loopback;
using nettest::OnLoopback;
using nettest::Pattern;
using nettest::PpnCoreTest;
using nettest::Recorder;
using nettest::UdpSocket;

// ------------------------------------------------------------------ the error table

TEST_F(PpnCoreTest, OperationsOfACoreNotStarted) {
    ppn::PPNCore core;
    const PeerAddress peer = OnLoopback(PeerId::FromBytes("PEER", 4), 9);
    PeerAddress out;
    // Bad arguments are refused before anything else.
    ExpectThrows([&] { core.Send(peer.id, PPN_CONN_SRUDP, "x", 0); }, ppn::kErrInvalidArguments, "Send 0 bytes");
    ExpectThrows([&] { core.Send(peer.id, PPN_CONN_SRUDP, nullptr, 3); }, ppn::kErrInvalidArguments, "Send null");
    ExpectThrows([&] { core.Send(peer.id, PPN_CONN_SRUDP, "x", 1); }, ppn::kErrNotStarted, "Send");
    ExpectThrows([&] { core.GetLocalAddress(out, false); }, ppn::kErrNotStarted, "GetLocalAddress");
    ExpectThrows([&] { core.ConnectTo(peer, PPN_CONN_SRUDP); }, ppn::kErrNotStarted, "ConnectTo");
    ExpectThrows([&] { core.Close(peer.id, PPN_CONN_SUDT); }, ppn::kErrNotStarted, "Close");
    core.Stop();  // nothing to stop

    // Without id 2 there is no NAT server; the core stays unstarted.
    PropertyMap p = Properties();
    p.erase(PPN_PROP_NAT_PORT);
    core.SetProperties(p);
    ExpectThrows([&] { core.StartListen(0); }, ppn::kErrNoNatServer, "StartListen without 2");
    ExpectThrows([&] { core.GetLocalAddress(out, false); }, ppn::kErrNotStarted, "after a failed start");

    // A port range of one port that is taken: the UH core cannot bind.
    UdpSocket taken;
    p = Properties();
    p[PPN_PROP_PORT_HIGH] = p[PPN_PROP_PORT_LOW] = std::to_string(taken.Port());
    core.SetProperties(p);
    ExpectThrows([&] { core.StartListen(0); }, ppn::kErrUhStart, "StartListen on a taken port");

    // The caller's own ids are answered; statistics of layers not running are not.
    PropertyMap asked = {{PPN_PROP_NAT_PORT, "x"}, {PPN_STAT_SRUDP_BYTES_SENT, "x"}, {PPN_PROP_NAT_TYPE, "x"}};
    ExpectThrows([&] { core.GetProperties(asked); }, ppn::kErrUnknownProperty, "GetProperties");
    EXPECT_EQ(asked[PPN_PROP_NAT_PORT], p[PPN_PROP_NAT_PORT]);
    EXPECT_EQ(asked[PPN_STAT_SRUDP_BYTES_SENT], "");
}

TEST_F(PpnCoreTest, OperationsOfARunningCore) {
    ppn::PPNCore core;
    Recorder events;
    const PeerAddress own = Start(core, events);
    core.StartListen(0);  // already started: nothing happens
    PeerAddress out;
    core.GetLocalAddress(out, true);
    EXPECT_TRUE(out.id == own.id);

    for (int type : {PPN_CONN_SRUDP, PPN_CONN_SUDT, PPN_CONN_TCP})
        ExpectThrows([&] { core.ConnectTo(own, type); }, ppn::kErrSelf, "ConnectTo self");
    const PeerAddress nobody = OnLoopback(PeerId::FromBytes("NOBODY", 6), 9);
    ExpectThrows([&] { core.ConnectTo(nobody, PPN_CONN_TCP); }, ppn::kErrTcpNotStarted, "ConnectTo TCP");
    ExpectThrows([&] { core.Close(nobody.id, PPN_CONN_TCP); }, ppn::kErrTcpNotStarted, "Close TCP");
    ExpectThrows([&] { core.Send(nobody.id, PPN_CONN_TCP, "x", 1); }, ppn::kErrTcpNotStarted, "Send TCP");
    ExpectThrows([&] { core.Send(nobody.id, 7, "x", 1); }, ppn::kErrUnknownType, "Send type 7");
    ExpectThrows([&] { core.Send(nobody.id, PPN_CONN_SRUDP, "x", 1); }, ppn::kErrSrudpNoConnection, "Send 1");
    ExpectThrows([&] { core.Send(nobody.id, PPN_CONN_SUDT, "x", 1); }, ppn::kErrSudtNoConnection, "Send 2");
    core.Close(nobody.id, PPN_CONN_SRUDP);  // an unknown peer: nothing to do

    // The UH core refuses to punch a peer without a public port.
    PeerAddress noPort = nobody;
    noPort.endpoint.publicPort = 0;
    ExpectThrows([&] { core.ConnectTo(noPort, PPN_CONN_SRUDP); }, ppn::kErrSrudpConnect, "ConnectTo port 0");

    // A peer that never answers: the attempt is under way for a while.
    UdpSocket silent;
    const PeerAddress mute = OnLoopback(PeerId::FromBytes("MUTE.MUTE.MUTE.MUTE.", 20), silent.Port());
    core.ConnectTo(mute, PPN_CONN_SRUDP);
    core.ConnectTo(mute, PPN_CONN_SRUDP);  // in progress: succeeds, changes nothing
    ExpectThrows([&] { core.Send(mute.id, PPN_CONN_SUDT, "x", 1); }, ppn::kErrSudtSend, "Send 2 before the punch");
    ExpectThrows([&] { core.Send(mute.id, PPN_CONN_SRUDP, "x", 1); }, ppn::kErrSrudpNoConnection, "Send 1 early");
    // Only an established connection closes; the raw entry is gone already.
    ExpectThrows([&] { core.Close(mute.id, PPN_CONN_SRUDP); }, ppn::kErrSrudpClose, "Close while connecting");
    ExpectThrows([&] { core.Send(mute.id, PPN_CONN_SUDT, "x", 1); }, ppn::kErrSudtNoConnection, "Send 2 closed");

    PropertyMap asked = {{PPN_STAT_SUDT_BYTES_RECEIVED, "x"}, {300, "x"}, {PPN_PROP_NAT_PORT, "x"},
                         {PPN_PROP_NAT_TYPE, "x"}, {PPN_STAT_TCP_BYTES_SENT, "x"}};
    ExpectThrows([&] { core.GetProperties(asked); }, ppn::kErrUnknownProperty, "GetProperties 300");
    EXPECT_EQ(asked[PPN_STAT_SUDT_BYTES_RECEIVED], "0");
    EXPECT_EQ(asked[300], "");
    EXPECT_EQ(asked[PPN_STAT_TCP_BYTES_SENT], "");
    EXPECT_EQ(asked[PPN_PROP_NAT_PORT], Properties()[PPN_PROP_NAT_PORT]);
    EXPECT_EQ(asked[PPN_PROP_NAT_TYPE], "7");

    core.Stop();
    asked = {{PPN_STAT_SRUDP_BYTES_RECEIVED, "x"}, {PPN_PROP_LOGIN_INTERVAL, "x"}};
    ExpectThrows([&] { core.GetProperties(asked); }, ppn::kErrUnknownProperty, "GetProperties after Stop");
    EXPECT_EQ(asked[PPN_PROP_LOGIN_INTERVAL], "50");
    ExpectThrows([&] { core.ConnectTo(mute, PPN_CONN_SRUDP); }, ppn::kErrNotStarted, "ConnectTo after Stop");
}

TEST_F(PpnCoreTest, LocalAddressWaitsForTheLogin) {
    nat.Set("{\"silent\": [1]}");
    ppn::PPNCore core;
    core.SetProperties(Properties());
    core.StartListen(0);
    PeerAddress out;
    ExpectThrows([&] { core.GetLocalAddress(out, true); }, ppn::kErrNotLoggedIn, "GetLocalAddress unlogged");
    core.GetLocalAddress(out, false);
    EXPECT_EQ(out.endpoint.publicPort, 0);
    EXPECT_NE(out.endpoint.localPort, 0);
}

// ------------------------------------------------------------------ two cores

TEST_F(PpnCoreTest, MessagesDatagramsStatisticsAndClose) {
    ppn::PPNCore a, b;
    Recorder aEvents, bEvents;
    const PeerAddress aAddress = Start(a, aEvents), bAddress = Start(b, bEvents);
    Connect(a, aEvents, bAddress, bEvents);
    ExpectThrows([&] { a.ConnectTo(bAddress, PPN_CONN_SRUDP); }, ppn::kErrAlreadyConnected, "ConnectTo again");
    EXPECT_TRUE(aEvents.Items()[0].peer == bAddress.id);
    EXPECT_TRUE(bEvents.Items()[0].peer == aAddress.id);
    EXPECT_EQ(aEvents.Items()[0].type, PPN_CONN_SRUDP);

    // Reliable messages of many sizes, both ways at once.
    const std::size_t sizes[] = {1, 799, 800, 801, 1600, 1601, 5000, 65536, 200000, 3};
    std::vector<std::string> toB, toA;
    std::uint64_t bytesToB = 0;
    for (std::size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        toB.push_back(Pattern(static_cast<unsigned>(i), sizes[i]));
        toA.push_back(Pattern(static_cast<unsigned>(100 + i), sizes[i]));
        a.Send(bAddress.id, PPN_CONN_SRUDP, toB.back().data(), static_cast<int>(toB.back().size()));
        b.Send(aAddress.id, PPN_CONN_SRUDP, toA.back().data(), static_cast<int>(toA.back().size()));
        bytesToB += sizes[i];
    }
    // Longer than any peer takes in: refused whole, and the stream goes on.
    const std::string tooLong(srudp::SrudpConnection::kMaxMessageBytes + 1, 'L');
    ExpectThrows([&] { a.Send(bAddress.id, PPN_CONN_SRUDP, tooLong.data(), static_cast<int>(tooLong.size())); },
                 ppn::kErrInvalidArguments, "Send over the limit");
    toB.push_back("after the refused one");
    a.Send(bAddress.id, PPN_CONN_SRUDP, toB.back().data(), static_cast<int>(toB.back().size()));
    ASSERT_TRUE(bEvents.WaitMessages(PPN_CONN_SRUDP, toB.size(), 30000));
    ASSERT_TRUE(aEvents.WaitMessages(PPN_CONN_SRUDP, toA.size(), 30000));
    EXPECT_TRUE(bEvents.Messages(PPN_CONN_SRUDP) == toB);
    EXPECT_TRUE(aEvents.Messages(PPN_CONN_SRUDP) == toA);

    // Raw datagrams on the path the connection uses.
    a.Send(bAddress.id, PPN_CONN_SUDT, "raw from a", 10);
    b.Send(aAddress.id, PPN_CONN_SUDT, std::string(1500, 'R').data(), 1500);
    ExpectThrows([&] { a.Send(bAddress.id, PPN_CONN_SUDT, std::string(1501, 'R').data(), 1501); },
                 ppn::kErrSudtSend, "Send 1501 raw bytes");
    ASSERT_TRUE(bEvents.WaitMessages(PPN_CONN_SUDT, 1));
    ASSERT_TRUE(aEvents.WaitMessages(PPN_CONN_SUDT, 1));
    EXPECT_EQ(bEvents.Messages(PPN_CONN_SUDT)[0], "raw from a");
    EXPECT_EQ(aEvents.Messages(PPN_CONN_SUDT)[0], std::string(1500, 'R'));

    PropertyMap aStats, bStats;
    for (int id : {257, 258, 259, 260, 261, 262, 273, 274, 275, 276, 277, 278})
        aStats[id] = bStats[id] = "";
    a.GetProperties(aStats);
    b.GetProperties(bStats);
    EXPECT_EQ(aStats[PPN_STAT_SUDT_BYTES_SENT], "10");
    EXPECT_EQ(aStats[PPN_STAT_SUDT_BYTES_RECEIVED], "1500");
    EXPECT_EQ(bStats[PPN_STAT_SUDT_BYTES_RECEIVED], "10");
    EXPECT_EQ(bStats[PPN_STAT_SUDT_BYTES_SENT], "1500");
    // Every payload byte travelled with headers on top.
    EXPECT_GT(std::strtoull(aStats[PPN_STAT_SRUDP_BYTES_SENT].c_str(), nullptr, 10), bytesToB);
    EXPECT_GT(std::strtoull(bStats[PPN_STAT_SRUDP_BYTES_RECEIVED].c_str(), nullptr, 10), bytesToB);
    EXPECT_GT(std::atoi(aStats[PPN_STAT_SRUDP_SEND_RATE].c_str()), 0);
    EXPECT_GT(std::atoi(bStats[PPN_STAT_SRUDP_AVG_RECV_RATE].c_str()), 0);
    EXPECT_GT(std::atoi(aStats[PPN_STAT_SUDT_RECV_RATE].c_str()), 0);

    // A local close raises nothing here; the peer hears event 5.
    a.Close(bAddress.id, PPN_CONN_SRUDP);
    ASSERT_TRUE(bEvents.WaitEvent(PPN_EVENT_CLOSED));
    EXPECT_EQ(bEvents.EventNumbers(), (std::vector<int>{PPN_EVENT_ACCEPTED, PPN_EVENT_CLOSED}));
    ExpectThrows([&] { b.Send(aAddress.id, PPN_CONN_SUDT, "x", 1); }, ppn::kErrSudtNoConnection, "raw after 5");
    EXPECT_EQ(aEvents.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECTED});

    // And the two can connect again.
    Connect(a, aEvents, bAddress, bEvents);
}

// Both ends connect at the same moment: one connection results.
TEST_F(PpnCoreTest, SimultaneousConnectsMakeOneConnection) {
    ppn::PPNCore a, b;
    Recorder aEvents, bEvents;
    const PeerAddress aAddress = Start(a, aEvents), bAddress = Start(b, bEvents);
    a.ConnectTo(bAddress, PPN_CONN_SRUDP);
    b.ConnectTo(aAddress, PPN_CONN_SRUDP);
    auto connected = [](const std::vector<Recorder::Item>& items) {
        return !Recorder::Events(items, PPN_EVENT_CONNECTED).empty() ||
               !Recorder::Events(items, PPN_EVENT_ACCEPTED).empty();
    };
    ASSERT_TRUE(aEvents.WaitFor(connected, kEventWaitMs));
    ASSERT_TRUE(bEvents.WaitFor(connected, kEventWaitMs));
    // One side connected and the other accepted. Which one depends on whether
    // the two attempts crossed (the id sorting first takes the other's) or
    // a's request landed before b's own attempt began (b accepts it).
    const std::vector<int> aSeen = aEvents.EventNumbers(), bSeen = bEvents.EventNumbers();
    ASSERT_EQ(aSeen.size(), 1u);
    ASSERT_EQ(bSeen.size(), 1u);
    EXPECT_EQ(std::min(aSeen[0], bSeen[0]), PPN_EVENT_CONNECTED);
    EXPECT_EQ(std::max(aSeen[0], bSeen[0]), PPN_EVENT_ACCEPTED);
    a.Send(bAddress.id, PPN_CONN_SRUDP, "one", 3);
    ASSERT_TRUE(bEvents.WaitMessages(PPN_CONN_SRUDP, 1));
}

// ------------------------------------------------------------------ against a peer played by the test

// A peer on a plain socket that answers and sends what the test tells it.
class ScriptedPeer {
public:
    explicit ScriptedPeer(const char* id) : address(OnLoopback(PeerId::FromBytes(id, 20), socket.Port())) {}

    // The next stack datagram of this layer and code; false when none comes.
    bool Expect(std::uint8_t layer, std::uint8_t code, std::string& bytes, Ipv4Endpoint& from) {
        char buffer[2048];
        for (int i = 0; i < 50; ++i) {
            const int n = socket.Receive(buffer, sizeof buffer, 5000, &from);
            if (n < 0)
                return false;
            if (n > 12 && static_cast<std::uint8_t>(buffer[2]) == layer && static_cast<std::uint8_t>(buffer[12]) == code) {
                bytes.assign(buffer, static_cast<std::size_t>(n));
                return true;
            }
        }
        return false;
    }
    void Send(const nps::DefaultBlockBuffer& b, const Ipv4Endpoint& to) {
        socket.SendTo(b.data, static_cast<int>(b.size), to);
    }
    void SendControl(std::uint8_t code, std::uint16_t result, const Ipv4Endpoint& to) {
        nps::DefaultBlockBuffer b;
        EncodeSrudpControl(b, SrudpControlMessage{code, 10, 1, result, 0, address.id});
        Send(b, to);
    }
    // A data datagram whose fragment is taken as it stands.
    void SendRawFragment(std::uint32_t sequence, const std::string& fragment, const Ipv4Endpoint& to) {
        nps::DefaultBlockBuffer b;
        nps::Pack pack(b);
        PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_SRUDP, kSrudpDataSizeHint));
        pack.push_uint8(SRUDP_DATA);
        pack.push_uint8(0);
        pack.push_varstr(address.id.bytes, PeerId::kSize);
        pack.push_uint32(sequence);
        pack.push_varstr(fragment);
        Send(b, to);
    }

    UdpSocket socket;
    PeerAddress address;
};

UhSessionMessage DecodeSession(const std::string& bytes) {
    PpnHeader header;
    UhMessage m;
    EXPECT_EQ(ClassifyDatagram(bytes.data(), static_cast<std::uint32_t>(bytes.size()), header), DatagramKind::kUh);
    EXPECT_TRUE(DecodeUhMessage(header, bytes.data() + 12, static_cast<std::uint32_t>(bytes.size() - 12), m));
    return m.session;
}

// The peer refuses our connect: the attempt ends with event 2, so the
// caller's slot for that peer is freed.
TEST_F(PpnCoreTest, RefusedConnectEndsWithEvent2) {
    ppn::PPNCore a;
    Recorder aEvents;
    Start(a, aEvents);
    ScriptedPeer peer("REFUSER.REFUSER.REFU");
    a.ConnectTo(peer.address, PPN_CONN_SRUDP);
    std::string bytes;
    Ipv4Endpoint from;
    ASSERT_TRUE(peer.Expect(PPN_HEADER_UH, UH_PUNCH, bytes, from));
    const UhSessionMessage punch = DecodeSession(bytes);
    nps::DefaultBlockBuffer ack;
    EncodeUhSessionMessage(ack, UhSessionMessage{UH_PUNCH_ACK, punch.flags, punch.sessionId, 1, 0, peer.address,
                                                 punch.sender});
    peer.Send(ack, from);
    ASSERT_TRUE(peer.Expect(PPN_HEADER_SRUDP, SRUDP_CONNECT, bytes, from));
    peer.SendControl(SRUDP_ACCEPT, kSrudpRefused, from);
    ASSERT_TRUE(aEvents.WaitEvent(PPN_EVENT_CONNECT_FAILED));
    EXPECT_EQ(aEvents.EventNumbers(), std::vector<int>{PPN_EVENT_CONNECT_FAILED});
    ExpectThrows([&] { a.Send(peer.address.id, PPN_CONN_SUDT, "x", 1); }, ppn::kErrSudtNoConnection, "raw");
}

// An empty reliable message is a message, not an event.
TEST_F(PpnCoreTest, EmptyMessageIsDeliveredAsAMessage) {
    ppn::PPNCore a;
    Recorder aEvents;
    const PeerAddress own = Start(a, aEvents);
    ScriptedPeer peer("INCOMING.INCOMING.IN");
    const Ipv4Endpoint core = Loopback(Port(own));
    nps::DefaultBlockBuffer punch;
    PeerAddress addressee;
    a.GetLocalAddress(addressee, true);
    EncodeUhSessionMessage(punch, UhSessionMessage{UH_PUNCH, 3, 4242, 1, 0, peer.address, addressee});
    peer.Send(punch, core);
    std::string bytes;
    Ipv4Endpoint from;
    ASSERT_TRUE(peer.Expect(PPN_HEADER_UH, UH_PUNCH_ACK, bytes, from));
    peer.SendControl(SRUDP_CONNECT, 0, core);
    ASSERT_TRUE(peer.Expect(PPN_HEADER_SRUDP, SRUDP_ACCEPT, bytes, from));
    peer.SendRawFragment(1, "", core);
    peer.SendRawFragment(2, "tail", core);
    ASSERT_TRUE(aEvents.WaitMessages(PPN_CONN_SRUDP, 2));
    const std::vector<Recorder::Item> items = aEvents.Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].isEvent);
    EXPECT_EQ(items[0].event, PPN_EVENT_ACCEPTED);
    EXPECT_FALSE(items[1].isEvent);
    EXPECT_EQ(items[1].data, "");
    EXPECT_FALSE(items[2].isEvent);
    EXPECT_EQ(items[2].data, "tail");
}

// ------------------------------------------------------------------ Stop against a busy listener

// A listener that sends from inside a call while the owner stops the core:
// Stop must not wait for the listener while holding what Send needs.
TEST_F(PpnCoreTest, StopWhileAListenerSends) {
    ppn::PPNCore a, b;
    Recorder aEvents, bEvents;
    const PeerAddress aAddress = Start(a, aEvents), bAddress = Start(b, bEvents);
    Connect(a, aEvents, bAddress, bEvents);

    boost::mutex mutex;
    boost::condition_variable changed;
    bool inListener = false, stopping = false, listenerDone = false, stopped = false;
    std::string lastError;
    aEvents.onReceive = [&](const Recorder::Item& item) {
        if (item.data != "hold")
            return;
        boost::mutex::scoped_lock lock(mutex);
        inListener = true;
        changed.notify_all();
        changed.wait_for(lock, boost::chrono::seconds(10), [&] { return stopping; });
        lock.unlock();
        // Send until the core says it is stopping (bounded).
        const DWORD deadline = GetTickCount() + 10000;
        while (GetTickCount() < deadline) {
            try {
                a.Send(bAddress.id, PPN_CONN_SRUDP, "reply", 5);
            } catch (const ppn::PPNException& e) {
                lastError = e.what();
                break;
            }
        }
        lock.lock();
        listenerDone = true;
    };
    b.Send(aAddress.id, PPN_CONN_SRUDP, "hold", 4);
    {
        boost::mutex::scoped_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, boost::chrono::seconds(10), [&] { return inListener; }));
        stopping = true;
        changed.notify_all();
    }
    boost::thread stopper([&] {
        a.Stop();
        boost::mutex::scoped_lock lock(mutex);
        stopped = true;
        changed.notify_all();
    });
    boost::mutex::scoped_lock lock(mutex);
    if (!changed.wait_for(lock, boost::chrono::seconds(20), [&] { return stopped; })) {
        ADD_FAILURE() << "Stop did not return while a listener was sending";
        std::_Exit(1);  // the stopper cannot be joined
    }
    lock.unlock();
    stopper.join();
    EXPECT_TRUE(listenerDone);
    EXPECT_EQ(lastError, ppn::kErrNotStarted.text);
}

}  // namespace
