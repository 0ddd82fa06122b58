// The UDP completion engine over real sockets on 127.0.0.1: straight, with a
// recording owner, and under a started UH core.
#include "net/Winsock.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include "net/PortMapper.h"
#include "net/UHCore.h"
#include "net/UdpCompletionEngine.h"
#include "tests/net/NetTestSupport.h"

namespace {

using nettest::Loopback;
using nettest::UdpSocket;

const unsigned kWaitMs = 10000;

// Counts what the engine hands to it; never started.
class RecordingOwner : public uh::UHCore {
public:
    void OnEngineDatagram(SOCKET, const char* data, int length, const sockaddr_in&, int, int status) override {
        boost::mutex::scoped_lock lock(m_mutex);
        ++calls;
        if (status == 0 && length > 0)
            last.assign(data, length);
        m_changed.notify_all();
    }
    bool WaitFor(const std::string& text) {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_changed.wait_for(lock, boost::chrono::milliseconds(kWaitMs), [&] { return last == text; });
    }
    int Calls() {
        boost::mutex::scoped_lock lock(m_mutex);
        return calls;
    }

private:
    int calls = 0;
    std::string last;
    boost::mutex m_mutex;
    boost::condition_variable m_changed;
};

// A UDP socket on 127.0.0.1 that the engine owns the receives of.
SOCKET BoundSocket(std::uint16_t& port) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int length = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    port = ntohs(a.sin_port);
    return s;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateUdpEngine(true)); }
    void TearDown() override { DestroyUdpEngine(); }
};

TEST(UdpEngineWorkers, TwiceTheProcessorsAtMostTen) {
    const struct {
        unsigned processors, workers;
    } cases[] = {{1, 2}, {2, 4}, {5, 10}, {8, 10}, {64, 10}};
    for (const auto& c : cases)
        EXPECT_EQ(c.workers, UdpCompletionEngine::WorkerCount(c.processors)) << c.processors;
}

TEST(UdpEngineLifecycle, CreateOnlyWhenWantedAndOnce) {
    EXPECT_TRUE(CreateUdpEngine(false));
    EXPECT_EQ(nullptr, GetUdpEngine());
    ASSERT_TRUE(CreateUdpEngine(true));
    UdpCompletionEngine* engine = GetUdpEngine();
    ASSERT_NE(nullptr, engine);
    EXPECT_GE(engine->Workers(), 2u);
    EXPECT_TRUE(CreateUdpEngine(true));
    EXPECT_EQ(engine, GetUdpEngine());
    DestroyUdpEngine();
    EXPECT_EQ(nullptr, GetUdpEngine());
    DestroyUdpEngine();
}

TEST_F(EngineTest, RegisterRefusesBadArguments) {
    RecordingOwner owner;
    std::uint16_t port;
    SOCKET s = BoundSocket(port);
    EXPECT_EQ(nullptr, GetUdpEngine()->Register(INVALID_SOCKET, &owner));
    EXPECT_EQ(nullptr, GetUdpEngine()->Register(s, nullptr));
    closesocket(s);
}

TEST_F(EngineTest, SendRefusesEmptyAndOversizedData) {
    std::uint16_t port;
    SOCKET s = BoundSocket(port);
    const sockaddr_in to = ToSockaddr(Loopback(port));
    const std::string big(1501, 'x');
    UdpCompletionEngine& engine = *GetUdpEngine();
    EXPECT_FALSE(engine.Send(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, nullptr, 5));
    EXPECT_FALSE(engine.Send(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, "x", 0));
    EXPECT_FALSE(engine.Send(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, big.data(), 1501));
    EXPECT_TRUE(engine.Send(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, big.data(), 1500));
    closesocket(s);
}

// Each empty datagram completes a receive with 0 bytes; more of them than
// there are receives outstanding must not leave the socket deaf.
TEST_F(EngineTest, EmptyDatagramsDoNotUseUpTheReceives) {
    RecordingOwner owner;
    std::uint16_t port;
    SOCKET s = BoundSocket(port);
    UdpEngineRegistration* r = GetUdpEngine()->Register(s, &owner);
    ASSERT_NE(nullptr, r);
    UdpSocket peer;
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(peer.SendTo("", 0, Loopback(port)));
    ASSERT_TRUE(peer.SendTo("hello", 5, Loopback(port)));
    EXPECT_TRUE(owner.WaitFor("hello"));
    GetUdpEngine()->Unregister(r);
    closesocket(s);
}

// An ICMP port-unreachable for an earlier send may end a receive with an
// error; the socket still gets the datagrams after it.
TEST_F(EngineTest, SendsAndKeepsReceivingAfterAPortUnreachable) {
    RecordingOwner owner;
    std::uint16_t port;
    SOCKET s = BoundSocket(port);
    UdpEngineRegistration* r = GetUdpEngine()->Register(s, &owner);
    ASSERT_NE(nullptr, r);
    std::uint16_t deadPort;
    closesocket(BoundSocket(deadPort));
    const sockaddr_in dead = ToSockaddr(Loopback(deadPort));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(GetUdpEngine()->Send(s, reinterpret_cast<const sockaddr*>(&dead), sizeof dead, "x", 1));

    UdpSocket peer;
    const sockaddr_in to = ToSockaddr(peer.Endpoint());
    ASSERT_TRUE(GetUdpEngine()->Send(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, "ping", 4));
    char buffer[64];
    Ipv4Endpoint from;
    ASSERT_EQ(4, peer.Receive(buffer, sizeof buffer, kWaitMs, &from));
    EXPECT_EQ(0, std::memcmp(buffer, "ping", 4));
    EXPECT_EQ(htons(port), from.port);
    ASSERT_TRUE(peer.SendTo("pong", 4, Loopback(port)));
    EXPECT_TRUE(owner.WaitFor("pong"));
    GetUdpEngine()->Unregister(r);
    closesocket(s);
}

// After Unregister the owner hears nothing: a datagram sent to the old
// socket before one to a second socket is not passed on, even once the
// second one has arrived and the workers have ended.
TEST_F(EngineTest, UnregisteredSocketCallsItsOwnerNoMore) {
    RecordingOwner gone, other;
    std::uint16_t oldPort, newPort;
    SOCKET oldSocket = BoundSocket(oldPort);
    SOCKET newSocket = BoundSocket(newPort);
    UdpEngineRegistration* oldRegistration = GetUdpEngine()->Register(oldSocket, &gone);
    ASSERT_NE(nullptr, oldRegistration);
    UdpSocket peer;
    ASSERT_TRUE(peer.SendTo("one", 3, Loopback(oldPort)));
    ASSERT_TRUE(gone.WaitFor("one"));
    const int before = gone.Calls();

    GetUdpEngine()->Unregister(oldRegistration);
    // The record goes back and serves the next socket.
    UdpEngineRegistration* newRegistration = GetUdpEngine()->Register(newSocket, &other);
    ASSERT_NE(nullptr, newRegistration);
    ASSERT_TRUE(peer.SendTo("late", 4, Loopback(oldPort)));
    ASSERT_TRUE(peer.SendTo("two", 3, Loopback(newPort)));
    ASSERT_TRUE(other.WaitFor("two"));
    closesocket(oldSocket);
    GetUdpEngine()->Unregister(newRegistration);
    closesocket(newSocket);
    DestroyUdpEngine();
    EXPECT_EQ(before, gone.Calls());
    EXPECT_EQ(1, other.Calls());
}

// ------------------------------------------------------------------ under a UH core

class NoMapper : public PortMapper {
public:
    bool Init() override { return false; }
    bool Add(const char*, std::uint16_t, int, std::uint16_t) override { return false; }
    bool Remove(std::uint16_t, int) override { return false; }
    void Release() override {}
};

// Counts the raw datagrams the packet thread hands out.
class CountingCore : public uh::UHCore {
public:
    void DispatchDatagram(const char* data, int length, const sockaddr_in&) override {
        boost::mutex::scoped_lock lock(m_mutex);
        if (length == 8 && std::memcmp(data, "datagram", 8) == 0)
            ++count;
        m_changed.notify_all();
    }
    bool WaitCount(int n) {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_changed.wait_for(lock, boost::chrono::milliseconds(kWaitMs), [&] { return count >= n; });
    }
    int Count() {
        boost::mutex::scoped_lock lock(m_mutex);
        return count;
    }

private:
    int count = 0;
    boost::mutex m_mutex;
    boost::condition_variable m_changed;
};

void Configure(uh::UHCore& core, const UdpSocket& natServer) {
    core.SetNatServer(htonl(INADDR_LOOPBACK), htons(natServer.Port()));
    core.SetStunServer("127.0.0.1:80");  // outside the allowed ports: fails at once
    core.SetPortMapper(std::unique_ptr<PortMapper>(new NoMapper()));
}

TEST(UdpEngineCore, CoreDecidesAtConstruction) {
    DestroyUdpEngine();
    CountingCore before;
    ASSERT_TRUE(CreateUdpEngine(true));
    CountingCore after;
    EXPECT_FALSE(before.UsesEngine());
    EXPECT_TRUE(after.UsesEngine());
    DestroyUdpEngine();
}

TEST(UdpEngineCore, TenThousandDatagramsReachACoreMadeAfterTheEngine) {
    ASSERT_TRUE(CreateUdpEngine(true));
    {
        UdpSocket natServer;
        CountingCore core;
        ASSERT_TRUE(core.UsesEngine());
        Configure(core, natServer);
        ASSERT_TRUE(core.StartListen(0));
        const Ipv4Endpoint to = Loopback(core.BoundPort());

        UdpSocket peer;
        const int kTotal = 10000, kBatch = 100;
        for (int sent = 0; sent < kTotal;) {
            for (int i = 0; i < kBatch; ++i, ++sent)
                ASSERT_TRUE(peer.SendTo("datagram", 8, to));
            ASSERT_TRUE(core.WaitCount(sent)) << core.Count() << " of " << sent;
        }
        // Sends go through the engine too.
        const sockaddr_in back = ToSockaddr(peer.Endpoint());
        ASSERT_TRUE(core.SendTo("reply", 5, back));
        char buffer[16];
        EXPECT_EQ(5, peer.Receive(buffer, sizeof buffer, kWaitMs));
        core.Stop();
        EXPECT_EQ(kTotal, core.Count());
    }
    DestroyUdpEngine();
}

}  // namespace
