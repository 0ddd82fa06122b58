#include "net/SRUDPCore.h"

#include <chrono>

#include "net/PpnEventSink.h"
#include "net/PpnEvents.h"
#include "net/PropertyMap.h"
#include "net/SrudpMessages.h"
#include "net/TransportHost.h"
#include "net/UHSession.h"

namespace srudp {

namespace {

const unsigned kSweepMs = 200;

Millis SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// A connection's output: datagrams to its endpoint through the UH core
// (counted as sent), messages to the facade.
class SRUDPCore::Io : public ConnectionIo {
public:
    Io(SRUDPCore& core, const SrudpConnection& connection) : m_core(core), m_connection(connection) {}

    void SendDatagram(const char* data, std::uint32_t length) override {
        const sockaddr_in to = ToSockaddr(m_connection.peerEndpoint);
        if (m_core.m_uh->SendTo(data, static_cast<int>(length), to))
            m_core.m_stats.AddSent(length);
    }
    void DeliverMessage(const char* data, std::uint32_t length) override {
        m_core.m_sink->DeliverData(m_connection.Peer(), PPN_CONN_SRUDP, data, static_cast<int>(length));
    }

private:
    SRUDPCore& m_core;
    const SrudpConnection& m_connection;
};

SRUDPCore::SRUDPCore(Clock clock)
    : m_clock(clock ? clock : &SteadyMs), m_started(false), m_uh(nullptr), m_sink(nullptr) {
    m_own = PeerId::FromBytes("", 0);
}

SRUDPCore::~SRUDPCore() { Stop(); }

// ------------------------------------------------------------------ start and stop

bool SRUDPCore::Start(uh::TransportHost* uh, PpnEventSink* sink) {
    if (m_started)
        return true;
    if (!uh || !sink)
        return false;
    m_uh = uh;
    m_sink = sink;
    m_own = uh->OwnAddress().id;
    uh->AddListener(this);
    m_started = true;
    try {
        m_thread = boost::thread(RetransmitThread_Functor{this});
    } catch (const boost::thread_resource_error&) {
        m_started = false;
        uh->RemoveListener(this);
        return false;
    }
    return true;
}

void SRUDPCore::Stop() {
    if (!m_started)
        return;
    // Returns once a call of the packet thread into this transport is over.
    m_uh->RemoveListener(this);
    {
        boost::mutex::scoped_lock lock(m_mapMutex);
        m_started = false;
        m_condition.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    boost::mutex::scoped_lock lock(m_mapMutex);
    m_connections.clear();
}

// ------------------------------------------------------------------ facade operations

SrudpConnection* SRUDPCore::Find(const PeerId& peer) {
    const ConnectionMap::iterator it = m_connections.find(peer);
    return it == m_connections.end() ? nullptr : it->second.get();
}

bool SRUDPCore::ConnectTo(const PeerAddress& peer) {
    boost::mutex::scoped_lock outer(m_outerMutex);
    if (!m_started)
        return false;
    boost::mutex::scoped_lock lock(m_mapMutex);
    const ConnectionMap::iterator it = m_connections.find(peer.id);
    if (it != m_connections.end()) {
        SrudpConnection& c = *it->second;
        if (c.GetState() >= SrudpConnection::kPunching && c.GetState() <= SrudpConnection::kConnecting) {
            if (!c.Initiator() && c.GetState() == SrudpConnection::kPunched)
                c.NoteConnectAsked();
            return true;
        }
        m_connections.erase(it);
    }
    m_connections[peer.id].reset(new SrudpConnection(m_own, peer.id, true, m_clock()));
    // The punch table reports from its own worker, never from inside Punch,
    // so asking it under the map mutex is safe.
    if (!m_uh->Punch(peer, 1, 0)) {
        m_connections.erase(peer.id);
        return false;
    }
    return true;
}

bool SRUDPCore::Close(const PeerId& peer) {
    boost::mutex::scoped_lock outer(m_outerMutex);
    boost::mutex::scoped_lock lock(m_mapMutex);
    SrudpConnection* c = Find(peer);
    if (!c)
        return false;
    Io io(*this, *c);
    return c->Close(m_clock(), io);
}

bool SRUDPCore::HasConnection(const PeerId& peer) {
    boost::mutex::scoped_lock lock(m_mapMutex);
    return Find(peer) != nullptr;
}

bool SRUDPCore::IsEstablished(const PeerId& peer) {
    boost::mutex::scoped_lock lock(m_mapMutex);
    const SrudpConnection* c = Find(peer);
    return c && c->GetState() == SrudpConnection::kEstablished;
}

int SRUDPCore::ConnectionState(const PeerId& peer) {
    boost::mutex::scoped_lock lock(m_mapMutex);
    const SrudpConnection* c = Find(peer);
    return c ? c->GetState() : 0;
}

bool SRUDPCore::Send(const PeerId& peer, const char* data, int length) {
    boost::mutex::scoped_lock outer(m_outerMutex);
    if (!m_started || !data || length <= 0)
        return false;
    boost::mutex::scoped_lock lock(m_mapMutex);
    SrudpConnection* c = Find(peer);
    if (!c || !c->Queue(data, static_cast<std::uint32_t>(length)))
        return false;
    // What fits in the window goes out now, on the caller's thread; the rest
    // follows as acknowledgements come back.
    Io io(*this, *c);
    c->FillWindow(m_clock(), io);
    m_condition.notify_all();
    return true;
}

bool SRUDPCore::GetProperty(int id, std::string& text) {
    switch (id) {
    case PPN_STAT_SRUDP_BYTES_RECEIVED:
        text = std::to_string(m_stats.ReceivedTotal());
        return true;
    case PPN_STAT_SRUDP_BYTES_SENT:
        text = std::to_string(m_stats.SentTotal());
        return true;
    case PPN_STAT_SRUDP_RECV_RATE:
        text = std::to_string(m_stats.CurrentReceiveRate());
        return true;
    case PPN_STAT_SRUDP_SEND_RATE:
        text = std::to_string(m_stats.CurrentSendRate());
        return true;
    case PPN_STAT_SRUDP_AVG_RECV_RATE:
        text = std::to_string(m_stats.AverageReceiveRate());
        return true;
    case PPN_STAT_SRUDP_AVG_SEND_RATE:
        text = std::to_string(m_stats.AverageSendRate());
        return true;
    default:
        return false;
    }
}

// ------------------------------------------------------------------ retransmit thread

void SRUDPCore::RetransmitThread() {
    boost::mutex::scoped_lock lock(m_mapMutex);
    while (m_started) {
        if (m_connections.empty())
            m_condition.wait(lock);
        else
            m_condition.wait_for(lock, boost::chrono::milliseconds(kSweepMs));
        if (!m_started)
            return;
        SweepLocked();
    }
}

void SRUDPCore::Sweep() {
    boost::mutex::scoped_lock lock(m_mapMutex);
    SweepLocked();
}

void SRUDPCore::SweepLocked() {
    const Millis now = m_clock();
    for (ConnectionMap::iterator it = m_connections.begin(); it != m_connections.end();) {
        SrudpConnection& c = *it->second;
        Io io(*this, c);
        const SrudpConnection::SweepResult r = c.Sweep(now, io);
        if (!r.remove) {
            ++it;
            continue;
        }
        if (r.event != 0)
            Raise(c, r.event);
        it = m_connections.erase(it);
    }
}

void SRUDPCore::Raise(const SrudpConnection& c, int event) {
    PeerAddress peer;
    peer.Clear();
    peer.id = c.Peer();
    peer.endpoint.publicIp = c.peerEndpoint.ip;
    peer.endpoint.publicPort = c.peerEndpoint.port;
    m_sink->PostEvent(peer, event, PPN_CONN_SRUDP);
}

// ------------------------------------------------------------------ from the UH core

void SRUDPCore::OnPunchResult(int result, int kind, int, const UHSession* session, int) {
    if (kind != 1 || !session)
        return;
    boost::mutex::scoped_lock lock(m_mapMutex);
    if (!m_started)
        return;
    const ConnectionMap::iterator it = m_connections.find(session->peer.id);
    // A result for a connection past punching belongs to an older attempt:
    // taking it would restart an established stream from sequence 1.
    if (it == m_connections.end() || !it->second->Initiator() ||
        it->second->GetState() != SrudpConnection::kPunching)
        return;
    SrudpConnection& c = *it->second;
    if (result == 1) {
        Io io(*this, c);
        c.StartConnecting(session->peer.endpoint.Public(), m_clock(), io);
        m_condition.notify_all();
    } else if (result == 2) {
        Raise(c, PPN_EVENT_CONNECT_FAILED);
        m_connections.erase(it);
    }
}

void SRUDPCore::OnIncomingSession(int kind, int, const PeerAddress* peer) {
    if (kind != 1 || !peer)
        return;
    boost::mutex::scoped_lock lock(m_mapMutex);
    if (!m_started)
        return;
    const ConnectionMap::iterator it = m_connections.find(peer->id);
    if (it != m_connections.end()) {
        const SrudpConnection& c = *it->second;
        const int state = c.GetState();
        if (c.Initiator()) {
            // Both sides connecting at once: the side whose id sorts first
            // gives up its own attempt and takes the other's.
            const bool attempt = state == SrudpConnection::kPunching || state == SrudpConnection::kPunched ||
                                 state == SrudpConnection::kConnecting;
            if (state == SrudpConnection::kEstablished || (attempt && !ComparePeerIds(m_own, peer->id)))
                return;
        }
        m_connections.erase(it);
    }
    std::unique_ptr<SrudpConnection> c(new SrudpConnection(m_own, peer->id, false, m_clock()));
    c->peerEndpoint = peer->endpoint.Public();
    m_connections[peer->id] = std::move(c);
    m_condition.notify_all();
}

void SRUDPCore::OnPacket(const char* data, int length, const PeerAddress* from) {
    if (length < static_cast<int>(kPpnHeaderSize) || !from)
        return;
    m_stats.AddReceived(static_cast<std::uint32_t>(length));
    SrudpMessage m;
    if (!DecodeSrudpMessage(data, static_cast<std::uint32_t>(length), m))
        return;
    const Ipv4Endpoint source = from->endpoint.Public();
    boost::mutex::scoped_lock lock(m_mapMutex);
    if (!m_started)
        return;
    const ConnectionMap::iterator it = m_connections.find(m.sender);
    if (it == m_connections.end())
        return;
    SrudpConnection& c = *it->second;
    const Millis now = m_clock();
    Io io(*this, c);
    switch (m.code) {
    case SRUDP_DATA:
        c.OnData(m.data, now, io);
        break;
    case SRUDP_ACK:
        // The window is refilled at once, here, rather than a thread switch
        // later on the retransmit thread.
        c.OnAck(m.ack, now);
        c.FillWindow(now, io);
        break;
    case SRUDP_KEEPALIVE:
        c.OnKeepalive(now);
        break;
    default:
        HandleControl(it, m, source);
        break;
    }
}

void SRUDPCore::HandleControl(ConnectionMap::iterator it, const SrudpMessage& m, const Ipv4Endpoint& source) {
    SrudpConnection& c = *it->second;
    const int state = c.GetState();
    // While the connection opens, the peer's connect or accept tells where it
    // really is.
    if ((m.code == SRUDP_CONNECT || m.code == SRUDP_ACCEPT) && c.peerEndpoint != source &&
        (state == SrudpConnection::kPunching || state == SrudpConnection::kPunched ||
         state == SrudpConnection::kConnecting))
        c.peerEndpoint = source;
    Io io(*this, c);
    const int event = c.OnControl(m.control, m.header.version, m_clock(), io);
    if (event == 0)
        return;
    Raise(c, event);
    if (event == PPN_EVENT_CONNECT_FAILED)
        m_connections.erase(it);
    else
        m_condition.notify_all();
}

}  // namespace srudp
