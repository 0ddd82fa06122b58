#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/pack/BlockBuffer.h"

namespace nps {

// Appends wire primitives to a buffer the caller owns:
//
//   u8 / u16 / u32 / u64   1, 2, 4, 8 bytes, little-endian, no padding
//   varstr                 u16 length L, then L raw bytes (no terminator)
//   varstr32               u32 length L, then L raw bytes
//
// A failing push throws nps::pack_error and appends nothing; what earlier
// pushes wrote stays in the buffer.
class Pack {
public:
    // The body starts header bytes after what the buffer already holds; the
    // gap is zero-filled for the caller to fill in afterwards.
    explicit Pack(DefaultBlockBuffer& buffer, std::uint32_t header = 0);
    virtual ~Pack();

    Pack(const Pack&) = delete;
    Pack& operator=(const Pack&) = delete;

    void push_uint8(std::uint8_t value);
    void push_uint16(std::uint16_t value);
    void push_uint32(std::uint32_t value);
    void push_uint64(std::uint64_t value);

    // Lengths of 65,536 or more throw "push_varstr: varstr too big".
    void push_varstr(const void* bytes, std::size_t length);
    void push_varstr(const std::string& text) { push_varstr(text.data(), text.size()); }

    void push_varstr32(const void* bytes, std::size_t length);
    void push_varstr32(const std::string& text) { push_varstr32(text.data(), text.size()); }

    std::uint32_t start() const { return m_start; }
    DefaultBlockBuffer& buffer() const { return m_buffer; }

    // Throws "append error" unless n more bytes fit, so that a push made of
    // several appends is all or nothing.
    void reserve(std::uint64_t n);

private:
    DefaultBlockBuffer& m_buffer;
    std::uint32_t m_start;
};

}  // namespace nps
