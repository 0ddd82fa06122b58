#pragma once

#include <cstdint>

#include "common/pack/BlockBuffer.h"
#include "net/PeerAddress.h"
#include "net/PpnHeader.h"

// Codes of the UH layer: the NAT-server dialogue and hole punching.
enum UhCode : std::uint8_t {
    UH_LOGIN = 1,
    UH_LOGIN_REPLY = 2,
    UH_LOGOUT = 3,
    UH_LOGOUT_REPLY = 4,
    UH_KEEPALIVE = 5,
    UH_KEEPALIVE_REPLY = 6,
    UH_PUNCH = 17,
    UH_PUNCH_ACK = 18,
    UH_CONNECT_REQUEST = 19,
    UH_CONNECT_REPLY = 20,
    UH_CONNECT_HELLO = 21,
};

// Size hints written into the header; the real lengths are 50 and 88 bytes.
const std::uint16_t kUhServerSizeHint = 48;
const std::uint16_t kUhSessionSizeHint = 84;
const unsigned kUhServerDatagramSize = 50;
const unsigned kUhSessionDatagramSize = 88;

// NAT-server message body, after a PpnHeader (layer 1, size hint 48):
//
//   +0  u8   code: 1, 3, 5 to the server; 2, 4, 6 from it
//   +1  u8   0 when sent; not used in replies
//   +2  u8   sender's NAT type number; not checked in replies
//   +3  u8   0
//   +4  34   sender's own PeerAddress, packed
struct UhServerMessage {
    std::uint8_t code;
    std::uint8_t unused;
    std::uint8_t natType;
    std::uint8_t zero;
    PeerAddress address;
};

// Hole-punching session message body, after a PpnHeader (layer 1, size hint 84):
//
//   +0   u8   code 17 to 21
//   +1   u8   flags: bit 0 and bit 1 set by the side that started the session
//   +2   u16  session id
//   +4   u16  1 (ignored)
//   +6   u16  0 (ignored)
//   +8   34   sender PeerAddress, packed
//   +42  34   addressee PeerAddress, packed
struct UhSessionMessage {
    std::uint8_t code;
    std::uint8_t flags;
    std::uint16_t sessionId;
    std::uint16_t one;
    std::uint16_t zero;
    PeerAddress sender;
    PeerAddress addressee;
};

// Appends the whole datagram (header and body) to the buffer.
void EncodeUhServerMessage(nps::DefaultBlockBuffer& buffer, const UhServerMessage& message);
void EncodeUhSessionMessage(nps::DefaultBlockBuffer& buffer, const UhSessionMessage& message);

// One received UH message. Only what a client receives is decoded: the
// server's replies (2, 4, 6) and the session messages (17 to 21).
struct UhMessage {
    enum Kind { kServer, kSession } kind;
    UhServerMessage server;
    UhSessionMessage session;
};

// The body after a layer-1 header. False for an empty body, a version other
// than PPN_VERSION, an unknown code, and a body with bytes missing or left over.
bool DecodeUhMessage(const PpnHeader& header, const char* body, std::uint32_t length, UhMessage& out);

// How the UH core sorts one received datagram.
enum class DatagramKind {
    kIgnore,  // empty
    kRaw,     // not a stack message: the raw datagram transport's
    kUh,      // layer 1: NAT server and hole punching; header is filled in
    kSrudp,   // layer 2: the reliable transport's, handed on whole
    kDrop,    // a stack message of any other layer
};

DatagramKind ClassifyDatagram(const char* data, std::uint32_t length, PpnHeader& header);
