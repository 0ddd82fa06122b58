#pragma once

#include <cstdint>
#include <vector>

// Where in the channel playback starts. Windows-free.

// What one handshaken peer holds: pieces start .. start + count - 1.
struct LivePeerHolding {
    std::uint32_t start;
    std::uint32_t count;
};

// A start chosen from viewer peers: the piece, and the lowest window start
// that some peer can serve from (the availability start of the peer whose
// middle was chosen).
struct LiveStartChoice {
    std::uint32_t piece = 0;
    std::uint32_t floor = 0;
};

// The largest middle (start + count / 2) that is non-zero and not beyond the
// live point; none: piece 0.
LiveStartChoice ChooseLiveStartPiece(const std::vector<LivePeerHolding>& peers, std::uint32_t livePoint);

// The first piece of the window when playback starts at piece: lag pieces
// behind it (behind the live point when piece or lag is 0), never below
// piece 1 nor below floor.
std::uint32_t LiveWindowStart(std::uint32_t piece, std::uint32_t livePoint, std::uint32_t lag,
                              std::uint32_t floor = 0);
