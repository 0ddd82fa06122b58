#include "net/PeerAddress.h"

#include <cstdint>

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

namespace {

// The stored bytes, in memory order.
void PushRaw(nps::Pack& pack, const void* field, std::size_t n) {
    pack.reserve(n);
    pack.buffer().append(field, n);
}

void PopRaw(nps::Unpack& unpack, void* field, std::uint32_t n) {
    std::memcpy(field, unpack.pop_fetch_ptr(n), n);
}

}  // namespace

void PackPeerAddress(nps::Pack& pack, const PeerAddress& address) {
    pack.reserve(kPackedPeerAddressSize);
    pack.push_varstr(address.id.bytes, PeerId::kSize);
    PushRaw(pack, &address.endpoint.publicIp, 4);
    PushRaw(pack, &address.endpoint.publicPort, 2);
    PushRaw(pack, &address.endpoint.localPort, 2);
    PushRaw(pack, &address.endpoint.localIp, 4);
}

void UnpackPeerAddress(nps::Unpack& unpack, PeerAddress& address) {
    const nps::ByteRange id = unpack.pop_varstr();
    if (id.size != PeerId::kSize)
        throw nps::unpack_error("peer id length is not 20");
    if (unpack.left < kPackedPeerAddressSize - 2 - PeerId::kSize)
        throw nps::unpack_error("peer endpoint cut short");
    std::memcpy(address.id.bytes, id.data, PeerId::kSize);
    PopRaw(unpack, &address.endpoint.publicIp, 4);
    PopRaw(unpack, &address.endpoint.publicPort, 2);
    PopRaw(unpack, &address.endpoint.localPort, 2);
    PopRaw(unpack, &address.endpoint.localIp, 4);
}
