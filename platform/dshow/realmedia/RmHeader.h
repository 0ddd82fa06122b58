#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The parts of a RealMedia file the splitter needs. All numbers big-endian.
//
// Every chunk starts with:      Header chunks read here:
//   +0 id    (4 chars)            "PROP" +10 max/avg bit rate, max/avg packet
//   +4 size  (u32, whole chunk)          size, packets, +30 duration (ms),
//   +8 version (u16)                     preroll, index offset, data offset
//                                        (u32 each), +50 streams (u16)
//   "MDPR" +10 stream (u16), +12 max/avg bit rate, max/avg packet size,
//          start, preroll, duration (u32 each), name (u8 length + text),
//          mime type (u8 length + text), type data (u32 length + bytes)
//   "DATA" +10 packets (u32), next data header (u32); packets follow at +18
//
// A data packet:
//   +0 version (u16: 0 or 1)  +2 length (u16, whole packet)  +4 stream (u16)
//   +6 time (u32, ms)  +10 group (u8)  +11 flags (u8, 2 = key frame)
//   version 1 adds one byte; the payload follows.
namespace rm {

struct StreamInfo {
    std::uint16_t number = 0;
    std::uint32_t averageBitRate = 0;
    std::string mimeType;
    bool video = false;
    std::uint32_t fourCC = 0;       // codec ("RV20", "dnet"), first character lowest
    std::uint16_t width = 0;        // video
    std::uint16_t height = 0;
    std::uint32_t framesPer65536s = 0;
    std::uint16_t sampleRate = 0;   // audio
    std::uint16_t sampleBits = 0;
    std::uint16_t channels = 0;
};

struct FileInfo {
    std::uint32_t durationMs = 0;
    std::uint32_t packetCount = 0;   // from the DATA chunk
    std::uint64_t firstPacket = 0;   // file offset of the first data packet
    std::vector<StreamInfo> streams;
};

enum class ParseResult { Done, NeedMore, Bad };

// Reads the headers from the file's first `size` bytes. NeedMore sets
// *needed to the byte count that would let it go on. At most kMaxStreams
// streams; a header larger than kMaxHeaderBytes is Bad.
const std::size_t kMaxStreams = 16;
const std::size_t kMaxHeaderBytes = 1 << 20;
ParseResult ParseHeaders(const std::uint8_t* data, std::size_t size, FileInfo* info,
                         std::size_t* needed);

struct PacketHeader {
    std::uint16_t length = 0;       // whole packet
    std::uint16_t stream = 0;
    std::uint32_t timeMs = 0;
    std::uint8_t flags = 0;
    std::uint8_t headerSize = 0;    // 12 or 13
};
const std::size_t kPacketHeaderMax = 13;

// False when the bytes are no packet header (or too few of them).
bool ParsePacketHeader(const std::uint8_t* data, std::size_t size, PacketHeader* header);

}  // namespace rm
