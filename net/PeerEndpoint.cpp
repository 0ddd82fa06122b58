#include "net/PeerEndpoint.h"

#include "net/ByteOrder.h"

void PeerEndpoint::SetPublicPort(std::uint16_t port) { publicPort = net::HostToNet16(port); }

void PeerEndpoint::SetLocalPort(std::uint16_t port) { localPort = net::HostToNet16(port); }
