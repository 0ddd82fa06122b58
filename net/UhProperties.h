#pragma once

#include "net/PropertyMap.h"

namespace uh {

class UHCore;

// Gives a core, before it starts, the settings of the map: the NAT server
// (ids 1 and 2, both required; a host name is resolved to its first
// address), the STUN server (4), the port range (5 and 6, only when both are
// present and 5 >= 6 as 16-bit numbers) and the login, logout and keepalive
// intervals (7, 8, 9, each only when it reads as non-zero). False, with
// nothing set, when 1 or 2 is missing or the host does not resolve.
bool ApplyUhProperties(const PropertyMap& properties, UHCore& core);

}  // namespace uh
