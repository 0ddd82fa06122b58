#pragma once

#include <cstdint>
#include <string>

#include "net/PropertyMap.h"

namespace uh {

class UHCore;

// The settings a core takes from the property map before it starts.
struct UhSettings {
    std::uint32_t natServerIp;    // network order
    std::uint16_t natServerPort;  // network order
    bool hasStunServer;
    std::string stunServer;
    bool hasPortRange;  // 5 and 6 both present and 5 >= 6
    std::uint16_t portHigh;
    std::uint16_t portLow;
    unsigned loginIntervalMs;   // 0: keep the default
    unsigned logoutIntervalMs;  // 0: keep the default
    unsigned keepaliveSeconds;  // 0: keep the default
};

// The NAT server (ids 1 and 2, both required; a host name is resolved to its
// first address), the STUN server (4), the port range (5 and 6, applied only
// when both are present and 5 >= 6 as 16-bit numbers) and the login, logout
// and keepalive intervals (7, 8, 9; text that reads as 0 keeps the default).
// False when 1 or 2 is missing or the host does not resolve.
bool ReadUhSettings(const PropertyMap& properties, UhSettings& settings);

void ApplyUhSettings(const UhSettings& settings, UHCore& core);

}  // namespace uh
