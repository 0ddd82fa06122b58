#pragma once

#include <cstdint>
#include <string>

#include "common/pack/BitField.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"
#include "net/PeerId.h"
#include "vod/BlockFieldMaps.h"
#include "vod/PeerRelayMsg.h"

// Messages between two engines, or an engine and a seeding session. Each is
// one unit of the network core: a type byte, then the body of that type.
//
//   type  name                 transport   body
//   1     VOD_MSG_HELLO        reliable    VodHelloMsg
//   2     VOD_MSG_HELLO_REPLY  reliable    VodHelloMsg
//   3     VOD_MSG_REQUEST      reliable    VodRequestMsg
//   4     VOD_MSG_PIECE        datagram    VodPieceMsg
//   5     VOD_MSG_DONE         reliable    u32 last request fully sent
//   8     VOD_MSG_HAVE         reliable    BlockFlagMap (block -> held)
//   9     VOD_MSG_RELAY        datagram    PeerRelayMsg
//
// Types 6, 7 and any other are ignored by receivers.
const std::uint8_t VOD_MSG_HELLO = 1;
const std::uint8_t VOD_MSG_HELLO_REPLY = 2;
const std::uint8_t VOD_MSG_REQUEST = 3;
const std::uint8_t VOD_MSG_PIECE = 4;
const std::uint8_t VOD_MSG_DONE = 5;
const std::uint8_t VOD_MSG_HAVE = 8;
const std::uint8_t VOD_MSG_RELAY = 9;

// Hello and hello reply:
//
//   +--------+--------+--------+-------------+-------------+---------+-----------+
//   | u8 ver | u8 form| u8 flag| str16 hash  | str16 name  | u8 avail| bit field |
//   |   1    |        |        | (form 1 only)             | (flag 1)| (avail 3) |
//   +--------+--------+--------+-------------+-------------+---------+-----------+
//
// The bit field has one bit per block of the video, set when the sender holds
// the block.
struct VodHelloMsg {
    static constexpr std::uint8_t kVersion = 1;
    static constexpr std::uint8_t kFormStrings = 1;
    static constexpr std::uint8_t kFormNoStrings = 2;
    static constexpr std::uint8_t kFlagAvailability = 1;
    static constexpr std::uint8_t kFlagAccepted = 2;
    static constexpr std::uint8_t kHoldsNone = 1;
    static constexpr std::uint8_t kHoldsAll = 2;
    static constexpr std::uint8_t kHoldsField = 3;

    std::uint8_t version = kVersion;
    std::uint8_t form = kFormNoStrings;
    std::uint8_t flags = 0;
    std::string hash;  // the video's content hash
    std::string name;  // the sender's referrer; may be empty
    std::uint8_t availability = 0;
    nps::BitField blocks;

    void Pack(nps::Pack& pack) const;
    void Unpack(nps::Unpack& unpack);
};

// Request:
//
//   +-------------+---------------------------+-----------+-------------+
//   | u32 number  | BlockBitFieldMap wanted   | u8 loss % | u8 reserved |
//   +-------------+---------------------------+-----------+-------------+
//
// Bit i of block b's field asks for piece b x 48 + i. Numbers count up per
// session from 1.
struct VodRequestMsg {
    std::uint32_t number = 0;
    BlockBitFieldMap blocks;
    std::uint8_t lossPercent = 0;
    std::uint8_t secondRatio = 0;  // always 0; read and ignored

    void Pack(nps::Pack& pack) const;
    void Unpack(nps::Unpack& unpack);
};

// Piece:
//
//   +-----------+-----------+----------+--------------------------+
//   | u32 piece | u16 queued| u16 kbit | str16 bytes (at most 768)|
//   +-----------+-----------+----------+--------------------------+
//
// queued: pieces the sender still holds for this requester; kbit: its pacing
// rate in kbit/s.
struct VodPieceMsg {
    std::uint32_t piece = 0;
    std::uint16_t queued = 0;
    std::uint16_t rate = 0;
    // Points into the received message, or at the sender's piece buffer.
    nps::ByteRange data = {nullptr, 0};

    void Pack(nps::Pack& pack) const;
    // A piece of more than 768 bytes is malformed (nps::unpack_error).
    void Unpack(nps::Unpack& unpack);
};

// One message: its type, and the body of that type (reading leaves the
// others default).
struct VodMessage {
    std::uint8_t type = 0;
    VodHelloMsg hello;       // VOD_MSG_HELLO, VOD_MSG_HELLO_REPLY
    VodRequestMsg request;   // VOD_MSG_REQUEST
    VodPieceMsg piece;       // VOD_MSG_PIECE
    std::uint32_t done = 0;  // VOD_MSG_DONE
    BlockFlagMap have;       // VOD_MSG_HAVE
    PeerRelayMsg relay;      // VOD_MSG_RELAY
};

// Appends the type byte and the body of message.type; another type gets its
// type byte only. Throws nps::pack_error when the buffer cannot grow.
void PackVodMessage(const VodMessage& message, nps::DefaultBlockBuffer& buffer);

// False for an empty unit, a type receivers ignore and a body shorter than its
// layout; bytes after a complete body are ignored. Never throws on bad bytes.
// A piece's data points into the given bytes.
bool ReadVodMessage(const void* data, std::uint32_t length, VodMessage& message);

// The 20 bytes of a peer id as a byte string (the tracker's "pid").
std::string PeerIdToString(const PeerId& id);
