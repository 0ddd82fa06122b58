#include "common/text/HexText.h"

std::string LowerHex(const void* data, std::size_t length)
{
    static const char kDigits[] = "0123456789abcdef";
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string text(length * 2, '0');
    for (std::size_t i = 0; i < length; ++i) {
        text[i * 2] = kDigits[bytes[i] >> 4];
        text[i * 2 + 1] = kDigits[bytes[i] & 0xF];
    }
    return text;
}
