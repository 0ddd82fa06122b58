#pragma once

#include <cstdint>
#include <cstring>

// Network byte order without the socket headers, so the Windows-free codecs
// can keep addresses and ports exactly as the stack stores them: a value in
// network order holds its bytes most significant first in memory.
namespace net {

inline std::uint16_t HostToNet16(std::uint16_t v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    std::uint16_t out;
    std::memcpy(&out, b, 2);
    return out;
}

inline std::uint16_t NetToHost16(std::uint16_t v) {
    unsigned char b[2];
    std::memcpy(b, &v, 2);
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

inline std::uint32_t HostToNet32(std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    std::uint32_t out;
    std::memcpy(&out, b, 4);
    return out;
}

inline std::uint32_t NetToHost32(std::uint32_t v) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

}  // namespace net
