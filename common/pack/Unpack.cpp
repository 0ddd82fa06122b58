#include "common/pack/Unpack.h"

namespace nps {

namespace {

template <typename T>
T get_le(const char* p) {
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<T>(static_cast<unsigned char>(p[i])) << (8 * i);
    return value;
}

}  // namespace

Unpack::Unpack(const void* data, std::uint32_t length)
    : pos(static_cast<const char*>(data)), left(length) {}

Unpack::~Unpack() { pos = nullptr; }

std::uint8_t Unpack::pop_uint8() {
    if (left < 1)
        throw unpack_error("pop_uint8: not enough data");
    const std::uint8_t v = get_le<std::uint8_t>(pos);
    pos += 1;
    left -= 1;
    return v;
}

std::uint16_t Unpack::pop_uint16() {
    if (left < 2)
        throw unpack_error("pop_uint16: not enough data");
    const std::uint16_t v = get_le<std::uint16_t>(pos);
    pos += 2;
    left -= 2;
    return v;
}

std::uint32_t Unpack::pop_uint32() {
    if (left < 4)
        throw unpack_error("pop_uint32: not enough data");
    const std::uint32_t v = get_le<std::uint32_t>(pos);
    pos += 4;
    left -= 4;
    return v;
}

std::uint64_t Unpack::pop_uint64() {
    if (left < 8)
        throw unpack_error("pop_uint64: not enough data");
    const std::uint64_t v = get_le<std::uint64_t>(pos);
    pos += 8;
    left -= 8;
    return v;
}

const char* Unpack::pop_fetch_ptr(std::uint32_t n) {
    if (left < n)
        throw unpack_error("pop_fetch_ptr: not enough data");
    const char* p = pos;
    pos += n;
    left -= n;
    return p;
}

ByteRange Unpack::pop_varstr() {
    Unpack probe(*this);
    const std::uint16_t n = probe.pop_uint16();
    const char* p = probe.pop_fetch_ptr(n);
    pos = probe.pos;
    left = probe.left;
    return ByteRange{p, n};
}

ByteRange Unpack::pop_varstr32() {
    Unpack probe(*this);
    const std::uint32_t n = probe.pop_uint32();
    const char* p = probe.pop_fetch_ptr(n);
    pos = probe.pos;
    left = probe.left;
    return ByteRange{p, n};
}

void Unpack::finish() const {
    if (left != 0)
        throw pack_error("finish: have left data");
}

}  // namespace nps
