#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include <boost/pool/pool.hpp>

#include "common/pack/BitField.h"
#include "vod/BlockFieldMaps.h"
#include "vod/VodCacheWriter.h"
#include "vod/VodUnits.h"

// One stored piece: its bytes and how many of them are used.
struct VodPieceBuffer {
    char data[kVodPieceSize];
    std::uint16_t length;
};

// The pieces of one video held in memory: which pieces of which block are
// present, which blocks are complete, and the piece bytes in a store bounded
// by the memory setting. Blocks far from the play position are released when
// the store runs full; completed blocks go to the cache file in batches.
// Used on the engine thread only.
class CVodBlockMap {
public:
    // StorePiece results.
    static constexpr int kStored = 1;
    static constexpr int kStoreFull = 0;
    static constexpr int kBeyondLastBlock = -1;
    static constexpr int kAlreadyStored = -2;
    // The length is not the piece's own: 768 bytes, or the remainder of the
    // file for its last piece.
    static constexpr int kWrongLength = -3;

    // A size of 0 or less, or one whose pieces cannot all be numbered in 32
    // bits, builds no block.
    CVodBlockMap(std::int64_t size, std::int32_t memoryMiB);
    ~CVodBlockMap();
    CVodBlockMap(const CVodBlockMap&) = delete;
    CVodBlockMap& operator=(const CVodBlockMap&) = delete;

    std::uint32_t GetBlockCount() const { return static_cast<std::uint32_t>(m_blocks.size()); }
    // The most pieces held at once: the file's pieces, fewer when the memory
    // setting holds fewer.
    std::uint32_t GetPieceCapacity() const { return m_capacity; }
    std::uint32_t GetStoredCount() const { return m_stored; }
    bool HasFreeRoom() const { return m_stored < m_capacity; }

    bool IsBlockComplete(std::uint32_t block) const;
    bool IsPiecePresent(std::uint32_t piece) const;
    // Every piece of the block from max(piece, its first piece) on is stored.
    bool IsBlockCompleteFrom(std::uint32_t block, std::uint32_t piece) const;
    // Adds the block's missing pieces from max(fromPiece, its first piece) on.
    bool AddMissingPieces(std::uint32_t block, std::set<std::uint32_t>& pieces,
                          std::uint32_t fromPiece) const;
    // Per block of the given pieces, a 48-bit field of those not stored; a
    // block whose pieces are all stored keeps an entry without set bits.
    // Pieces beyond the last block are left out.
    BlockBitFieldMap GroupWantedPieces(const std::set<std::uint32_t>& pieces) const;

    const VodPieceBuffer* GetPiece(std::uint32_t piece) const;
    int StorePiece(std::uint32_t piece, const void* bytes, std::uint32_t length, bool toCache);
    // Copies stored bytes from offset on until length or the first piece not
    // stored: the bytes copied, or -1 at or beyond the file size.
    int Read(std::int64_t offset, void* buffer, std::uint32_t length) const;
    // Releases blocks below `below` (from the low cursor up) and above `above`
    // (from the high cursor down) until `count` complete blocks went; returns
    // how many complete blocks went.
    std::uint32_t ReleaseOutside(std::uint32_t below, std::uint32_t above, std::uint32_t count);
    // Hands the pending complete blocks to the cache file in one call.
    void FlushToCache();
    // Not owned; null detaches.
    void SetCacheFile(IVodCacheWriter* cache) { m_cache = cache; }
    const nps::BitField& GetCompleteBits() const { return m_complete; }

private:
    // A batch of this many completed blocks is written at once.
    static constexpr std::size_t kFlushBlocks = 10;

    struct BlockRecord {
        std::uint32_t first;
        std::uint32_t last;
        std::uint64_t present;  // bit i: piece first + i is stored
        std::map<std::uint32_t, VodPieceBuffer*> pieces;

        std::uint32_t PieceCount() const { return last - first + 1; }
        std::uint64_t FullMask() const { return (std::uint64_t(1) << PieceCount()) - 1; }
    };

    std::uint32_t PieceLength(std::uint32_t piece) const;
    bool ReleaseBlock(std::uint32_t block);

    boost::pool<> m_pool;
    std::vector<BlockRecord> m_blocks;
    nps::BitField m_complete;
    std::uint32_t m_lowCursor = 0;
    std::uint32_t m_highCursor = 0;
    std::int64_t m_size;
    std::uint32_t m_capacity = 0;
    std::uint32_t m_stored = 0;
    IVodCacheWriter* m_cache = nullptr;
    std::set<std::uint32_t> m_pending;
};
