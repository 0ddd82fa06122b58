#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The streams an ASF file's header object announces. Little-endian.
//
// Header object:  GUID 75B22630-668E-11CF-A6D9-00AA0062CE6C, u64 size,
//                 u32 object count, 2 reserved bytes, then the objects, each
//                 GUID + u64 size (whole object) + body.
// File properties (8CABDCA1-A947-11CF-8EE4-00C00C205365):
//   +24 file id (16), file size (8), created (8), packets (8),
//   +64 play duration (u64, 100 ns), send duration (8), +80 preroll (u64, ms)
// Stream properties (B7DC0791-A9B7-11CF-8EE6-00C00C205365):
//   +24 stream type GUID, error correction GUID, time offset (8),
//   +64 type data length (u32), error data length (u32), +72 flags (u16,
//   low 7 bits the stream number), 4 reserved, +78 type data
//   audio type F8699E40-5B4D-11CF-A8FD-00805F5C442B: a WAVEFORMATEX
//   video type BC19EFC0-5B4D-11CF-A8FD-00805F5C442B: width (u32), height
//   (u32), flags (u8), format size (u16), then a BITMAPINFOHEADER
namespace asf {

struct Stream {
    int number = 0;
    bool video = false;
    std::vector<std::uint8_t> format;   // WAVEFORMATEX or BITMAPINFOHEADER, as stored
};

struct Header {
    std::uint64_t durationHns = 0;   // play duration less preroll, 100-ns units
    std::uint64_t size = 0;          // of the header object: the data object follows
    std::vector<Stream> streams;
};

enum class ParseResult { Done, NeedMore, Bad };
const std::size_t kMaxHeaderBytes = 1 << 20;
const std::size_t kMaxStreams = 16;

// From the file's first `size` bytes; NeedMore sets *needed.
ParseResult ParseHeader(const std::uint8_t* data, std::size_t size, Header* header,
                        std::size_t* needed);

}  // namespace asf
