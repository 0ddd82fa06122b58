#include "vod/VodBlockMap.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Buffers come from the system 32 at a time, never more at once.
const std::size_t kPoolChunk = 32;
const std::int64_t kMiB = 1048576;

}  // namespace

CVodBlockMap::CVodBlockMap(std::int64_t size, std::int32_t memoryMiB)
    : m_pool(sizeof(VodPieceBuffer), kPoolChunk, kPoolChunk), m_size(size > 0 ? size : 0) {
    const std::int64_t pieces = (m_size + kVodPieceSize - 1) / kVodPieceSize;
    if (pieces > std::int64_t(UINT32_MAX)) {
        m_size = 0;
        return;
    }
    const std::uint32_t pieceCount = static_cast<std::uint32_t>(pieces);
    for (std::uint32_t first = 0; first < pieceCount; first += kVodPiecesPerBlock) {
        BlockRecord record;
        record.first = first;
        record.last = std::min(first + kVodPiecesPerBlock, pieceCount) - 1;
        record.present = 0;
        m_blocks.push_back(record);
    }
    m_complete.resize(m_blocks.size());
    // Counting the file's pieces rather than its bytes lets the short last
    // piece, and a file under one piece, be stored.
    const std::int64_t memoryPieces = std::int64_t(std::max(memoryMiB, 0)) * kMiB / kVodPieceSize;
    m_capacity = static_cast<std::uint32_t>(std::min<std::int64_t>(pieces, memoryPieces));
}

CVodBlockMap::~CVodBlockMap() = default;  // the pool frees every buffer

bool CVodBlockMap::IsBlockComplete(std::uint32_t block) const {
    return block < m_complete.size() && m_complete[block];
}

bool CVodBlockMap::IsPiecePresent(std::uint32_t piece) const {
    const std::uint32_t block = piece / kVodPiecesPerBlock;
    if (block >= m_blocks.size())
        return false;
    const BlockRecord& record = m_blocks[block];
    return piece <= record.last && (record.present >> (piece - record.first) & 1);
}

bool CVodBlockMap::IsBlockCompleteFrom(std::uint32_t block, std::uint32_t piece) const {
    if (block >= m_blocks.size())
        return false;
    const BlockRecord& record = m_blocks[block];
    for (std::uint32_t p = std::max(piece, record.first); p <= record.last; ++p) {
        if (!(record.present >> (p - record.first) & 1))
            return false;
    }
    return true;
}

bool CVodBlockMap::AddMissingPieces(std::uint32_t block, std::set<std::uint32_t>& pieces,
                                    std::uint32_t fromPiece) const {
    if (block >= m_blocks.size())
        return false;
    const BlockRecord& record = m_blocks[block];
    for (std::uint32_t p = std::max(fromPiece, record.first); p <= record.last; ++p) {
        if (!(record.present >> (p - record.first) & 1))
            pieces.insert(p);
    }
    return true;
}

BlockBitFieldMap CVodBlockMap::GroupWantedPieces(const std::set<std::uint32_t>& pieces) const {
    BlockBitFieldMap groups;
    for (std::uint32_t piece : pieces) {
        const std::uint32_t block = piece / kVodPiecesPerBlock;
        if (block >= m_blocks.size())
            break;  // the set is ordered: every later piece lies beyond too
        nps::BitField& field = groups[block];
        if (field.empty())
            field.resize(kVodPiecesPerBlock);
        if (!IsPiecePresent(piece))
            field.set(piece % kVodPiecesPerBlock);
    }
    return groups;
}

const VodPieceBuffer* CVodBlockMap::GetPiece(std::uint32_t piece) const {
    const std::uint32_t block = piece / kVodPiecesPerBlock;
    if (block >= m_blocks.size())
        return nullptr;
    const auto& stored = m_blocks[block].pieces;
    const auto it = stored.find(piece);
    return it == stored.end() ? nullptr : it->second;
}

std::uint32_t CVodBlockMap::PieceLength(std::uint32_t piece) const {
    const std::int64_t start = std::int64_t(piece) * kVodPieceSize;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(kVodPieceSize, m_size - start));
}

int CVodBlockMap::StorePiece(std::uint32_t piece, const void* bytes, std::uint32_t length,
                             bool toCache) {
    const std::uint32_t block = piece / kVodPiecesPerBlock;
    if (block >= m_blocks.size() || piece > m_blocks[block].last)
        return kBeyondLastBlock;
    BlockRecord& record = m_blocks[block];
    const std::uint64_t bit = std::uint64_t(1) << (piece - record.first);
    if (record.present & bit)
        return kAlreadyStored;
    // A piece of another length would shift every later byte of a read.
    if (length != PieceLength(piece))
        return kWrongLength;
    if (m_stored >= m_capacity)
        return kStoreFull;
    auto* buffer = static_cast<VodPieceBuffer*>(m_pool.malloc());
    if (buffer == nullptr)
        return kStoreFull;

    std::memset(buffer, 0, sizeof(VodPieceBuffer));
    std::memcpy(buffer->data, bytes, length);
    buffer->length = static_cast<std::uint16_t>(length);
    record.pieces[piece] = buffer;
    record.present |= bit;
    ++m_stored;

    if (record.present == record.FullMask()) {
        m_complete.set(block);
        m_lowCursor = std::min(m_lowCursor, block);
        m_highCursor = std::max(m_highCursor, block);
        if (m_cache != nullptr && toCache) {
            m_pending.insert(block);
            if (m_pending.size() >= kFlushBlocks)
                FlushToCache();
        }
    }
    return kStored;
}

int CVodBlockMap::Read(std::int64_t offset, void* buffer, std::uint32_t length) const {
    if (offset < 0 || offset >= m_size)
        return -1;
    auto* out = static_cast<char*>(buffer);
    const std::uint32_t wanted = std::min<std::uint32_t>(length, INT_MAX);
    std::uint32_t copied = 0;
    std::uint32_t piece = static_cast<std::uint32_t>(offset / kVodPieceSize);
    std::uint32_t at = static_cast<std::uint32_t>(offset % kVodPieceSize);
    while (copied < wanted) {
        const VodPieceBuffer* stored = GetPiece(piece);
        if (stored == nullptr || stored->length <= at)
            break;
        const std::uint32_t n = std::min<std::uint32_t>(stored->length - at, wanted - copied);
        std::memcpy(out + copied, stored->data + at, n);
        copied += n;
        ++piece;
        at = 0;
    }
    return static_cast<int>(copied);
}

bool CVodBlockMap::ReleaseBlock(std::uint32_t block) {
    BlockRecord& record = m_blocks[block];
    for (const auto& entry : record.pieces)
        m_pool.free(entry.second);
    m_stored -= static_cast<std::uint32_t>(record.pieces.size());
    record.pieces.clear();
    record.present = 0;
    const bool wasComplete = m_complete[block];
    m_complete.reset(block);
    return wasComplete;
}

std::uint32_t CVodBlockMap::ReleaseOutside(std::uint32_t below, std::uint32_t above,
                                           std::uint32_t count) {
    if (m_cache != nullptr)
        FlushToCache();
    const std::uint32_t blocks = GetBlockCount();
    std::uint32_t released = 0;
    for (std::uint32_t j = m_lowCursor; j < below && j < blocks && released < count; ++j) {
        if (ReleaseBlock(j))
            ++released;
        m_lowCursor = j + 1;
    }
    if (blocks == 0)
        return released;
    for (std::uint32_t c = std::min(m_highCursor, blocks - 1); c > above && released < count; --c) {
        if (ReleaseBlock(c))
            ++released;
        m_highCursor = c - 1;
    }
    return released;
}

void CVodBlockMap::FlushToCache() {
    if (m_cache == nullptr || m_pending.empty())
        return;
    VodBlockPieces blocks;
    for (std::uint32_t block : m_pending) {
        if (!IsBlockComplete(block))
            continue;
        std::vector<VodPieceBytes>& pieces = blocks[block];
        for (const auto& entry : m_blocks[block].pieces)
            pieces.push_back(VodPieceBytes{entry.second->length, entry.second->data});
    }
    m_pending.clear();
    if (!blocks.empty())
        m_cache->WriteBlocks(blocks);
}
