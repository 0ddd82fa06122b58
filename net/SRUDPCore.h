#pragma once

// Before Boost: its headers bring in windows.h.
#include "net/Winsock.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "net/PeerAddress.h"
#include "net/SrudpConnection.h"
#include "net/TransferStats.h"
#include "net/UHListener.h"

class PpnEventSink;
struct SrudpMessage;

namespace uh {
class TransportHost;
}

namespace srudp {

// The reliable transport (connection type 1): ordered, acknowledged,
// fragmented messages over the UH core's socket. It opens a connection after
// hole punching, accepts the peers that punched to this host, and keeps a
// table of connections by peer id; each connection (SrudpConnection) holds
// its state machine and data. New data goes out from Send while the window
// has room and from the packet thread as acknowledgements make room; the
// retransmit thread sweeps the table every 200 ms (and when signalled) for
// resends, keepalives, control retries and time-outs.
//
// Threads: the facade's callers (ConnectTo, Close, Send, GetProperty), the UH
// packet thread (OnPacket, OnIncomingSession), the punch worker
// (OnPunchResult) and the retransmit thread.
//
// Lock order: outer mutex (facade operations only), then the map mutex,
// which guards the table and every connection; events and messages go to the
// facade under the map mutex (it takes its event mutex and the raw datagram
// transport's mutex inside, never its listener mutex).
class SRUDPCore : public UHListener {
public:
    // Milliseconds on a clock that never goes back; tests pass a fake one.
    typedef Millis (*Clock)();

    explicit SRUDPCore(Clock clock = nullptr);
    ~SRUDPCore() override;

    SRUDPCore(const SRUDPCore&) = delete;
    SRUDPCore& operator=(const SRUDPCore&) = delete;

    // Registers with the UH core and starts the retransmit thread. True when
    // already started; false without both.
    bool Start(uh::TransportHost* uh, PpnEventSink* sink);
    // Leaves the UH core, joins the thread and deletes every connection
    // without sending anything or raising an event.
    void Stop();

    // Starts an outgoing connection (hole punching first). True when one is
    // already under way or established; false when not started or the UH core
    // refuses to punch.
    bool ConnectTo(const PeerAddress& peer);
    // Only an established connection closes.
    bool Close(const PeerId& peer);
    bool HasConnection(const PeerId& peer);
    bool IsEstablished(const PeerId& peer);
    // Fragments and queues one message on an established connection and sends
    // what the window takes at once.
    bool Send(const PeerId& peer, const char* data, int length);
    // 257, 258 totals; 259, 260 current and 261, 262 average rates.
    bool GetProperty(int id, std::string& text);

    // One pass of the retransmit thread; public so tests drive it with their clock.
    void Sweep();
    // The state of the peer's connection, 0 when there is none.
    int ConnectionState(const PeerId& peer);

    // UHListener
    void OnPunchResult(int result, int kind, int reserved, const UHSession* session, int tag) override;
    void OnIncomingSession(int kind, int reserved, const PeerAddress* peer) override;
    void OnDatagram(const char* data, int length, const PeerAddress* from) override {}
    void OnPacket(const char* data, int length, const PeerAddress* from) override;

    struct RetransmitThread_Functor {
        SRUDPCore* core;
        void operator()() const { core->RetransmitThread(); }
    };

private:
    class Io;
    typedef std::map<PeerId, std::unique_ptr<SrudpConnection>, PeerIdLess> ConnectionMap;

    void RetransmitThread();
    void SweepLocked();
    void HandleControl(ConnectionMap::iterator it, const SrudpMessage& message, const Ipv4Endpoint& source);
    void Raise(const SrudpConnection& connection, int event);
    SrudpConnection* Find(const PeerId& peer);

    Clock m_clock;
    std::atomic<bool> m_started;
    uh::TransportHost* m_uh;
    PpnEventSink* m_sink;
    PeerId m_own;

    ConnectionMap m_connections;  // guarded by m_mapMutex, with every connection
    boost::mutex m_mapMutex;
    boost::mutex m_outerMutex;  // facade operations; before m_mapMutex
    boost::condition_variable m_condition;  // wakes the retransmit thread; waited with m_mapMutex
    boost::thread m_thread;

    TransferStats m_stats;
};

}  // namespace srudp
