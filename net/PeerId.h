#pragma once

#include <cstddef>
#include <cstring>

// A peer is named by 20 opaque bytes. Ids order as unsigned bytes (memcmp),
// which every map keyed by peer uses, and which also decides who keeps the
// connection when two peers connect to each other at once.
struct PeerId {
    static const std::size_t kSize = 20;

    unsigned char bytes[kSize];

    // Zero-filled, then the first min(n, 20) bytes of data: ids from the
    // tracker may be shorter or longer than 20 bytes.
    static PeerId FromBytes(const void* data, std::size_t n)
    {
        PeerId id;
        std::memset(id.bytes, 0, kSize);
        std::memcpy(id.bytes, data, n < kSize ? n : kSize);
        return id;
    }

    bool operator==(const PeerId& other) const { return std::memcmp(bytes, other.bytes, kSize) == 0; }
    bool operator!=(const PeerId& other) const { return !(*this == other); }
};

// True when a sorts before b.
inline bool ComparePeerIds(const PeerId& a, const PeerId& b)
{
    return std::memcmp(a.bytes, b.bytes, PeerId::kSize) < 0;
}

struct PeerIdLess {
    bool operator()(const PeerId& a, const PeerId& b) const { return ComparePeerIds(a, b); }
};
