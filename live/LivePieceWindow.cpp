#include "live/LivePieceWindow.h"

#include <algorithm>
#include <cstring>

namespace {

// The pool grows by this many chunks at a time and no faster.
const std::uint32_t kPoolGrowth = 32;

}  // namespace

LivePieceWindow::LivePieceWindow(std::uint32_t capacity)
    : m_pool(sizeof(LiveBlockChunk), kPoolGrowth, kPoolGrowth), m_capacity(std::max(capacity, 1u)) {}

LivePieceWindow::~LivePieceWindow() {
    FreeAll();
}

LivePiece* LivePieceWindow::Slot(std::uint32_t piece) const {
    if (m_slots.empty() || piece < m_start || piece > m_end)
        return nullptr;
    return m_slots[piece - m_start];
}

void LivePieceWindow::FreePiece(LivePiece* piece) {
    if (piece == nullptr)
        return;
    for (LiveBlockChunk* chunk : piece->blocks)
        if (chunk != nullptr)
            m_pool.free(chunk);
    delete piece;
}

void LivePieceWindow::FreeAll() {
    for (LivePiece* piece : m_slots)
        FreePiece(piece);
    m_slots.clear();
    m_have.clear();
    m_completed.clear();
    m_start = m_end = 0;
}

void LivePieceWindow::SetStart(std::uint32_t piece) {
    if (piece == 0)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    FreeAll();
    m_start = m_end = piece;
    m_have.resize(1, false);
    m_slots.push_back(nullptr);
}

bool LivePieceWindow::AddPiece(std::uint32_t piece, std::uint32_t length, const void* data) {
    if (piece == 0 || length > kLiveMostPieceBytes)
        return false;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_start == 0 && m_end == 0) {
        m_start = m_end = piece;
        m_have.resize(1, false);
        m_slots.assign(1, nullptr);
    } else if (piece > m_end) {
        const std::uint32_t added = piece - m_end;
        if (added > kLiveMostAheadPieces)
            return false;
        m_have.resize(m_have.size() + added, false);
        m_slots.resize(m_slots.size() + added, nullptr);
    } else if (piece < m_start || m_slots[piece - m_start] != nullptr) {
        return false;
    }
    Slide();
    // A window left one piece over its capacity by the last addition slides
    // now, and may take a position inside it with it.
    if (piece < m_start)
        return false;

    auto* made = new LivePiece(length);
    if (data != nullptr) {
        const char* bytes = static_cast<const char*>(data);
        for (std::uint32_t i = 0; i < made->blockCount; ++i) {
            if (!StoreInto(*made, i, LiveBlockLength(length, i), bytes + std::size_t(i) * kLiveBlockSize)) {
                FreePiece(made);
                return false;
            }
        }
    }
    m_slots[piece - m_start] = made;
    if (data != nullptr || made->blockCount == 0)
        MarkComplete(piece);
    m_end = std::max(m_end, piece);
    return true;
}

void LivePieceWindow::Slide() {
    if (std::uint64_t(m_end) - m_start + 1 <= m_capacity)
        return;
    const std::uint32_t drop = std::min<std::size_t>(std::max(m_capacity / 5, 1u), m_slots.size());
    for (std::uint32_t i = 0; i < drop; ++i) {
        FreePiece(m_slots.front());
        m_slots.pop_front();
    }
    m_have >>= drop;
    m_have.resize(m_have.size() - drop);
    m_start += drop;
}

bool LivePieceWindow::StoreInto(LivePiece& piece, std::uint32_t index, std::uint32_t length,
                                const void* data) {
    if (static_cast<std::uint16_t>(length) == 0 || data == nullptr || index >= piece.blockCount)
        return false;
    if (piece.present[index])
        return true;
    if (length != LiveBlockLength(piece.length, index))
        return false;
    auto* chunk = static_cast<LiveBlockChunk*>(m_pool.malloc());
    if (chunk == nullptr)
        return false;
    std::memset(chunk->data, 0, sizeof chunk->data);
    chunk->length = length;
    std::memcpy(chunk->data, data, length);
    piece.present[index] = true;
    piece.blocks[index] = chunk;
    return true;
}

void LivePieceWindow::MarkComplete(std::uint32_t piece) {
    m_have[piece - m_start] = true;
    m_completed[piece] = 1;
}

bool LivePieceWindow::StoreBlock(std::uint32_t piece, std::uint32_t index, std::uint32_t length,
                                 const void* data) {
    std::lock_guard<std::mutex> lock(m_lock);
    LivePiece* slot = Slot(piece);
    if (slot == nullptr)
        return false;
    const bool wasComplete = slot->IsComplete();
    if (!StoreInto(*slot, index, length, data))
        return false;
    if (!wasComplete && slot->IsComplete())
        MarkComplete(piece);
    return true;
}

bool LivePieceWindow::GetBlock(std::uint32_t piece, std::uint32_t index, const char*& data,
                               std::uint32_t& length) {
    std::lock_guard<std::mutex> lock(m_lock);
    LivePiece* slot = Slot(piece);
    if (slot == nullptr || index >= slot->blockCount || slot->blocks[index] == nullptr ||
        slot->blocks[index]->length == 0)
        return false;
    data = slot->blocks[index]->data;
    length = slot->blocks[index]->length;
    return true;
}

bool LivePieceWindow::HasSlot(std::uint32_t piece) {
    std::lock_guard<std::mutex> lock(m_lock);
    return Slot(piece) != nullptr;
}

bool LivePieceWindow::IsComplete(std::uint32_t piece) {
    std::lock_guard<std::mutex> lock(m_lock);
    LivePiece* slot = Slot(piece);
    return slot != nullptr && slot->IsComplete();
}

bool LivePieceWindow::HasBlock(std::uint32_t piece, std::uint32_t index) {
    std::lock_guard<std::mutex> lock(m_lock);
    LivePiece* slot = Slot(piece);
    return slot != nullptr && index < slot->blockCount && slot->present[index];
}

std::uint32_t LivePieceWindow::BlockCountOf(std::uint32_t piece) {
    std::lock_guard<std::mutex> lock(m_lock);
    LivePiece* slot = Slot(piece);
    return slot != nullptr ? slot->blockCount : 0;
}

void LivePieceWindow::Snapshot(std::uint32_t& start, nps::BitField& bits) {
    std::lock_guard<std::mutex> lock(m_lock);
    start = m_start;
    bits = m_have;
}

void LivePieceWindow::GetPieceSizes(const LivePieceSet& pieces, LivePieceLengths& out) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (std::uint32_t piece : pieces)
        if (LivePiece* slot = Slot(piece))
            out[piece] = slot->length;
}

void LivePieceWindow::TakeHaveChanges(HaveChanges& out) {
    std::lock_guard<std::mutex> lock(m_lock);
    out.completed.swap(m_completed);
    m_completed.clear();
    out.start = m_start;
    out.lengths.clear();
    for (const auto& entry : out.completed)
        if (LivePiece* slot = Slot(entry.first))
            out.lengths[entry.first] = slot->length;
}

void LivePieceWindow::CollectLostBlocks(std::set<std::uint64_t>& rerequest, BlockBitFieldMap& wanted) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = rerequest.begin(); it != rerequest.end();) {
        const std::uint32_t piece = LiveKeyPiece(*it);
        const std::uint32_t block = LiveKeyBlock(*it);
        auto entry = wanted.find(piece);
        LivePiece* slot = Slot(piece);
        if (entry == wanted.end() && slot != nullptr)
            entry = wanted.emplace(piece, nps::BitField(slot->blockCount)).first;
        if (entry == wanted.end()) {
            ++it;
            continue;
        }
        const bool stored = slot != nullptr && block < slot->blockCount && slot->present[block];
        if (!stored && block < entry->second.size())
            entry->second[block] = true;
        it = rerequest.erase(it);
    }
}

void LivePieceWindow::CollectMissingBlocks(LivePieceSet& wantedPieces, BlockBitFieldMap& wanted) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = wantedPieces.begin(); it != wantedPieces.end();) {
        LivePiece* slot = Slot(*it);
        if (slot == nullptr) {
            ++it;
            continue;
        }
        if (!slot->IsComplete())
            wanted[*it] = ~slot->present;
        it = wantedPieces.erase(it);
    }
}

std::int32_t LivePieceWindow::GetPiece(std::uint32_t piece, char* buffer, std::uint32_t& length) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (piece < m_start)
        return -2;
    LivePiece* slot = Slot(piece);
    if (slot == nullptr || !slot->IsComplete())
        return -1;
    if (buffer == nullptr) {
        length = slot->length;
        return 0;
    }
    if (length < slot->length)
        return -1;
    if (slot->length == 0) {
        length = 0;
        return 0;
    }
    std::uint32_t copied = 0;
    for (LiveBlockChunk* chunk : slot->blocks) {
        // Every stored block holds exactly its share, so this never passes
        // the piece's length (and so the caller's buffer).
        const std::uint32_t n = std::min(chunk->length, length - copied);
        std::memcpy(buffer + copied, chunk->data, n);
        copied += n;
    }
    length = copied;
    return static_cast<std::int32_t>(copied);
}

void LivePieceWindow::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    FreeAll();
    m_pool.purge_memory();
}

std::uint32_t LivePieceWindow::GetStart() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_start;
}

std::uint32_t LivePieceWindow::GetEnd() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_end;
}
