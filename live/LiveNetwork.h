#pragma once

#include "net/PeerAddress.h"
#include "net/PeerId.h"
#include "net/PropertyMap.h"

namespace ppn {
class EventListener;
}

// The network core as the live engine uses it. The engine makes a
// LivePpnNetwork; tests give it a stand-in that records connects, closes and
// sends and reports events of their choosing. Failures are thrown as
// ppn::PPNException, as the core does.
class ILiveNetwork {
public:
    virtual ~ILiveNetwork() {}
    // Properties, the listener, then listening on a port of the range.
    virtual void Start(const PropertyMap& properties, ppn::EventListener* listener) = 0;
    // Removes the listener and stops; never throws.
    virtual void Stop(ppn::EventListener* listener) = 0;
    virtual void GetLocalAddress(PeerAddress& address, bool needLogin) = 0;
    virtual void ConnectTo(const PeerAddress& peer, int type) = 0;
    virtual void Close(const PeerId& peer, int type) = 0;
    virtual void Send(const PeerId& peer, int type, const char* data, int length) = 0;
    virtual void GetProperties(PropertyMap& properties) = 0;
};
