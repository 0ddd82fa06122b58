#pragma once

#include <cstdint>
#include <map>
#include <vector>

// One stored piece handed to the cache: its bytes stay valid during the call.
struct VodPieceBytes {
    std::uint16_t length;
    const char* bytes;
};

// Completed blocks by block number, each as its pieces in piece order.
using VodBlockPieces = std::map<std::uint32_t, std::vector<VodPieceBytes>>;

// Where the block map sends its completed blocks: the engine's cache file.
class IVodCacheWriter {
public:
    virtual bool WriteBlocks(const VodBlockPieces& blocks) = 0;

protected:
    ~IVodCacheWriter() = default;
};
