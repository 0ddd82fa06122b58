#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <set>

#include <boost/pool/pool.hpp>

#include "common/pack/BitField.h"
#include "live/LiveMessages.h"
#include "live/LivePiece.h"
#include "vod/BlockFieldMaps.h"

// The part of the channel being collected and fed to the player: a sliding
// range of at most `capacity` consecutive pieces, start..end inclusive, each
// with a slot once its byte length is known. Blocks arrive in any order from
// any peer; their bytes live in 772-byte chunks of one pool.
//
// The engine thread is the only writer. The feeder thread reads whole pieces
// through GetPiece; every public operation takes the one lock, so a read sees
// no half-done store or slide.
class LivePieceWindow {
public:
    explicit LivePieceWindow(std::uint32_t capacity = kLiveWindowCapacity);
    ~LivePieceWindow();
    LivePieceWindow(const LivePieceWindow&) = delete;
    LivePieceWindow& operator=(const LivePieceWindow&) = delete;

    // Makes piece the window's only position (no slot yet); 0 is ignored.
    void SetStart(std::uint32_t piece);

    // Creates the slot of piece with its byte length; with data, stores all of
    // its blocks from there and completes it. False for piece 0, a piece
    // below the start or with a slot already, a length above 16 MiB, or one
    // more than 65,536 pieces past the end (the gap's positions are made).
    bool AddPiece(std::uint32_t piece, std::uint32_t length, const void* data);

    // True when the block is (now or already) stored. A block must carry
    // exactly its share of the piece, min(768, L - 768 x index) bytes, so that
    // a complete piece holds exactly its length; a second store of a block
    // keeps the first bytes.
    bool StoreBlock(std::uint32_t piece, std::uint32_t index, std::uint32_t length, const void* data);

    // The stored block's bytes; valid until the engine thread next changes the
    // window.
    bool GetBlock(std::uint32_t piece, std::uint32_t index, const char*& data, std::uint32_t& length);

    bool HasSlot(std::uint32_t piece);
    bool IsComplete(std::uint32_t piece);
    bool HasBlock(std::uint32_t piece, std::uint32_t index);
    // Block count of a piece with a slot, else 0.
    std::uint32_t BlockCountOf(std::uint32_t piece);

    // The start and the complete bits, for a hello.
    void Snapshot(std::uint32_t& start, nps::BitField& bits);

    // Byte lengths of the pieces of the set that have a slot.
    void GetPieceSizes(const LivePieceSet& pieces, LivePieceLengths& out);

    // Pieces completed since the last call (each with 1), the start, and the
    // lengths of those still held; then forgets them.
    struct HaveChanges {
        BlockFlagMap completed;
        std::uint32_t start = 0;
        LivePieceLengths lengths;
    };
    void TakeHaveChanges(HaveChanges& out);

    // Moves the re-request blocks (piece x 2^32 + block) of pieces with a slot
    // into wanted, each bit set unless the block is stored; the blocks of
    // pieces without a slot stay in rerequest.
    void CollectLostBlocks(std::set<std::uint64_t>& rerequest, BlockBitFieldMap& wanted);

    // For each wanted piece with a slot: an incomplete one enters wanted with
    // all its missing blocks; either way it leaves wantedPieces.
    void CollectMissingBlocks(LivePieceSet& wantedPieces, BlockBitFieldMap& wanted);

    // The feeder's read of a complete piece:
    //   -2  the piece slid out (below the start);
    //   -1  beyond the end, no slot, incomplete, or buffer shorter than it;
    //    0  buffer null: length = the piece's byte length; or an empty piece;
    //   n   bytes copied into buffer (the piece's length), also in length.
    std::int32_t GetPiece(std::uint32_t piece, char* buffer, std::uint32_t& length);

    // Frees every piece and the pool's memory; the window is empty again.
    void Clear();

    std::uint32_t GetStart();
    std::uint32_t GetEnd();

private:
    LivePiece* Slot(std::uint32_t piece) const;
    void Slide();
    bool StoreInto(LivePiece& piece, std::uint32_t index, std::uint32_t length, const void* data);
    void MarkComplete(std::uint32_t piece);
    void FreePiece(LivePiece* piece);
    void FreeAll();

    std::mutex m_lock;  // guards everything below
    boost::pool<> m_pool;
    std::uint32_t m_start = 0;
    std::uint32_t m_end = 0;
    nps::BitField m_have;
    std::deque<LivePiece*> m_slots;
    std::uint32_t m_capacity;
    BlockFlagMap m_completed;
};
