#include "tests/net/PpnTestSupport.h"

#include <cstdlib>
#include <memory>
#include <random>

#include "net/ByteOrder.h"
#include "net/PPNException.h"
#include "net/UHCore.h"
#include "tests/net/NoGateway.h"

namespace nettest {

void ExpectThrows(const std::function<void()>& f, const ppn::PpnError& row, const char* what) {
    try {
        f();
        ADD_FAILURE() << what << ": nothing thrown, expected " << row.text;
    } catch (const ppn::PPNException& e) {
        EXPECT_STREQ(e.what(), row.text) << what;
        EXPECT_EQ(e.Layer(), row.layer) << what;
        EXPECT_EQ(e.Class(), row.errorClass) << what;
        EXPECT_EQ(e.Code(), row.code) << what;
    }
}

PeerAddress OnLoopback(const PeerId& id, std::uint16_t hostOrderPort) {
    PeerAddress a;
    a.Clear();
    a.id = id;
    a.endpoint.publicIp = a.endpoint.localIp = htonl(INADDR_LOOPBACK);
    a.endpoint.publicPort = a.endpoint.localPort = htons(hostOrderPort);
    return a;
}

int JsonNumber(const std::string& json, const char* key) {
    const std::string quoted = std::string("\"") + key + "\":";
    const std::string::size_type at = json.find(quoted);
    return at == std::string::npos ? -1 : std::atoi(json.c_str() + at + quoted.size());
}

std::string Pattern(unsigned seed, std::size_t length) {
    std::string s(length, '\0');
    std::mt19937 r(seed);
    for (char& c : s)
        c = static_cast<char>(r());
    return s;
}

void PpnCoreTest::SetUp() {
    ASSERT_TRUE(nat.Ready()) << "run under tests/fixtures/runner.py with nat_server";
    nat.Set("{\"reset\": true}");
    UseNoGateway();
}

PropertyMap PpnCoreTest::Properties() {
    PropertyMap p;
    p[PPN_PROP_NAT_SERVER] = "127.0.0.1";
    p[PPN_PROP_NAT_PORT] = std::to_string(FixturePort("TOVRA_NAT_PORT"));
    p[PPN_PROP_STUN_SERVER] = "127.0.0.1:80";  // refused at once: NAT type 7
    p[PPN_PROP_LOGIN_INTERVAL] = "50";
    p[PPN_PROP_LOGOUT_INTERVAL] = "50";
    return p;
}

// The facade offers no wait for the login: ask until it answers, with a bound.
PeerAddress PpnCoreTest::Start(ppn::PPNCore& core, Recorder& listener) {
    core.SetProperties(Properties());
    core.AddListener(&listener);
    core.StartListen(0);
    PeerAddress own;
    own.Clear();
    const DWORD deadline = GetTickCount() + kLoginWaitMs;
    for (;;) {
        try {
            core.GetLocalAddress(own, true);
            break;
        } catch (const ppn::PPNException&) {
            if (GetTickCount() > deadline) {
                ADD_FAILURE() << "no login";
                break;
            }
            Sleep(10);
        }
    }
    return OnLoopback(own.id, net::NetToHost16(own.endpoint.localPort));
}

void PpnCoreTest::Connect(ppn::PPNCore& a, Recorder& aEvents, const PeerAddress& to, Recorder& bEvents) {
    const std::size_t connected = aEvents.CountEvents(PPN_EVENT_CONNECTED);
    const std::size_t accepted = bEvents.CountEvents(PPN_EVENT_ACCEPTED);
    a.ConnectTo(to, PPN_CONN_SRUDP);
    ASSERT_TRUE(aEvents.WaitEvent(PPN_EVENT_CONNECTED, kEventWaitMs, connected + 1));
    ASSERT_TRUE(bEvents.WaitEvent(PPN_EVENT_ACCEPTED, kEventWaitMs, accepted + 1));
}

std::uint16_t PpnCoreTest::Relay(std::uint16_t aPort, std::uint16_t bPort, const std::string& knobs, int* id) {
    const std::string made =
        HttpCall(FixturePort("TOVRA_RELAY_CONTROL_PORT"), "POST", "/_pair",
                 "{\"a_target\": " + std::to_string(aPort) + ", \"b_target\": " + std::to_string(bPort) +
                     (knobs.empty() ? "" : ", " + knobs) + "}");
    *id = JsonNumber(made, "id");
    return static_cast<std::uint16_t>(JsonNumber(made, "a"));
}

void PpnCoreTest::RelayKnobs(int id, const std::string& knobs) {
    relay.Set("{\"id\": " + std::to_string(id) + ", " + knobs + "}");
}

int PpnCoreTest::RelayStat(int id, const char* key) {
    return JsonNumber(relay.Get("/_stats?id=" + std::to_string(id)), key);
}

std::uint16_t PpnCoreTest::Port(const PeerAddress& a) { return net::NetToHost16(a.endpoint.publicPort); }

}  // namespace nettest
