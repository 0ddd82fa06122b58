#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "net/Ipv4Endpoint.h"
#include "net/PeerId.h"
#include "net/SrudpMessages.h"

namespace srudp {

// Milliseconds on a clock that never goes back.
typedef std::int64_t Millis;

// Where a connection's output goes: datagrams to the peer's endpoint, and
// whole received messages (in order) to the layer above.
class ConnectionIo {
public:
    virtual ~ConnectionIo() {}
    virtual void SendDatagram(const char* data, std::uint32_t length) = 0;
    virtual void DeliverMessage(const char* data, std::uint32_t length) = 0;
};

// One reliable connection: its state machine, the numbered data datagrams in
// both directions and the reassembly of messages. No locks and no clock of
// its own: the transport calls it under its map mutex with the time.
//
// Outgoing: punching 1 -> punched 2 -> connecting 4 (33 sent every 200 ms)
// -> established 3 on the peer's 34. Incoming: punched 2 -> established 3 on
// the peer's 33 (answered by 34). Established: data, acknowledgements and
// keepalives; a local Close goes to closing 5, the peer's 35 to peer closed 6;
// dead 7 is removed without an event.
class SrudpConnection {
public:
    enum State {
        kPunching = 1,
        kPunched = 2,
        kEstablished = 3,
        kConnecting = 4,
        kClosing = 5,
        kPeerClosed = 6,
        kDead = 7,
    };

    static constexpr Millis kControlRetryMs = 200;
    static constexpr Millis kTimeoutMs = 10000;
    static constexpr Millis kClosedGraceMs = 2000;
    static constexpr Millis kKeepaliveMs = 1000;
    static constexpr Millis kResendBaseMs = 400;
    static constexpr Millis kResendStepMs = 100;
    static constexpr int kMaxConnects = 10;
    static constexpr int kMaxCloses = 5;
    // Data datagrams kept ahead of a gap. A legitimate sender has 10 in
    // flight, but selective acknowledgements let it run on past a lost one;
    // beyond this the datagram is dropped unacknowledged and comes again.
    static constexpr std::uint32_t kMaxOutOfOrder = 256;
    // Longest message either side handles; a longer incoming one is dropped
    // whole and the stream goes on with the next message.
    static constexpr std::uint32_t kMaxMessageBytes = 1u << 20;

    SrudpConnection(const PeerId& own, const PeerId& peer, bool initiator, Millis now);

    int GetState() const { return m_state; }
    bool Initiator() const { return m_initiator; }
    const PeerId& Peer() const { return m_peer; }

    // Where every datagram of the connection goes (network order).
    Ipv4Endpoint peerEndpoint;

    // Outgoing: the punch opened the path to endpoint; sends the first 33.
    void StartConnecting(const Ipv4Endpoint& endpoint, Millis now, ConnectionIo& io);
    // A local ConnectTo found this half-open incoming connection: when it
    // times out, the caller hears of it (event 2).
    void NoteConnectAsked() { m_connectAsked = true; }

    // The peer's 33 to 36, received with this header version. Answers the
    // event to raise (0 for none): 4 accepted, 1 connected, 2 refused.
    int OnControl(const SrudpControlMessage& message, std::uint8_t version, Millis now, ConnectionIo& io);
    void OnData(const SrudpDataMessage& message, Millis now, ConnectionIo& io);
    void OnAck(const SrudpAckMessage& message, Millis now);
    void OnKeepalive(Millis now) { m_lastReceived = now; }

    // Only an established connection closes: 35 sent, closing.
    bool Close(Millis now, ConnectionIo& io);

    // Cuts the message into fragments and queues them, all or none: false when
    // not established, for empty or over-long data, or when packing fails.
    bool Queue(const char* data, std::uint32_t length);

    // Sends queued datagrams while fewer than 10 are in flight. The transport
    // calls it as soon as an acknowledgement has made room.
    void FillWindow(Millis now, ConnectionIo& io);

    struct SweepResult {
        bool remove;
        int event;  // to raise on removal; 0 for none
    };
    // One look from the retransmit thread: ends the connection when its time
    // is up, else resends control messages, sends data and keeps it alive.
    SweepResult Sweep(Millis now, ConnectionIo& io);

    // Observers.
    std::size_t InFlight() const { return m_inFlight.size(); }
    std::size_t Queued() const { return m_queued.size(); }
    std::size_t OutOfOrder() const { return m_outOfOrder.size(); }
    std::size_t ReassemblyBytes() const { return m_reassembly.size(); }
    int ConnectsSent() const { return m_connectsSent; }
    int ClosesSent() const { return m_closesSent; }
    std::uint32_t NextSequence() const { return m_nextSequence; }
    std::uint32_t NextExpected() const { return m_nextExpected; }

private:
    struct Stored {
        std::string bytes;  // the packed datagram, sent as it stands every time
        int sends;
        Millis lastSent;
    };

    void Send(const char* data, std::uint32_t length, Millis now, ConnectionIo& io);
    void SendControl(std::uint8_t code, std::uint16_t result, Millis now, ConnectionIo& io,
                     std::uint8_t version = PPN_VERSION);
    void SendStored(Stored& stored, Millis now, ConnectionIo& io);
    void StepData(Millis now, ConnectionIo& io);
    void TakeIn(const char* fragment, std::uint32_t length, ConnectionIo& io);

    const PeerId m_own;
    const PeerId m_peer;
    const bool m_initiator;
    int m_state;
    bool m_connectAsked;

    std::uint32_t m_firstSequence;
    std::uint32_t m_nextSequence;
    std::uint32_t m_nextExpected;
    std::uint32_t m_messageCounter;
    std::uint8_t m_window;
    std::uint8_t m_peerWindow;

    std::map<std::uint32_t, Stored> m_unacked;  // queued and in flight
    std::set<std::uint32_t> m_queued;           // stored, not yet sent
    std::set<std::uint32_t> m_inFlight;         // sent, not yet acknowledged
    std::map<std::uint32_t, std::string> m_outOfOrder;

    Millis m_lastSent;
    Millis m_lastReceived;
    int m_connectsSent;
    int m_closesSent;

    std::string m_reassembly;
    bool m_discarding;  // the message being reassembled outgrew the limit
};

}  // namespace srudp
