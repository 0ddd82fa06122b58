// The hole-punching table against a host of our own that records what it
// sends and reports, on a clock the test moves.
#include "net/Winsock.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include "net/ByteOrder.h"
#include "net/PunchHost.h"
#include "net/PunchSessions.h"
#include "net/UhMessages.h"

namespace {

using uh::PunchSessions;

std::int64_t g_nowMs;
std::int64_t FakeClock() { return g_nowMs; }

Ipv4Endpoint At(unsigned lastByte, std::uint16_t port) {
    return Ipv4Endpoint{net::HostToNet32(0x7F000000u | lastByte), net::HostToNet16(port)};
}

PeerAddress Address(const char* id, const Ipv4Endpoint& pub, const Ipv4Endpoint& local) {
    PeerAddress a;
    a.Clear();
    a.id = PeerId::FromBytes(id, std::strlen(id));
    a.endpoint.publicIp = pub.ip;
    a.endpoint.publicPort = pub.port;
    a.endpoint.localIp = local.ip;
    a.endpoint.localPort = local.port;
    return a;
}

const Ipv4Endpoint kNatServer = At(1, 7000);
// This host, as the NAT server knows it (public) and as bound (local).
const PeerAddress kSelf = Address("SELF.SELF.SELF.SELF.", At(1, 5001), At(2, 5001));
// The other peer.
const PeerAddress kPeer = Address("PEER.PEER.PEER.PEER.", At(1, 5002), At(3, 5002));

struct Sent {
    UhSessionMessage message;
    Ipv4Endpoint to;
};

struct Result {
    int result;
    PeerAddress peer;
    int tag;
};

class FakeHost : public uh::PunchHost {
public:
    PeerAddress own = kSelf;
    bool recording = true;
    std::vector<Sent> sent;
    std::vector<Result> results;
    std::vector<PeerAddress> incoming;
    boost::mutex mutex;
    boost::condition_variable reported;

    PeerAddress OwnAddress() const override { return own; }
    Ipv4Endpoint NatServer() const override { return kNatServer; }
    bool SendDatagram(const char* data, int length, const Ipv4Endpoint& to) override {
        if (!recording)
            return true;
        PpnHeader header;
        UhMessage m;
        EXPECT_EQ(length, 88);
        EXPECT_EQ(ClassifyDatagram(data, static_cast<std::uint32_t>(length), header), DatagramKind::kUh);
        EXPECT_TRUE(DecodeUhMessage(header, data + 12, static_cast<std::uint32_t>(length - 12), m));
        boost::mutex::scoped_lock lock(mutex);
        sent.push_back(Sent{m.session, to});
        reported.notify_all();
        return true;
    }
    void ReportPunchResult(int result, const UHSession& session) override {
        boost::mutex::scoped_lock lock(mutex);
        results.push_back(Result{result, session.peer, session.tag});
        reported.notify_all();
    }
    void ReportIncomingSession(const PeerAddress& peer) override {
        boost::mutex::scoped_lock lock(mutex);
        incoming.push_back(peer);
        reported.notify_all();
    }

    // Codes sent since the last call, with where they went, as "19@1:7000".
    std::vector<std::string> Take() {
        boost::mutex::scoped_lock lock(mutex);
        std::vector<std::string> out;
        for (const Sent& s : sent)
            out.push_back(std::to_string(s.message.code) + "@" + std::to_string(net::NetToHost32(s.to.ip) & 0xFF) +
                          ":" + std::to_string(net::NetToHost16(s.to.port)));
        sent.clear();
        return out;
    }
};

using Codes = std::vector<std::string>;

class PunchSessionsTest : public ::testing::Test {
protected:
    PunchSessionsTest() : table(host, &FakeClock) { g_nowMs = 1000000; }

    // A message the other side sends us.
    UhSessionMessage From(std::uint8_t code, std::uint16_t id, const PeerAddress& sender = kPeer,
                          const PeerAddress& addressee = kSelf, std::uint8_t flags = 3) {
        return UhSessionMessage{code, flags, id, 1, 0, sender, addressee};
    }

    // The initiator's reply path runs on the worker: queue, then handle.
    void Reply(const UhSessionMessage& m, const Ipv4Endpoint& source) {
        table.OnMessage(m, source);
        table.HandleQueuedMessages(0);
    }

    // Starts a punch and answers the id it was given.
    std::uint16_t StartPunch(int tag = 7) {
        table.Punch(kPeer, tag);
        std::uint16_t id = 0;
        for (const Sent& s : host.sent)
            id = s.message.sessionId;
        host.Take();
        return id;
    }

    FakeHost host;
    PunchSessions table;
};

// ------------------------------------------------------------------ initiator

TEST_F(PunchSessionsTest, PunchAsksTheServerAndPunchesBothEndpointsAtOnce) {
    table.Punch(kPeer, 7);
    ASSERT_EQ(host.sent.size(), 3u);
    const UhSessionMessage& intro = host.sent[0].message;
    EXPECT_EQ(intro.code, UH_CONNECT_REQUEST);
    EXPECT_TRUE(host.sent[0].to == kNatServer);
    EXPECT_EQ(intro.flags, 3);
    EXPECT_EQ(intro.one, 1);
    EXPECT_TRUE(intro.sender == kSelf);
    EXPECT_TRUE(intro.addressee == kPeer);
    EXPECT_EQ(host.sent[1].message.sessionId, intro.sessionId);
    EXPECT_EQ(host.Take(), (Codes{"19@1:7000", "17@1:5002", "17@3:5002"}));
}

TEST_F(PunchSessionsTest, PeerWithoutTranslationGetsOnePunch) {
    table.Punch(Address("PEER.PEER.PEER.PEER.", At(4, 5002), At(4, 5002)), 0);
    EXPECT_EQ(host.Take(), (Codes{"19@1:7000", "17@4:5002"}));
}

// 400 ms x 1.3^sends after the last send; failed in the cycle of the tenth.
TEST_F(PunchSessionsTest, UnansweredScheduleGivesUpAfterTheTenthSend) {
    const std::int64_t start = g_nowMs;
    table.Punch(kPeer, 42);
    std::vector<std::int64_t> sendTimes = {0};
    host.Take();
    for (std::int64_t t = 0; t <= 20000; ++t) {
        g_nowMs = start + t;
        table.StepDueSessions();
        const Codes codes = host.Take();
        if (!codes.empty()) {
            EXPECT_EQ(codes, (Codes{"19@1:7000", "17@1:5002", "17@3:5002"})) << t;
            sendTimes.push_back(t);
        }
        if (sendTimes.size() < 10) {
            table.FailExhaustedSessions();
            EXPECT_TRUE(host.results.empty()) << t;
        }
    }
    const double expected[] = {0, 520, 1196, 2075, 3217, 4702, 6633, 9143, 12406, 16648};
    ASSERT_EQ(sendTimes.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_NEAR(double(sendTimes[i]), expected[i], 10.0) << "send " << i + 1;

    table.FailExhaustedSessions();
    ASSERT_EQ(host.results.size(), 1u);
    EXPECT_EQ(host.results[0].result, 2);
    EXPECT_EQ(host.results[0].tag, 42);
    EXPECT_TRUE(host.results[0].peer == kPeer);
    table.FailExhaustedSessions();
    EXPECT_EQ(host.results.size(), 1u);  // reported once, then gone
}

TEST_F(PunchSessionsTest, ConnectReplyGivesThePeersEndpointAndRestartsThePunches) {
    const std::uint16_t id = StartPunch();
    g_nowMs += 300;
    // The responder as the NAT server saw it, and what it saw of us.
    const PeerAddress responder = Address("PEER.PEER.PEER.PEER.", At(5, 6002), At(6, 6002));
    const PeerAddress usAsSeen = Address("SELF.SELF.SELF.SELF.", At(9, 9001), kSelf.endpoint.Local());
    Reply(From(UH_CONNECT_REPLY, id, responder, usAsSeen), kNatServer);
    const std::vector<Sent> sent = host.sent;
    EXPECT_EQ(host.Take(), (Codes{"17@5:6002", "17@6:6002"}));
    ASSERT_FALSE(sent.empty());
    EXPECT_TRUE(sent[0].message.sender == usAsSeen);  // own public part refreshed

    // State 2: punches only, on the schedule from one send.
    g_nowMs += 519;
    table.StepDueSessions();
    EXPECT_TRUE(host.Take().empty());
    g_nowMs += 1;
    table.StepDueSessions();
    EXPECT_EQ(host.Take(), (Codes{"17@5:6002", "17@6:6002"}));
}

TEST_F(PunchSessionsTest, ConnectHelloTakesTheDatagramsSource) {
    const std::uint16_t id = StartPunch();
    Reply(From(UH_CONNECT_HELLO, id), At(8, 8002));
    EXPECT_EQ(host.Take(), (Codes{"17@8:8002", "17@3:5002"}));
    // Known already: a later hello moves the public endpoint again.
    Reply(From(UH_CONNECT_HELLO, id), At(9, 9002));
    EXPECT_EQ(host.Take(), (Codes{"17@9:9002", "17@3:5002"}));
}

TEST_F(PunchSessionsTest, RepliesThatDoNotFitAreDropped) {
    const std::uint16_t id = StartPunch();
    const PeerAddress stranger = Address("OTHER.OTHER.OTHER.OT", At(5, 6002), At(6, 6002));
    PeerAddress movedLocal = kSelf;
    movedLocal.endpoint.localPort = net::HostToNet16(5999);
    PeerAddress notUs = kSelf;
    notUs.id.bytes[0] = 'X';
    struct Case {
        const char* name;
        UhSessionMessage message;
        Ipv4Endpoint source;
    } cases[] = {
        {"20 not from the NAT server", From(UH_CONNECT_REPLY, id), At(1, 7001)},
        {"20 for another session", From(UH_CONNECT_REPLY, static_cast<std::uint16_t>(id + 1)), kNatServer},
        {"20 to another id", From(UH_CONNECT_REPLY, id, kPeer, notUs), kNatServer},
        {"20 for another local endpoint", From(UH_CONNECT_REPLY, id, kPeer, movedLocal), kNatServer},
        {"20 from another peer", From(UH_CONNECT_REPLY, id, stranger), kNatServer},
        {"21 without flag bit 0", From(UH_CONNECT_HELLO, id, kPeer, kSelf, 2), At(8, 8002)},
        {"18 to another id", From(UH_PUNCH_ACK, id, kPeer, notUs), At(8, 8002)},
    };
    for (const Case& c : cases) {
        Reply(c.message, c.source);
        EXPECT_TRUE(host.Take().empty()) << c.name;
    }
    EXPECT_TRUE(host.results.empty());
    // Still asking: the next step sends 19 again.
    g_nowMs += 520;
    table.StepDueSessions();
    EXPECT_EQ(host.Take().front(), "19@1:7000");
}

// A 20 from another peer is dropped, but what it says of us is kept.
TEST_F(PunchSessionsTest, ForeignReplyStillRefreshesOurPublicEndpoint) {
    const std::uint16_t id = StartPunch();
    const PeerAddress stranger = Address("OTHER.OTHER.OTHER.OT", At(5, 6002), At(6, 6002));
    const PeerAddress usAsSeen = Address("SELF.SELF.SELF.SELF.", At(9, 9001), kSelf.endpoint.Local());
    Reply(From(UH_CONNECT_REPLY, id, stranger, usAsSeen), kNatServer);
    g_nowMs += 520;
    table.StepDueSessions();
    ASSERT_FALSE(host.sent.empty());
    EXPECT_EQ(host.sent[0].message.code, UH_CONNECT_REQUEST);
    EXPECT_TRUE(host.sent[0].message.sender == usAsSeen);
}

TEST_F(PunchSessionsTest, PunchAckEndsTheSessionOnce) {
    const std::uint16_t id = StartPunch(99);
    Reply(From(UH_PUNCH_ACK, id), At(8, 8002));
    ASSERT_EQ(host.results.size(), 1u);
    EXPECT_EQ(host.results[0].result, 1);
    EXPECT_EQ(host.results[0].tag, 99);
    EXPECT_TRUE(host.results[0].peer.endpoint.Public() == At(8, 8002));
    EXPECT_TRUE(host.results[0].peer.endpoint.Local() == kPeer.endpoint.Local());
    Reply(From(UH_PUNCH_ACK, id), At(8, 8002));
    Reply(From(UH_CONNECT_HELLO, id), At(8, 8002));
    EXPECT_EQ(host.results.size(), 1u);
    EXPECT_TRUE(host.Take().empty());
    g_nowMs += 100000;
    table.StepDueSessions();
    table.FailExhaustedSessions();
    EXPECT_TRUE(host.Take().empty());
    EXPECT_EQ(host.results.size(), 1u);
}

// Replies wait for the worker in a bounded queue: a flood cannot grow it.
TEST_F(PunchSessionsTest, QueuedRepliesAreBounded) {
    const std::uint16_t id = StartPunch(11);
    for (int i = 0; i < 1024; ++i)
        table.OnMessage(From(UH_PUNCH_ACK, static_cast<std::uint16_t>(id + 1)), At(8, 8002));
    table.OnMessage(From(UH_PUNCH_ACK, id), At(8, 8002));  // finds the queue full
    table.HandleQueuedMessages(0);
    EXPECT_TRUE(host.results.empty());
    table.OnMessage(From(UH_PUNCH_ACK, id), At(8, 8002));  // room again
    table.HandleQueuedMessages(0);
    ASSERT_EQ(host.results.size(), 1u);
    EXPECT_EQ(host.results[0].tag, 11);
}

// ------------------------------------------------------------------ responder

TEST_F(PunchSessionsTest, IntroductionIsAnsweredThroughTheServerAndStraightBack) {
    table.OnMessage(From(UH_CONNECT_REQUEST, 500), kNatServer);
    const std::vector<Sent> sent = host.sent;
    EXPECT_EQ(host.Take(), (Codes{"20@1:7000", "21@1:5002", "21@3:5002"}));
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].message.sessionId, 500);
    EXPECT_EQ(sent[0].message.flags, 3);
    EXPECT_TRUE(sent[0].message.sender == kSelf);
    EXPECT_TRUE(sent[0].message.addressee == kPeer);
    EXPECT_TRUE(host.incoming.empty());
}

TEST_F(PunchSessionsTest, IntroductionsThatDoNotFitAreDropped) {
    PeerAddress otherPublic = kSelf;
    otherPublic.endpoint.publicPort = net::HostToNet16(5999);
    struct Case {
        const char* name;
        UhSessionMessage message;
        Ipv4Endpoint source;
    } cases[] = {
        {"not from the NAT server", From(UH_CONNECT_REQUEST, 500), At(1, 5002)},
        {"our public endpoint differs", From(UH_CONNECT_REQUEST, 500, kPeer, otherPublic), kNatServer},
        {"flag bit 0 missing", From(UH_CONNECT_REQUEST, 500, kPeer, kSelf, 2), kNatServer},
    };
    for (const Case& c : cases) {
        table.OnMessage(c.message, c.source);
        EXPECT_TRUE(host.Take().empty()) << c.name;
    }
}

TEST_F(PunchSessionsTest, EachPunchIsAnsweredButReportedOnce) {
    table.OnMessage(From(UH_PUNCH, 500), At(8, 8002));
    table.OnMessage(From(UH_PUNCH, 500), At(8, 8003));
    EXPECT_EQ(host.Take(), (Codes{"18@8:8002", "18@8:8003"}));
    ASSERT_EQ(host.incoming.size(), 1u);
    EXPECT_TRUE(host.incoming[0].id == kPeer.id);
    EXPECT_TRUE(host.incoming[0].endpoint.Public() == At(8, 8002));
    // Punched: a late introduction is not answered.
    table.OnMessage(From(UH_CONNECT_REQUEST, 500), kNatServer);
    EXPECT_TRUE(host.Take().empty());
    // Another session of the same peer is another session.
    table.OnMessage(From(UH_PUNCH, 501), At(8, 8002));
    EXPECT_EQ(host.incoming.size(), 2u);
}

TEST_F(PunchSessionsTest, IdleSessionsExpireAfterAMinute) {
    table.OnMessage(From(UH_PUNCH, 500), At(8, 8002));           // punched
    table.OnMessage(From(UH_CONNECT_REQUEST, 600), kNatServer);  // never punched
    host.Take();
    g_nowMs += 59000;
    table.ExpireIdleSessions();  // the first sweep comes a minute after the start
    table.OnMessage(From(UH_PUNCH, 500), At(8, 8002));
    EXPECT_EQ(host.incoming.size(), 1u);
    g_nowMs += 60000;
    table.ExpireIdleSessions();  // 500 was active 60 s ago: kept; 600 goes
    table.OnMessage(From(UH_CONNECT_REQUEST, 600), kNatServer);
    EXPECT_EQ(host.Take(), (Codes{"18@8:8002", "20@1:7000", "21@1:5002", "21@3:5002"}));
    table.OnMessage(From(UH_PUNCH, 500), At(8, 8002));
    EXPECT_EQ(host.incoming.size(), 1u);
    g_nowMs += 61000;
    table.ExpireIdleSessions();
    table.OnMessage(From(UH_PUNCH, 500), At(8, 8002));
    EXPECT_EQ(host.incoming.size(), 2u);  // made anew
}

// ------------------------------------------------------------------ ids and the worker thread

TEST(PunchSessionIds, WrapAfter65535AndStillMatch) {
    FakeHost host;
    host.recording = false;
    std::uint16_t last = 0;
    // Ids are process-wide: punch until the counter passes 65535.
    for (int i = 0; i < 70000 && last != 65535; ++i) {
        PunchSessions table(host, &FakeClock);
        host.recording = true;
        table.Punch(kPeer, 0);
        last = host.sent.front().message.sessionId;
        host.sent.clear();
        host.recording = false;
    }
    ASSERT_EQ(last, 65535);
    host.recording = true;
    PunchSessions table(host, &FakeClock);
    table.Punch(kPeer, 1);
    const std::uint16_t wrapped = host.sent.front().message.sessionId;
    EXPECT_EQ(wrapped, 0);
    table.Punch(kPeer, 2);
    EXPECT_EQ(host.sent.back().message.sessionId, 1);
    table.OnMessage(UhSessionMessage{UH_PUNCH_ACK, 3, 0, 1, 0, kPeer, kSelf}, At(8, 8002));
    table.HandleQueuedMessages(0);
    ASSERT_EQ(host.results.size(), 1u);
    EXPECT_EQ(host.results[0].tag, 1);
}

// With its own thread the table expires sessions and handles replies while
// no punch of its own is pending, and stops promptly.
TEST(PunchSessionsWorker, ServesRepliesAndExpiryWithoutPendingPunches) {
    FakeHost host;
    g_nowMs = 5000000;
    PunchSessions table(host, &FakeClock);
    ASSERT_TRUE(table.Start());
    table.OnMessage(UhSessionMessage{UH_PUNCH, 3, 500, 1, 0, kPeer, kSelf}, At(8, 8002));
    host.Take();
    g_nowMs += 121000;
    // A punched session ignores introductions; once swept, one makes a new
    // session that answers. The sweep comes within a cycle of the worker.
    const UhSessionMessage intro = {UH_CONNECT_REQUEST, 3, 500, 1, 0, kPeer, kSelf};
    boost::mutex::scoped_lock lock(host.mutex);
    for (int i = 0; i < 20 && host.sent.empty(); ++i) {
        lock.unlock();
        table.OnMessage(intro, kNatServer);
        lock.lock();
        host.reported.wait_for(lock, boost::chrono::milliseconds(200), [&] { return !host.sent.empty(); });
    }
    EXPECT_FALSE(host.sent.empty());
    lock.unlock();

    // A punch answered while the worker runs is reported by the worker.
    table.Punch(kPeer, 5);
    std::uint16_t id;
    {
        boost::mutex::scoped_lock l(host.mutex);
        id = host.sent.back().message.sessionId;
    }
    table.OnMessage(UhSessionMessage{UH_PUNCH_ACK, 3, id, 1, 0, kPeer, kSelf}, At(8, 8002));
    lock.lock();
    EXPECT_TRUE(host.reported.wait_for(lock, boost::chrono::seconds(5), [&] { return !host.results.empty(); }));
    lock.unlock();
    table.Stop();
}

}  // namespace
