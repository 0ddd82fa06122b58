#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One packet of the Windows Media HTTP streaming framing (little-endian):
//
//   +------+--------+------------+-------------+---------+------------+---------+
//   | "$H" | u16 L  | u32        | u8          | u8      | u16        | payload |
//   | "$D" | = P+8  | LocationId | Incarnation | AFFlags | PacketSize |  P B    |
//   +------+--------+------------+-------------+---------+------------+---------+
//
// Unframed input is the payload alone and gets all 12 framing bytes. Framed
// input already begins with its id and a u16 length equal to the payload's;
// those 4 bytes stay (the length becomes L + 8) and the other 8 are put in
// after them. Refused (false, out untouched) when L + 8 does not fit a u16,
// when framed input is shorter than 4 bytes, or when its length field
// disagrees with its size: such a packet would desynchronise the client.
bool BuildWmspPacket(const char* data, std::size_t length, bool framed, char id,
                     std::uint32_t locationId, std::uint8_t afFlags, std::string& out);

// AFFlags of the header packet.
const std::uint8_t kWmspHeaderFlags = 12;

// Milliseconds a record waits for its share of a one-second piece; 0 without
// pacing or for an empty piece. Computed in 64 bits: length x 1000 overflows
// 32 bits for records above 4 MB.
std::uint32_t LiveRecordDelay(std::uint32_t length, std::uint32_t pieceLength, bool noPacing);
// The rest of the ~995 ms a piece takes with pacing; 0 without pacing or
// once 995 ms or more have passed.
std::uint32_t LivePieceRestDelay(std::uint32_t elapsedMs, bool noPacing);
