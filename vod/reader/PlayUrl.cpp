#include "vod/reader/PlayUrl.h"

#include <cstdint>

namespace vod {

namespace {

// Lower-case hexadecimal, at least eight digits.
std::wstring Hex(std::uintptr_t value)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring reversed;
    do {
        reversed += kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (reversed.size() < 8)
        reversed += L'0';
    return std::wstring(reversed.rbegin(), reversed.rend());
}

}  // namespace

std::wstring FormatPlayUrl(const std::wstring& mediaType, const void* readerHost,
                           unsigned short port)
{
    if (mediaType != L"flv") {
        return L"zaror://0x" + Hex(reinterpret_cast<std::uintptr_t>(readerHost)) + L"/1." +
               mediaType;
    }
    if (port == 0)
        return std::wstring();
    return L"http://127.0.0.1:" + std::to_wstring(port) + L"/1.flv";
}

bool ParseReaderHostUrl(const std::wstring& url, std::uintptr_t* host, std::wstring* path)
{
    static const wchar_t kPrefix[] = L"zaror://0x";
    const std::size_t prefixLength = sizeof kPrefix / sizeof kPrefix[0] - 1;
    if (url.compare(0, prefixLength, kPrefix) != 0)
        return false;
    std::size_t slash = url.find(L'/', prefixLength);
    std::size_t digits = (slash == std::wstring::npos ? url.size() : slash) - prefixLength;
    if (digits == 0 || digits > 2 * sizeof(std::uintptr_t))
        return false;
    std::uintptr_t value = 0;
    for (std::size_t i = prefixLength; i < prefixLength + digits; ++i) {
        wchar_t c = url[i];
        unsigned digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            return false;
        value = value << 4 | digit;
    }
    *host = value;
    *path = slash == std::wstring::npos ? std::wstring() : url.substr(slash + 1);
    return true;
}

}  // namespace vod
