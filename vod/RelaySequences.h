#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "net/PeerId.h"

// The newest relay sequence taken from each origin, so that a text flooded
// back along another path is dropped. At most kMostOrigins origins are
// remembered; a new origin beyond them is refused rather than evicting one.
class RelaySequences {
public:
    static constexpr std::size_t kMostOrigins = 4096;

    // True (and remembered) when sequence is newer than any taken from origin.
    bool Take(const PeerId& origin, std::uint32_t sequence)
    {
        auto seen = m_newest.find(origin);
        if (seen != m_newest.end() && seen->second >= sequence)
            return false;
        if (seen == m_newest.end() && m_newest.size() >= kMostOrigins)
            return false;
        m_newest[origin] = sequence;
        return true;
    }

    void Clear() { m_newest.clear(); }

private:
    std::map<PeerId, std::uint32_t, PeerIdLess> m_newest;
};
