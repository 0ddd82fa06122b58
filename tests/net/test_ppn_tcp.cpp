// The network facade with its TCP transport switched on (properties 8192 to
// 8194): two cores on 127.0.0.1 logged in to the NAT server fixture, talking
// type 3. The TCP sockets live on the test thread, which pumps their helper
// windows' messages while it waits; framing details are the transport's own
// tests.
#include "net/Winsock.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/PPNException.h"
#include "tests/net/PpnTestSupport.h"
#include "tests/net/MessagePump.h"

namespace {

using nettest::ExpectThrows;
using nettest::OnLoopback;
using nettest::Pattern;
using nettest::PpnCoreTest;
using nettest::Recorder;

const int kHandshakeFrame = 4 + 82;

using nettest::PumpUntil;

void PumpAWhile() { nettest::PumpAWhile(300); }

// Events of type 3 with this number.
std::size_t TcpEvents(Recorder& r, int event) {
    std::size_t n = 0;
    for (const Recorder::Item& i : r.Items())
        if (i.isEvent && i.type == PPN_CONN_TCP && i.event == event)
            ++n;
    return n;
}

std::string Stat(ppn::PPNCore& core, int id) {
    PropertyMap asked = {{id, "x"}};
    core.GetProperties(asked);
    return asked[id];
}

// A blocking TCP socket on 127.0.0.1.
struct TcpSocket {
    TcpSocket() : s(socket(AF_INET, SOCK_STREAM, 0)) {}
    ~TcpSocket() { closesocket(s); }
    bool Bind(std::uint16_t port, u_long address = INADDR_LOOPBACK) {
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address);
        a.sin_port = htons(port);
        return bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    std::uint16_t Port() const {
        sockaddr_in a = {};
        int length = sizeof a;
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
        return ntohs(a.sin_port);
    }
    bool Connect(std::uint16_t port) {
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        return connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    SOCKET s;
};

class PpnTcpTest : public PpnCoreTest {
protected:
    // Starts a core with TCP on; listening on the UH port unless told not to.
    PeerAddress StartTcp(ppn::PPNCore& core, Recorder& listener, bool listen, const char* maxQueue = nullptr) {
        PropertyMap p;
        p[PPN_PROP_TCP_ENABLE] = "true";
        if (listen)
            p[PPN_PROP_TCP_SHARE_PORT] = "true";
        if (maxQueue)
            p[PPN_PROP_TCP_MAX_QUEUE] = maxQueue;
        core.SetProperties(p);
        return Start(core, listener);
    }
};

TEST(PpnTcpErrors, RowsOfTheTransport) {
    const struct {
        const ppn::PpnError& row;
        const char* text;
        int code;
    } rows[] = {
        {ppn::kErrTcpStart, "Tcp service start failed.\n", 6},
        {ppn::kErrTcpNotStarted, "Tcp Service Not Started.\n", 20},
        {ppn::kErrTcpConnect, "TcpCore::ConnectTo Failed.\n", 10},
        {ppn::kErrTcpClose, "tcp close failed.\n", 12},
        {ppn::kErrTcpSend, "tcp send failed.\n", 13},
    };
    for (const auto& r : rows) {
        EXPECT_STREQ(r.text, r.row.text);
        EXPECT_EQ(4, r.row.layer) << r.text;
        EXPECT_EQ(1, r.row.errorClass) << r.text;
        EXPECT_EQ(r.code, r.row.code) << r.text;
    }
}

// Handshake through both facades, a large message, the statistics, the
// errors of a running transport and an orderly close seen by the peer.
TEST_F(PpnTcpTest, TwoCoresTalkOverTcp) {
    ppn::PPNCore a, b;
    Recorder aEvents, bEvents;
    const PeerAddress aAddress = StartTcp(a, aEvents, false);
    const PeerAddress bAddress = StartTcp(b, bEvents, true, "40000");

    // Without 8193 nothing listens on a's port.
    TcpSocket probe;
    EXPECT_FALSE(probe.Connect(Port(aAddress)));

    // Statistics answer only while the transport runs.
    EXPECT_EQ("0", Stat(a, PPN_STAT_TCP_BYTES_SENT));

    a.ConnectTo(bAddress, PPN_CONN_TCP);
    ASSERT_TRUE(PumpUntil([&] { return TcpEvents(aEvents, PPN_EVENT_CONNECTED) == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return TcpEvents(bEvents, PPN_EVENT_ACCEPTED) == 1; }));
    for (const Recorder::Item& i : aEvents.Items()) {
        if (i.isEvent && i.type == PPN_CONN_TCP) {
            EXPECT_TRUE(i.peer == bAddress.id);
        }
    }
    for (const Recorder::Item& i : bEvents.Items()) {
        if (i.isEvent && i.type == PPN_CONN_TCP) {
            EXPECT_TRUE(i.peer == aAddress.id);
        }
    }
    EXPECT_EQ(std::to_string(kHandshakeFrame), Stat(a, PPN_STAT_TCP_BYTES_SENT));
    EXPECT_EQ(std::to_string(kHandshakeFrame), Stat(a, PPN_STAT_TCP_BYTES_RECEIVED));
    PropertyMap rates = {{PPN_STAT_TCP_RECV_RATE, "x"}, {PPN_STAT_TCP_SEND_RATE, "x"},
                         {PPN_STAT_TCP_AVG_RECV_RATE, "x"}, {PPN_STAT_TCP_AVG_SEND_RATE, "x"}};
    a.GetProperties(rates);
    for (const auto& r : rates)
        EXPECT_FALSE(r.second.empty()) << r.first;

    ExpectThrows([&] { a.ConnectTo(bAddress, PPN_CONN_TCP); }, ppn::kErrAlreadyConnected, "ConnectTo twice");
    PeerAddress noEndpoint = bAddress;
    noEndpoint.id = PeerId::FromBytes("NO.LOCAL.ENDPOINT...", 20);
    noEndpoint.endpoint.localPort = 0;
    ExpectThrows([&] { a.ConnectTo(noEndpoint, PPN_CONN_TCP); }, ppn::kErrTcpConnect, "ConnectTo no endpoint");
    ExpectThrows([&] { a.Send(noEndpoint.id, PPN_CONN_TCP, "x", 1); }, ppn::kErrTcpSend, "Send unknown");

    // 64 KiB each way: arrives once, whole, as type 3 from the right peer.
    const std::string big = Pattern(7, 64 * 1024);
    a.Send(bAddress.id, PPN_CONN_TCP, big.data(), static_cast<int>(big.size()));
    ASSERT_TRUE(PumpUntil([&] { return bEvents.Messages(PPN_CONN_TCP).size() == 1; }));
    // b's queue limit (8194) is 40000 bytes: more than that at once is refused.
    ExpectThrows([&] { b.Send(aAddress.id, PPN_CONN_TCP, big.data(), static_cast<int>(big.size())); },
                 ppn::kErrTcpSend, "Send over the queue limit");
    b.Send(aAddress.id, PPN_CONN_TCP, big.data(), 30000);
    ASSERT_TRUE(PumpUntil([&] { return aEvents.Messages(PPN_CONN_TCP).size() == 1; }));
    PumpAWhile();
    ASSERT_EQ(1u, bEvents.Messages(PPN_CONN_TCP).size());
    EXPECT_TRUE(bEvents.Messages(PPN_CONN_TCP)[0] == big);
    EXPECT_TRUE(aEvents.Messages(PPN_CONN_TCP)[0] == big.substr(0, 30000));
    for (const Recorder::Item& i : bEvents.Items()) {
        if (!i.isEvent) {
            EXPECT_TRUE(i.peer == aAddress.id);
        }
    }
    EXPECT_EQ(std::to_string(kHandshakeFrame + 4 + 30000), Stat(a, PPN_STAT_TCP_BYTES_RECEIVED));
    EXPECT_EQ(std::to_string(kHandshakeFrame + 4 + big.size()), Stat(a, PPN_STAT_TCP_BYTES_SENT));

    // The other connection types know nothing of this peer.
    ExpectThrows([&] { a.Send(bAddress.id, PPN_CONN_SRUDP, "x", 1); }, ppn::kErrSrudpNoConnection, "Send 1");

    // A local close raises nothing here; the peer sees an orderly close.
    a.Close(bAddress.id, PPN_CONN_TCP);
    ASSERT_TRUE(PumpUntil([&] { return TcpEvents(bEvents, PPN_EVENT_CLOSED) == 1; }));
    PumpAWhile();
    EXPECT_EQ(0u, TcpEvents(aEvents, PPN_EVENT_CLOSED) + TcpEvents(aEvents, PPN_EVENT_TIMEOUT));
    ExpectThrows([&] { a.Send(bAddress.id, PPN_CONN_TCP, "x", 1); }, ppn::kErrTcpSend, "Send after Close");
    ExpectThrows([&] { b.Send(aAddress.id, PPN_CONN_TCP, "x", 1); }, ppn::kErrTcpSend, "Send after the close");
    a.Close(bAddress.id, PPN_CONN_TCP);  // gone: nothing to do

    // Connected again, then the listening side stops: the other side hears of it.
    a.ConnectTo(bAddress, PPN_CONN_TCP);
    ASSERT_TRUE(PumpUntil([&] { return TcpEvents(aEvents, PPN_EVENT_CONNECTED) == 2; }));
    ASSERT_TRUE(PumpUntil([&] { return TcpEvents(bEvents, PPN_EVENT_ACCEPTED) == 2; }));
    const std::size_t bItems = bEvents.Items().size();
    b.Stop();
    ASSERT_TRUE(PumpUntil([&] {
        return TcpEvents(aEvents, PPN_EVENT_CLOSED) + TcpEvents(aEvents, PPN_EVENT_TIMEOUT) == 1;
    }));
    PumpAWhile();
    EXPECT_EQ(bItems, bEvents.Items().size());
    PropertyMap asked = {{PPN_STAT_TCP_BYTES_SENT, "x"}};
    ExpectThrows([&] { b.GetProperties(asked); }, ppn::kErrUnknownProperty, "statistics after Stop");
    ExpectThrows([&] { b.ConnectTo(aAddress, PPN_CONN_TCP); }, ppn::kErrNotStarted, "ConnectTo after Stop");
    a.Stop();
}

// Stop while an outgoing connection waits for its hello reply: the facade's
// listeners hear nothing, then or later.
TEST_F(PpnTcpTest, StopDuringHandshakeGivesNoCallback) {
    ppn::PPNCore a;
    Recorder aEvents;
    StartTcp(a, aEvents, true);
    TcpSocket listener;
    ASSERT_TRUE(listener.Bind(0));
    ASSERT_EQ(0, listen(listener.s, 5));
    a.ConnectTo(OnLoopback(PeerId::FromBytes("SILENT.PEER.........", 20), listener.Port()), PPN_CONN_TCP);
    const SOCKET accepted = accept(listener.s, nullptr, nullptr);
    ASSERT_NE(INVALID_SOCKET, accepted);
    char hello[kHandshakeFrame];
    int got = 0;
    ASSERT_TRUE(PumpUntil([&] {
        u_long waiting = 0;
        ioctlsocket(accepted, FIONREAD, &waiting);
        if (waiting > 0)
            got += recv(accepted, hello + got, kHandshakeFrame - got, 0);
        return got == kHandshakeFrame;
    }));
    const std::size_t before = aEvents.Items().size();
    a.Stop();
    closesocket(accepted);
    PumpAWhile();
    EXPECT_EQ(before, aEvents.Items().size());
    EXPECT_EQ(0u, TcpEvents(aEvents, PPN_EVENT_CLOSED) + TcpEvents(aEvents, PPN_EVENT_CONNECT_FAILED));
}

// The TCP port is the UH port; when TCP cannot have it, the start fails with
// every layer stopped, and a later start succeeds on the same port.
TEST_F(PpnTcpTest, TcpStartFailureStopsEveryLayer) {
    TcpSocket taken;
    ASSERT_TRUE(taken.Bind(0, INADDR_ANY));
    ASSERT_EQ(0, listen(taken.s, 1));
    const std::string port = std::to_string(taken.Port());
    ppn::PPNCore core;
    Recorder events;
    PropertyMap p = Properties();
    p[PPN_PROP_PORT_LOW] = p[PPN_PROP_PORT_HIGH] = port;
    p[PPN_PROP_TCP_ENABLE] = "true";
    p[PPN_PROP_TCP_SHARE_PORT] = "true";
    core.SetProperties(p);
    ExpectThrows([&] { core.StartListen(0); }, ppn::kErrTcpStart, "StartListen on a taken TCP port");
    PeerAddress out;
    ExpectThrows([&] { core.GetLocalAddress(out, false); }, ppn::kErrNotStarted, "after the failed start");

    // The UH socket was let go: the same UDP port binds again.
    closesocket(taken.s);
    taken.s = INVALID_SOCKET;
    core.StartListen(0);
    core.GetLocalAddress(out, false);
    EXPECT_EQ(port, std::to_string(ntohs(out.endpoint.localPort)));
    TcpSocket client;
    EXPECT_TRUE(client.Connect(static_cast<std::uint16_t>(std::stoi(port))));
    core.Stop();
}

}  // namespace
