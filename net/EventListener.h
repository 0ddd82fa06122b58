#pragma once

#include "net/PeerId.h"

namespace ppn {

// What a network core reports to its owner (the engines and the seeders).
// Events and reliable messages arrive on the core's notify thread, one at a
// time and in order; raw datagrams on the UH packet thread. The peer pointer
// and the data are valid only during the call.
//
// A listener call runs under the core's listener mutex: it must never add or
// remove a listener of the same core, nor stop it, directly or through a
// thread it waits on. It may call ConnectTo, Send, Close, GetProperties and
// GetLocalAddress.
class EventListener {
public:
    virtual ~EventListener() {}

    // event: PPN_EVENT_*; type: the connection type (PPN_CONN_*).
    virtual void OnEvent(const PeerId* peer, int event, int type) = 0;
    // Never called by the stack.
    virtual void OnReserved(int, int, int) {}
    // One whole message of the given connection type.
    virtual void OnReceive(const PeerId* peer, int type, const char* data, int length) = 0;
};

}  // namespace ppn
