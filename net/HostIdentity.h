#pragma once

#include <cstdint>
#include <string>

// What the stack tells others about this machine.

// The hardware address of network adapter `adapter` as 12 upper-case hex
// digits: from IP Helper, else from NetBIOS, both bound by name at run time.
// False (text unchanged) when both fail.
bool GetAdapterMacHex(std::string& text, int adapter);

// The machine's IPv4 address in network order: the host name's address when
// it has exactly one, else the interface that routes towards a fixed public
// address. Cached for the life of the process after the first success.
// Needs Winsock started.
bool GetLocalIPv4(std::uint32_t& address);

// True when the address (network order) is configured on one of this host's
// interfaces, loopback included. The STUN test asks this of the address a
// server saw, to tell "no NAT" from "NAT".
bool IsOwnIPv4Address(std::uint32_t address);
