#pragma once

#include <cstdint>
#include <vector>

#include "common/pack/BitField.h"
#include "live/LiveUnits.h"

// One block's bytes as the piece window's pool hands them out: 772 bytes, a
// length and room for the longest block.
struct LiveBlockChunk {
    std::uint32_t length;
    char data[kLiveBlockSize];
};
static_assert(sizeof(LiveBlockChunk) == 772, "a pool chunk is a u32 length and 768 bytes");

// One piece of the channel while it is collected: its byte length and the
// blocks stored so far. The chunks belong to the window's pool; the window
// returns them.
struct LivePiece {
    explicit LivePiece(std::uint32_t byteLength)
        : length(byteLength), blockCount(LiveBlockCount(byteLength)), present(blockCount),
          blocks(blockCount, nullptr) {}

    bool IsComplete() const { return present.all(); }

    std::uint32_t length;
    std::uint32_t blockCount;
    nps::BitField present;  // bit i: block i is stored
    std::vector<LiveBlockChunk*> blocks;
};
