#pragma once

#include <cstddef>
#include <cstdint>

namespace nps {
class Pack;
class Unpack;
}  // namespace nps

const std::uint8_t PPN_VERSION = 18;
const std::uint32_t PPN_MAGIC = 0xa1d913fc;

// The header's layer byte (not to be confused with the layer numbers of
// ppn::PPNException, which count the facade as 0).
const std::uint8_t PPN_HEADER_UH = 1;     // NAT server and hole punching
const std::uint8_t PPN_HEADER_SRUDP = 2;  // reliable UDP
const std::uint8_t PPN_HEADER_TCP = 6;    // TCP handshake frame

// Opens every UH datagram, every reliable-UDP datagram and the TCP handshake
// frame. Little-endian, 12 bytes:
//
//   +0  u16  size hint (written by the sender, ignored by receivers)
//   +2  u8   layer
//   +3  u8   version, PPN_VERSION
//   +4  u32  magic, PPN_MAGIC
//   +8  u32  reserved, 0
struct PpnHeader {
    std::uint16_t size;
    std::uint8_t layer;
    std::uint8_t version;
    std::uint32_t magic;
    std::uint32_t reserved;
};

const unsigned kPpnHeaderSize = 12;

// A header of the given layer and size hint, version and magic filled in.
PpnHeader MakePpnHeader(std::uint8_t layer, std::uint16_t sizeHint);

void PackPpnHeader(nps::Pack& pack, const PpnHeader& header);
void UnpackPpnHeader(nps::Unpack& unpack, PpnHeader& header);  // nps::unpack_error when short

// A UDP datagram belongs to the stack when it is at least 12 bytes long and
// carries PPN_MAGIC in its bytes 4 to 7; any other datagram is raw data.
bool IsStackDatagram(const void* data, std::size_t length);
