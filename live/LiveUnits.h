#pragma once

#include <cstdint>

// Units of a live channel. A piece is numbered by a u32 and cut into blocks:
// block i of a piece of L bytes holds min(768, L - 768 x i) bytes.
const std::uint32_t kLiveBlockSize = 768;
const std::uint32_t kLiveWindowCapacity = 180;

// What one peer can make this side hold. The wire formats allow far more;
// beyond these bounds a message's excess is ignored.
const std::uint32_t kLiveMostPieceBytes = 16u << 20;  // 16 MiB
const std::uint32_t kLiveMostBlocksPerPiece =
    (kLiveMostPieceBytes + kLiveBlockSize - 1) / kLiveBlockSize;  // 21,846
// Availability bits of one peer, and how far past a window start a piece
// number (availability, piece sizes, new slots) is taken.
const std::uint32_t kLiveMostAheadPieces = 65536;
const std::uint32_t kLiveMostQueuedBlocks = 65535;  // the u16 "queued" field
const std::uint32_t kLiveMostHeaderIdsPerPeer = 1024;
const std::uint32_t kLiveMostStoredHeaders = 64;
const std::uint32_t kLiveMostHeaderBytes = 1u << 20;

// Blocks of a piece of the given length.
inline std::uint32_t LiveBlockCount(std::uint32_t length) {
    return static_cast<std::uint32_t>((std::uint64_t(length) + kLiveBlockSize - 1) / kLiveBlockSize);
}

// Bytes of block index of a piece of the given length (0 past its end).
inline std::uint32_t LiveBlockLength(std::uint32_t length, std::uint32_t index) {
    const std::uint64_t at = std::uint64_t(index) * kLiveBlockSize;
    if (at >= length)
        return 0;
    const std::uint64_t rest = length - at;
    return static_cast<std::uint32_t>(rest < kLiveBlockSize ? rest : kLiveBlockSize);
}

// Key of one block: piece x 2^32 + block.
inline std::uint64_t LiveBlockKey(std::uint32_t piece, std::uint32_t block) {
    return (std::uint64_t(piece) << 32) | block;
}
inline std::uint32_t LiveKeyPiece(std::uint64_t key) { return static_cast<std::uint32_t>(key >> 32); }
inline std::uint32_t LiveKeyBlock(std::uint64_t key) { return static_cast<std::uint32_t>(key); }
