#pragma once

#include <cstdint>
#include <vector>

// Small GIFs written for the tests: a 16-colour global table, frames with or
// without a graphic control extension, optional local tables. Pixels are
// literal LZW codes with a clear code before the table would widen, which
// every decoder reads.
namespace gif_writer {

typedef std::vector<std::uint8_t> Bytes;
typedef std::uint32_t Rgb;   // 0xRRGGBB

struct FrameSpec {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> pixels;   // palette indices, row by row
    int delay = -1;                     // -1: no graphic control extension
    int disposal = 0;
    std::vector<Rgb> local;             // 16 colours, or empty
};

inline FrameSpec Solid(int left, int top, int width, int height, std::uint8_t index, int delay,
                       int disposal = 1)
{
    FrameSpec f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.pixels.assign(static_cast<size_t>(width * height), index);
    f.delay = delay;
    f.disposal = disposal;
    return f;
}

inline void PutTable(Bytes& out, const std::vector<Rgb>& colours)
{
    for (size_t i = 0; i < 16; ++i) {
        Rgb c = i < colours.size() ? colours[i] : 0;
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c));
    }
}

inline void PutU16(Bytes& out, int v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void PutImageData(Bytes& out, const std::vector<std::uint8_t>& pixels)
{
    const unsigned bits = 4, clear = 16, end = 17, width = 5, chunk = 13;
    Bytes packed;
    std::uint32_t acc = 0;
    unsigned n = 0;
    auto put = [&](unsigned code) {
        acc |= code << n;
        n += width;
        while (n >= 8) {
            packed.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            n -= 8;
        }
    };
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % chunk == 0)
            put(clear);
        put(pixels[i] & 15);
    }
    put(end);
    if (n)
        packed.push_back(static_cast<std::uint8_t>(acc));
    out.push_back(bits);
    for (size_t i = 0; i < packed.size(); i += 255) {
        size_t len = packed.size() - i < 255 ? packed.size() - i : 255;
        out.push_back(static_cast<std::uint8_t>(len));
        out.insert(out.end(), packed.begin() + i, packed.begin() + i + len);
    }
    out.push_back(0);
}

inline Bytes Write(int width, int height, const std::vector<Rgb>& palette,
                   const std::vector<FrameSpec>& frames, int background = 0,
                   const char* version = "89a")
{
    Bytes out = {'G', 'I', 'F'};
    out.insert(out.end(), version, version + 3);
    PutU16(out, width);
    PutU16(out, height);
    out.push_back(0x80 | 0x30 | 3);
    out.push_back(static_cast<std::uint8_t>(background));
    out.push_back(0);
    PutTable(out, palette);
    for (const FrameSpec& f : frames) {
        if (f.delay >= 0) {
            out.insert(out.end(), {0x21, 0xF9, 4, static_cast<std::uint8_t>(f.disposal << 2)});
            PutU16(out, f.delay);
            out.insert(out.end(), {0, 0});
        }
        out.push_back(0x2C);
        PutU16(out, f.left);
        PutU16(out, f.top);
        PutU16(out, f.width);
        PutU16(out, f.height);
        out.push_back(f.local.empty() ? 0 : 0x83);
        if (!f.local.empty())
            PutTable(out, f.local);
        PutImageData(out, f.pixels);
    }
    out.push_back(0x3B);
    return out;
}

// White, black, red, green, blue, then greys.
inline std::vector<Rgb> BasicPalette()
{
    return {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
}

}  // namespace gif_writer
