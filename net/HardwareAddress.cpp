#include "net/HardwareAddress.h"

#include <cstring>

void CopyHardwareAddress(const unsigned char* reported, std::size_t reportedLength,
                         unsigned char (&out)[kHardwareAddressSize]) {
    std::memset(out, 0, kHardwareAddressSize);
    std::memcpy(out, reported, reportedLength < kHardwareAddressSize ? reportedLength : kHardwareAddressSize);
}

std::string FormatHardwareAddress(const unsigned char (&address)[kHardwareAddressSize]) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < kHardwareAddressSize; ++i) {
        text += kDigits[address[i] >> 4];
        text += kDigits[address[i] & 0x0F];
    }
    return text;
}
