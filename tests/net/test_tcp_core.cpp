// The TCP transport over real sockets on 127.0.0.1. Both cores and the raw
// peers run on the test thread, which pumps the helper windows' messages.
#include "net/Winsock.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/pack/BlockBuffer.h"
#include "net/PropertyMap.h"
#include "net/TcpCore.h"
#include "net/TcpCoreHost.h"
#include "net/TcpHandshake.h"
#include "tests/net/MessagePump.h"

namespace {

const std::uint32_t kHandshakeFrame = 4 + 82;

using nettest::PumpUntil;

void PumpAWhile() { nettest::PumpAWhile(200); }

struct Recorder : TcpCoreHost {
    struct Event {
        PeerAddress peer;
        int event;
    };
    void PostEvent(const PeerAddress& peer, int event, int type) override {
        EXPECT_EQ(3, type);
        events.push_back(Event{peer, event});
    }
    void DeliverData(const PeerAddress& peer, const char* data, int length, int type) override {
        EXPECT_EQ(3, type);
        messages.push_back(std::string(data, length));
        from.push_back(peer);
    }
    bool Has(int event) const {
        for (const Event& e : events)
            if (e.event == event)
                return true;
        return false;
    }
    std::vector<Event> events;
    std::vector<std::string> messages;
    std::vector<PeerAddress> from;
};

std::uint16_t FreePort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int length = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    closesocket(s);
    return ntohs(a.sin_port);
}

PeerAddress Address(unsigned char tag, std::uint16_t port) {
    PeerAddress a;
    a.Clear();
    std::memset(a.id.bytes, tag, PeerId::kSize);
    a.endpoint.localIp = htonl(INADDR_LOOPBACK);
    a.endpoint.localPort = htons(port);
    return a;
}

std::string Frame(const std::string& payload) {
    const std::uint32_t n = static_cast<std::uint32_t>(payload.size());
    std::string f;
    f += static_cast<char>(n);
    f += static_cast<char>(n >> 8);
    f += static_cast<char>(n >> 16);
    f += static_cast<char>(n >> 24);
    return f + payload;
}

std::string Hello(const PeerAddress& sender, const PeerAddress& addressee) {
    TcpHandshake m;
    m.code = TCP_HELLO;
    m.result = 0;
    m.sender = sender;
    m.addressee = addressee;
    nps::DefaultBlockBuffer buffer;
    EncodeTcpHandshake(buffer, m);
    return Frame(std::string(buffer.data, buffer.size));
}

// A plain blocking client socket standing in for a peer.
class RawPeer {
public:
    explicit RawPeer(std::uint16_t port) : m_socket(socket(AF_INET, SOCK_STREAM, 0)) {
        const BOOL on = TRUE;
        setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        connected = connect(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawPeer() { closesocket(m_socket); }
    bool Send(const std::string& bytes) {
        return send(m_socket, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
    }
    // Reads what is waiting without blocking; true once the peer has closed.
    bool Closed() {
        for (;;) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_socket, &readable);
            timeval none = {0, 0};
            if (select(0, &readable, nullptr, nullptr, &none) != 1)
                return false;
            char buffer[512];
            const int n = recv(m_socket, buffer, sizeof buffer, 0);
            if (n <= 0)
                return true;
            received.append(buffer, n);
        }
    }
    bool connected;
    std::string received;

private:
    SOCKET m_socket;
};

class TcpCoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    void SetUp() override {
        const std::uint16_t port = FreePort();
        own = Address(0xB0, port);
        ASSERT_TRUE(server.StartListen(port, &serverHost, own));
        ASSERT_EQ(port, server.ListenPort());
        ASSERT_TRUE(client.StartListen(0, &clientHost, Address(0xA0, 1)));
    }
    std::uint64_t Stat(TcpCore& core, int id) {
        std::string text;
        EXPECT_TRUE(core.GetProperty(id, text));
        return std::stoull(text);
    }
    // The client core connects to the server core and both finish the handshake.
    void Connect() {
        ASSERT_TRUE(client.ConnectTo(own));
        ASSERT_TRUE(PumpUntil([&] { return clientHost.Has(1) && serverHost.Has(4); }));
    }

    PeerAddress own;
    Recorder serverHost, clientHost;
    TcpCore server, client;
};

TEST_F(TcpCoreTest, HandshakeConnectsBothSides) {
    Connect();
    ASSERT_EQ(1u, clientHost.events.size());
    EXPECT_TRUE(clientHost.events[0].peer == own);
    ASSERT_EQ(1u, serverHost.events.size());
    EXPECT_TRUE(serverHost.events[0].peer == Address(0xA0, 1));
    EXPECT_TRUE(client.HasConnection(own.id));
    EXPECT_TRUE(server.HasConnection(Address(0xA0, 1).id));

    ASSERT_TRUE(client.Send(own.id, "hello", 5));
    ASSERT_TRUE(server.Send(Address(0xA0, 1).id, "world", 5));
    ASSERT_TRUE(PumpUntil([&] { return !serverHost.messages.empty() && !clientHost.messages.empty(); }));
    EXPECT_EQ("hello", serverHost.messages[0]);
    EXPECT_EQ("world", clientHost.messages[0]);
}

TEST_F(TcpCoreTest, RefusesWhatCannotBeDone) {
    PeerAddress noLocal = own;
    noLocal.endpoint.localPort = 0;
    EXPECT_FALSE(client.ConnectTo(noLocal));
    EXPECT_FALSE(client.Send(own.id, "x", 1));
    EXPECT_FALSE(client.Close(own.id));
    TcpCore unstarted;
    EXPECT_FALSE(unstarted.StartListen(0, nullptr, own));
    std::string text;
    EXPECT_FALSE(server.GetProperty(288, text));
    EXPECT_FALSE(server.GetProperty(295, text));
}

// A 100-byte message counts 104 bytes each way, with the prefix.
TEST_F(TcpCoreTest, StatisticsCountTheLengthPrefix) {
    Connect();
    EXPECT_EQ(kHandshakeFrame, Stat(server, PPN_STAT_TCP_BYTES_RECEIVED));
    const std::uint64_t sent = Stat(client, PPN_STAT_TCP_BYTES_SENT);
    ASSERT_TRUE(client.Send(own.id, std::string(100, 'm').data(), 100));
    ASSERT_TRUE(PumpUntil([&] { return !serverHost.messages.empty(); }));
    EXPECT_EQ(kHandshakeFrame + 104, Stat(server, PPN_STAT_TCP_BYTES_RECEIVED));
    EXPECT_EQ(sent + 104, Stat(client, PPN_STAT_TCP_BYTES_SENT));
    for (int id = PPN_STAT_TCP_RECV_RATE; id <= PPN_STAT_TCP_AVG_SEND_RATE; ++id)
        Stat(server, id);
}

// Bytes trickle in one at a time, the length prefix too: each read notice
// finds fewer bytes than a prefix, and the message still arrives, once.
TEST_F(TcpCoreTest, MessageWrittenOneByteAtATimeArrivesOnce) {
    RawPeer peer(server.ListenPort());
    ASSERT_TRUE(peer.connected);
    ASSERT_TRUE(peer.Send(Hello(Address(0xC0, 7), own)));
    ASSERT_TRUE(PumpUntil([&] { return serverHost.Has(4); }));

    std::string payload(64 * 1024, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 7 + i / 256);
    const std::string frame = Frame(payload);
    std::uint64_t expected = kHandshakeFrame;
    for (std::size_t i = 0; i < 12; ++i) {  // past the prefix, each byte seen alone
        ASSERT_TRUE(peer.Send(frame.substr(i, 1)));
        ++expected;
        ASSERT_TRUE(PumpUntil([&] { return Stat(server, PPN_STAT_TCP_BYTES_RECEIVED) == expected; })) << i;
    }
    for (std::size_t i = 12; i < frame.size(); ++i)
        ASSERT_TRUE(peer.Send(frame.substr(i, 1)));
    ASSERT_TRUE(PumpUntil([&] { return !serverHost.messages.empty(); }));
    PumpAWhile();
    ASSERT_EQ(1u, serverHost.messages.size());
    EXPECT_TRUE(serverHost.messages[0] == payload);
    EXPECT_TRUE(serverHost.from[0] == Address(0xC0, 7));
}

// A second connection from a peer already connected is closed after its
// handshake and raises no event.
TEST_F(TcpCoreTest, DuplicateConnectionIsClosed) {
    RawPeer first(server.ListenPort()), second(server.ListenPort());
    ASSERT_TRUE(first.Send(Hello(Address(0xC0, 7), own)));
    ASSERT_TRUE(PumpUntil([&] { return serverHost.Has(4); }));
    ASSERT_TRUE(second.Send(Hello(Address(0xC0, 7), own)));
    ASSERT_TRUE(PumpUntil([&] { return second.Closed(); }));
    EXPECT_FALSE(first.Closed());
    EXPECT_EQ(1u, serverHost.events.size());
    // The first still carries messages.
    ASSERT_TRUE(server.Send(Address(0xC0, 7).id, "still", 5));
    ASSERT_TRUE(PumpUntil([&] { return first.received.size() >= kHandshakeFrame + 9 || first.Closed(); }));
    EXPECT_EQ(Frame("still"), first.received.substr(kHandshakeFrame));
}

// A hello for another host is answered by closing; the connecting core
// reports the close.
TEST_F(TcpCoreTest, HelloForAnotherHostIsClosed) {
    PeerAddress wrong = own;
    wrong.id.bytes[0] ^= 1;
    ASSERT_TRUE(client.ConnectTo(wrong));
    ASSERT_TRUE(PumpUntil([&] { return clientHost.Has(5) || clientHost.Has(3); }));
    EXPECT_TRUE(serverHost.events.empty());
    EXPECT_FALSE(client.HasConnection(wrong.id));
}

// Closing answers true and raises no event on this side; the peer sees an
// orderly close, event 5.
TEST_F(TcpCoreTest, OrderlyCloseGivesEventFive) {
    Connect();
    ASSERT_TRUE(client.Close(own.id));
    EXPECT_FALSE(client.HasConnection(own.id));
    ASSERT_TRUE(PumpUntil([&] { return serverHost.Has(5); }));
    EXPECT_TRUE(serverHost.events.back().peer == Address(0xA0, 1));
    EXPECT_FALSE(server.HasConnection(Address(0xA0, 1).id));
    EXPECT_EQ(1u, clientHost.events.size());
}

// A length beyond the bound closes the connection instead of allocating it.
TEST_F(TcpCoreTest, OversizedFrameLengthClosesTheConnection) {
    RawPeer peer(server.ListenPort());
    ASSERT_TRUE(peer.Send(Hello(Address(0xC0, 7), own)));
    ASSERT_TRUE(PumpUntil([&] { return serverHost.Has(4); }));
    ASSERT_TRUE(peer.Send(std::string("\xff\xff\xff\x7f", 4) + "data"));
    ASSERT_TRUE(PumpUntil([&] { return serverHost.Has(3); }));
    EXPECT_TRUE(PumpUntil([&] { return peer.Closed(); }));
    EXPECT_FALSE(server.HasConnection(Address(0xC0, 7).id));
}

TEST_F(TcpCoreTest, SendQueueLimit) {
    Connect();
    client.SetMaxQueue(35000);
    // Within the first buffer the limit is not consulted.
    EXPECT_TRUE(client.Send(own.id, std::string(100, 'a').data(), 100));
    const std::string big(40000, 'b');
    EXPECT_FALSE(client.Send(own.id, big.data(), static_cast<std::uint32_t>(big.size())));
    client.SetMaxQueue(0);
    EXPECT_TRUE(client.Send(own.id, big.data(), static_cast<std::uint32_t>(big.size())));
    ASSERT_TRUE(PumpUntil([&] { return serverHost.messages.size() == 2; }));
    EXPECT_TRUE(serverHost.messages[1] == big);
}

// Stop while a connection waits for its reply: the transport can be deleted
// and the late close reaches nobody.
TEST(TcpCoreStop, StopDuringHandshakeGivesNoCallback) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ASSERT_EQ(0, listen(listener, 5));
    int length = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);

    Recorder host;
    std::unique_ptr<TcpCore> core(new TcpCore());
    ASSERT_TRUE(core->StartListen(0, &host, Address(0xA0, 1)));
    ASSERT_TRUE(core->ConnectTo(Address(0xB0, ntohs(a.sin_port))));
    const SOCKET accepted = accept(listener, nullptr, nullptr);
    ASSERT_NE(INVALID_SOCKET, accepted);
    // The hello arrives: the connection is in its handshake.
    char buffer[kHandshakeFrame];
    int got = 0;
    ASSERT_TRUE(PumpUntil([&] {
        u_long waiting = 0;
        ioctlsocket(accepted, FIONREAD, &waiting);
        if (waiting > 0)
            got += recv(accepted, buffer + got, static_cast<int>(sizeof buffer) - got, 0);
        return got == static_cast<int>(kHandshakeFrame);
    }));
    core->Stop();
    core.reset();
    closesocket(accepted);
    closesocket(listener);
    PumpAWhile();
    EXPECT_TRUE(host.events.empty());
}

}  // namespace
