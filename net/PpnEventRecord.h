#pragma once

#include <string>

#include "net/PeerId.h"

// One entry of the facade's event queue: an event, or a reliable message. The
// kind says which, so an empty message is never taken for an event.
struct PpnEventRecord {
    enum Kind { kEvent, kMessage };

    Kind kind;
    PeerId peer;
    int type;
    int event;         // kEvent only
    std::string data;  // kMessage only
};
