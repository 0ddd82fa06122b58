#pragma once

#include <cstdint>

#include "net/StunMessage.h"
#include "net/Winsock.h"

// The NAT-type test over blocking Winsock calls on two sockets of its own,
// run on the calling thread (the UH core's listen thread). Winsock must be
// started by the caller.

const std::uint16_t kStunDefaultPort = 3478;

// "host" or "host:port", at most 512 characters used. A port is taken when the
// text after the colon is a decimal number and nothing else; other text means
// 3478, no text means 0. The port must lie in 1024 to 65534. A host beginning
// with a digit is a dotted address, any other is resolved (first address).
// Host byte order out; on failure the port is set to 0xFFFF.
bool StunParseServerName(const char* text, StunIPv4Endpoint& server);

// A UDP socket bound to the port on the interface (host order), or on any
// address when the interface is 0 or 127.0.0.1. INVALID_SOCKET on failure.
SOCKET OpenUdpPort(std::uint16_t port, std::uint32_t interfaceAddress);

// Receives into buffer (capacity *length); on success *length, the source
// (host order) and a NUL after the data are set. A message that leaves less
// than two bytes of the capacity free is refused.
bool ReceiveUdpMessage(SOCKET s, char* buffer, int* length, std::uint32_t* sourceAddress,
                       std::uint16_t* sourcePort);

// sendto the destination (host order), or send on a connected socket when the
// port is 0; true only when every byte went out.
bool SendUdpMessage(SOCKET s, const char* bytes, int length, std::uint32_t address, std::uint16_t port);

// Sends one Binding Request of the test number (its ChangeRequest flags by
// test) and copies it to *sent; then waits busily until the process clock
// has moved on by more than 10 ms.
bool StunSendTest(SOCKET s, const StunIPv4Endpoint& destination, int testNumber, StunMessageRecord* sent);

// The classic test from local ports P and P + 1 (P = a random port from
// 16384 to 32767 when port is 0). Answers a StunNatResult.
int StunNatTypeTest(const StunIPv4Endpoint& server, std::uint32_t interfaceAddress, std::uint16_t port);
