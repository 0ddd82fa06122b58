#pragma once

#include <cstdint>

#include "net/PeerAddress.h"
#include "net/PropertyMap.h"

class PPNCoreImpl;

namespace ppn {

class EventListener;

// The network stack as the engines and the seeders see it: set properties,
// start on a UDP port, connect to peers by address, send by peer id on a
// connection type (PPN_CONN_SRUDP reliable messages, PPN_CONN_SUDT raw
// datagrams), and hear of events and messages through EventListeners.
// Every failure is thrown as a ppn::PPNException.
//
// Calling order: construct; SetProperties; AddListener; StartListen; then
// GetLocalAddress, ConnectTo, Send, Close and GetProperties from any thread;
// at the end RemoveListener, Stop, destroy.
class PPNCore {
public:
    PPNCore();
    ~PPNCore();

    PPNCore(const PPNCore&) = delete;
    PPNCore& operator=(const PPNCore&) = delete;

    // Copies every (id, text) into the core's map; only StartListen reads the settings.
    void SetProperties(const PropertyMap& properties);
    // Fills every id the caller lists: statistics from the running transports,
    // 3 from the UH core, any other id from the map. Throws "some properties
    // unknown." after filling the rest when an id is known to none.
    void GetProperties(PropertyMap& properties);

    // Port 0: a random port of the range. Does nothing when already started.
    void StartListen(std::uint16_t port);
    // Ends the notify thread and every layer. Listener calls in progress may
    // still use the core; from the moment Stop begins they hear "not started".
    void Stop();

    // The own id, public endpoint (as the NAT server saw it) and local endpoint.
    void GetLocalAddress(PeerAddress& address, bool needLogin);
    // The outcome arrives later as event 1 or 2.
    void ConnectTo(const PeerAddress& peer, int type);
    void Close(const PeerId& peer, int type);
    void Send(const PeerId& peer, int type, const char* data, int length);

    void AddListener(EventListener* listener);
    void RemoveListener(EventListener* listener);

    // Body of the notify thread, which delivers events and reliable messages.
    struct NotifyThread_Functor {
        PPNCoreImpl* impl;
        void operator()() const;
    };

private:
    PPNCoreImpl* m_impl;
};

}  // namespace ppn
