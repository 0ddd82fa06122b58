#include "ui/GifBlocks.h"

#include <cstring>

namespace gif {
namespace {

unsigned U16(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

std::size_t TableBytes(std::uint8_t packed)
{
    return (packed & 0x80) ? 3u * (2u << (packed & 7)) : 0;
}

// Sub-blocks from offset on, terminator included; -1 when they run past the data.
long SubBlocks(const std::uint8_t* data, std::size_t size, std::size_t offset)
{
    std::size_t at = offset;
    for (;;) {
        if (at >= size)
            return -1;
        std::size_t n = data[at];
        at += 1 + n;
        if (n == 0)
            return static_cast<long>(at - offset);
    }
}

// A fixed head followed by sub-blocks.
long WithSubBlocks(const std::uint8_t* data, std::size_t size, std::size_t offset,
                   std::size_t head)
{
    if (head > size - offset)
        return -1;
    long sub = SubBlocks(data, size, offset + head);
    return sub < 0 ? -1 : static_cast<long>(head) + sub;
}

}  // namespace

long BlockLength(const std::uint8_t* data, std::size_t size, std::size_t offset)
{
    if (offset >= size)
        return -1;
    std::uint8_t first = data[offset];
    if (first == 0x3B)
        return 1;
    if (first == 0x2C) {
        if (size - offset < 11)
            return -1;
        return WithSubBlocks(data, size, offset, 11 + TableBytes(data[offset + 9]));
    }
    if (first != 0x21 || size - offset < 2)
        return -1;
    switch (data[offset + 1]) {
    case 0xFF: return WithSubBlocks(data, size, offset, 14);
    case 0xFE: return WithSubBlocks(data, size, offset, 2);
    case 0x01: return WithSubBlocks(data, size, offset, 15);
    case 0xF9: return size - offset < 8 ? -1 : 8;
    default: return -1;
    }
}

bool ReadScreen(const std::uint8_t* data, std::size_t size, Screen* screen)
{
    if (size < 13 || std::memcmp(data, "GIF", 3) != 0 ||
        (std::memcmp(data + 3, "87a", 3) != 0 && std::memcmp(data + 3, "89a", 3) != 0))
        return false;
    Screen s;
    s.width = static_cast<int>(U16(data + 6));
    s.height = static_cast<int>(U16(data + 8));
    s.globalTableBytes = TableBytes(data[10]);
    s.headerBytes = 13 + s.globalTableBytes;
    if (s.headerBytes > size)
        return false;
    std::size_t index = data[11];
    if (s.globalTableBytes && 3 * index < s.globalTableBytes) {
        s.hasBackground = true;
        std::memcpy(s.background, data + 13 + 3 * index, 3);
    }
    *screen = s;
    return true;
}

std::vector<Frame> WalkFrames(const std::uint8_t* data, std::size_t size, const Screen& screen,
                              std::size_t maxFrames)
{
    std::vector<Frame> frames;
    std::size_t at = screen.headerBytes;
    Frame frame;
    while (frames.size() < maxFrames) {
        long n = BlockLength(data, size, at);
        if (n <= 0 || data[at] == 0x3B)
            break;
        if (data[at] == 0x21 && data[at + 1] == 0xF9) {
            frame.controlOffset = at;
            frame.disposal = (data[at + 3] >> 2) & 7;
            frame.delay = static_cast<int>(U16(data + at + 4));
        } else if (data[at] == 0x2C) {
            frame.imageOffset = at;
            frame.imageBytes = static_cast<std::size_t>(n);
            frame.left = static_cast<int>(U16(data + at + 1));
            frame.top = static_cast<int>(U16(data + at + 3));
            frame.width = static_cast<int>(U16(data + at + 5));
            frame.height = static_cast<int>(U16(data + at + 7));
            frames.push_back(frame);
            frame = Frame();
        }
        at += static_cast<std::size_t>(n);
    }
    return frames;
}

std::vector<std::uint8_t> StandAlone(const std::uint8_t* data, const Screen& screen,
                                     const Frame& frame)
{
    std::vector<std::uint8_t> out(data, data + screen.headerBytes);
    if (frame.controlOffset)
        out.insert(out.end(), data + frame.controlOffset, data + frame.controlOffset + 8);
    out.insert(out.end(), data + frame.imageOffset, data + frame.imageOffset + frame.imageBytes);
    out.push_back(0x3B);
    return out;
}

}  // namespace gif
