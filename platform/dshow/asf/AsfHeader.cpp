#include "platform/dshow/asf/AsfHeader.h"

#include <cstring>

namespace asf {

namespace {

// GUIDs as their 16 stored bytes.
const std::uint8_t kHeaderObject[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                        0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const std::uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                          0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const std::uint8_t kStreamProperties[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                            0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const std::uint8_t kAudioMedia[16] = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                                      0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};
const std::uint8_t kVideoMedia[16] = {0xC0, 0xEF, 0x19, 0xBC, 0x4D, 0x5B, 0xCF, 0x11,
                                      0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

std::uint64_t U64(const std::uint8_t* p)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t U16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

bool ReadStream(const std::uint8_t* p, std::uint64_t size, Stream* stream)
{
    if (size < 78)
        return false;
    std::uint32_t typeLength = U32(p + 64);
    if (typeLength > size - 78)
        return false;
    stream->number = U16(p + 72) & 0x7F;
    const std::uint8_t* type = p + 78;
    if (std::memcmp(p + 24, kAudioMedia, 16) == 0) {
        if (typeLength < 18)
            return false;
        stream->format.assign(type, type + typeLength);
        return true;
    }
    if (std::memcmp(p + 24, kVideoMedia, 16) == 0) {
        if (typeLength < 11 + 40)
            return false;
        std::uint16_t formatSize = U16(type + 9);
        if (formatSize < 40 || formatSize > typeLength - 11)
            return false;
        stream->video = true;
        stream->format.assign(type + 11, type + 11 + formatSize);
        return true;
    }
    return false;   // other stream types (script commands, images) are not offered
}

} // namespace

ParseResult ParseHeader(const std::uint8_t* data, std::size_t size, Header* header,
                        std::size_t* needed)
{
    *header = Header();
    if (size < 30) {
        *needed = 30;
        return ParseResult::NeedMore;
    }
    if (std::memcmp(data, kHeaderObject, 16) != 0)
        return ParseResult::Bad;
    std::uint64_t total = U64(data + 16);
    if (total < 30 || total > kMaxHeaderBytes)
        return ParseResult::Bad;
    if (total > size) {
        *needed = static_cast<std::size_t>(total);
        return ParseResult::NeedMore;
    }
    header->size = total;
    std::uint64_t preroll = 0, duration = 0;
    for (std::uint64_t at = 30; at + 24 <= total;) {
        const std::uint8_t* object = data + at;
        std::uint64_t objectSize = U64(object + 16);
        if (objectSize < 24 || objectSize > total - at)
            return ParseResult::Bad;
        if (std::memcmp(object, kFileProperties, 16) == 0 && objectSize >= 88) {
            duration = U64(object + 64);
            preroll = U64(object + 80);
        } else if (std::memcmp(object, kStreamProperties, 16) == 0) {
            Stream stream;
            if (ReadStream(object, objectSize, &stream)) {
                if (header->streams.size() == kMaxStreams)
                    return ParseResult::Bad;
                header->streams.push_back(stream);
            }
        }
        at += objectSize;
    }
    std::uint64_t prerollHns = preroll * 10000;
    header->durationHns = duration > prerollHns ? duration - prerollHns : 0;
    return header->streams.empty() ? ParseResult::Bad : ParseResult::Done;
}

}  // namespace asf
