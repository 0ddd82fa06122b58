#include "common/pack/Pack.h"

namespace nps {

namespace {

template <typename T>
void put_le(DefaultBlockBuffer& buffer, T value) {
    unsigned char bytes[sizeof(T)];
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    buffer.append(bytes, sizeof(T));
}

}  // namespace

Pack::Pack(DefaultBlockBuffer& buffer, std::uint32_t header)
    : m_buffer(buffer), m_start(0) {
    const std::uint64_t start = std::uint64_t(buffer.size) + header;
    m_buffer.resize(start);
    m_start = static_cast<std::uint32_t>(start);
}

Pack::~Pack() = default;

void Pack::reserve(std::uint64_t n) {
    if (!m_buffer.grow(n))
        throw pack_error("append error");
}

void Pack::push_uint8(std::uint8_t value) { put_le(m_buffer, value); }
void Pack::push_uint16(std::uint16_t value) { put_le(m_buffer, value); }
void Pack::push_uint32(std::uint32_t value) { put_le(m_buffer, value); }
void Pack::push_uint64(std::uint64_t value) { put_le(m_buffer, value); }

void Pack::push_varstr(const void* bytes, std::size_t length) {
    if (length > 0xFFFF)
        throw pack_error("push_varstr: varstr too big");
    reserve(std::uint64_t(2) + length);
    push_uint16(static_cast<std::uint16_t>(length));
    m_buffer.append(bytes, length);
}

void Pack::push_varstr32(const void* bytes, std::size_t length) {
    // Past the buffer limit long before the u32 length could wrap.
    reserve(std::uint64_t(4) + length);
    push_uint32(static_cast<std::uint32_t>(length));
    m_buffer.append(bytes, length);
}

}  // namespace nps
