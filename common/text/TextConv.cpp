#include "common/text/TextConv.h"

namespace {

bool IsHigh(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Encodes one code point; returns its length (1 to 4).
std::size_t Encode(unsigned long cp, unsigned char out[4])
{
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
}

template <class Unit>
std::size_t Convert(const Unit* src, std::size_t count, char* dest, std::size_t destSize)
{
    std::size_t written = 0;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned unit = static_cast<unsigned>(src[i]) & 0xFFFF;
        unsigned long cp = unit;
        if (IsHigh(unit) && i + 1 < count && IsLow(static_cast<unsigned>(src[i + 1]) & 0xFFFF)) {
            unsigned low = static_cast<unsigned>(src[++i]) & 0xFFFF;
            cp = (unit - 0xD800ul) * 1024 + (low - 0xDC00) + 0x10000;
        }
        unsigned char bytes[4];
        std::size_t n = Encode(cp, bytes);
        if (destSize != 0) {
            if (n > destSize - written)
                return 0;
            for (std::size_t k = 0; k < n; ++k)
                dest[written + k] = static_cast<char>(bytes[k]);
        }
        written += n;
    }
    return written;
}

template <class Unit>
int ToUtf8(const Unit* text, std::string& out)
{
    if (!text)
        return 0;
    std::size_t units = 0;
    while (text[units])
        ++units;
    std::size_t needed = Convert(text, units, nullptr, 0);
    if (needed == 0)
        return 0;
    std::string converted(needed, '\0');
    if (Convert(text, units, &converted[0], needed) != needed)
        return 0;
    out.swap(converted);
    return 1;
}

} // namespace

std::size_t Utf16ToUtf8(const char16_t* src, std::size_t count, char* dest, std::size_t destSize)
{
    return Convert(src, count, dest, destSize);
}

int WideToUtf8(const char16_t* text, std::string& out)
{
    return ToUtf8(text, out);
}

#if WCHAR_MAX <= 0xFFFF
std::size_t Utf16ToUtf8(const wchar_t* src, std::size_t count, char* dest, std::size_t destSize)
{
    return Convert(src, count, dest, destSize);
}

int WideToUtf8(const wchar_t* text, std::string& out)
{
    return ToUtf8(text, out);
}
#endif
