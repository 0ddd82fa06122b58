#pragma once

#include "net/AsyncSocketEx.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include <boost/thread/recursive_mutex.hpp>

#include "net/PeerAddress.h"
#include "net/TransferStats.h"

class TcpConnection;
class TcpCoreHost;

// Connection type 3: framed messages on TCP connections made straight to a
// peer's local endpoint. The core is the listening socket; each connection is
// a TcpConnection. Sockets run on the thread that made them (StartListen's for
// the listener and accepted connections, ConnectTo's for outgoing ones), which
// must run a message loop; Stop must run on that thread too.
class TcpCore : public CAsyncSocketEx {
public:
    TcpCore();
    ~TcpCore() override;

    // Port 0: no listening socket, outgoing connections only.
    bool StartListen(std::uint16_t port, TcpCoreHost* host, const PeerAddress& own);
    bool ConnectTo(const PeerAddress& peer);
    bool HasConnection(const PeerId& id);
    bool Send(const PeerId& id, const char* data, std::uint32_t length);
    // Closes without an event.
    bool Close(const PeerId& id);
    // Closes everything; no call reaches the host afterwards.
    void Stop();
    // 289 to 294.
    bool GetProperty(int id, std::string& text);

    // Bytes a connection may hold unsent; 0 = no limit.
    void SetMaxQueue(std::uint32_t bytes) { m_maxQueue = bytes; }
    std::uint32_t MaxQueue() const { return m_maxQueue; }
    std::uint16_t ListenPort() const;

    void OnAccept(int error) override;

    // For the connections.
    PeerAddress OwnAddress() const { return m_own; }
    TransferStats& Meter() { return m_meter; }
    // Reports an event of a connection; for 2, 3 and 5 (and a refused
    // duplicate) it disposes of the connection.
    void ReportEvent(TcpConnection* connection, int event);
    void ReportData(TcpConnection* connection, const char* data, int length);
    // Forgets and disposes of a connection that leaves without an event.
    void Drop(TcpConnection* connection);

private:
    void Forget(TcpConnection* connection);  // under the map mutex

    std::map<PeerId, TcpConnection*, PeerIdLess> m_map;
    // Every connection alive, those still in their handshake too.
    std::set<TcpConnection*> m_all;
    boost::recursive_mutex m_mapMutex;
    boost::recursive_mutex m_startMutex;
    TcpCoreHost* m_host;
    TransferStats m_meter;
    PeerAddress m_own;
    std::uint32_t m_maxQueue;
};
