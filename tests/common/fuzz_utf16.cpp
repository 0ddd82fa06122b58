// Utf16ToUtf8 over any units: the exact size converts whole, one byte less
// is refused without writing past it, and the bytes are well-formed UTF-8
// sequences (lone surrogates in their three-byte form).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/text/TextConv.h"

namespace {

bool WellFormed(const std::vector<char>& bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        unsigned char lead = static_cast<unsigned char>(bytes[i]);
        std::size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3
                                        : (lead >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > bytes.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 2)
                return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string units(size / 2, u'\0');
    if (!units.empty())
        std::memcpy(&units[0], data, units.size() * 2);
    std::size_t needed = Utf16ToUtf8(units.data(), units.size(), nullptr, 0);
    if (needed < units.size() || needed > units.size() * 3)
        std::abort();
    if (needed == 0)
        return 0;
    std::vector<char> exact(needed);
    if (Utf16ToUtf8(units.data(), units.size(), exact.data(), exact.size()) != needed)
        std::abort();
    if (!WellFormed(exact))
        std::abort();
    std::vector<char> shorter(needed - 1);
    if (!shorter.empty() && Utf16ToUtf8(units.data(), units.size(), shorter.data(), shorter.size()) != 0)
        std::abort();

    std::u16string text = units.substr(0, units.find(u'\0'));
    std::string out;
    if (WideToUtf8(text.c_str(), out) != (text.empty() ? 0 : 1))
        std::abort();
    return 0;
}
