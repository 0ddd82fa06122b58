#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The block structure of a GIF87a/GIF89a file, walked without decoding any
// picture data. Every length is checked against the bytes at hand: a block
// that runs past them ends the walk.
//
// Header (13 bytes):  "GIF" "87a"|"89a", u16 width, u16 height, packed
//                     (bit 7: global colour table, bits 0-2: its size),
//                     background index, aspect
// Global colour table: 3 * 2^((packed & 7) + 1) bytes when present
// Blocks:
//   21 FF  application extension  14 bytes, then sub-blocks
//   21 FE  comment extension       2 bytes, then sub-blocks
//   21 F9  graphic control ext.    8 bytes: +3 packed (bits 2-4 disposal),
//                                  +4 u16 delay (1/100 s), +6 transparent index
//   21 01  plain text extension   15 bytes, then sub-blocks
//   2C     image descriptor       +1 u16 left, +3 top, +5 width, +7 height,
//                                  +9 packed (bit 7: local table, bits 0-2
//                                  its size), local table, +1 LZW code size,
//                                  then sub-blocks
//   3B     trailer                 1 byte
// Sub-blocks: a size byte and that many bytes, until a size byte of 0.
namespace gif {

// Length of the block at offset, the sub-blocks and their terminator
// included; -1 when no block starts there or it runs past the data.
long BlockLength(const std::uint8_t* data, std::size_t size, std::size_t offset);

struct Screen {
    int width = 0;
    int height = 0;
    std::size_t globalTableBytes = 0;   // 0 without a global table
    bool hasBackground = false;         // the background index names a table entry
    std::uint8_t background[3] = {};    // red, green, blue
    std::size_t headerBytes = 0;        // 13 + the global table: where the blocks start
};

// False unless the data begins with a GIF87a/GIF89a header and its table.
bool ReadScreen(const std::uint8_t* data, std::size_t size, Screen* screen);

struct Frame {
    std::size_t controlOffset = 0;   // of the graphic control extension; 0 without one
    std::size_t imageOffset = 0;     // of the image descriptor
    std::size_t imageBytes = 0;      // descriptor, local table and image data
    int delay = -1;                  // hundredths of a second; -1 without a control extension
    int disposal = 0;
    int left = 0, top = 0, width = 0, height = 0;
};

// The frames in file order, from the first block on. Application, comment and
// plain text extensions are skipped; a graphic control extension belongs to
// the next image. The walk ends at the trailer or at the first byte that
// starts no whole block; at most maxFrames are returned.
std::vector<Frame> WalkFrames(const std::uint8_t* data, std::size_t size, const Screen& screen,
                              std::size_t maxFrames = 4096);

// A GIF of one frame: the file's header and global table, the frame's control
// extension and image, and a trailer.
std::vector<std::uint8_t> StandAlone(const std::uint8_t* data, const Screen& screen,
                                     const Frame& frame);

}  // namespace gif
