#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The stream header stored under a header id (little-endian):
//
//   +------+-----------+------------+---------+------------------+
//   | tag  | u32 value | u16 length | title   | player header    |
//   | 4 B  | 4 B       | 2 B        | T bytes | to the end       |
//   +------+-----------+------------+---------+------------------+
//
// With fewer than 7 bytes after the tag only the tag is there and the
// player header starts right after it.
struct LiveStreamHeader {
    std::string tag;
    bool hasFields = false;      // value and title length were present
    std::uint32_t value = 0;
    std::string title;           // ANSI bytes, possibly empty
    std::size_t playerHeaderOffset = 0;
};

// False for fewer than 4 bytes, or a title running past the end.
bool ParseLiveStreamHeader(const char* data, std::size_t length, LiveStreamHeader& out);

// A piece: u32 header id, then records of u32 length + bytes. Walks the
// records; a record running past the piece ends the walk (the rest of the
// piece is dropped: a cut record would corrupt the stream it belongs to).
class LivePieceRecords {
public:
    LivePieceRecords(const char* piece, std::size_t length);
    // 0 for a piece shorter than its header id.
    std::uint32_t HeaderId() const { return m_headerId; }
    bool Next(const char*& record, std::uint32_t& length);

private:
    const char* m_piece;
    std::size_t m_length;
    std::size_t m_at;
    std::uint32_t m_headerId;
};

// Player headers of the HTTP players (little-endian):
//   FLV:       i64 content length | FLV file header
//   RealMedia: i64 content length | u16 video stream | RealMedia file header
// False when the fixed fields do not fit.
bool ParseFlvPlayerHeader(const char* data, std::size_t length, std::int64_t& contentLength,
                          std::string& fileHeader);
bool ParseRmPlayerHeader(const char* data, std::size_t length, std::int64_t& contentLength,
                         std::uint16_t& videoStream, std::string& fileHeader);

// An FLV record (u32 previous tag size, then a tag) holding a video key frame.
bool IsFlvKeyFrameRecord(const char* record, std::size_t length);
// A RealMedia data packet's stream (big-endian at 4) and key flag (byte 11 = 2);
// stream 0 and no key below 12 bytes.
void ReadRmPacket(const char* record, std::size_t length, std::uint16_t& stream, bool& key);
// The end-of-stream block: two empty "INDX" chunks (streams 0 and 1) and
// zeros, 2000 bytes.
std::string RmIndexBlock();
