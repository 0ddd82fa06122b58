#pragma once

#include "net/PeerAddress.h"

// Where the TCP transport reports: the network facade. Both calls come on the
// thread of the connection's socket.
class TcpCoreHost {
public:
    // Connection type of the transport in events and messages.
    static const int kType = 3;

    virtual ~TcpCoreHost() {}
    // Events: 1 connected (outgoing), 2 connect failed, 3 closed by an error,
    // 4 accepted (incoming), 5 closed.
    virtual void PostEvent(const PeerAddress& peer, int event, int type) = 0;
    virtual void DeliverData(const PeerAddress& peer, const char* data, int length, int type) = 0;
};
