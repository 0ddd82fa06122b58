#include "live/LiveAvailability.h"

#include "live/LiveUnits.h"

bool LiveAvailability::Shows(std::uint32_t piece) const {
    return piece >= m_start && std::uint64_t(piece) - m_start < m_bits.size() && m_bits[piece - m_start];
}

void LiveAvailability::Replace(std::uint32_t start, const nps::BitField& bits) {
    m_start = start;
    m_bits = bits;
    if (m_bits.size() > kLiveMostAheadPieces)
        m_bits.resize(kLiveMostAheadPieces);
}

void LiveAvailability::ApplyHave(const BlockFlagMap& pieces, std::uint32_t start, std::uint32_t nodeType) {
    if (start > m_start) {
        const std::uint32_t moved = start - m_start;
        if (moved >= m_bits.size()) {
            m_bits.clear();
        } else {
            m_bits >>= moved;
            m_bits.resize(m_bits.size() - moved);
        }
        m_start = start;
    }
    bool any = false;
    for (const auto& entry : pieces) {
        if (entry.first < m_start)
            continue;
        const std::uint32_t index = entry.first - m_start;
        if (index >= kLiveMostAheadPieces)
            break;  // the map is ascending: every later piece is further out
        if (index >= m_bits.size())
            m_bits.resize(index + 1, false);
        m_bits[index] = entry.second != 0;
        any = true;
    }
    // Setting every bit once after the loop is the same as after each piece.
    if (any && nodeType == 1)
        m_bits.set();
}

void LiveAvailability::Clear() {
    m_start = 0;
    m_bits.clear();
}
