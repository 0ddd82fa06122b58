#pragma once

#include <cstdint>

#include "common/pack/BitField.h"
#include "vod/BlockFieldMaps.h"

// The pieces one peer holds, as its hello and its HAVE messages tell: bit i
// stands for piece start + i. At most 65,536 bits are kept, so a peer that
// announces a piece far ahead cannot make this side allocate for it.
class LiveAvailability {
public:
    std::uint32_t Start() const { return m_start; }
    const nps::BitField& Bits() const { return m_bits; }
    bool Shows(std::uint32_t piece) const;

    // A hello's or LIVE_MSG_AVAILABILITY's start and bits, replacing these.
    void Replace(std::uint32_t start, const nps::BitField& bits);

    // A HAVE: first the start moves up to the sender's (bits before it are
    // dropped), then each announced piece at or past the start is marked. A
    // source node (node type 1) holds everything up to the newest piece it
    // names, so all bits are set.
    void ApplyHave(const BlockFlagMap& pieces, std::uint32_t start, std::uint32_t nodeType);

    void Clear();

private:
    std::uint32_t m_start = 0;
    nps::BitField m_bits;
};
