#include "net/SUDTCore.h"

#include "net/PpnEventSink.h"
#include "net/PpnEvents.h"
#include "net/PropertyMap.h"
#include "net/TransportHost.h"
#include "net/UHSession.h"

SUDTCore::SUDTCore() : m_started(false), m_uh(nullptr), m_sink(nullptr) {}

SUDTCore::~SUDTCore() { Stop(); }

bool SUDTCore::Start(uh::TransportHost* uh, PpnEventSink* sink) {
    if (m_started)
        return true;
    if (!uh || !sink)
        return false;
    m_uh = uh;
    m_sink = sink;
    uh->AddListener(this);
    m_started = true;
    return true;
}

void SUDTCore::Stop() {
    if (!m_started)
        return;
    // Returns once a call of the packet thread into this transport is over.
    m_uh->RemoveListener(this);
    boost::mutex::scoped_lock lock(m_mutex);
    m_started = false;
    m_endpoints.clear();
    m_peers.clear();
    m_uh = nullptr;
    m_sink = nullptr;
}

// ------------------------------------------------------------------ the table

void SUDTCore::MoveEndpoint(SudtConnection& c, const Ipv4Endpoint& endpoint) {
    const auto old = m_endpoints.find(Key(c.endpoint));
    if (old != m_endpoints.end() && old->second == &c)
        m_endpoints.erase(old);
    c.endpoint = endpoint;
    m_endpoints[Key(endpoint)] = &c;
}

void SUDTCore::Remove(std::map<PeerId, std::unique_ptr<SudtConnection>, PeerIdLess>::iterator it) {
    // The key may have passed to another peer that now uses that endpoint.
    const auto key = m_endpoints.find(Key(it->second->endpoint));
    if (key != m_endpoints.end() && key->second == it->second.get())
        m_endpoints.erase(key);
    m_peers.erase(it);
}

bool SUDTCore::ConnectTo(const PeerAddress& peer) {
    if (!m_started)
        return false;
    boost::mutex::scoped_lock lock(m_mutex);
    if (m_peers.find(peer.id) == m_peers.end())
        m_peers[peer.id].reset(new SudtConnection{SudtConnection::kWaiting, peer.id, Ipv4Endpoint{0, 0}});
    return true;
}

bool SUDTCore::Close(const PeerId& peer) {
    if (!m_started)
        return false;
    boost::mutex::scoped_lock lock(m_mutex);
    const auto it = m_peers.find(peer);
    if (it == m_peers.end())
        return false;
    Remove(it);
    return true;
}

bool SUDTCore::HasPeer(const PeerId& peer) {
    boost::mutex::scoped_lock lock(m_mutex);
    return m_peers.find(peer) != m_peers.end();
}

bool SUDTCore::SetEndpoint(const PeerId& peer, const Ipv4Endpoint& endpoint) {
    boost::mutex::scoped_lock lock(m_mutex);
    const auto it = m_peers.find(peer);
    if (it == m_peers.end())
        return false;
    if (it->second->endpoint != endpoint)
        MoveEndpoint(*it->second, endpoint);
    return true;
}

bool SUDTCore::Send(const PeerId& peer, const char* data, int length) {
    if (!data || length <= 0 || !m_started)
        return false;
    boost::mutex::scoped_lock lock(m_mutex);
    const auto it = m_peers.find(peer);
    if (it == m_peers.end() || it->second->state != SudtConnection::kReady)
        return false;
    if (!m_uh->SendTo(data, length, ToSockaddr(it->second->endpoint)))
        return false;
    m_meter.AddSent(static_cast<std::uint32_t>(length));
    return true;
}

bool SUDTCore::GetProperty(int id, std::string& text) {
    boost::mutex::scoped_lock lock(m_mutex);
    switch (id) {
    case PPN_STAT_SUDT_BYTES_RECEIVED:
        text = std::to_string(m_meter.ReceivedTotal());
        return true;
    case PPN_STAT_SUDT_BYTES_SENT:
        text = std::to_string(m_meter.SentTotal());
        return true;
    case PPN_STAT_SUDT_RECV_RATE:
        text = std::to_string(m_meter.CurrentReceiveRate());
        return true;
    case PPN_STAT_SUDT_SEND_RATE:
        text = std::to_string(m_meter.CurrentSendRate());
        return true;
    case PPN_STAT_SUDT_AVG_RECV_RATE:
        text = std::to_string(m_meter.AverageReceiveRate());
        return true;
    case PPN_STAT_SUDT_AVG_SEND_RATE:
        text = std::to_string(m_meter.AverageSendRate());
        return true;
    default:
        return false;
    }
}

// ------------------------------------------------------------------ from the UH core

void SUDTCore::OnPunchResult(int result, int, int, const UHSession* session, int) {
    if (!session)
        return;
    boost::mutex::scoped_lock lock(m_mutex);
    if (!m_started)
        return;
    const auto it = m_peers.find(session->peer.id);
    if (it == m_peers.end())
        return;
    if (result == 1) {
        MoveEndpoint(*it->second, session->peer.endpoint.Public());
        it->second->state = SudtConnection::kReady;
    } else if (result == 2) {
        Remove(it);
    }
}

void SUDTCore::OnIncomingSession(int, int, const PeerAddress* peer) {
    if (!peer)
        return;
    boost::mutex::scoped_lock lock(m_mutex);
    if (!m_started)
        return;
    const auto it = m_peers.find(peer->id);
    if (it != m_peers.end())
        Remove(it);
    std::unique_ptr<SudtConnection> c(new SudtConnection{SudtConnection::kReady, peer->id, Ipv4Endpoint{0, 0}});
    MoveEndpoint(*c, peer->endpoint.Public());
    m_peers[peer->id] = std::move(c);
}

void SUDTCore::OnDatagram(const char* data, int length, const PeerAddress* from) {
    if (!from || length <= 0)
        return;
    PeerId peer;
    PpnEventSink* sink;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        if (!m_started)
            return;
        const auto it = m_endpoints.find(Key(from->endpoint.Public()));
        if (it == m_endpoints.end() || it->second->state != SudtConnection::kReady)
            return;
        m_meter.AddReceived(static_cast<std::uint32_t>(length));
        peer = it->second->peer;
        sink = m_sink;
    }
    // Without the mutex: the listeners may send on this transport meanwhile.
    sink->DeliverData(peer, PPN_CONN_SUDT, data, length);
}
