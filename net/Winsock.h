#pragma once

// The one way into the platform headers for the network stack: winsock2.h
// must come before windows.h, or windows.h pulls in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "net/Ipv4Endpoint.h"

inline sockaddr_in ToSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in a;
    ZeroMemory(&a, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = endpoint.ip;
    a.sin_port = endpoint.port;
    return a;
}

inline Ipv4Endpoint FromSockaddr(const sockaddr_in& a) {
    return Ipv4Endpoint{a.sin_addr.s_addr, a.sin_port};
}
