// The UH core over real sockets against the NAT-server fixture
// (tests/fixtures/nat_server.py), with a recording stand-in for UPnP.
#include "net/Winsock.h"

#include <iphlpapi.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include "common/pack/BlockBuffer.h"
#include "net/ByteOrder.h"
#include "net/HostIdentity.h"
#include "net/PropertyMap.h"
#include "net/UHCore.h"
#include "net/UHListener.h"
#include "net/UHSession.h"
#include "net/UhMessages.h"
#include "net/UhProperties.h"
#include "tests/net/NetTestSupport.h"

namespace {

using nettest::FixtureControl;
using nettest::Loopback;
using nettest::UdpSocket;

// The listen thread starts COM before it logs in; the first use of COM under
// a fresh wineserver can take seconds.
const unsigned kLoginWaitMs = 30000;

// What the core asked of the gateway, as text lines.
class RecordingMapper : public PortMapper {
public:
    explicit RecordingMapper(std::shared_ptr<std::vector<std::string>> calls) : m_calls(calls) {}
    bool Init() override { return Note("Init"), true; }
    bool Add(const char* client, std::uint16_t internalPort, int protocol, std::uint16_t externalPort) override {
        return Note("Add " + std::string(client) + " " + std::to_string(internalPort) + " " +
                    std::to_string(protocol) + " " + std::to_string(externalPort)),
               true;
    }
    bool Remove(std::uint16_t externalPort, int protocol) override {
        return Note("Remove " + std::to_string(externalPort) + " " + std::to_string(protocol)), true;
    }
    void Release() override { Note("Release"); }

private:
    void Note(const std::string& call) {
        boost::mutex::scoped_lock lock(m_mutex);
        m_calls->push_back(call);
    }
    std::shared_ptr<std::vector<std::string>> m_calls;
    boost::mutex m_mutex;
};

// Whether a UDP socket of this process is bound to the port. Asked of the
// system's table rather than by binding the port again: other test processes
// choose ports from the same range, and one of them may take it meanwhile.
bool ThisProcessHoldsUdpPort(std::uint16_t port) {
    ULONG size = 0;
    GetExtendedUdpTable(nullptr, &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<unsigned char> buffer(size + 4096);
        size = static_cast<ULONG>(buffer.size());
        const DWORD result = GetExtendedUdpTable(buffer.data(), &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
        if (result == ERROR_INSUFFICIENT_BUFFER)
            continue;
        if (result != NO_ERROR) {
            ADD_FAILURE() << "GetExtendedUdpTable: " << result;
            return false;
        }
        const MIB_UDPTABLE_OWNER_PID* table = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            if (ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port &&
                table->table[i].dwOwningPid == GetCurrentProcessId())
                return true;
        }
        return false;
    }
    ADD_FAILURE() << "the UDP table kept growing";
    return false;
}

// Everything the core reports, in order, as text; waits with a bound.
class RecordingListener : public UHListener {
public:
    struct Event {
        std::string kind;
        std::string data;
        PeerAddress peer;
        int result, tag;
    };

    void OnPunchResult(int result, int kind, int reserved, const UHSession* session, int tag) override {
        EXPECT_EQ(kind, 1);
        EXPECT_EQ(reserved, 0);
        Add(Event{"punch", std::string(), session->peer, result, tag});
    }
    void OnIncomingSession(int kind, int reserved, const PeerAddress* peer) override {
        EXPECT_EQ(kind, 1);
        Add(Event{"incoming", std::string(), *peer, 0, 0});
    }
    void OnDatagram(const char* data, int length, const PeerAddress* from) override {
        Add(Event{"datagram", std::string(data, static_cast<std::size_t>(length)), *from, 0, 0});
    }
    void OnPacket(const char* data, int length, const PeerAddress* from) override {
        Add(Event{"packet", std::string(data, static_cast<std::size_t>(length)), *from, 0, 0});
    }

    bool WaitFor(std::size_t n, int ms) {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_changed.wait_for(lock, boost::chrono::milliseconds(ms), [&] { return events.size() >= n; });
    }
    std::vector<Event> Events() {
        boost::mutex::scoped_lock lock(m_mutex);
        return events;
    }

private:
    void Add(const Event& e) {
        boost::mutex::scoped_lock lock(m_mutex);
        events.push_back(e);
        m_changed.notify_all();
    }
    std::vector<Event> events;
    boost::mutex m_mutex;
    boost::condition_variable m_changed;
};

class UhCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(nat.Ready()) << "run under tests/fixtures/runner.py with nat_server";
        nat.Set("{\"reset\": true}");
        properties[PPN_PROP_NAT_SERVER] = "127.0.0.1";
        properties[PPN_PROP_NAT_PORT] = std::to_string(nettest::FixturePort("TOVRA_NAT_PORT"));
        // A port outside the allowed range: the test fails at once (NAT type 7).
        properties[PPN_PROP_STUN_SERVER] = "127.0.0.1:80";
        properties[PPN_PROP_LOGIN_INTERVAL] = "50";
        properties[PPN_PROP_LOGOUT_INTERVAL] = "50";
    }

    // A core configured from the properties, with the recording mapper.
    std::unique_ptr<uh::UHCore> MakeCore() {
        std::unique_ptr<uh::UHCore> core(new uh::UHCore());
        uh::UhSettings settings;
        EXPECT_TRUE(uh::ReadUhSettings(properties, settings));
        uh::ApplyUhSettings(settings, *core);
        core->SetPortMapper(std::unique_ptr<PortMapper>(new RecordingMapper(mapperCalls)));
        core->AddListener(&listener);
        return core;
    }

    std::string Port(const uh::UHCore& core) { return std::to_string(core.BoundPort()); }

    FixtureControl nat{"TOVRA_NAT_CONTROL_PORT"};
    PropertyMap properties;
    std::shared_ptr<std::vector<std::string>> mapperCalls = std::make_shared<std::vector<std::string>>();
    RecordingListener listener;
};

// ------------------------------------------------------------------ login, keepalive, logout

TEST_F(UhCoreTest, LogsInMapsThePortAndLogsOutAtStop) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    std::string natType;
    ASSERT_TRUE(core->GetProperty(PPN_PROP_NAT_TYPE, natType));
    EXPECT_EQ(natType, "8");  // not tested yet
    ASSERT_TRUE(core->StartListen(0));
    EXPECT_TRUE(core->StartListen(0));  // already started
    const std::uint16_t port = core->BoundPort();
    EXPECT_GE(port, 5000);
    EXPECT_LT(port, 6000);
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));

    const PeerAddress own = core->OwnAddress();
    std::uint32_t localIp;
    ASSERT_TRUE(GetLocalIPv4(localIp));
    EXPECT_TRUE(own.endpoint.Public() == Loopback(port));
    EXPECT_EQ(own.endpoint.localIp, localIp);
    EXPECT_EQ(net::NetToHost16(own.endpoint.localPort), port);
    ASSERT_TRUE(core->GetProperty(PPN_PROP_NAT_TYPE, natType));
    EXPECT_EQ(natType, "7");  // the STUN server text did not parse
    EXPECT_GE(nat.Count("code=1&action=reply&nat=7&src_port=" + Port(*core)), 1);
    EXPECT_FALSE(core->GetProperty(PPN_PROP_NAT_SERVER, natType));

    EXPECT_TRUE(ThisProcessHoldsUdpPort(port));
    core->Stop();
    EXPECT_FALSE(core->LoggedIn());
    EXPECT_EQ(nat.Count("code=3&action=reply"), 1);
    EXPECT_FALSE(ThisProcessHoldsUdpPort(port));  // the core's socket is closed
    in_addr local;
    local.s_addr = localIp;
    const std::string p = std::to_string(port);
    const std::vector<std::string> expected = {"Init", "Add " + std::string(inet_ntoa(local)) + " " + p + " 1 " + p,
                                               "Remove " + p + " 1", "Release"};
    EXPECT_EQ(*mapperCalls, expected);
    core->Stop();  // a second stop does nothing
}

TEST_F(UhCoreTest, KeepalivesRefreshThePublicEndpoint) {
    properties[PPN_PROP_KEEPALIVE_INTERVAL] = "1";
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    nat.Set("{\"public_port_zero\": true}");
    const std::string mine = "code=5&action=reply&src_port=" + Port(*core);
    EXPECT_GE(nat.WaitCount(mine, 2, 10), 2);
    EXPECT_EQ(core->OwnAddress().endpoint.publicPort, 0);
    EXPECT_TRUE(core->LoggedIn());
}

TEST_F(UhCoreTest, RepliesThatDoNotMatchAreIgnored) {
    struct Case {
        const char* name;
        const char* knobs;
    } cases[] = {
        {"no answer", "{\"silent\": true}"},
        {"wrong local port", "{\"wrong_local_port\": true}"},
        {"one byte too many", "{\"extra_byte\": true}"},
    };
    for (const Case& c : cases) {
        nat.Set(std::string("{\"reset\": true}"));
        nat.Set(c.knobs);
        std::unique_ptr<uh::UHCore> core = MakeCore();
        ASSERT_TRUE(core->StartListen(0)) << c.name;
        // Each ignored reply is followed by the next attempt an interval later.
        EXPECT_GE(nat.WaitCount("code=1&src_port=" + Port(*core), 3, 30), 3) << c.name;
        EXPECT_FALSE(core->LoggedIn()) << c.name;
        nat.Set("{\"reset\": true}");
        EXPECT_TRUE(core->WaitLoggedIn(kLoginWaitMs)) << c.name;  // a plain reply is taken
    }
}

TEST_F(UhCoreTest, PublicPortZeroStillCountsAsLoggedIn) {
    nat.Set("{\"public_port_zero\": true}");
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    EXPECT_EQ(core->OwnAddress().endpoint.publicPort, 0);
    EXPECT_EQ(core->OwnAddress().endpoint.publicIp, htonl(INADDR_LOOPBACK));
}

TEST_F(UhCoreTest, UnansweredLogoutIsSentThreeTimes) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    nat.Set("{\"silent\": [3]}");
    core->Stop();
    EXPECT_EQ(nat.Count("code=3"), 3);
    EXPECT_TRUE(core->LoggedIn());  // only a logout reply clears it
}

TEST_F(UhCoreTest, StopWithoutAnsweringServerIsBoundedAndStillUnmaps) {
    nat.Set("{\"silent\": true}");
    properties[PPN_PROP_LOGIN_INTERVAL] = "5000";
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_EQ(nat.WaitCount("code=1", 1, 30), 1);
    const DWORD start = GetTickCount();
    core->Stop();
    EXPECT_LT(GetTickCount() - start, 4000u);  // the 5 s login wait ends at once
    EXPECT_EQ(nat.Count("code=3"), 0);
    ASSERT_EQ(mapperCalls->size(), 4u);
    EXPECT_EQ((*mapperCalls)[2], "Remove " + Port(*core) + " 1");
}

// The 20th attempt waits 30 s first; Stop ends that wait.
TEST_F(UhCoreTest, TwentiethLoginWaitsHalfAMinute) {
    nat.Set("{\"silent\": true}");
    properties[PPN_PROP_LOGIN_INTERVAL] = "20";
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    const std::string mine = "code=1&src_port=" + Port(*core);
    ASSERT_EQ(nat.WaitCount(mine, 19, 40), 19);
    EXPECT_EQ(nat.WaitCount(mine, 20, 2), 19);
    const DWORD start = GetTickCount();
    core->Stop();
    EXPECT_LT(GetTickCount() - start, 10000u);
    EXPECT_EQ(nat.Count(mine), 19);
}

// ------------------------------------------------------------------ dispatch

std::string StackDatagram(unsigned char layer, const std::string& body) {
    const unsigned char header[12] = {40, 0, layer, 18, 0xfc, 0x13, 0xd9, 0xa1, 0, 0, 0, 0};
    return std::string(reinterpret_cast<const char*>(header), 12) + body;
}

TEST_F(UhCoreTest, DatagramsAreSortedForTheListeners) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    UdpSocket peer;
    const Ipv4Endpoint to = Loopback(core->BoundPort());
    const std::string oneByte = "1", raw40(40, 'r'), reliable = StackDatagram(2, "payload"),
                      layer6 = StackDatagram(6, "tcp hello"), tooLong(1501, 'L'), longest(1500, 'M'), last = "last";
    for (const std::string* d : {&oneByte, &raw40, &layer6, &reliable, &tooLong, &longest, &last})
        ASSERT_TRUE(peer.SendTo(d->data(), static_cast<int>(d->size()), to));
    ASSERT_TRUE(listener.WaitFor(5, 10000));
    const std::vector<RecordingListener::Event> events = listener.Events();
    ASSERT_EQ(events.size(), 5u);
    const std::pair<const char*, const std::string*> expected[] = {
        {"datagram", &oneByte}, {"datagram", &raw40}, {"packet", &reliable}, {"datagram", &longest},
        {"datagram", &last}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(events[i].kind, expected[i].first) << i;
        EXPECT_TRUE(events[i].data == *expected[i].second) << i;
        EXPECT_TRUE(events[i].peer.endpoint.Public() == peer.Endpoint()) << i;
        EXPECT_TRUE(events[i].peer.endpoint.Local() == (Ipv4Endpoint{0, 0})) << i;
        EXPECT_TRUE(events[i].peer.id == PeerId::FromBytes("", 0)) << i;
    }
    core->RemoveListener(&listener);
    peer.SendTo("x", 1, to);
    core->Stop();
    EXPECT_EQ(listener.Events().size(), 5u);
}

// ------------------------------------------------------------------ punching, with the test as the other peer

UhSessionMessage Decode(const char* data, int length) {
    PpnHeader header;
    UhMessage m;
    EXPECT_EQ(ClassifyDatagram(data, static_cast<std::uint32_t>(length), header), DatagramKind::kUh);
    EXPECT_TRUE(DecodeUhMessage(header, data + 12, static_cast<std::uint32_t>(length - 12), m));
    return m.session;
}

std::string Encode(const UhSessionMessage& m) {
    nps::DefaultBlockBuffer b;
    EncodeUhSessionMessage(b, m);
    return std::string(b.data, b.size);
}

PeerAddress PeerAt(const UdpSocket& s) {
    PeerAddress p;
    p.Clear();
    p.id = PeerId::FromBytes("TESTPEER.TESTPEER.XX", 20);
    p.endpoint.publicIp = s.Endpoint().ip;
    p.endpoint.publicPort = s.Endpoint().port;
    p.endpoint.localIp = s.Endpoint().ip;
    p.endpoint.localPort = s.Endpoint().port;
    return p;
}

TEST_F(UhCoreTest, PunchRefusals) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    UdpSocket peerSocket;
    const PeerAddress peer = PeerAt(peerSocket);
    EXPECT_FALSE(core->Punch(peer, 1, 0));  // not started
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    PeerAddress self = peer, noPort = peer, noAddress = peer;
    self.id = core->OwnAddress().id;
    noPort.endpoint.publicPort = 0;
    noAddress.endpoint.publicIp = 0;
    EXPECT_FALSE(core->Punch(self, 1, 0));
    EXPECT_FALSE(core->Punch(noPort, 1, 0));
    EXPECT_FALSE(core->Punch(noAddress, 1, 0));
    EXPECT_FALSE(core->Punch(peer, 2, 0));
    char buffer[2048];
    EXPECT_EQ(peerSocket.Receive(buffer, sizeof buffer, 300), -1);  // nothing was sent
}

TEST_F(UhCoreTest, PunchAnsweredByThePeerIsReported) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    UdpSocket peerSocket;
    const PeerAddress peer = PeerAt(peerSocket);
    ASSERT_TRUE(core->Punch(peer, 1, 1234));

    char buffer[2048];
    Ipv4Endpoint from;
    const int n = peerSocket.Receive(buffer, sizeof buffer, 5000, &from);
    ASSERT_EQ(n, 88);
    const UhSessionMessage punch = Decode(buffer, n);
    EXPECT_EQ(punch.code, UH_PUNCH);
    EXPECT_TRUE(punch.sender == core->OwnAddress());
    EXPECT_TRUE(from == Loopback(core->BoundPort()));
    // The NAT server was asked too, for a peer it does not know.
    EXPECT_EQ(nat.WaitCount("code=19&action=unknown-peer", 1, 5), 1);

    const std::string ack = Encode(UhSessionMessage{UH_PUNCH_ACK, punch.flags, punch.sessionId, 1, 0, peer,
                                                    punch.sender});
    peerSocket.SendTo(ack.data(), static_cast<int>(ack.size()), from);
    ASSERT_TRUE(listener.WaitFor(1, 5000));
    const RecordingListener::Event e = listener.Events()[0];
    EXPECT_EQ(e.kind, "punch");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.tag, 1234);
    EXPECT_TRUE(e.peer == peer);
}

TEST_F(UhCoreTest, PunchFromAPeerIsAnsweredAndReported) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    UdpSocket peerSocket;
    const PeerAddress peer = PeerAt(peerSocket);
    const std::string punch = Encode(UhSessionMessage{UH_PUNCH, 3, 77, 1, 0, peer, core->OwnAddress()});
    peerSocket.SendTo(punch.data(), static_cast<int>(punch.size()), Loopback(core->BoundPort()));

    char buffer[2048];
    const int n = peerSocket.Receive(buffer, sizeof buffer, 5000);
    ASSERT_EQ(n, 88);
    const UhSessionMessage ack = Decode(buffer, n);
    EXPECT_EQ(ack.code, UH_PUNCH_ACK);
    EXPECT_EQ(ack.sessionId, 77);
    EXPECT_TRUE(ack.addressee.id == peer.id);
    ASSERT_TRUE(listener.WaitFor(1, 5000));
    const RecordingListener::Event e = listener.Events()[0];
    EXPECT_EQ(e.kind, "incoming");
    EXPECT_TRUE(e.peer.endpoint.Public() == peerSocket.Endpoint());
}

// A peer played by the test: it logs in to the NAT server like a core.
class FakePeer {
public:
    explicit FakePeer(const char* id) {
        m_address.Clear();
        m_address.id = PeerId::FromBytes(id, std::strlen(id));
        m_address.endpoint.localIp = htonl(INADDR_LOOPBACK);
        m_address.endpoint.localPort = socket.Endpoint().port;
    }

    bool LogIn(const Ipv4Endpoint& natServer) {
        nps::DefaultBlockBuffer b;
        EncodeUhServerMessage(b, UhServerMessage{UH_LOGIN, 0, 7, 0, m_address});
        socket.SendTo(b.data, static_cast<int>(b.size), natServer);
        char buffer[2048];
        const int n = socket.Receive(buffer, sizeof buffer, 5000);
        PpnHeader header;
        UhMessage m;
        if (n <= 12 || ClassifyDatagram(buffer, static_cast<std::uint32_t>(n), header) != DatagramKind::kUh ||
            !DecodeUhMessage(header, buffer + 12, static_cast<std::uint32_t>(n - 12), m) ||
            m.server.code != UH_LOGIN_REPLY)
            return false;
        m_address = m.server.address;
        return true;
    }

    // The next session message, with where it came from; code 0 when none comes.
    UhSessionMessage Next(Ipv4Endpoint* from, int timeoutMs = 5000) {
        char buffer[2048];
        const int n = socket.Receive(buffer, sizeof buffer, timeoutMs, from);
        if (n != 88) {
            UhSessionMessage none;
            std::memset(&none, 0, sizeof none);
            return none;
        }
        return Decode(buffer, n);
    }

    void Send(const UhSessionMessage& m, const Ipv4Endpoint& to) {
        const std::string bytes = Encode(m);
        socket.SendTo(bytes.data(), static_cast<int>(bytes.size()), to);
    }

    const PeerAddress& Address() const { return m_address; }

    UdpSocket socket;

private:
    PeerAddress m_address;
};

// The core answers an introduction through the server (20) and straight to
// the peer (21), and a punch with an 18.
TEST_F(UhCoreTest, IntroductionThroughTheServerIsAnsweredBothWays) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    const Ipv4Endpoint natServer = Loopback(nettest::FixturePort("TOVRA_NAT_PORT"));
    FakePeer peer("INITIATOR.INITIATOR.");
    ASSERT_TRUE(peer.LogIn(natServer));

    peer.Send(UhSessionMessage{UH_CONNECT_REQUEST, 3, 321, 1, 0, peer.Address(), core->OwnAddress()}, natServer);
    Ipv4Endpoint first, second;
    const UhSessionMessage a = peer.Next(&first), b = peer.Next(&second);
    const UhSessionMessage& reply = a.code == UH_CONNECT_REPLY ? a : b;
    const UhSessionMessage& hello = a.code == UH_CONNECT_REPLY ? b : a;
    ASSERT_EQ(reply.code, UH_CONNECT_REPLY);
    ASSERT_EQ(hello.code, UH_CONNECT_HELLO);
    EXPECT_TRUE((a.code == UH_CONNECT_REPLY ? first : second) == natServer);
    EXPECT_TRUE((a.code == UH_CONNECT_REPLY ? second : first) == Loopback(core->BoundPort()));
    EXPECT_EQ(reply.sessionId, 321);
    EXPECT_TRUE(reply.sender == core->OwnAddress());
    EXPECT_TRUE(reply.addressee == peer.Address());
    EXPECT_EQ(nat.Count("code=20&action=forward"), 1);
    EXPECT_TRUE(listener.Events().empty());

    peer.Send(UhSessionMessage{UH_PUNCH, 3, 321, 1, 0, peer.Address(), core->OwnAddress()},
              Loopback(core->BoundPort()));
    EXPECT_EQ(peer.Next(&first).code, UH_PUNCH_ACK);
    ASSERT_TRUE(listener.WaitFor(1, 5000));
    EXPECT_EQ(listener.Events()[0].kind, "incoming");
    EXPECT_TRUE(listener.Events()[0].peer.id == peer.Address().id);

    // An introduction the server passes on from another socket is not its.
    nat.Set("{\"forward_from_second\": true}");
    peer.Send(UhSessionMessage{UH_CONNECT_REQUEST, 3, 322, 1, 0, peer.Address(), core->OwnAddress()}, natServer);
    EXPECT_EQ(nat.WaitCount("code=19&action=forward&sid=322", 1, 5), 1);
    EXPECT_EQ(peer.Next(&first, 500).code, 0);
    EXPECT_EQ(nat.Count("code=20"), 1);
}

// The core's punch learns the peer's endpoint from the server's 20 and
// punches there.
TEST_F(UhCoreTest, ConnectReplyThroughTheServerRedirectsThePunch) {
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    ASSERT_TRUE(core->WaitLoggedIn(kLoginWaitMs));
    const Ipv4Endpoint natServer = Loopback(nettest::FixturePort("TOVRA_NAT_PORT"));
    FakePeer peer("RESPONDER.RESPONDER.");
    ASSERT_TRUE(peer.LogIn(natServer));
    ASSERT_TRUE(core->Punch(peer.Address(), 1, 55));

    // The direct punch and the server's introduction, in either order.
    Ipv4Endpoint from;
    UhSessionMessage introduction;
    std::memset(&introduction, 0, sizeof introduction);
    for (int i = 0; i < 4 && introduction.code != UH_CONNECT_REQUEST; ++i)
        introduction = peer.Next(&from);
    ASSERT_EQ(introduction.code, UH_CONNECT_REQUEST);
    EXPECT_TRUE(from == natServer);
    EXPECT_TRUE(introduction.addressee == peer.Address());

    // The peer says it is reachable at another endpoint.
    UdpSocket elsewhere;
    PeerAddress moved = peer.Address();
    moved.endpoint.publicIp = elsewhere.Endpoint().ip;
    moved.endpoint.publicPort = elsewhere.Endpoint().port;
    peer.Send(UhSessionMessage{UH_CONNECT_REPLY, 3, introduction.sessionId, 1, 0, moved, introduction.sender},
              natServer);
    char buffer[2048];
    const int n = elsewhere.Receive(buffer, sizeof buffer, 5000, &from);
    ASSERT_EQ(n, 88);
    const UhSessionMessage punch = Decode(buffer, n);
    EXPECT_EQ(punch.code, UH_PUNCH);
    EXPECT_EQ(punch.sessionId, introduction.sessionId);

    const std::string ack = Encode(UhSessionMessage{UH_PUNCH_ACK, 3, punch.sessionId, 1, 0, moved, punch.sender});
    elsewhere.SendTo(ack.data(), static_cast<int>(ack.size()), from);
    ASSERT_TRUE(listener.WaitFor(1, 5000));
    const RecordingListener::Event e = listener.Events()[0];
    EXPECT_EQ(e.kind, "punch");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.tag, 55);
    EXPECT_TRUE(e.peer.endpoint.Public() == elsewhere.Endpoint());
}

// ------------------------------------------------------------------ settings

TEST_F(UhCoreTest, SettingsFromProperties) {
    uh::UhSettings s;
    PropertyMap p = properties;
    p.erase(PPN_PROP_NAT_PORT);
    EXPECT_FALSE(uh::ReadUhSettings(p, s));  // 2 is required
    p = properties;
    p.erase(PPN_PROP_NAT_SERVER);
    EXPECT_FALSE(uh::ReadUhSettings(p, s));  // and 1

    p = properties;
    p[PPN_PROP_NAT_PORT] = "07000";
    p[PPN_PROP_PORT_HIGH] = "5000";
    p[PPN_PROP_PORT_LOW] = "6000";
    p[PPN_PROP_LOGIN_INTERVAL] = "abc";
    p[PPN_PROP_KEEPALIVE_INTERVAL] = "20";
    ASSERT_TRUE(uh::ReadUhSettings(p, s));
    EXPECT_EQ(s.natServerIp, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(s.natServerPort, htons(7000));
    EXPECT_FALSE(s.hasPortRange);  // high below low: the defaults stay
    EXPECT_EQ(s.loginIntervalMs, 0u);  // not a number: the default stays
    EXPECT_EQ(s.logoutIntervalMs, 50u);
    EXPECT_EQ(s.keepaliveSeconds, 20u);
    EXPECT_TRUE(s.hasStunServer);
    EXPECT_EQ(s.stunServer, "127.0.0.1:80");
    EXPECT_EQ(p[PPN_PROP_NAT_PORT], "07000");  // the caller's text is left alone

    p[PPN_PROP_NAT_SERVER] = "localhost";
    ASSERT_TRUE(uh::ReadUhSettings(p, s));
    EXPECT_EQ(s.natServerIp, htonl(INADDR_LOOPBACK));
}

TEST_F(UhCoreTest, EqualBoundsBindExactlyThatPort) {
    std::uint16_t free;
    {
        UdpSocket probe;
        free = probe.Port();
    }
    properties[PPN_PROP_PORT_HIGH] = std::to_string(free);
    properties[PPN_PROP_PORT_LOW] = std::to_string(free);
    std::unique_ptr<uh::UHCore> core = MakeCore();
    ASSERT_TRUE(core->StartListen(0));
    EXPECT_EQ(core->BoundPort(), free);
    // The port is taken now: a second core with the same range cannot start.
    std::unique_ptr<uh::UHCore> second = MakeCore();
    EXPECT_FALSE(second->StartListen(0));
}

TEST_F(UhCoreTest, SystemChosenPortIsTheOneInTheIdAndEndpoint) {
    properties[PPN_PROP_PORT_HIGH] = "0";
    properties[PPN_PROP_PORT_LOW] = "0";
    std::unique_ptr<uh::UHCore> first = MakeCore();
    std::unique_ptr<uh::UHCore> second = MakeCore();
    ASSERT_TRUE(first->StartListen(0));
    ASSERT_TRUE(second->StartListen(0));
    EXPECT_NE(first->BoundPort(), 0);
    EXPECT_NE(second->BoundPort(), 0);
    EXPECT_NE(first->BoundPort(), second->BoundPort());
    // Started within the same second on one host: only the port tells them apart.
    EXPECT_FALSE(first->OwnAddress().id == second->OwnAddress().id);
}

TEST_F(UhCoreTest, StartNeedsANatServer) {
    uh::UHCore core;
    core.SetPortMapper(std::unique_ptr<PortMapper>(new RecordingMapper(mapperCalls)));
    EXPECT_FALSE(core.StartListen(0));
    core.Stop();
    EXPECT_TRUE(mapperCalls->empty());
}

}  // namespace
