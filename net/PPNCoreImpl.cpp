#include "net/PPNCoreImpl.h"

#include <cstdlib>

#include "net/EventListener.h"
#include "net/PPNCore.h"
#include "net/PpnErrors.h"
#include "net/PpnEvents.h"
#include "net/SRUDPCore.h"
#include "net/SUDTCore.h"
#include "net/SrudpConnection.h"
#include "net/TcpCore.h"
#include "net/UHCore.h"
#include "net/UhProperties.h"

namespace {

bool IsSrudpStatistic(int id) { return id >= PPN_STAT_SRUDP_BYTES_RECEIVED && id <= PPN_STAT_SRUDP_AVG_SEND_RATE; }
bool IsSudtStatistic(int id) { return id >= PPN_STAT_SUDT_BYTES_RECEIVED && id <= PPN_STAT_SUDT_AVG_SEND_RATE; }
bool IsTcpStatistic(int id) { return id >= PPN_STAT_TCP_BYTES_RECEIVED && id <= PPN_STAT_TCP_AVG_SEND_RATE; }

bool IsTrue(const PropertyMap& map, int id) {
    std::string value;
    return GetPropertyValue(map, id, value) && value == "true";
}

// Decimal bytes; absent or unreadable: 0, no limit.
std::uint32_t QueueLimit(const PropertyMap& map) {
    std::string value;
    if (!GetPropertyValue(map, PPN_PROP_TCP_MAX_QUEUE, value))
        return 0;
    return static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
}

}  // namespace

PPNCoreImpl::PPNCoreImpl() : m_started(false), m_winsock(false), m_notifyRunning(false) {}

PPNCoreImpl::~PPNCoreImpl() {
    Stop();
    boost::mutex::scoped_lock lock(m_eventMutex);
    m_events.clear();
}

// ------------------------------------------------------------------ properties

void PPNCoreImpl::SetProperties(const PropertyMap& properties) {
    boost::mutex::scoped_lock lock(m_coreMutex);
    for (const auto& p : properties)
        m_properties[p.first] = p.second;
}

// Statistics and the NAT type come only from layers that run; every other
// id from the caller's own map. Core mutex held.
bool PPNCoreImpl::AnswerProperty(int id, std::string& value) {
    if (IsTcpStatistic(id))
        return m_started && m_tcp && m_tcp->GetProperty(id, value);
    if (IsSrudpStatistic(id))
        return m_started && m_srudp->GetProperty(id, value);
    if (IsSudtStatistic(id))
        return m_started && m_sudt->GetProperty(id, value);
    if (id == PPN_PROP_NAT_TYPE)
        return m_started && m_uh->GetProperty(id, value);
    return GetPropertyValue(m_properties, id, value);
}

void PPNCoreImpl::GetProperties(PropertyMap& properties) {
    bool unknown = false;
    {
        boost::mutex::scoped_lock lock(m_coreMutex);
        for (auto& p : properties) {
            p.second.clear();
            if (!AnswerProperty(p.first, p.second)) {
                p.second.clear();
                unknown = true;
            }
        }
    }
    if (unknown)
        ppn::Throw(ppn::kErrUnknownProperty);
}

// ------------------------------------------------------------------ start and stop

void PPNCoreImpl::StartListen(std::uint16_t port) {
    boost::mutex::scoped_lock startStop(m_startStopMutex);
    boost::mutex::scoped_lock lock(m_coreMutex);
    if (m_started)
        return;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        ppn::Throw(ppn::kErrSocketLibrary);
    m_winsock = true;
    if (wsa.wVersion != MAKEWORD(2, 2)) {
        StopLayers();
        ppn::Throw(ppn::kErrSocketLibrary);
    }
    m_uh.reset(new uh::UHCore());
    m_srudp.reset(new srudp::SRUDPCore());
    m_sudt.reset(new SUDTCore());

    uh::UhSettings settings;
    if (!uh::ReadUhSettings(m_properties, settings)) {
        StopLayers();
        ppn::Throw(ppn::kErrNoNatServer);
    }
    uh::ApplyUhSettings(settings, *m_uh);
    if (!m_uh->StartListen(port)) {
        StopLayers();
        ppn::Throw(ppn::kErrUhStart);
    }
    if (!m_sudt->Start(m_uh.get(), this)) {
        StopLayers();
        ppn::Throw(ppn::kErrSudtStart);
    }
    if (!m_srudp->Start(m_uh.get(), this)) {
        StopLayers();
        ppn::Throw(ppn::kErrSrudpStart);
    }
    StartTcp();
    {
        boost::mutex::scoped_lock events(m_eventMutex);
        m_notifyRunning = true;
    }
    try {
        m_notifyThread = boost::thread(ppn::PPNCore::NotifyThread_Functor{this});
    } catch (const boost::thread_resource_error&) {
        m_notifyRunning = false;
        StopLayers();
        ppn::Throw(ppn::kErrSrudpStart);
    }
    m_started = true;
}

// With property 8192 "true": listens on the UH socket's port when 8193 is
// "true" too, else only connects out. Core mutex held.
void PPNCoreImpl::StartTcp() {
    if (!IsTrue(m_properties, PPN_PROP_TCP_ENABLE))
        return;
    const std::uint16_t port = IsTrue(m_properties, PPN_PROP_TCP_SHARE_PORT) ? m_uh->BoundPort() : 0;
    m_tcp.reset(new TcpCore());
    m_tcp->SetMaxQueue(QueueLimit(m_properties));
    if (!m_tcp->StartListen(port, this, m_uh->OwnAddress())) {
        StopLayers();
        ppn::Throw(ppn::kErrTcpStart);
    }
}

// Stops whatever layers exist (TCP, reliable, raw datagram, UH: the reverse
// of the start), deletes them and releases the socket library. Only the
// start-stop mutex is needed: no facade operation touches the layers while
// not started. The TCP transport reports nothing once stopped, so it goes
// first and may be deleted while the others still run.
void PPNCoreImpl::StopLayers() {
    if (m_tcp)
        m_tcp->Stop();
    m_tcp.reset();
    if (m_srudp)
        m_srudp->Stop();
    if (m_sudt)
        m_sudt->Stop();
    if (m_uh)
        m_uh->Stop();
    m_srudp.reset();
    m_sudt.reset();
    m_uh.reset();
    if (m_winsock)
        WSACleanup();
    m_winsock = false;
}

void PPNCoreImpl::Stop() {
    boost::mutex::scoped_lock startStop(m_startStopMutex);
    {
        boost::mutex::scoped_lock lock(m_coreMutex);
        if (!m_started)
            return;
        // From here every operation answers "not started" and leaves the layers alone.
        m_started = false;
    }
    {
        boost::mutex::scoped_lock events(m_eventMutex);
        m_notifyRunning = false;
        m_notifyCondition.notify_all();
    }
    // Joined without the core mutex: a listener call in progress may be
    // waiting for it in Send or ConnectTo, and gets "not started" instead.
    if (m_notifyThread.joinable())
        m_notifyThread.join();
    StopLayers();
    boost::mutex::scoped_lock events(m_eventMutex);
    m_events.clear();
}

// ------------------------------------------------------------------ operations

void PPNCoreImpl::GetLocalAddress(PeerAddress& address, bool needLogin) {
    boost::mutex::scoped_lock lock(m_coreMutex);
    if (!m_started)
        ppn::Throw(ppn::kErrNotStarted);
    if (needLogin && !m_uh->LoggedIn())
        ppn::Throw(ppn::kErrNotLoggedIn);
    address = m_uh->OwnAddress();
}

void PPNCoreImpl::ConnectTo(const PeerAddress& peer, int type) {
    boost::mutex::scoped_lock lock(m_coreMutex);
    if (!m_started)
        ppn::Throw(ppn::kErrNotStarted);
    if (peer.id == m_uh->OwnAddress().id)
        ppn::Throw(ppn::kErrSelf);
    if (type == PPN_CONN_TCP) {
        if (!m_tcp)
            ppn::Throw(ppn::kErrTcpNotStarted);
        if (m_tcp->HasConnection(peer.id))
            ppn::Throw(ppn::kErrAlreadyConnected);
        if (!m_tcp->ConnectTo(peer))
            ppn::Throw(ppn::kErrTcpConnect);
        return;
    }
    if (m_srudp->IsEstablished(peer.id))
        ppn::Throw(ppn::kErrAlreadyConnected);
    if (!m_sudt->ConnectTo(peer))
        ppn::Throw(ppn::kErrSudtConnect);
    if (!m_srudp->ConnectTo(peer))
        ppn::Throw(ppn::kErrSrudpConnect);
}

void PPNCoreImpl::Close(const PeerId& peer, int type) {
    boost::mutex::scoped_lock lock(m_coreMutex);
    if (!m_started)
        ppn::Throw(ppn::kErrNotStarted);
    if (type == PPN_CONN_TCP) {
        if (!m_tcp)
            ppn::Throw(ppn::kErrTcpNotStarted);
        if (m_tcp->HasConnection(peer) && !m_tcp->Close(peer))
            ppn::Throw(ppn::kErrTcpClose);
        return;
    }
    if (m_sudt->HasPeer(peer) && !m_sudt->Close(peer))
        ppn::Throw(ppn::kErrSudtClose);
    if (m_srudp->HasConnection(peer) && !m_srudp->Close(peer))
        ppn::Throw(ppn::kErrSrudpClose);
}

void PPNCoreImpl::Send(const PeerId& peer, int type, const char* data, int length) {
    if (!data || length <= 0)
        ppn::Throw(ppn::kErrInvalidArguments);
    boost::mutex::scoped_lock lock(m_coreMutex);
    if (!m_started)
        ppn::Throw(ppn::kErrNotStarted);
    switch (type) {
    case PPN_CONN_SRUDP:
        if (!m_srudp->IsEstablished(peer))
            ppn::Throw(ppn::kErrSrudpNoConnection);
        // Longer than any peer takes in: refused whole, nothing is queued.
        if (static_cast<std::uint32_t>(length) > srudp::SrudpConnection::kMaxMessageBytes)
            ppn::Throw(ppn::kErrInvalidArguments);
        // Fails only when the connection ended since the look above.
        if (!m_srudp->Send(peer, data, length))
            ppn::Throw(ppn::kErrSrudpNoConnection);
        return;
    case PPN_CONN_SUDT:
        if (!m_sudt->HasPeer(peer))
            ppn::Throw(ppn::kErrSudtNoConnection);
        if (!m_sudt->Send(peer, data, length))
            ppn::Throw(ppn::kErrSudtSend);
        return;
    case PPN_CONN_TCP:
        if (!m_tcp)
            ppn::Throw(ppn::kErrTcpNotStarted);
        if (!m_tcp->Send(peer, data, static_cast<std::uint32_t>(length)))
            ppn::Throw(ppn::kErrTcpSend);
        return;
    default:
        ppn::Throw(ppn::kErrUnknownType);
    }
}

void PPNCoreImpl::AddListener(ppn::EventListener* listener) {
    boost::mutex::scoped_lock lock(m_listenerMutex);
    m_listeners.insert(listener);
}

void PPNCoreImpl::RemoveListener(ppn::EventListener* listener) {
    boost::mutex::scoped_lock lock(m_listenerMutex);
    m_listeners.erase(listener);
}

// ------------------------------------------------------------------ from the transports

void PPNCoreImpl::PostEvent(const PeerAddress& peer, int event, int type) {
    // The raw datagram path follows the reliable connection: it uses the
    // endpoint the connection settled on, and ends with it.
    if (type != PPN_CONN_TCP && m_sudt) {
        if (event == PPN_EVENT_CONNECTED || event == PPN_EVENT_ACCEPTED)
            m_sudt->SetEndpoint(peer.id, peer.endpoint.Public());
        else
            m_sudt->Close(peer.id);
    }
    std::unique_ptr<PpnEventRecord> record(new PpnEventRecord());
    record->kind = PpnEventRecord::kEvent;
    record->peer = peer.id;
    record->type = type;
    record->event = event;
    Queue(std::move(record));
}

void PPNCoreImpl::DeliverData(const PeerId& peer, int type, const char* data, int length) {
    if (type == PPN_CONN_SRUDP) {
        std::unique_ptr<PpnEventRecord> record(new PpnEventRecord());
        record->kind = PpnEventRecord::kMessage;
        record->peer = peer;
        record->type = type;
        record->event = 0;
        record->data.assign(data, static_cast<std::size_t>(length));
        Queue(std::move(record));
        return;
    }
    const PpnEventRecord record = {PpnEventRecord::kMessage, peer, type, 0, std::string()};
    boost::mutex::scoped_lock lock(m_listenerMutex);
    for (ppn::EventListener* l : m_listeners) {
        try {
            l->OnReceive(&record.peer, type, data, length);
        } catch (...) {
            // A listener's failure must not end the packet thread.
        }
    }
}

// TCP messages go to the listeners at once, on the socket's thread.
void PPNCoreImpl::DeliverData(const PeerAddress& peer, const char* data, int length, int type) {
    DeliverData(peer.id, type, data, length);
}

void PPNCoreImpl::Queue(std::unique_ptr<PpnEventRecord> record) {
    boost::mutex::scoped_lock lock(m_eventMutex);
    m_events.push_back(std::move(record));
    m_notifyCondition.notify_all();
}

void PPNCoreImpl::NotifyThread() {
    for (;;) {
        std::unique_ptr<PpnEventRecord> record;
        {
            boost::mutex::scoped_lock lock(m_eventMutex);
            while (m_events.empty() && m_notifyRunning)
                m_notifyCondition.wait(lock);
            if (!m_notifyRunning)
                return;
            record = std::move(m_events.front());
            m_events.pop_front();
        }
        Deliver(*record);
    }
}

void PPNCoreImpl::Deliver(const PpnEventRecord& r) {
    boost::mutex::scoped_lock lock(m_listenerMutex);
    for (ppn::EventListener* l : m_listeners) {
        try {
            if (r.kind == PpnEventRecord::kMessage)
                l->OnReceive(&r.peer, r.type, r.data.data(), static_cast<int>(r.data.size()));
            else
                l->OnEvent(&r.peer, r.event, r.type);
        } catch (...) {
            // A listener's failure must not end the notify thread.
        }
    }
}
