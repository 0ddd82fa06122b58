#pragma once

#include <cstdint>

// A UDP address and port, both in network byte order (as in a sockaddr_in).
struct Ipv4Endpoint {
    std::uint32_t ip;
    std::uint16_t port;

    bool operator==(const Ipv4Endpoint& o) const { return ip == o.ip && port == o.port; }
    bool operator!=(const Ipv4Endpoint& o) const { return !(*this == o); }
    // Both parts known: something can be sent there.
    bool IsSet() const { return ip != 0 && port != 0; }
};
