// One reliable connection on a fake clock: opening and refusing, retries and
// time-outs, closing, the window, the resend schedule, reordering and
// reassembly, the bounds of what a peer can make us keep, and two
// connections talking through a lossy, duplicating, reordering link.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/PpnEvents.h"
#include "net/SrudpConnection.h"

namespace {

using srudp::Millis;
using srudp::SrudpConnection;

const PeerId kAlice = PeerId::FromBytes("ALICE.ALICE.ALICE.AL", 20);
const PeerId kBob = PeerId::FromBytes("BOB.BOB.BOB.BOB.BOB.", 20);
const Ipv4Endpoint kBobEndpoint = {0x0100007f, 0x3930};

// What a connection sent and delivered.
class RecordingIo : public srudp::ConnectionIo {
public:
    void SendDatagram(const char* data, std::uint32_t length) override { sent.emplace_back(data, length); }
    void DeliverMessage(const char* data, std::uint32_t length) override { delivered.emplace_back(data, length); }

    // The decoded datagrams sent since the last call.
    std::vector<SrudpMessage> TakeSent() {
        std::vector<SrudpMessage> out;
        for (const std::string& d : sent) {
            SrudpMessage m;
            EXPECT_TRUE(DecodeSrudpMessage(d.data(), static_cast<std::uint32_t>(d.size()), m));
            out.push_back(m);
        }
        raw.swap(sent);
        sent.clear();
        return out;
    }

    std::vector<std::string> sent, raw, delivered;
};

std::vector<std::uint8_t> Codes(const std::vector<SrudpMessage>& messages) {
    std::vector<std::uint8_t> codes;
    for (const SrudpMessage& m : messages)
        codes.push_back(m.code);
    return codes;
}

// Hands one datagram to a connection as the transport would; the event raised.
int Dispatch(SrudpConnection& c, const std::string& datagram, Millis now, RecordingIo& io) {
    SrudpMessage m;
    if (!DecodeSrudpMessage(datagram.data(), static_cast<std::uint32_t>(datagram.size()), m))
        return -1;
    switch (m.code) {
    case SRUDP_DATA:
        c.OnData(m.data, now, io);
        return 0;
    case SRUDP_ACK:
        c.OnAck(m.ack, now);
        return 0;
    case SRUDP_KEEPALIVE:
        c.OnKeepalive(now);
        return 0;
    default:
        return c.OnControl(m.control, m.header.version, now, io);
    }
}

SrudpControlMessage Control(std::uint8_t code, std::uint16_t sequence, std::uint16_t result, const PeerId& from) {
    return SrudpControlMessage{code, 10, sequence, result, 0, from};
}

// A data datagram as Bob would send it, carrying a whole message.
std::string DataFromBob(std::uint32_t sequence, const std::string& payload, std::uint8_t flags = 0) {
    nps::DefaultBlockBuffer b;
    EncodeSrudpData(b, kBob, sequence, SrudpFragmentHeader{PPN_MAGIC, sequence, flags, 0, 0}, payload.data(),
                    static_cast<std::uint32_t>(payload.size()));
    return std::string(b.data, b.size);
}

std::string AckFromBob(std::uint32_t cumulative, std::vector<std::uint32_t> sequences) {
    nps::DefaultBlockBuffer b;
    EncodeSrudpAck(b, cumulative, kBob, sequences);
    return std::string(b.data, b.size);
}

// Alice's outgoing connection to Bob, established at time 0.
struct Established {
    Established() : c(kAlice, kBob, true, 0) {
        c.StartConnecting(kBobEndpoint, 0, io);
        EXPECT_EQ(c.OnControl(Control(SRUDP_ACCEPT, 1, 0, kBob), 18, 0, io), PPN_EVENT_CONNECTED);
        io.TakeSent();
    }
    SrudpConnection c;
    RecordingIo io;
};

// ------------------------------------------------------------------ opening

TEST(SrudpOpen, ConnectIsRetriedEvery200MsThenFails) {
    SrudpConnection c(kAlice, kBob, true, 0);
    EXPECT_EQ(c.GetState(), SrudpConnection::kPunching);
    RecordingIo io;
    c.StartConnecting(kBobEndpoint, 0, io);
    EXPECT_EQ(c.GetState(), SrudpConnection::kConnecting);
    EXPECT_TRUE(c.peerEndpoint == kBobEndpoint);
    std::vector<SrudpMessage> first = io.TakeSent();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].code, SRUDP_CONNECT);
    EXPECT_EQ(first[0].control.sequence, 1);
    EXPECT_EQ(first[0].control.window, 10);

    EXPECT_FALSE(c.Sweep(199, io).remove);
    EXPECT_TRUE(io.TakeSent().empty());
    Millis failedAt = -1;
    std::vector<Millis> sends = {0};
    for (Millis t = 200; t <= 5000 && failedAt < 0; t += 200) {
        const SrudpConnection::SweepResult r = c.Sweep(t, io);
        if (r.remove) {
            EXPECT_EQ(r.event, PPN_EVENT_CONNECT_FAILED);
            failedAt = t;
        }
        if (!io.TakeSent().empty())
            sends.push_back(t);
    }
    EXPECT_EQ(c.ConnectsSent(), 11);
    EXPECT_EQ(sends.size(), 11u);
    EXPECT_EQ(sends.back(), 2000);
    EXPECT_EQ(failedAt, 2200);
}

TEST(SrudpOpen, IncomingConnectIsAcceptedOnce) {
    SrudpConnection c(kBob, kAlice, false, 0);
    c.peerEndpoint = kBobEndpoint;
    RecordingIo io;
    EXPECT_EQ(c.GetState(), SrudpConnection::kPunched);
    EXPECT_EQ(c.OnControl(Control(SRUDP_CONNECT, 1, 0, kAlice), 18, 5, io), PPN_EVENT_ACCEPTED);
    EXPECT_EQ(c.GetState(), SrudpConnection::kEstablished);
    EXPECT_EQ(c.NextExpected(), 1u);
    std::vector<SrudpMessage> sent = io.TakeSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, SRUDP_ACCEPT);
    EXPECT_EQ(sent[0].control.result, 0);
    EXPECT_EQ(sent[0].control.sequence, 1);
    // Our accept was lost: the connect comes again and is answered again,
    // but the connection is reported once.
    EXPECT_EQ(c.OnControl(Control(SRUDP_CONNECT, 1, 0, kAlice), 18, 205, io), 0);
    EXPECT_EQ(Codes(io.TakeSent()), std::vector<std::uint8_t>{SRUDP_ACCEPT});
}

TEST(SrudpOpen, ConnectOfAnotherVersionIsRefusedAndClosedTwoSecondsLater) {
    SrudpConnection c(kBob, kAlice, false, 0);
    RecordingIo io;
    EXPECT_EQ(c.OnControl(Control(SRUDP_CONNECT, 1, 0, kAlice), 17, 100, io), 0);
    std::vector<SrudpMessage> sent = io.TakeSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, SRUDP_ACCEPT);
    EXPECT_EQ(sent[0].control.result, 17);
    EXPECT_EQ(c.GetState(), SrudpConnection::kPeerClosed);
    EXPECT_FALSE(c.Sweep(2099, io).remove);
    const SrudpConnection::SweepResult r = c.Sweep(2100, io);
    EXPECT_TRUE(r.remove);
    EXPECT_EQ(r.event, PPN_EVENT_CLOSED);
}

// Only the attempt in progress takes an accept; a refusal ends it with event 2.
TEST(SrudpOpen, AcceptsAreTakenOnlyWhileConnecting) {
    {
        SrudpConnection c(kAlice, kBob, true, 0);
        RecordingIo io;
        c.StartConnecting(kBobEndpoint, 0, io);
        EXPECT_EQ(c.OnControl(Control(SRUDP_ACCEPT, 1, 17, kBob), 18, 10, io), PPN_EVENT_CONNECT_FAILED);
        EXPECT_EQ(c.GetState(), SrudpConnection::kDead);
        EXPECT_EQ(c.Sweep(20, io).event, 0);  // the transport raised it already
    }
    {
        Established e;
        EXPECT_EQ(e.c.OnControl(Control(SRUDP_ACCEPT, 1, 0, kBob), 18, 10, e.io), 0);  // repeated
        ASSERT_TRUE(e.c.Close(20, e.io));
        EXPECT_EQ(e.c.OnControl(Control(SRUDP_ACCEPT, 1, 0, kBob), 18, 30, e.io), 0);  // late
        EXPECT_EQ(e.c.GetState(), SrudpConnection::kClosing);
        EXPECT_EQ(e.c.OnControl(Control(SRUDP_CONNECT, 1, 0, kBob), 18, 40, e.io), 0);  // we opened it
        EXPECT_EQ(e.c.GetState(), SrudpConnection::kClosing);
    }
}

// An incoming path whose connect never comes is dropped like any silent
// connection; a ConnectTo of ours that it held up hears event 2.
TEST(SrudpOpen, HalfOpenIncomingTimesOut) {
    for (bool asked : {false, true}) {
        SrudpConnection c(kBob, kAlice, false, 1000);
        if (asked)
            c.NoteConnectAsked();
        RecordingIo io;
        EXPECT_FALSE(c.Sweep(10999, io).remove);
        const SrudpConnection::SweepResult r = c.Sweep(11000, io);
        EXPECT_TRUE(r.remove);
        EXPECT_EQ(r.event, asked ? PPN_EVENT_CONNECT_FAILED : 0);
        EXPECT_TRUE(io.sent.empty());
    }
}

// ------------------------------------------------------------------ keeping alive, timing out, closing

TEST(SrudpLife, IdleConnectionKeepsAliveEverySecondAndTimesOutAfterTen) {
    Established e;
    std::vector<Millis> keepalives;
    Millis timedOutAt = -1;
    for (Millis t = 100; t <= 12000 && timedOutAt < 0; t += 100) {
        const SrudpConnection::SweepResult r = e.c.Sweep(t, e.io);
        if (r.remove) {
            EXPECT_EQ(r.event, PPN_EVENT_TIMEOUT);
            timedOutAt = t;
        }
        for (const SrudpMessage& m : e.io.TakeSent())
            if (m.code == SRUDP_KEEPALIVE)
                keepalives.push_back(t);
    }
    EXPECT_EQ(timedOutAt, 10000);
    ASSERT_GE(keepalives.size(), 9u);
    for (std::size_t i = 0; i < keepalives.size(); ++i)
        EXPECT_EQ(keepalives[i], Millis(1000 * (i + 1)));

    // With the peer's keepalives coming in, it never times out.
    Established live;
    for (Millis t = 100; t <= 30000; t += 100) {
        if (t % 1000 == 0)
            live.c.OnKeepalive(t);
        ASSERT_FALSE(live.c.Sweep(t, live.io).remove) << t;
    }
}

TEST(SrudpLife, LocalCloseIsResentThenDropped) {
    Established e;
    SrudpConnection connecting(kAlice, kBob, true, 0);
    RecordingIo io;
    connecting.StartConnecting(kBobEndpoint, 0, io);
    EXPECT_FALSE(connecting.Close(10, io));  // only an established connection closes

    ASSERT_TRUE(e.c.Close(0, e.io));
    EXPECT_FALSE(e.c.Close(0, e.io));
    EXPECT_EQ(Codes(e.io.TakeSent()), std::vector<std::uint8_t>{SRUDP_CLOSE});
    Millis droppedAt = -1;
    for (Millis t = 200; t <= 3000 && droppedAt < 0; t += 200) {
        const SrudpConnection::SweepResult r = e.c.Sweep(t, e.io);
        if (r.remove) {
            EXPECT_EQ(r.event, 0);
            droppedAt = t;
        }
    }
    EXPECT_EQ(e.c.ClosesSent(), 6);
    EXPECT_EQ(droppedAt, 1200);

    Established acked;
    acked.c.Close(0, acked.io);
    acked.c.OnControl(Control(SRUDP_CLOSE_ACK, 1, 0, kBob), 18, 10, acked.io);
    EXPECT_EQ(acked.c.GetState(), SrudpConnection::kDead);
    const SrudpConnection::SweepResult r = acked.c.Sweep(20, acked.io);
    EXPECT_TRUE(r.remove);
    EXPECT_EQ(r.event, 0);
}

TEST(SrudpLife, PeerCloseIsAcknowledgedAndReportedTwoSecondsAfterTheLastKeepalive) {
    Established e;
    e.c.OnKeepalive(500);
    EXPECT_EQ(e.c.OnControl(Control(SRUDP_CLOSE, 3, 0, kBob), 18, 600, e.io), 0);
    EXPECT_EQ(Codes(e.io.TakeSent()), std::vector<std::uint8_t>{SRUDP_CLOSE_ACK});
    EXPECT_EQ(e.c.GetState(), SrudpConnection::kPeerClosed);
    EXPECT_FALSE(e.c.Sweep(2499, e.io).remove);
    const SrudpConnection::SweepResult r = e.c.Sweep(2500, e.io);
    EXPECT_TRUE(r.remove);
    EXPECT_EQ(r.event, PPN_EVENT_CLOSED);
}

// ------------------------------------------------------------------ sending

TEST(SrudpSend, MessagesAreFragmentedOnTheWire) {
    Established e;
    const std::string m800(800, 'a'), m801(801, 'b');
    ASSERT_TRUE(e.c.Queue(m800.data(), 800));
    ASSERT_TRUE(e.c.Queue(m801.data(), 801));
    EXPECT_EQ(e.c.Queued(), 3u);
    e.c.Sweep(1, e.io);
    const std::vector<SrudpMessage> sent = e.io.TakeSent();
    ASSERT_EQ(sent.size(), 3u);
    struct Expect {
        std::uint32_t sequence, number;
        std::uint8_t flags;
        std::uint16_t offset;
        std::uint32_t payload;
    } expected[] = {{1, 1, 0, 0, 800}, {2, 2, 1, 0, 800}, {3, 2, 3, 800, 1}};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(sent[i].code, SRUDP_DATA);
        SrudpFragmentHeader h;
        ASSERT_TRUE(ReadFragmentHeader(sent[i].data.fragment, sent[i].data.fragmentLength, h));
        EXPECT_EQ(sent[i].data.sequence, expected[i].sequence) << i;
        EXPECT_EQ(h.messageNumber, expected[i].number) << i;
        EXPECT_EQ(h.flags, expected[i].flags) << i;
        EXPECT_EQ(h.offset, expected[i].offset) << i;
        EXPECT_EQ(sent[i].data.fragmentLength - 12, expected[i].payload) << i;
    }
}

TEST(SrudpSend, TenInFlightAtMostAndAcksOpenTheWindow) {
    Established e;
    for (int i = 0; i < 25; ++i)
        ASSERT_TRUE(e.c.Queue("m", 1));
    e.c.Sweep(1, e.io);
    EXPECT_EQ(e.io.TakeSent().size(), 10u);
    EXPECT_EQ(e.c.InFlight(), 10u);
    EXPECT_EQ(e.c.Queued(), 15u);
    // Cumulative 5 frees 1 to 5 although only 5 is listed.
    Dispatch(e.c, AckFromBob(5, {5}), 2, e.io);
    EXPECT_EQ(e.c.InFlight(), 5u);
    // A listed number above the cumulative frees just itself.
    Dispatch(e.c, AckFromBob(5, {8}), 3, e.io);
    EXPECT_EQ(e.c.InFlight(), 4u);
    e.c.Sweep(4, e.io);
    const std::vector<SrudpMessage> more = e.io.TakeSent();
    ASSERT_EQ(more.size(), 6u);
    EXPECT_EQ(more.front().data.sequence, 11u);
    EXPECT_EQ(more.back().data.sequence, 16u);
}

TEST(SrudpSend, UnacknowledgedDataIsResentOnAGrowingSchedule) {
    Established e;
    ASSERT_TRUE(e.c.Queue("lost", 4));
    std::vector<Millis> sends;
    for (Millis t = 0; t <= 2500; t += 50) {
        e.c.Sweep(t, e.io);
        for (const SrudpMessage& m : e.io.TakeSent())
            if (m.code == SRUDP_DATA)
                sends.push_back(t);
    }
    // 400 ms plus 100 ms for every send so far: 500, 600, 700 ms apart.
    EXPECT_EQ(sends, (std::vector<Millis>{0, 500, 1100, 1800}));
}

// The window keeps refilling as later datagrams are acknowledged; the lost
// one must still go again when it is due.
TEST(SrudpSend, LostDatagramIsResentWhileNewDataFlows) {
    Established e;
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(e.c.Queue("data", 4));
    Millis resentAt = -1;
    for (Millis t = 0; t <= 1000 && resentAt < 0; t += 10) {
        e.c.Sweep(t, e.io);
        for (const SrudpMessage& m : e.io.TakeSent()) {
            if (m.code != SRUDP_DATA)
                continue;
            if (m.data.sequence == 1 && t > 0)
                resentAt = t;
            else if (m.data.sequence != 1)
                Dispatch(e.c, AckFromBob(0, {m.data.sequence}), t, e.io);  // all but 1 arrive
        }
    }
    EXPECT_GT(e.c.Queued(), 0u);  // new data was still waiting
    EXPECT_EQ(resentAt, 500);
}

TEST(SrudpSend, MessageThatCannotGoLeavesNothingQueued) {
    Established e;
    const std::string tooLong(SrudpConnection::kMaxMessageBytes + 1, 'x');
    EXPECT_FALSE(e.c.Queue(tooLong.data(), static_cast<std::uint32_t>(tooLong.size())));
    EXPECT_FALSE(e.c.Queue(tooLong.data(), 0));
    EXPECT_FALSE(e.c.Queue(nullptr, 5));
    EXPECT_EQ(e.c.Queued(), 0u);
    EXPECT_EQ(e.c.NextSequence(), 1u);
    ASSERT_TRUE(e.c.Queue(tooLong.data(), SrudpConnection::kMaxMessageBytes));
    EXPECT_EQ(e.c.Queued(), 1311u);

    SrudpConnection connecting(kAlice, kBob, true, 0);
    EXPECT_FALSE(connecting.Queue("x", 1));
}

// ------------------------------------------------------------------ receiving

TEST(SrudpReceive, ReorderedAndRepeatedDataIsDeliveredOnceInOrder) {
    Established e;
    Dispatch(e.c, DataFromBob(1, "one"), 1, e.io);
    Dispatch(e.c, DataFromBob(3, "three"), 2, e.io);
    EXPECT_EQ(e.c.OutOfOrder(), 1u);
    Dispatch(e.c, DataFromBob(2, "two"), 3, e.io);
    Dispatch(e.c, DataFromBob(2, "two"), 4, e.io);
    EXPECT_EQ(e.io.delivered, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(e.c.OutOfOrder(), 0u);
    // Every datagram is acknowledged, the repeat too; the cumulative value is
    // the next expected number minus 1 from before the datagram was taken in.
    const std::vector<SrudpMessage> acks = e.io.TakeSent();
    ASSERT_EQ(acks.size(), 4u);
    const std::uint32_t cumulative[] = {0, 1, 1, 3}, listed[] = {1, 3, 2, 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(acks[i].code, SRUDP_ACK);
        EXPECT_EQ(acks[i].ack.cumulative, cumulative[i]) << i;
        EXPECT_EQ(acks[i].ack.sequences, std::vector<std::uint32_t>{listed[i]}) << i;
    }
}

TEST(SrudpReceive, FragmentsWithoutHeaderAreMessagesAsTheyStand) {
    Established e;
    auto raw = [](std::uint32_t sequence, const std::string& fragment) {
        // A data datagram whose fragment carries no fragment header.
        nps::DefaultBlockBuffer b;
        EncodeSrudpData(b, kBob, sequence, SrudpFragmentHeader{0, 0, 0, 0, 0}, "", 0);
        std::string d(b.data, b.size - 14);
        d += static_cast<char>(fragment.size());
        d += '\0';
        return d + fragment;
    };
    Dispatch(e.c, raw(1, "0123456789"), 1, e.io);
    Dispatch(e.c, raw(2, ""), 2, e.io);
    EXPECT_EQ(e.io.delivered, (std::vector<std::string>{"0123456789", ""}));
}

TEST(SrudpReceive, PiecesAreReassembled) {
    Established e;
    Dispatch(e.c, DataFromBob(1, std::string(800, 'a'), kFragmentPiece), 1, e.io);
    Dispatch(e.c, DataFromBob(2, "bc", kFragmentPiece | kFragmentLast), 2, e.io);
    Dispatch(e.c, DataFromBob(3, "whole"), 3, e.io);
    ASSERT_EQ(e.io.delivered.size(), 2u);
    EXPECT_EQ(e.io.delivered[0], std::string(800, 'a') + "bc");
    EXPECT_EQ(e.io.delivered[1], "whole");
}

TEST(SrudpReceive, DataTooFarAheadIsNeitherKeptNorAcknowledged) {
    Established e;
    Dispatch(e.c, DataFromBob(1 + SrudpConnection::kMaxOutOfOrder, "far"), 1, e.io);
    EXPECT_TRUE(e.io.TakeSent().empty());
    EXPECT_EQ(e.c.OutOfOrder(), 0u);
    Dispatch(e.c, DataFromBob(SrudpConnection::kMaxOutOfOrder, "near"), 2, e.io);
    EXPECT_EQ(e.io.TakeSent().size(), 1u);
    EXPECT_EQ(e.c.OutOfOrder(), 1u);
}

// A peer that never ends its message cannot make us keep more than the
// longest message; the stream goes on with the next one.
TEST(SrudpReceive, OverlongMessageIsDroppedWhole) {
    Established e;
    const std::string piece(800, 'p');
    std::uint32_t sequence = 1;
    const std::uint32_t pieces = SrudpConnection::kMaxMessageBytes / 800 + 2;
    for (std::uint32_t i = 0; i < pieces; ++i) {
        Dispatch(e.c, DataFromBob(sequence++, piece, kFragmentPiece), 1, e.io);
        ASSERT_LE(e.c.ReassemblyBytes(), SrudpConnection::kMaxMessageBytes);
    }
    Dispatch(e.c, DataFromBob(sequence++, "end", kFragmentPiece | kFragmentLast), 1, e.io);
    EXPECT_TRUE(e.io.delivered.empty());
    Dispatch(e.c, DataFromBob(sequence++, "next", kFragmentPiece), 1, e.io);
    Dispatch(e.c, DataFromBob(sequence++, "!", kFragmentPiece | kFragmentLast), 1, e.io);
    EXPECT_EQ(e.io.delivered, std::vector<std::string>{"next!"});
}

TEST(SrudpReceive, NothingButKeepalivesCountsBeforeEstablished) {
    SrudpConnection c(kAlice, kBob, true, 0);
    RecordingIo io;
    c.StartConnecting(kBobEndpoint, 0, io);
    io.TakeSent();
    Dispatch(c, DataFromBob(1, "early"), 1, io);
    EXPECT_TRUE(io.sent.empty());
    EXPECT_TRUE(io.delivered.empty());
}

// ------------------------------------------------------------------ two connections over a bad link

// Carries datagrams between two connections with seeded loss, duplication,
// reordering and delay, on the fake clock.
class LossyLink {
public:
    struct InFlight {
        Millis due;
        std::uint64_t order;
        bool toBob;
        std::string bytes;
    };

    explicit LossyLink(unsigned seed) : m_random(seed) {}

    void Carry(const std::vector<std::string>& datagrams, bool toBob, Millis now) {
        for (const std::string& d : datagrams) {
            const double u = Uniform();
            if (u < 0.10) {
                ++dropped;
                continue;
            }
            const int copies = u < 0.15 ? 2 : 1;
            duplicated += copies - 1;
            for (int i = 0; i < copies; ++i) {
                // 20 % are held back up to 30 ms, which reorders them.
                const Millis delay = 1 + (Uniform() < 0.2 ? static_cast<Millis>(Uniform() * 30) : 0);
                m_queue.push_back(InFlight{now + delay, m_order++, toBob, d});
            }
        }
    }

    // Datagrams due by now, in due order.
    std::vector<InFlight> Due(Millis now) {
        std::stable_sort(m_queue.begin(), m_queue.end(),
                         [](const InFlight& a, const InFlight& b) { return a.due < b.due; });
        std::vector<InFlight> due;
        while (!m_queue.empty() && m_queue.front().due <= now) {
            due.push_back(m_queue.front());
            m_queue.pop_front();
        }
        return due;
    }

    int dropped = 0, duplicated = 0;

private:
    double Uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(m_random); }
    std::mt19937 m_random;
    std::uint64_t m_order = 0;
    std::deque<InFlight> m_queue;
};

std::string MessageBody(unsigned seed, int index, std::size_t length) {
    std::string m(length, '\0');
    std::mt19937 r(seed * 100003u + static_cast<unsigned>(index));
    for (char& c : m)
        c = static_cast<char>(r());
    return m;
}

TEST(SrudpLink, MessagesCrossALossyLinkExactlyOnceInOrder) {
    const unsigned seed = 20240917;
    SrudpConnection alice(kAlice, kBob, true, 0), bob(kBob, kAlice, false, 0);
    RecordingIo aliceIo, bobIo;
    LossyLink link(seed);
    alice.StartConnecting(kBobEndpoint, 0, aliceIo);

    std::mt19937 sizes(seed);
    std::vector<std::string> fromAlice, fromBob;
    for (int i = 0; i < 150; ++i) {
        fromAlice.push_back(MessageBody(seed, i, 1 + sizes() % 4000));
        fromBob.push_back(MessageBody(seed + 1, i, 1 + sizes() % 4000));
    }
    bool queued = false;
    Millis t = 0;
    for (; t < 600000; t += 5) {
        if (!queued && alice.GetState() == SrudpConnection::kEstablished &&
            bob.GetState() == SrudpConnection::kEstablished) {
            for (std::size_t i = 0; i < fromAlice.size(); ++i) {
                ASSERT_TRUE(alice.Queue(fromAlice[i].data(), static_cast<std::uint32_t>(fromAlice[i].size())));
                ASSERT_TRUE(bob.Queue(fromBob[i].data(), static_cast<std::uint32_t>(fromBob[i].size())));
            }
            queued = true;
        }
        for (const LossyLink::InFlight& d : link.Due(t))
            Dispatch(d.toBob ? bob : alice, d.bytes, t, d.toBob ? bobIo : aliceIo);
        if (t % 20 == 0) {
            ASSERT_FALSE(alice.Sweep(t, aliceIo).remove) << t;
            ASSERT_FALSE(bob.Sweep(t, bobIo).remove) << t;
        }
        link.Carry(aliceIo.sent, true, t);
        link.Carry(bobIo.sent, false, t);
        aliceIo.sent.clear();
        bobIo.sent.clear();
        if (bobIo.delivered.size() == fromAlice.size() && aliceIo.delivered.size() == fromBob.size())
            break;
    }
    EXPECT_EQ(bobIo.delivered, fromAlice);
    EXPECT_EQ(aliceIo.delivered, fromBob);
    EXPECT_GT(link.dropped, 50);
    EXPECT_GT(link.duplicated, 20);
    EXPECT_LE(bob.OutOfOrder(), SrudpConnection::kMaxOutOfOrder);
}

}  // namespace
