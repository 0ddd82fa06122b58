#pragma once

#include <cstring>

#include "net/PeerEndpoint.h"
#include "net/PeerId.h"

namespace nps {
class Pack;
class Unpack;
}  // namespace nps

// A peer's id and endpoint: what the tracker hands out, what ConnectTo takes
// and what travels inside the UH, reliable-UDP and TCP messages.
struct PeerAddress {
    PeerId id;
    PeerEndpoint endpoint;

    void Clear() { std::memset(this, 0, sizeof *this); }

    bool operator==(const PeerAddress& o) const { return id == o.id && endpoint == o.endpoint; }
    bool operator!=(const PeerAddress& o) const { return !(*this == o); }
};

static_assert(sizeof(PeerAddress) == 32, "PeerAddress is 32 bytes");

// Packed form, 34 bytes (addresses and ports go out as stored, that is in
// network order, inside the otherwise little-endian packing):
//
//   +0   u16   id length, always 20
//   +2   20    id bytes
//   +22  4     public IPv4
//   +26  2     public port
//   +28  2     local port
//   +30  4     local IPv4
const unsigned kPackedPeerAddressSize = 34;

void PackPeerAddress(nps::Pack& pack, const PeerAddress& address);

// Throws nps::unpack_error on too few bytes, and also when the id length is
// not 20: such an id comes from no peer of ours, so the message is dropped.
void UnpackPeerAddress(nps::Unpack& unpack, PeerAddress& address);
