#pragma once

// Before Boost: its headers bring in windows.h.
#include "net/Winsock.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <boost/thread/mutex.hpp>

#include "net/BandWidth.h"
#include "net/PeerAddress.h"
#include "net/UHListener.h"

class PpnEventSink;

namespace uh {
class TransportHost;
}

// A peer of the raw datagram transport: waiting for its punch (1) or ready (2)
// with the endpoint its datagrams come from and go to.
struct SudtConnection {
    enum State { kWaiting = 1, kReady = 2 };

    int state;
    PeerId peer;
    Ipv4Endpoint endpoint;  // network order; zero while waiting
};

// The raw datagram transport (connection type 2): one message is one UDP
// datagram, sent unchanged to the endpoint hole punching opened for the peer,
// with no header, acknowledgement or order. It learns endpoints from the UH
// core's punch results and incoming sessions, and from the reliable
// transport's events through the facade; it tells an incoming datagram's peer
// by its source endpoint.
//
// Received datagrams reach the facade's listeners on the UH packet thread,
// after this transport's mutex is released.
class SUDTCore : public UHListener {
public:
    SUDTCore();
    ~SUDTCore() override;

    SUDTCore(const SUDTCore&) = delete;
    SUDTCore& operator=(const SUDTCore&) = delete;

    // Registers with the UH core. True when already started; false without both.
    bool Start(uh::TransportHost* uh, PpnEventSink* sink);
    // Leaves the UH core and forgets every peer.
    void Stop();

    // Adds a waiting entry for a peer not yet known; always true while started.
    bool ConnectTo(const PeerAddress& peer);
    // True when an entry was removed.
    bool Close(const PeerId& peer);
    bool HasPeer(const PeerId& peer);
    // One datagram to a ready peer (at most 1500 bytes); true when it went out.
    bool Send(const PeerId& peer, const char* data, int length);
    // Moves the peer's endpoint (the reliable connection's, on events 1 and 4);
    // the state is left as it is. True when the peer is known.
    bool SetEndpoint(const PeerId& peer, const Ipv4Endpoint& endpoint);
    // 273, 274 totals; 275, 276 current and 277, 278 average rates.
    bool GetProperty(int id, std::string& text);

    // UHListener
    void OnPunchResult(int result, int kind, int reserved, const UHSession* session, int tag) override;
    void OnIncomingSession(int kind, int reserved, const PeerAddress* peer) override;
    void OnDatagram(const char* data, int length, const PeerAddress* from) override;
    void OnPacket(const char* data, int length, const PeerAddress* from) override {}

private:
    typedef std::pair<std::uint32_t, std::uint16_t> EndpointKey;  // address, port as stored

    static EndpointKey Key(const Ipv4Endpoint& e) { return EndpointKey(e.ip, e.port); }
    void MoveEndpoint(SudtConnection& c, const Ipv4Endpoint& endpoint);
    void Remove(std::map<PeerId, std::unique_ptr<SudtConnection>, PeerIdLess>::iterator it);

    std::atomic<bool> m_started;
    uh::TransportHost* m_uh;
    PpnEventSink* m_sink;

    // Guarded by m_mutex, with the entries and the meter. The endpoint map
    // holds one key for every entry that has an endpoint.
    std::map<PeerId, std::unique_ptr<SudtConnection>, PeerIdLess> m_peers;
    std::map<EndpointKey, SudtConnection*> m_endpoints;
    boost::mutex m_mutex;
    util::BandWidth m_meter;
};
