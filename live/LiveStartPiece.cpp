#include "live/LiveStartPiece.h"

#include <algorithm>

LiveStartChoice ChooseLiveStartPiece(const std::vector<LivePeerHolding>& peers, std::uint32_t livePoint)
{
    LiveStartChoice choice;
    for (const LivePeerHolding& peer : peers) {
        const std::uint32_t middle = peer.start + peer.count / 2;
        if (middle != 0 && middle <= livePoint && middle > choice.piece) {
            choice.piece = middle;
            choice.floor = peer.start;
        }
    }
    return choice;
}

std::uint32_t LiveWindowStart(std::uint32_t piece, std::uint32_t livePoint, std::uint32_t lag,
                              std::uint32_t floor)
{
    const std::uint32_t base = (lag != 0 && piece != 0) ? piece : livePoint;
    const std::uint64_t start = std::max<std::uint64_t>(base, std::uint64_t(lag) + 1) - lag;
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(start, floor));
}
