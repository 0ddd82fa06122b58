// The STUN client over real sockets against the responder fixture, whose
// script plays the NAT kinds (tests/fixtures/stun_server.py).
#include "net/Winsock.h"

#include <atomic>
#include <string>

#include <boost/thread/thread.hpp>

#include <gtest/gtest.h>

#include "net/StunClient.h"
#include "net/StunNatTest.h"
#include "tests/net/NetTestSupport.h"

namespace {

using nettest::FixtureControl;
using nettest::FixturePort;

TEST(StunParseServerName, PortsAndHosts) {
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t addr;
        std::uint16_t port;
    } cases[] = {
        {"127.0.0.1", true, 0x7F000001, 3478},
        {"127.0.0.1:3479", true, 0x7F000001, 3479},
        {"127.0.0.1:stun", true, 0x7F000001, 3478},
        {"127.0.0.1:3479x", true, 0x7F000001, 3478},
        {"10.1.2.3:1024", true, 0x0A010203, 1024},
        {"127.0.0.1:65534", true, 0x7F000001, 65534},
        {"localhost:4000", true, 0x7F000001, 4000},
        {"127.0.0.1:", false, 0, 0xFFFF},
        {"127.0.0.1:80", false, 0, 0xFFFF},
        {"127.0.0.1:1023", false, 0, 0xFFFF},
        {"127.0.0.1:65535", false, 0, 0xFFFF},
    };
    for (const Case& c : cases) {
        StunIPv4Endpoint e = {0, 0};
        EXPECT_EQ(StunParseServerName(c.text, e), c.ok) << c.text;
        EXPECT_EQ(e.port, c.port) << c.text;
        if (c.ok) {
            EXPECT_EQ(e.addr, c.addr) << c.text;
        }
    }
}

TEST(StunParseServerName, UsesAtMost512Characters) {
    const std::string text = "127.0.0.1" + std::string(503, ' ') + ":3479";
    StunIPv4Endpoint e = {0, 0};
    ASSERT_TRUE(StunParseServerName(text.c_str(), e));
    EXPECT_EQ(e.port, 3478);  // the ":3479" lies beyond the 512th character
}

TEST(StunSockets, LoopbackInterfaceMeansAnyAddress) {
    const SOCKET s = OpenUdpPort(0, 0x7F000001);
    ASSERT_NE(s, INVALID_SOCKET);
    sockaddr_in a;
    int length = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    EXPECT_EQ(a.sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_EQ(OpenUdpPort(ntohs(a.sin_port), 0), INVALID_SOCKET);  // in use
    closesocket(s);
}

TEST(StunSockets, MessageFillingTheBufferIsRefused) {
    nettest::UdpSocket peer;
    const SOCKET s = OpenUdpPort(0, 0);
    sockaddr_in a;
    int length = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    const std::string fits(14, 'f'), fills(15, 'x');
    char buffer[16];
    for (const std::string* m : {&fits, &fills}) {
        ASSERT_TRUE(peer.SendTo(m->data(), static_cast<int>(m->size()), nettest::Loopback(ntohs(a.sin_port))));
        int size = sizeof buffer;
        std::uint32_t from;
        std::uint16_t port;
        EXPECT_EQ(ReceiveUdpMessage(s, buffer, &size, &from, &port), m == &fits) << m->size();
        EXPECT_EQ(size, static_cast<int>(m->size()));
        EXPECT_EQ(port, peer.Port());
    }
    closesocket(s);
}

class StunFixtureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(control.Ready()) << "run under tests/fixtures/runner.py with stun_server";
        server = StunIPv4Endpoint{0x7F000001, FixturePort("TOVRA_STUN_PORT")};
    }

    // Resets the fixture, applies the script and runs the whole test.
    int Run(const std::string& script, std::uint32_t interfaceAddress = 0) {
        control.Set(script.empty() ? "{\"reset\": true}" : "{\"reset\": true, " + script + "}");
        return StunNatTypeTest(server, interfaceAddress, 0);
    }

    FixtureControl control{"TOVRA_STUN_CONTROL_PORT"};
    StunIPv4Endpoint server;
};

TEST_F(StunFixtureTest, NatKinds) {
    struct Case {
        const char* name;
        const char* script;
        int expected;
    } cases[] = {
        {"every test answered, our own address seen", "", STUN_OPEN},
        {"nothing from another address", "\"tests\": {\"2\": \"drop\"}", STUN_SYMMETRIC_FIREWALL},
        {"another address seen, test II answered", "\"mapped_ip\": \"127.0.0.9\"", STUN_FULL_CONE},
        {"another address, other port towards the other server address",
         "\"mapped_ip\": \"127.0.0.9\", \"alt_ip_port_shift\": 7, \"tests\": {\"2\": \"drop\"}", STUN_SYMMETRIC},
        {"another address, changed port gets in", "\"mapped_ip\": \"127.0.0.9\", \"tests\": {\"2\": \"drop\"}",
         STUN_RESTRICTED_CONE},
        {"another address, only the same port gets in",
         "\"mapped_ip\": \"127.0.0.9\", \"tests\": {\"2\": \"drop\", \"3\": \"drop\"}", STUN_PORT_RESTRICTED_CONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.script), c.expected) << c.name;
}

TEST_F(StunFixtureTest, SilentServerGetsSevenRoundsOfThreeRequests) {
    EXPECT_EQ(Run("\"tests\": {\"1\": \"drop\", \"2\": \"drop\", \"3\": \"drop\"}"), STUN_BLOCKED);
    EXPECT_EQ(control.Count("test=1"), 7);
    EXPECT_EQ(control.Count("test=2"), 7);
    EXPECT_EQ(control.Count("test=3&flags=2"), 7);
    EXPECT_EQ(control.Count("test=10"), 0);
}

TEST_F(StunFixtureTest, AnsweredServerAlsoGetsTestTenAtItsOtherAddress) {
    EXPECT_EQ(Run(""), STUN_OPEN);
    EXPECT_EQ(control.Count("test=1"), 1);
    EXPECT_EQ(control.Count("test=10&on=127.0.0.2:" + std::to_string(server.port)), 1);
    EXPECT_EQ(control.Count("test=2&flags=4"), 1);
}

// Only a Binding success response with the whole id of one of the test's
// requests is an answer.
TEST_F(StunFixtureTest, ErrorResponsesAndWrongIdsAreNoAnswers) {
    struct Case {
        const char* name;
        const char* script;
        int expected;
    } cases[] = {
        {"test II answered with an error", "\"tests\": {\"2\": \"error\"}", STUN_SYMMETRIC_FIREWALL},
        {"test II answered with a wrong id", "\"tests\": {\"2\": \"wrong_id\"}", STUN_SYMMETRIC_FIREWALL},
        {"test I answered with an error", "\"tests\": {\"1\": \"error\"}", STUN_BLOCKED},
        {"test I answered with a wrong id", "\"tests\": {\"1\": \"wrong_id\"}", STUN_BLOCKED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.script), c.expected) << c.name;
}

TEST_F(StunFixtureTest, SecondPortTakenFails) {
    const SOCKET first = OpenUdpPort(0, 0);
    sockaddr_in a;
    int length = sizeof a;
    getsockname(first, reinterpret_cast<sockaddr*>(&a), &length);
    const std::uint16_t taken = ntohs(a.sin_port);
    EXPECT_EQ(StunNatTypeTest(server, 0, static_cast<std::uint16_t>(taken - 1)), STUN_FAILURE);
    closesocket(first);
}

// Only time-outs move the test on; datagrams that keep arriving faster than
// the 150 ms time-out must not hold it (and the login after it) for ever.
TEST_F(StunFixtureTest, StrayDatagramsCannotHoldTheTestForEver) {
    control.Set("{\"reset\": true, \"tests\": {\"1\": \"drop\", \"2\": \"drop\", \"3\": \"drop\"}}");
    std::uint16_t port;
    {
        nettest::UdpSocket probe;
        port = probe.Port();
    }
    std::atomic<bool> done(false);
    boost::thread flood([&] {
        nettest::UdpSocket sender;
        for (int i = 0; i < 400 && !done; ++i) {  // 40 s at most
            sender.SendTo("stray", 5, nettest::Loopback(port));
            boost::this_thread::sleep_for(boost::chrono::milliseconds(100));
        }
    });
    const DWORD start = GetTickCount();
    EXPECT_EQ(StunNatTypeTest(server, 0, port), STUN_BLOCKED);
    EXPECT_LT(GetTickCount() - start, 20000u);
    done = true;
    flood.join();
    EXPECT_LT(control.Count("test=1"), 7);  // the stream kept the time-outs from coming
}

}  // namespace
