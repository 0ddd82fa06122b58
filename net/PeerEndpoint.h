#pragma once

#include <cstdint>

#include "net/Ipv4Endpoint.h"

// Where a peer can be reached: the address a NAT server saw (public) and the
// one the peer bound on its own machine (local). Every field is kept in network
// byte order and written to the wire as stored.
struct PeerEndpoint {
    std::uint32_t publicIp;
    std::uint16_t publicPort;
    std::uint16_t localPort;
    std::uint32_t localIp;

    // Dotted text through inet_addr; these two live in the Winsock library
    // (net/PeerEndpointIp.cpp), the rest is Windows-free.
    void SetPublicIp(const char* dotted);
    void SetLocalIp(const char* dotted);

    // Host-order numbers.
    void SetPublicPort(std::uint16_t port);
    void SetLocalPort(std::uint16_t port);

    Ipv4Endpoint Public() const { return Ipv4Endpoint{publicIp, publicPort}; }
    Ipv4Endpoint Local() const { return Ipv4Endpoint{localIp, localPort}; }

    // Not behind a translating NAT, or nothing public is known yet (both 0).
    bool PublicIsLocal() const { return publicIp == localIp && publicPort == localPort; }

    bool operator==(const PeerEndpoint& o) const {
        return publicIp == o.publicIp && publicPort == o.publicPort && localPort == o.localPort &&
               localIp == o.localIp;
    }
    bool operator!=(const PeerEndpoint& o) const { return !(*this == o); }
};

static_assert(sizeof(PeerEndpoint) == 12, "PeerEndpoint is 12 bytes");
