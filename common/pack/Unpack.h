#pragma once

#include <cstdint>
#include <string>

#include "common/pack/PackError.h"

namespace nps {

// A run of bytes inside the input of an Unpack: valid only as long as that input.
struct ByteRange {
    const char* data;
    std::uint32_t size;

    std::string str() const { return std::string(data, size); }
};

// Reads wire primitives (see Pack.h) from bytes the caller owns.
//
// A read past the end throws nps::unpack_error and consumes nothing; pops that
// succeeded before it stay consumed. pos and left are public: a reader of
// trailing records loops while left != 0, and a reader that hands the rest of a
// message on passes (pos, left).
class Unpack {
public:
    Unpack(const void* data, std::uint32_t length);
    Unpack(const Unpack&) = default;
    Unpack& operator=(const Unpack&) = default;
    virtual ~Unpack();

    const char* pos;     // next byte to read
    std::uint32_t left;  // bytes after pos

    std::uint8_t pop_uint8();
    std::uint16_t pop_uint16();
    std::uint32_t pop_uint32();
    std::uint64_t pop_uint64();

    // The next n bytes, in place; n = 0 gives pos and consumes nothing.
    const char* pop_fetch_ptr(std::uint32_t n);

    // u16 (or u32) length, then the bytes; all or nothing.
    ByteRange pop_varstr();
    ByteRange pop_varstr32();

    // Throws nps::pack_error "finish: have left data" when a byte is left.
    void finish() const;
};

}  // namespace nps
