#pragma once

#include "net/PeerAddress.h"

// Where the transports report to: the network facade (PPNCoreImpl), or a
// recording stand-in in tests.
class PpnEventSink {
public:
    virtual ~PpnEventSink() {}

    // A connection event of the given connection type. The address is the
    // peer's id with the connection's current endpoint as its public part.
    virtual void PostEvent(const PeerAddress& peer, int event, int type) = 0;
    // One received message. Reliable messages are queued for the notify
    // thread; raw datagrams reach the listeners at once on the calling thread.
    virtual void DeliverData(const PeerId& peer, int type, const char* data, int length) = 0;
};
