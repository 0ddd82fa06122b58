#pragma once

#include <cstdint>

// Units of a video file. Piece p covers bytes p x 768 to p x 768 + 767 and lies
// in block p / 48 at index p mod 48; the file's last piece and last block may
// be shorter.
const std::uint32_t kVodPieceSize = 768;
const std::uint32_t kVodPiecesPerBlock = 48;
const std::uint32_t kVodBlockSize = kVodPieceSize * kVodPiecesPerBlock;  // 36,864
