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

}  // namespace vod
