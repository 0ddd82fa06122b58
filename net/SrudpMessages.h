#pragma once

#include <cstdint>
#include <vector>

#include "common/pack/BlockBuffer.h"
#include "net/PeerId.h"
#include "net/PpnHeader.h"

// Codes of the reliable UDP transport (header layer 2).
enum SrudpCode : std::uint8_t {
    SRUDP_CONNECT = 33,
    SRUDP_ACCEPT = 34,
    SRUDP_CLOSE = 35,
    SRUDP_CLOSE_ACK = 36,
    SRUDP_DATA = 37,
    SRUDP_ACK = 38,
    SRUDP_KEEPALIVE = 41,
};

// Size hints written into the header; the real lengths are 42 (control),
// 46 (acknowledgement of one number), 38 (keepalive) and 44 + n (data).
const std::uint16_t kSrudpControlSizeHint = 40;
const std::uint16_t kSrudpDataSizeHint = 44;
const std::uint16_t kSrudpKeepaliveSizeHint = 36;

// Result of an accept: 0 accepts, 17 refuses (the connect came with another
// header version).
const std::uint16_t kSrudpAccepted = 0;
const std::uint16_t kSrudpRefused = 17;

const std::uint8_t kSrudpWindow = 10;

// Control message body (33 to 36), after a PpnHeader (layer 2, size hint 40):
//
//   +0  u8   code
//   +1  u8   window, 10 (stored by the receiver, not used)
//   +2  u16  33, 34: the sender's first sequence number; 35, 36: its next one
//   +4  u16  result: 0, or 17 in a refusing 34
//   +6  u16  0
//   +8  22   sender id: u16 length 20, then the id
struct SrudpControlMessage {
    std::uint8_t code;
    std::uint8_t window;
    std::uint16_t sequence;
    std::uint16_t result;
    std::uint16_t zero;
    PeerId sender;
};

// Data message body (37), after a PpnHeader (layer 2, size hint 44):
//
//   +0   u8   37
//   +1   u8   0
//   +2   22   sender id
//   +24  u32  sequence number
//   +28  u16  fragment length n, then n bytes: a SrudpFragmentHeader and at
//             most 800 payload bytes
struct SrudpDataMessage {
    PeerId sender;
    std::uint32_t sequence;
    const char* fragment;  // points into the decoded datagram
    std::uint32_t fragmentLength;
};

// Acknowledgement body (38), after a PpnHeader (layer 2, size hint 44):
//
//   +0   u8   38
//   +1   u8   0
//   +2   u32  cumulative: the receiver's next expected number minus 1, as it
//             stood before the acknowledged datagram was taken in
//   +6   22   sender id
//   +28  u16  byte length 4k, then k sequence numbers (u32); we send k = 1
struct SrudpAckMessage {
    std::uint32_t cumulative;
    PeerId sender;
    std::vector<std::uint32_t> sequences;
};

// Keepalive body (41), after a PpnHeader (layer 2, size hint 36):
//
//   +0  u8   41
//   +1  u8   0
//   +2  u16  0
//   +4  22   sender id

// The 12 bytes in front of every fragment's payload, little-endian:
//
//   +0   u32  PPN_MAGIC
//   +4   u32  message number (receivers ignore it)
//   +8   u8   flags: 0 whole message, 1 a piece with more to follow, 3 the last piece
//   +9   u8   reserved, 0
//   +10  u16  offset of the piece in the message, modulo 65536 (receivers ignore it)
struct SrudpFragmentHeader {
    std::uint32_t magic;
    std::uint32_t messageNumber;
    std::uint8_t flags;
    std::uint8_t reserved;
    std::uint16_t offset;
};

const unsigned kSrudpFragmentHeaderSize = 12;
const unsigned kSrudpMaxPayload = 800;
const std::uint8_t kFragmentPiece = 0x01;
const std::uint8_t kFragmentLast = 0x02;

// One piece of a message as the sender cuts it.
struct SrudpPiece {
    std::uint32_t offset;
    std::uint32_t length;
    std::uint8_t flags;
};

// Up to 800 bytes: one piece with flags 0. Longer: 800-byte pieces with flags
// 1, then the rest (1 to 800 bytes) with flags 3. Nothing for length 0.
std::vector<SrudpPiece> SplitMessage(std::uint32_t length);

// Whole datagrams, header included, appended to the buffer. Each throws
// nps::pack_error when the buffer cannot grow; what was appended then stays.
void EncodeSrudpControl(nps::DefaultBlockBuffer& buffer, const SrudpControlMessage& message,
                        std::uint8_t version = PPN_VERSION);
void EncodeSrudpData(nps::DefaultBlockBuffer& buffer, const PeerId& sender, std::uint32_t sequence,
                     const SrudpFragmentHeader& fragment, const char* payload, std::uint32_t payloadLength);
void EncodeSrudpAck(nps::DefaultBlockBuffer& buffer, std::uint32_t cumulative, const PeerId& sender,
                    const std::vector<std::uint32_t>& sequences);
void EncodeSrudpKeepalive(nps::DefaultBlockBuffer& buffer, const PeerId& sender);

// One received reliable-UDP datagram.
struct SrudpMessage {
    PpnHeader header;
    std::uint8_t code;
    SrudpControlMessage control;  // 33 to 36
    SrudpDataMessage data;        // 37
    SrudpAckMessage ack;          // 38
    PeerId sender;                // every code
};

// The whole datagram, header included. False unless it carries PPN_MAGIC and
// layer 2, a known code and every field of that code (bytes after the fields
// are ignored), with a sender id of exactly 20 bytes.
bool DecodeSrudpMessage(const char* datagram, std::uint32_t length, SrudpMessage& out);

// The fragment header at the start of a fragment; false when the fragment is
// 12 bytes or shorter or lacks the magic (it is then a message as it stands).
bool ReadFragmentHeader(const char* fragment, std::uint32_t length, SrudpFragmentHeader& out);
