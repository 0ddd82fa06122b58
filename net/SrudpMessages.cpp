#include "net/SrudpMessages.h"

#include <cstring>

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

namespace {

void PushId(nps::Pack& pack, const PeerId& id) { pack.push_varstr(id.bytes, PeerId::kSize); }

// An id of any other length comes from no peer of ours: the message is dropped.
PeerId PopId(nps::Unpack& u) {
    const nps::ByteRange bytes = u.pop_varstr();
    if (bytes.size != PeerId::kSize)
        throw nps::unpack_error("peer id length is not 20");
    return PeerId::FromBytes(bytes.data, bytes.size);
}

void PackFragmentHeader(nps::DefaultBlockBuffer& b, const SrudpFragmentHeader& h) {
    unsigned char raw[kSrudpFragmentHeaderSize];
    for (int i = 0; i < 4; ++i) {
        raw[i] = static_cast<unsigned char>(h.magic >> (8 * i));
        raw[4 + i] = static_cast<unsigned char>(h.messageNumber >> (8 * i));
    }
    raw[8] = h.flags;
    raw[9] = h.reserved;
    raw[10] = static_cast<unsigned char>(h.offset);
    raw[11] = static_cast<unsigned char>(h.offset >> 8);
    b.append(raw, sizeof raw);
}

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void ReadControl(nps::Unpack& u, SrudpControlMessage& m) {
    m.window = u.pop_uint8();
    m.sequence = u.pop_uint16();
    m.result = u.pop_uint16();
    m.zero = u.pop_uint16();
    m.sender = PopId(u);
}

void ReadData(nps::Unpack& u, SrudpDataMessage& m) {
    u.pop_uint8();
    m.sender = PopId(u);
    m.sequence = u.pop_uint32();
    const nps::ByteRange fragment = u.pop_varstr();
    m.fragment = fragment.data;
    m.fragmentLength = fragment.size;
}

void ReadAck(nps::Unpack& u, SrudpAckMessage& m) {
    u.pop_uint8();
    m.cumulative = u.pop_uint32();
    m.sender = PopId(u);
    // A length that is not a multiple of 4 reads as length / 4 numbers.
    const nps::ByteRange list = u.pop_varstr();
    m.sequences.clear();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(list.data);
    for (std::uint32_t i = 0; i + 4 <= list.size; i += 4)
        m.sequences.push_back(Le32(p + i));
}

}  // namespace

std::vector<SrudpPiece> SplitMessage(std::uint32_t length) {
    std::vector<SrudpPiece> pieces;
    if (length == 0)
        return pieces;
    if (length <= kSrudpMaxPayload) {
        pieces.push_back(SrudpPiece{0, length, 0});
        return pieces;
    }
    std::uint32_t offset = 0;
    for (; length - offset > kSrudpMaxPayload; offset += kSrudpMaxPayload)
        pieces.push_back(SrudpPiece{offset, kSrudpMaxPayload, kFragmentPiece});
    pieces.push_back(SrudpPiece{offset, length - offset, kFragmentPiece | kFragmentLast});
    return pieces;
}

void EncodeSrudpControl(nps::DefaultBlockBuffer& buffer, const SrudpControlMessage& m, std::uint8_t version) {
    nps::Pack pack(buffer);
    PpnHeader header = MakePpnHeader(PPN_HEADER_SRUDP, kSrudpControlSizeHint);
    header.version = version;
    PackPpnHeader(pack, header);
    pack.push_uint8(m.code);
    pack.push_uint8(m.window);
    pack.push_uint16(m.sequence);
    pack.push_uint16(m.result);
    pack.push_uint16(m.zero);
    PushId(pack, m.sender);
}

void EncodeSrudpData(nps::DefaultBlockBuffer& buffer, const PeerId& sender, std::uint32_t sequence,
                     const SrudpFragmentHeader& fragment, const char* payload, std::uint32_t payloadLength) {
    nps::Pack pack(buffer);
    PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_SRUDP, kSrudpDataSizeHint));
    pack.push_uint8(SRUDP_DATA);
    pack.push_uint8(0);
    PushId(pack, sender);
    pack.push_uint32(sequence);
    const std::uint64_t n = std::uint64_t(kSrudpFragmentHeaderSize) + payloadLength;
    if (n > 0xFFFF)
        throw nps::pack_error("push_varstr: varstr too big");
    pack.reserve(2 + n);
    pack.push_uint16(static_cast<std::uint16_t>(n));
    PackFragmentHeader(buffer, fragment);
    buffer.append(payload, payloadLength);
}

void EncodeSrudpAck(nps::DefaultBlockBuffer& buffer, std::uint32_t cumulative, const PeerId& sender,
                    const std::vector<std::uint32_t>& sequences) {
    nps::Pack pack(buffer);
    PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_SRUDP, kSrudpDataSizeHint));
    pack.push_uint8(SRUDP_ACK);
    pack.push_uint8(0);
    pack.push_uint32(cumulative);
    PushId(pack, sender);
    if (sequences.size() * 4 > 0xFFFF)
        throw nps::pack_error("push_varstr: varstr too big");
    pack.reserve(2 + sequences.size() * 4);
    pack.push_uint16(static_cast<std::uint16_t>(sequences.size() * 4));
    for (std::uint32_t s : sequences)
        pack.push_uint32(s);
}

void EncodeSrudpKeepalive(nps::DefaultBlockBuffer& buffer, const PeerId& sender) {
    nps::Pack pack(buffer);
    PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_SRUDP, kSrudpKeepaliveSizeHint));
    pack.push_uint8(SRUDP_KEEPALIVE);
    pack.push_uint8(0);
    pack.push_uint16(0);
    PushId(pack, sender);
}

bool DecodeSrudpMessage(const char* datagram, std::uint32_t length, SrudpMessage& out) {
    try {
        nps::Unpack u(datagram, length);
        UnpackPpnHeader(u, out.header);
        if (out.header.magic != PPN_MAGIC || out.header.layer != PPN_HEADER_SRUDP)
            return false;
        out.code = u.pop_uint8();
        switch (out.code) {
        case SRUDP_CONNECT:
        case SRUDP_ACCEPT:
        case SRUDP_CLOSE:
        case SRUDP_CLOSE_ACK:
            out.control.code = out.code;
            ReadControl(u, out.control);
            out.sender = out.control.sender;
            return true;
        case SRUDP_DATA:
            ReadData(u, out.data);
            out.sender = out.data.sender;
            return true;
        case SRUDP_ACK:
            ReadAck(u, out.ack);
            out.sender = out.ack.sender;
            return true;
        case SRUDP_KEEPALIVE:
            u.pop_uint8();
            u.pop_uint16();
            out.sender = PopId(u);
            return true;
        default:
            return false;
        }
    } catch (const nps::base_pack_error&) {
        return false;
    }
}

bool ReadFragmentHeader(const char* fragment, std::uint32_t length, SrudpFragmentHeader& out) {
    if (length <= kSrudpFragmentHeaderSize)
        return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(fragment);
    out.magic = Le32(p);
    if (out.magic != PPN_MAGIC)
        return false;
    out.messageNumber = Le32(p + 4);
    out.flags = p[8];
    out.reserved = p[9];
    out.offset = static_cast<std::uint16_t>(p[10] | (p[11] << 8));
    return true;
}
