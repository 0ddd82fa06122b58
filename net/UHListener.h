#pragma once

#include "net/PeerAddress.h"

struct UHSession;

// What a UH core reports to the layers above it (the reliable transport and
// the raw datagram transport). Calls arrive under the core's listener-list
// lock; a listener leaves the operations it does not need empty.
class UHListener {
public:
    virtual ~UHListener() {}

    // A punch this host started ended: result 1 punched, 2 failed after 10
    // tries; kind is always 1. The session begins with the peer's address,
    // its public endpoint as the punch learned it. Worker thread.
    virtual void OnPunchResult(int result, int kind, int reserved, const UHSession* session, int tag) = 0;

    // A remote peer punched through to this host (its public endpoint is the
    // source of its punch). Packet thread.
    virtual void OnIncomingSession(int kind, int reserved, const PeerAddress* peer) = 0;

    // A raw datagram, and a reliable-UDP datagram with its header. `from` has
    // a zero id, the source as public endpoint and a zero local endpoint.
    // Packet thread.
    virtual void OnDatagram(const char* data, int length, const PeerAddress* from) = 0;
    virtual void OnPacket(const char* data, int length, const PeerAddress* from) = 0;
};
