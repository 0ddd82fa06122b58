#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "common/pack/BitField.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"
#include "vod/BlockFieldMaps.h"
#include "vod/PeerRelayMsg.h"

// Messages between the peers of one live channel. Each is one unit of the
// network core: a type byte, then the body of that type, little-endian, no
// padding. Receivers take every type from either transport.
//
//   type  name                         sent on    body
//   0x20  LIVE_MSG_HELLO               reliable   LiveHelloMsg
//   0x21  LIVE_MSG_HELLO_REPLY         reliable   LiveHelloMsg
//   0x22  LIVE_MSG_AVAILABILITY        (never)    u32 start, bit field
//   0x23  LIVE_MSG_HAVE                reliable   flag map, u32 start, length map
//   0x24  LIVE_MSG_PIECE_INFO_REQUEST  reliable   piece set
//   0x25  LIVE_MSG_PIECE_INFO          reliable   length map
//   0x26  LIVE_MSG_REQUEST             reliable   LiveRequestMsg
//   0x27  LIVE_MSG_BLOCK               datagram   LiveBlockMsg
//   0x28  LIVE_MSG_HEADER_REQUEST      reliable   u32 header id
//   0x29  LIVE_MSG_HEADER              reliable   u32 id, u8 present, [varstr32 bytes]
//   0x2A  LIVE_MSG_HEADER_LIST         reliable   flag map (header id -> listed)
//   0x2B  LIVE_MSG_RELAY               datagram   PeerRelayMsg
//   0x2C  LIVE_MSG_DONE                reliable   u64 request number
//
//   piece set:   +-------------+-------------------------+
//                | u32 count N | N x u32, ascending      |
//                +-------------+-------------------------+
//   length map:  u32 count N, N x (u32 piece, u32 byte length), ascending
//   flag map:    u32 count N, N x (u32 key, u8 value), ascending
//
// Readers keep the first of two entries with the same key.
const std::uint8_t LIVE_MSG_HELLO = 0x20;
const std::uint8_t LIVE_MSG_HELLO_REPLY = 0x21;
const std::uint8_t LIVE_MSG_AVAILABILITY = 0x22;
const std::uint8_t LIVE_MSG_HAVE = 0x23;
const std::uint8_t LIVE_MSG_PIECE_INFO_REQUEST = 0x24;
const std::uint8_t LIVE_MSG_PIECE_INFO = 0x25;
const std::uint8_t LIVE_MSG_REQUEST = 0x26;
const std::uint8_t LIVE_MSG_BLOCK = 0x27;
const std::uint8_t LIVE_MSG_HEADER_REQUEST = 0x28;
const std::uint8_t LIVE_MSG_HEADER = 0x29;
const std::uint8_t LIVE_MSG_HEADER_LIST = 0x2A;
const std::uint8_t LIVE_MSG_RELAY = 0x2B;
const std::uint8_t LIVE_MSG_DONE = 0x2C;

using LivePieceSet = std::set<std::uint32_t>;
using LivePieceLengths = std::map<std::uint32_t, std::uint32_t>;

// The network core's transport a message type is sent on: the blocks and
// relay texts as raw datagrams (2), everything else reliably (1).
int LiveTransportOf(std::uint8_t type);

// Hello and hello reply:
//
//   +--------+---------+----------+--------------+-------------+
//   | u8 ver | u8 kind | u8 flags | u8 peer type | u64 channel |
//   |   1    | = type  |          | (ours: 0)    |             |
//   +--------+---------+----------+--------------+-------------+
//   then, with flag bit 0 only:
//   +-----------+-----------------------+--------------------------+
//   | u32 start | bit field availability | piece set of header ids |
//   +-----------+-----------------------+--------------------------+
//
// Availability bit i: the sender holds piece start + i completely.
struct LiveHelloMsg {
    static constexpr std::uint8_t kVersion = 1;
    static constexpr std::uint8_t kFlagAvailability = 1;
    static constexpr std::uint8_t kFlagAccepted = 2;

    std::uint8_t version = kVersion;
    std::uint8_t kind = LIVE_MSG_HELLO;
    std::uint8_t flags = 0;
    std::uint8_t peerType = 0;
    std::uint64_t channel = 0;
    std::uint32_t start = 0;
    nps::BitField availability;
    LivePieceSet headerIds;

    void Pack(nps::Pack& pack) const;
    // Keeps at most kLiveMostAheadPieces availability bits.
    void Unpack(nps::Unpack& unpack);
};

// Request:
//
//   +------------+------------------------------+-----------+-------------+
//   | u64 number | bit-field map piece -> blocks | u8 loss % | u8 loss 2 % |
//   +------------+------------------------------+-----------+-------------+
//
// Bit i of a piece's field asks for block i. Numbers count up per session
// from 1; the loss is the requester's measured share of lost blocks.
struct LiveRequestMsg {
    std::uint64_t number = 0;
    BlockBitFieldMap pieces;
    std::uint8_t lossPercent = 0;
    std::uint8_t secondLossPercent = 0;

    void Pack(nps::Pack& pack) const;
    // Keeps at most the bits of the blocks of a 16 MiB piece per field.
    void Unpack(nps::Unpack& unpack);
};

// Block:
//
//   +-----------+-----------+-----------+----------+---------------------------+
//   | u32 piece | u16 block | u16 queued| u16 kbit | varstr data (at most 768) |
//   +-----------+-----------+-----------+----------+---------------------------+
//
// queued: blocks the sender still holds for this requester after this one;
// kbit: its send rate to the requester in kbit/s.
struct LiveBlockMsg {
    std::uint32_t piece = 0;
    std::uint16_t block = 0;
    std::uint16_t queued = 0;
    std::uint16_t rate = 0;
    // Points into the received message, or at the sender's block.
    nps::ByteRange data = {nullptr, 0};

    void Pack(nps::Pack& pack) const;
    // Data of more than 768 bytes is malformed (nps::unpack_error).
    void Unpack(nps::Unpack& unpack);
};

// One message: its type, and the body of that type (reading leaves the others
// default).
struct LiveMessage {
    std::uint8_t type = 0;
    LiveHelloMsg hello;              // HELLO, HELLO_REPLY
    std::uint32_t start = 0;         // AVAILABILITY, HAVE: the sender's window start
    nps::BitField availability;      // AVAILABILITY
    BlockFlagMap flags;              // HAVE: piece -> completed; HEADER_LIST: id -> listed
    LivePieceLengths lengths;        // HAVE, PIECE_INFO
    LivePieceSet pieces;             // PIECE_INFO_REQUEST
    LiveRequestMsg request;          // REQUEST
    LiveBlockMsg block;              // BLOCK
    std::uint32_t headerId = 0;      // HEADER_REQUEST, HEADER
    std::uint8_t headerPresent = 0;  // HEADER
    nps::ByteRange header = {nullptr, 0};  // HEADER: points into the message
    PeerRelayMsg relay;              // RELAY
    std::uint64_t done = 0;          // DONE
};

void PackLivePieceSet(nps::Pack& pack, const LivePieceSet& pieces);
void UnpackLivePieceSet(nps::Unpack& unpack, LivePieceSet& pieces);
void PackLivePieceLengths(nps::Pack& pack, const LivePieceLengths& lengths);
void UnpackLivePieceLengths(nps::Unpack& unpack, LivePieceLengths& lengths);

// Appends the type byte and the body of message.type; another type gets its
// type byte only. Throws nps::pack_error when the buffer cannot grow.
void PackLiveMessage(const LiveMessage& message, nps::DefaultBlockBuffer& buffer);

// False for an empty unit, an unknown type and a body shorter than its
// layout; bytes after a complete body are ignored. Never throws on bad bytes.
// Block data and header bytes point into the given bytes.
bool ReadLiveMessage(const void* data, std::uint32_t length, LiveMessage& message);
