#include "net/TcpCore.h"

#include "net/PropertyMap.h"
#include "net/TcpConnection.h"
#include "net/TcpCoreHost.h"

TcpCore::TcpCore() : m_host(nullptr), m_maxQueue(0) { m_own.Clear(); }

TcpCore::~TcpCore() { Stop(); }

bool TcpCore::StartListen(std::uint16_t port, TcpCoreHost* host, const PeerAddress& own) {
    boost::recursive_mutex::scoped_lock lock(m_startMutex);
    if (!host)
        return false;
    if (port != 0) {
        if (!Create(port, SOCK_STREAM, FD_ACCEPT))
            return false;
        if (!Listen(5)) {
            CAsyncSocketEx::Close();
            return false;
        }
    }
    boost::recursive_mutex::scoped_lock mapLock(m_mapMutex);
    m_host = host;
    m_own = own;
    return true;
}

std::uint16_t TcpCore::ListenPort() const {
    sockaddr_in a;
    int length = sizeof a;
    if (Handle() == INVALID_SOCKET || getsockname(Handle(), reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return 0;
    return ntohs(a.sin_port);
}

bool TcpCore::ConnectTo(const PeerAddress& peer) {
    boost::recursive_mutex::scoped_lock lock(m_startMutex);
    if (peer.endpoint.localIp == 0 || peer.endpoint.localPort == 0)
        return false;
    TcpConnection* connection = new TcpConnection(*this, true, peer);
    sockaddr_in to;
    ZeroMemory(&to, sizeof to);
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = peer.endpoint.localIp;
    to.sin_port = peer.endpoint.localPort;
    if (!connection->Create(0, SOCK_STREAM, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) ||
        (!connection->Connect(reinterpret_cast<sockaddr*>(&to), sizeof to) && WSAGetLastError() != WSAEWOULDBLOCK)) {
        connection->Dispose();
        return false;
    }
    boost::recursive_mutex::scoped_lock mapLock(m_mapMutex);
    m_all.insert(connection);
    return true;
}

void TcpCore::OnAccept(int error) {
    if (error != 0)
        return;
    PeerAddress unknown;
    unknown.Clear();
    TcpConnection* connection = new TcpConnection(*this, false, unknown);
    if (!Accept(*connection) || !connection->AsyncSelect(FD_READ | FD_WRITE | FD_CLOSE)) {
        connection->Dispose();
        return;
    }
    boost::recursive_mutex::scoped_lock lock(m_mapMutex);
    m_all.insert(connection);
}

bool TcpCore::HasConnection(const PeerId& id) {
    boost::recursive_mutex::scoped_lock lock(m_mapMutex);
    return m_map.count(id) != 0;
}

bool TcpCore::Send(const PeerId& id, const char* data, std::uint32_t length) {
    boost::recursive_mutex::scoped_lock lock(m_mapMutex);
    const auto found = m_map.find(id);
    return found != m_map.end() && found->second->SendFrame(data, length);
}

bool TcpCore::Close(const PeerId& id) {
    boost::recursive_mutex::scoped_lock lock(m_mapMutex);
    const auto found = m_map.find(id);
    if (found == m_map.end())
        return false;
    TcpConnection* connection = found->second;
    Forget(connection);
    connection->Dispose();
    return true;
}

void TcpCore::Stop() {
    boost::recursive_mutex::scoped_lock lock(m_startMutex);
    if (Handle() != INVALID_SOCKET) {
        ShutDown(SD_BOTH);
        CAsyncSocketEx::Close();
    }
    boost::recursive_mutex::scoped_lock mapLock(m_mapMutex);
    m_host = nullptr;
    const std::set<TcpConnection*> all(m_all);
    m_all.clear();
    m_map.clear();
    for (TcpConnection* connection : all)
        connection->Dispose();
}

bool TcpCore::GetProperty(int id, std::string& text) {
    switch (id) {
    case PPN_STAT_TCP_BYTES_RECEIVED:
        text = std::to_string(m_meter.ReceivedTotal());
        return true;
    case PPN_STAT_TCP_BYTES_SENT:
        text = std::to_string(m_meter.SentTotal());
        return true;
    case PPN_STAT_TCP_RECV_RATE:
        text = std::to_string(m_meter.CurrentReceiveRate());
        return true;
    case PPN_STAT_TCP_SEND_RATE:
        text = std::to_string(m_meter.CurrentSendRate());
        return true;
    case PPN_STAT_TCP_AVG_RECV_RATE:
        text = std::to_string(m_meter.AverageReceiveRate());
        return true;
    case PPN_STAT_TCP_AVG_SEND_RATE:
        text = std::to_string(m_meter.AverageSendRate());
        return true;
    default:
        return false;
    }
}

void TcpCore::Forget(TcpConnection* connection) {
    m_all.erase(connection);
    const auto found = m_map.find(connection->Peer().id);
    if (found != m_map.end() && found->second == connection)
        m_map.erase(found);
}

void TcpCore::Drop(TcpConnection* connection) {
    boost::recursive_mutex::scoped_lock lock(m_mapMutex);
    Forget(connection);
    connection->Dispose();
}

// Events reach the host under the map mutex, so none can follow Stop.
void TcpCore::ReportEvent(TcpConnection* connection, int event) {
    boost::recursive_mutex::scoped_lock lock(m_mapMutex);
    const PeerAddress peer = connection->Peer();
    if (event == 4) {
        const auto found = m_map.find(peer.id);
        if (found != m_map.end() && found->second != connection) {
            TcpConnection* existing = found->second;
            if (existing->State() != TcpConnection::kClosed) {
                Forget(connection);
                connection->Dispose();
                return;
            }
            Forget(existing);
            existing->Dispose();
        }
    }
    if (event == 1 || event == 4)
        m_map[peer.id] = connection;
    if (m_host)
        m_host->PostEvent(peer, event, TcpCoreHost::kType);
    if (event == 2 || event == 3 || event == 5) {
        Forget(connection);
        connection->Dispose();
    }
}

// Delivered without the map mutex: listeners may block on other threads
// that send through this transport.
void TcpCore::ReportData(TcpConnection* connection, const char* data, int length) {
    TcpCoreHost* host;
    {
        boost::recursive_mutex::scoped_lock lock(m_mapMutex);
        host = m_host;
    }
    if (host)
        host->DeliverData(connection->Peer(), data, length, TcpCoreHost::kType);
}
