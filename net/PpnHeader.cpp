#include "net/PpnHeader.h"

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

PpnHeader MakePpnHeader(std::uint8_t layer, std::uint16_t sizeHint) {
    PpnHeader h;
    h.size = sizeHint;
    h.layer = layer;
    h.version = PPN_VERSION;
    h.magic = PPN_MAGIC;
    h.reserved = 0;
    return h;
}

void PackPpnHeader(nps::Pack& pack, const PpnHeader& header) {
    pack.reserve(kPpnHeaderSize);
    pack.push_uint16(header.size);
    pack.push_uint8(header.layer);
    pack.push_uint8(header.version);
    pack.push_uint32(header.magic);
    pack.push_uint32(header.reserved);
}

void UnpackPpnHeader(nps::Unpack& unpack, PpnHeader& header) {
    if (unpack.left < kPpnHeaderSize)
        throw nps::unpack_error("ppn header cut short");
    header.size = unpack.pop_uint16();
    header.layer = unpack.pop_uint8();
    header.version = unpack.pop_uint8();
    header.magic = unpack.pop_uint32();
    header.reserved = unpack.pop_uint32();
}

bool IsStackDatagram(const void* data, std::size_t length) {
    if (length < kPpnHeaderSize)
        return false;
    const unsigned char* p = static_cast<const unsigned char*>(data) + 4;
    const std::uint32_t magic = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                                (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
    return magic == PPN_MAGIC;
}
