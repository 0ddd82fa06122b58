#pragma once

#include "net/Winsock.h"

#include "net/PeerAddress.h"

class UHListener;

namespace uh {

// What the transports need of the UH core under them: its address, its
// socket, hole punching and its listener list. UHCore is the one in the
// product; tests put a recording one in its place.
class TransportHost {
public:
    virtual ~TransportHost() {}

    virtual PeerAddress OwnAddress() const = 0;
    virtual bool SendTo(const char* data, int length, const sockaddr_in& to) = 0;
    virtual bool Punch(const PeerAddress& peer, int type, int tag) = 0;
    virtual void AddListener(UHListener* listener) = 0;
    virtual void RemoveListener(UHListener* listener) = 0;
};

}  // namespace uh
