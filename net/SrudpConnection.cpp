#include "net/SrudpConnection.h"

#include <new>
#include <utility>
#include <vector>

#include "net/PpnEvents.h"

namespace srudp {

SrudpConnection::SrudpConnection(const PeerId& own, const PeerId& peer, bool initiator, Millis now)
    : peerEndpoint{0, 0},
      m_own(own),
      m_peer(peer),
      m_initiator(initiator),
      m_state(initiator ? kPunching : kPunched),
      m_connectAsked(false),
      m_firstSequence(1),
      m_nextSequence(1),
      m_nextExpected(1),
      m_messageCounter(0),
      m_window(kSrudpWindow),
      m_peerWindow(0),
      m_lastSent(now),
      m_lastReceived(now),
      m_connectsSent(0),
      m_closesSent(0),
      m_discarding(false) {}

// ------------------------------------------------------------------ sending

void SrudpConnection::Send(const char* data, std::uint32_t length, Millis now, ConnectionIo& io) {
    io.SendDatagram(data, length);
    m_lastSent = now;
}

void SrudpConnection::SendControl(std::uint8_t code, std::uint16_t result, Millis now, ConnectionIo& io,
                                  std::uint8_t version) {
    SrudpControlMessage m;
    m.code = code;
    m.window = m_window;
    const bool opening = code == SRUDP_CONNECT || code == SRUDP_ACCEPT;
    m.sequence = static_cast<std::uint16_t>(opening ? m_firstSequence : m_nextSequence);
    m.result = result;
    m.zero = 0;
    m.sender = m_own;
    nps::DefaultBlockBuffer b;
    EncodeSrudpControl(b, m, version);
    if (code == SRUDP_CONNECT)
        ++m_connectsSent;
    if (code == SRUDP_CLOSE)
        ++m_closesSent;
    Send(b.data, b.size, now, io);
}

void SrudpConnection::SendStored(Stored& stored, Millis now, ConnectionIo& io) {
    ++stored.sends;
    stored.lastSent = now;
    Send(stored.bytes.data(), static_cast<std::uint32_t>(stored.bytes.size()), now, io);
}

// ------------------------------------------------------------------ connection state

void SrudpConnection::StartConnecting(const Ipv4Endpoint& endpoint, Millis now, ConnectionIo& io) {
    m_state = kPunched;
    peerEndpoint = endpoint;
    m_firstSequence = m_nextSequence = 1;
    m_window = kSrudpWindow;
    SendControl(SRUDP_CONNECT, kSrudpAccepted, now, io);
    m_state = kConnecting;
}

int SrudpConnection::OnControl(const SrudpControlMessage& m, std::uint8_t version, Millis now, ConnectionIo& io) {
    switch (m.code) {
    case SRUDP_CONNECT:
        if (m_initiator)
            return 0;
        if (m_state == kEstablished) {
            // Our 34 was lost: say it again, but the connection was reported once.
            SendControl(SRUDP_ACCEPT, kSrudpAccepted, now, io);
            m_lastReceived = now;
            return 0;
        }
        if (m_state != kPunched)
            return 0;
        m_lastReceived = now;
        if (version != PPN_VERSION) {
            SendControl(SRUDP_ACCEPT, kSrudpRefused, now, io);
            m_state = kPeerClosed;
            return 0;
        }
        m_state = kEstablished;
        m_firstSequence = m_nextSequence = 1;
        m_nextExpected = m.sequence;
        m_window = kSrudpWindow;
        m_peerWindow = m.window;
        SendControl(SRUDP_ACCEPT, kSrudpAccepted, now, io);
        return PPN_EVENT_ACCEPTED;

    case SRUDP_ACCEPT:
        // Only the attempt in progress takes an accept: a late or repeated one
        // must not reopen a connection that is closing or closed.
        if (!m_initiator || m_state != kConnecting)
            return 0;
        if (m.result != kSrudpAccepted) {
            // Refused: the caller must hear of it, or its attempt never ends.
            m_state = kDead;
            return PPN_EVENT_CONNECT_FAILED;
        }
        m_state = kEstablished;
        m_nextExpected = m.sequence;
        m_peerWindow = m.window;
        m_lastReceived = now;
        return PPN_EVENT_CONNECTED;

    case SRUDP_CLOSE:
        if (m_state == kPunching || m_state == kPunched || m_state == kConnecting)
            return 0;
        SendControl(SRUDP_CLOSE_ACK, kSrudpAccepted, now, io);
        if (m_state == kEstablished || m_state == kPeerClosed)
            m_state = kPeerClosed;
        return 0;

    case SRUDP_CLOSE_ACK:
        if (m_state == kClosing || m_state == kDead)
            m_state = kDead;
        return 0;

    default:
        return 0;
    }
}

bool SrudpConnection::Close(Millis now, ConnectionIo& io) {
    if (m_state != kEstablished)
        return false;
    SendControl(SRUDP_CLOSE, kSrudpAccepted, now, io);
    m_state = kClosing;
    return true;
}

SrudpConnection::SweepResult SrudpConnection::Sweep(Millis now, ConnectionIo& io) {
    const Millis silent = now - m_lastReceived;
    switch (m_state) {
    case kDead:
        return SweepResult{true, 0};
    case kConnecting:
        if (m_connectsSent > kMaxConnects)
            return SweepResult{true, PPN_EVENT_CONNECT_FAILED};
        if (now - m_lastSent >= kControlRetryMs)
            SendControl(SRUDP_CONNECT, kSrudpAccepted, now, io);
        break;
    case kClosing:
        if (m_closesSent > kMaxCloses)
            return SweepResult{true, 0};
        if (now - m_lastSent >= kControlRetryMs)
            SendControl(SRUDP_CLOSE, kSrudpAccepted, now, io);
        break;
    case kPeerClosed:
        if (silent >= kClosedGraceMs)
            return SweepResult{true, PPN_EVENT_CLOSED};
        break;
    case kEstablished:
        if (silent >= kTimeoutMs)
            return SweepResult{true, PPN_EVENT_TIMEOUT};
        StepData(now, io);
        break;
    case kPunched:
        // An incoming path whose connect never came times out like any other
        // connection, so that a ConnectTo of ours is not held up for ever. It
        // was never reported; only a ConnectTo that it swallowed hears of it.
        if (!m_initiator && silent >= kTimeoutMs)
            return SweepResult{true, m_connectAsked ? PPN_EVENT_CONNECT_FAILED : 0};
        break;
    default:
        break;
    }
    return SweepResult{false, 0};
}

// ------------------------------------------------------------------ data out

bool SrudpConnection::Queue(const char* data, std::uint32_t length) {
    if (m_state != kEstablished || !data || length == 0 || length > kMaxMessageBytes)
        return false;
    // Every fragment is packed before any is queued, so a failure leaves the
    // connection as it was: no half message goes out.
    std::vector<std::pair<std::uint32_t, Stored>> packed;
    const std::uint32_t number = m_messageCounter + 1;
    std::uint32_t sequence = m_nextSequence;
    try {
        const std::vector<SrudpPiece> pieces = SplitMessage(length);
        packed.reserve(pieces.size());
        for (const SrudpPiece& piece : pieces) {
            const SrudpFragmentHeader h = {PPN_MAGIC, number, piece.flags, 0,
                                           static_cast<std::uint16_t>(piece.offset)};
            nps::DefaultBlockBuffer b;
            EncodeSrudpData(b, m_own, sequence, h, data + piece.offset, piece.length);
            packed.emplace_back(sequence++, Stored{std::string(b.data, b.size), 0, 0});
        }
    } catch (const nps::base_pack_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_messageCounter = number;
    m_nextSequence = sequence;
    for (auto& p : packed) {
        m_queued.insert(p.first);
        m_unacked.emplace(p.first, std::move(p.second));
    }
    return true;
}

// Resends first: a datagram that was lost goes again when due even while
// acknowledgements keep the window open for new data.
void SrudpConnection::StepData(Millis now, ConnectionIo& io) {
    for (auto it = m_inFlight.begin(); it != m_inFlight.end();) {
        auto stored = m_unacked.find(*it);
        if (stored == m_unacked.end()) {
            it = m_inFlight.erase(it);
            continue;
        }
        Stored& s = stored->second;
        if (now - s.lastSent >= kResendBaseMs + kResendStepMs * s.sends)
            SendStored(s, now, io);
        ++it;
    }
    FillWindow(now, io);
    if (now - m_lastSent >= kKeepaliveMs) {
        nps::DefaultBlockBuffer b;
        EncodeSrudpKeepalive(b, m_own);
        Send(b.data, b.size, now, io);
    }
}

void SrudpConnection::FillWindow(Millis now, ConnectionIo& io) {
    if (m_state != kEstablished)
        return;
    while (!m_queued.empty() && m_inFlight.size() < m_window) {
        const std::uint32_t sequence = *m_queued.begin();
        m_queued.erase(m_queued.begin());
        auto stored = m_unacked.find(sequence);
        if (stored == m_unacked.end())
            continue;
        m_inFlight.insert(sequence);
        SendStored(stored->second, now, io);
    }
}

void SrudpConnection::OnAck(const SrudpAckMessage& m, Millis now) {
    if (m_state != kEstablished)
        return;
    m_lastReceived = now;
    for (std::uint32_t sequence : m.sequences)
        if (m_inFlight.erase(sequence))
            m_unacked.erase(sequence);
    const auto end = m_inFlight.upper_bound(m.cumulative);
    for (auto it = m_inFlight.begin(); it != end; ++it)
        m_unacked.erase(*it);
    m_inFlight.erase(m_inFlight.begin(), end);
}

// ------------------------------------------------------------------ data in

void SrudpConnection::OnData(const SrudpDataMessage& m, Millis now, ConnectionIo& io) {
    if (m_state != kEstablished)
        return;
    m_lastReceived = now;
    const std::uint32_t sequence = m.sequence;
    // Too far ahead to keep: unacknowledged, so the sender tries again later.
    if (sequence >= m_nextExpected && sequence - m_nextExpected >= kMaxOutOfOrder)
        return;
    {
        nps::DefaultBlockBuffer b;
        EncodeSrudpAck(b, m_nextExpected - 1, m_own, std::vector<std::uint32_t>(1, sequence));
        Send(b.data, b.size, now, io);
    }
    if (sequence == m_nextExpected) {
        ++m_nextExpected;
        TakeIn(m.fragment, m.fragmentLength, io);
        for (auto it = m_outOfOrder.find(m_nextExpected); it != m_outOfOrder.end();
             it = m_outOfOrder.find(m_nextExpected)) {
            const std::string fragment = std::move(it->second);
            m_outOfOrder.erase(it);
            ++m_nextExpected;
            TakeIn(fragment.data(), static_cast<std::uint32_t>(fragment.size()), io);
        }
    } else if (sequence > m_nextExpected) {
        m_outOfOrder.emplace(sequence, std::string(m.fragment, m.fragmentLength));
    }
    // Below the next expected: a repeat, acknowledged again and dropped.
}

void SrudpConnection::TakeIn(const char* fragment, std::uint32_t length, ConnectionIo& io) {
    SrudpFragmentHeader h;
    if (!ReadFragmentHeader(fragment, length, h)) {
        io.DeliverMessage(fragment, length);
        return;
    }
    const char* payload = fragment + kSrudpFragmentHeaderSize;
    const std::uint32_t n = length - kSrudpFragmentHeaderSize;
    if (!(h.flags & kFragmentPiece)) {
        io.DeliverMessage(payload, n);
        return;
    }
    if (!m_discarding) {
        if (m_reassembly.size() + n > kMaxMessageBytes) {
            m_discarding = true;
            std::string().swap(m_reassembly);
        } else {
            m_reassembly.append(payload, n);
        }
    }
    if (h.flags & kFragmentLast) {
        if (!m_discarding)
            io.DeliverMessage(m_reassembly.data(), static_cast<std::uint32_t>(m_reassembly.size()));
        std::string().swap(m_reassembly);
        m_discarding = false;
    }
}

}  // namespace srudp
