#include "platform/dshow/realmedia/RmHeader.h"

#include <cstring>

namespace rm {

namespace {

std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint16_t U16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

// A codec's four characters as DirectShow packs them (first in the low byte).
std::uint32_t FourCC(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

bool Is(const std::uint8_t* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

// The type data of a video stream: size, "VIDO", codec, width, height,
// bits, padding, frame rate (16.16).
void ReadVideo(const std::uint8_t* p, std::size_t size, StreamInfo* stream)
{
    if (size < 26 || !Is(p + 4, "VIDO"))
        return;
    stream->video = true;
    stream->fourCC = FourCC(p + 8);
    stream->width = U16(p + 12);
    stream->height = U16(p + 14);
    stream->framesPer65536s = U32(p + 22);
}

// The type data of a version-4 audio stream (".ra" 0xFD, version 4): rate at
// +48, sample bits at +52, channels at +54, then the interleaver and codec
// names, each behind a length byte.
void ReadAudio(const std::uint8_t* p, std::size_t size, StreamInfo* stream)
{
    if (size < 6 || std::memcmp(p, ".ra\xfd", 4) != 0 || U16(p + 4) != 4 || size < 57)
        return;
    stream->sampleRate = U16(p + 48);
    stream->sampleBits = U16(p + 52);
    stream->channels = U16(p + 54);
    std::size_t at = 57 + p[56];
    if (at < size && at + 1 + p[at] <= size && p[at] == 4) {
        stream->fourCC = FourCC(p + at + 1);
    }
}

bool ReadStream(const std::uint8_t* p, std::size_t size, StreamInfo* stream)
{
    // Fixed part: chunk header (10), stream (2), seven u32 (28).
    std::size_t at = 40;
    if (size < at + 1)
        return false;
    stream->number = U16(p + 10);
    stream->averageBitRate = U32(p + 16);
    at += 1 + p[at];   // name
    if (size < at + 1)
        return false;
    std::size_t mimeLength = p[at];
    if (size < at + 1 + mimeLength + 4)
        return false;
    stream->mimeType.assign(reinterpret_cast<const char*>(p + at + 1), mimeLength);
    at += 1 + mimeLength;
    std::uint32_t typeSize = U32(p + at);
    at += 4;
    if (typeSize > size - at)
        return false;
    if (stream->mimeType.find("video") != std::string::npos)
        ReadVideo(p + at, typeSize, stream);
    else
        ReadAudio(p + at, typeSize, stream);
    return true;
}

} // namespace

ParseResult ParseHeaders(const std::uint8_t* data, std::size_t size, FileInfo* info,
                         std::size_t* needed)
{
    *info = FileInfo();
    std::size_t offset = 0;
    bool first = true;
    for (;;) {
        if (offset + 10 > size) {
            *needed = offset + 10;
            return offset + 10 > kMaxHeaderBytes ? ParseResult::Bad : ParseResult::NeedMore;
        }
        const std::uint8_t* chunk = data + offset;
        std::uint32_t chunkSize = U32(chunk + 4);
        if (first && !Is(chunk, ".RMF"))
            return ParseResult::Bad;
        first = false;
        if (Is(chunk, "DATA")) {
            if (offset + 18 > size) {
                *needed = offset + 18;
                return ParseResult::NeedMore;
            }
            info->packetCount = U32(chunk + 10);
            info->firstPacket = offset + 18;
            return info->streams.empty() ? ParseResult::Bad : ParseResult::Done;
        }
        if (chunkSize < 10 || chunkSize > kMaxHeaderBytes)
            return ParseResult::Bad;
        if (offset + chunkSize > size) {
            *needed = offset + chunkSize;
            return *needed > kMaxHeaderBytes ? ParseResult::Bad : ParseResult::NeedMore;
        }
        if (Is(chunk, "PROP") && chunkSize >= 34) {
            info->durationMs = U32(chunk + 30);
        } else if (Is(chunk, "MDPR")) {
            if (info->streams.size() == kMaxStreams)
                return ParseResult::Bad;
            StreamInfo stream;
            if (!ReadStream(chunk, chunkSize, &stream))
                return ParseResult::Bad;
            info->streams.push_back(stream);
        }
        offset += chunkSize;
    }
}

bool ParsePacketHeader(const std::uint8_t* data, std::size_t size, PacketHeader* header)
{
    if (size < 12)
        return false;
    std::uint16_t version = U16(data);
    if (version > 1 || (version == 1 && size < 13))
        return false;
    header->headerSize = version == 0 ? 12 : 13;
    header->length = U16(data + 2);
    header->stream = U16(data + 4);
    header->timeMs = U32(data + 6);
    header->flags = data[version == 0 ? 11 : 12];
    return header->length >= header->headerSize;
}

}  // namespace rm
