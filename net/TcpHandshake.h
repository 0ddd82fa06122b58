#pragma once

#include <cstdint>

#include "common/pack/BlockBuffer.h"
#include "net/PeerAddress.h"

const std::uint8_t TCP_HELLO = 33;        // from the connecting side
const std::uint8_t TCP_HELLO_REPLY = 34;  // result 0 accepts
const std::uint16_t kTcpHandshakeSizeHint = 80;

// The first frame each way on a TCP connection: a PpnHeader of layer 6, then
// code, result, sender and addressee (all zero in a reply).
struct TcpHandshake {
    std::uint8_t code;
    std::uint8_t result;
    PeerAddress sender;
    PeerAddress addressee;
};

void EncodeTcpHandshake(nps::DefaultBlockBuffer& buffer, const TcpHandshake& message);
// False for fewer than 12 bytes, a wrong magic, another layer, or a body that
// cannot be read. The version byte is not checked.
bool DecodeTcpHandshake(const char* data, std::uint32_t length, TcpHandshake& out);
