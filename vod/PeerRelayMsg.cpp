#include "vod/PeerRelayMsg.h"

void PeerRelayMsg::Pack(nps::Pack& pack) const {
    pack.push_varstr(origin.bytes, PeerId::kSize);
    pack.push_uint32(sequence);
    pack.push_uint8(kind);
    pack.push_uint8(hops);
    pack.push_varstr(text);
}

void PeerRelayMsg::Unpack(nps::Unpack& unpack) {
    const nps::ByteRange id = unpack.pop_varstr();
    if (id.size != PeerId::kSize)
        throw nps::unpack_error("relay origin is not a peer id");
    const std::uint32_t seq = unpack.pop_uint32();
    const std::uint8_t k = unpack.pop_uint8();
    const std::uint8_t h = unpack.pop_uint8();
    const nps::ByteRange body = unpack.pop_varstr();
    origin = PeerId::FromBytes(id.data, id.size);
    sequence = seq;
    kind = k;
    hops = h;
    text.assign(body.data, body.size);
}
