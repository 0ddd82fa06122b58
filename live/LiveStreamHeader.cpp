#include "live/LiveStreamHeader.h"

#include <cstring>

namespace {

std::uint32_t ReadU32(const char* p)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::int64_t ReadI64(const char* p)
{
    std::uint64_t low = ReadU32(p);
    std::uint64_t high = ReadU32(p + 4);
    return static_cast<std::int64_t>(low | (high << 32));
}

}  // namespace

bool ParseLiveStreamHeader(const char* data, std::size_t length, LiveStreamHeader& out)
{
    if (data == nullptr || length < 4)
        return false;
    out = LiveStreamHeader();
    out.tag.assign(data, 4);
    out.playerHeaderOffset = 4;
    if (length - 4 < 7)
        return true;
    out.hasFields = true;
    out.value = ReadU32(data + 4);
    const unsigned char* t = reinterpret_cast<const unsigned char*>(data + 8);
    std::size_t titleLength = t[0] | (t[1] << 8);
    if (titleLength > length - 10)
        return false;
    out.title.assign(data + 10, titleLength);
    out.playerHeaderOffset = 10 + titleLength;
    return true;
}

LivePieceRecords::LivePieceRecords(const char* piece, std::size_t length)
    : m_piece(piece), m_length(length), m_at(4),
      m_headerId(piece != nullptr && length >= 4 ? ReadU32(piece) : 0)
{
    if (piece == nullptr || length < 4)
        m_at = m_length = 0;
}

bool LivePieceRecords::Next(const char*& record, std::uint32_t& length)
{
    if (m_length - m_at < 4)
        return false;
    std::uint32_t size = ReadU32(m_piece + m_at);
    if (size > m_length - m_at - 4) {
        m_at = m_length;
        return false;
    }
    record = m_piece + m_at + 4;
    length = size;
    m_at += 4 + size;
    return true;
}

bool ParseFlvPlayerHeader(const char* data, std::size_t length, std::int64_t& contentLength,
                          std::string& fileHeader)
{
    if (data == nullptr || length < 8)
        return false;
    contentLength = ReadI64(data);
    fileHeader.assign(data + 8, length - 8);
    return true;
}

bool ParseRmPlayerHeader(const char* data, std::size_t length, std::int64_t& contentLength,
                         std::uint16_t& videoStream, std::string& fileHeader)
{
    if (data == nullptr || length < 10)
        return false;
    contentLength = ReadI64(data);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(data + 8);
    videoStream = static_cast<std::uint16_t>(s[0] | (s[1] << 8));
    fileHeader.assign(data + 10, length - 10);
    return true;
}

bool IsFlvKeyFrameRecord(const char* record, std::size_t length)
{
    return record != nullptr && length > 15 && static_cast<unsigned char>(record[4]) == 9 &&
           (static_cast<unsigned char>(record[15]) >> 4) == 1;
}

void ReadRmPacket(const char* record, std::size_t length, std::uint16_t& stream, bool& key)
{
    stream = 0;
    key = false;
    if (record == nullptr || length < 12)
        return;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(record);
    stream = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
    key = b[11] == 2;
}

std::string RmIndexBlock()
{
    // "INDX" | u32 size 20 | u16 version 0 | u32 count 0 | u16 stream | u32 next 0,
    // all big-endian.
    std::string block(2000, '\0');
    for (int stream = 0; stream < 2; ++stream) {
        char* chunk = &block[20 * stream];
        std::memcpy(chunk, "INDX", 4);
        chunk[7] = 20;
        chunk[15] = static_cast<char>(stream);
    }
    return block;
}
