#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/pack/BitField.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

namespace {

using nps::BitField;
using nps::DefaultBlockBuffer;
using Bytes = std::vector<unsigned char>;

Bytes Contents(const DefaultBlockBuffer& b) {
    return Bytes(reinterpret_cast<const unsigned char*>(b.data),
                 reinterpret_cast<const unsigned char*>(b.data) + b.size);
}

Bytes Pattern(std::size_t n) {
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>(i * 7 + 3);
    return v;
}

// Runs f and returns the what() text of the exception of type E it throws.
template <typename E>
std::string ErrorText(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

// ---------------------------------------------------------------- BlockBuffer

TEST(BlockBuffer, EmptyBufferPointsAtAZeroByte) {
    DefaultBlockBuffer b;
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(*b.data, 0);
    EXPECT_EQ(b.size, 0u);
    EXPECT_EQ(b.blocks, 0u);
    b.append("x", 0);
    EXPECT_EQ(b.blocks, 0u);
}

TEST(BlockBuffer, GrowsByWholeBlocksAndKeepsContent) {
    DefaultBlockBuffer b;
    const Bytes first = Pattern(2048);
    b.append(first.data(), first.size());
    EXPECT_EQ(b.blocks, 1u);
    EXPECT_EQ(b.size, 2048u);

    b.append("z", 1);
    EXPECT_EQ(b.blocks, 2u);
    ASSERT_EQ(b.size, 2049u);
    EXPECT_EQ(0, std::memcmp(b.data, first.data(), first.size()));
    EXPECT_EQ(b.data[2048], 'z');
}

TEST(BlockBuffer, ResizeToZeroKeepsBlocksForTheNextRecord) {
    DefaultBlockBuffer b;
    b.resize(5000);
    EXPECT_EQ(b.blocks, 3u);
    b.resize(0);
    EXPECT_EQ(b.size, 0u);
    EXPECT_EQ(b.blocks, 3u);
    nps::Pack p(b);
    EXPECT_EQ(p.start(), 0u);
}

TEST(BlockBuffer, ResizeFillSetsOnlyTheNewBytes) {
    DefaultBlockBuffer b;
    b.append("ab", 2);
    ASSERT_TRUE(b.resize_fill(5, 0xEE));
    EXPECT_EQ(Contents(b), (Bytes{'a', 'b', 0xEE, 0xEE, 0xEE}));
    ASSERT_TRUE(b.resize_fill(1, 0x11));
    EXPECT_EQ(Contents(b), (Bytes{'a'}));
    b.resize(3);  // regrown bytes are zero, not the old content
    EXPECT_EQ(Contents(b), (Bytes{'a', 0, 0}));
}

TEST(BlockBuffer, LimitRefusesAndKeepsContent) {
    DefaultBlockBuffer b;
    b.append("head", 4);
    b.resize(DefaultBlockBuffer::max_bytes);  // exactly 20,971,520 bytes fit
    ASSERT_EQ(b.size, 20971520u);
    ASSERT_EQ(b.blocks, 10240u);
    char* const data = b.data;

    EXPECT_EQ(ErrorText<nps::pack_error>([&] { b.append("x", 1); }), "append error");
    EXPECT_EQ(ErrorText<nps::pack_error>([&] { b.resize(b.size + std::uint64_t(1)); }), "resize error");
    EXPECT_FALSE(b.resize_fill(b.size + std::uint64_t(1), 0));
    EXPECT_EQ(b.size, 20971520u);
    EXPECT_EQ(b.blocks, 10240u);
    EXPECT_EQ(b.data, data);
    EXPECT_EQ(0, std::memcmp(b.data, "head", 4));
}

TEST(BlockBuffer, GrowthThatWouldWrapIsRefused) {
    // size + n wraps to a small number in 32 or 64 bits: must still fail.
    const std::uint64_t cases[] = {
        0x100000000ull - 5,     // wraps a u32 sum
        ~std::uint64_t(0) - 5,  // wraps a u64 sum
        ~std::uint64_t(0),
        DefaultBlockBuffer::max_bytes,  // one byte too many with 10 held
    };
    for (std::uint64_t n : cases) {
        DefaultBlockBuffer b;
        b.append("0123456789", 10);
        EXPECT_FALSE(b.grow(n)) << n;
        EXPECT_EQ(b.size, 10u);
        EXPECT_EQ(b.blocks, 1u);
        if (n <= SIZE_MAX) {
            EXPECT_EQ(ErrorText<nps::pack_error>([&] { b.append("", static_cast<std::size_t>(n)); }),
                      "append error")
                << n;
        }
        EXPECT_EQ(b.size, 10u);
    }
}

struct FlakyAllocator {
    static bool fail;
    static char* malloc(std::size_t n) { return fail ? nullptr : static_cast<char*>(std::malloc(n)); }
    static void free(char* p) { std::free(p); }
};
bool FlakyAllocator::fail = false;

TEST(BlockBuffer, AllocationFailureLeavesBufferUnchanged) {
    nps::BlockBuffer<FlakyAllocator> b;
    const Bytes head = Pattern(100);
    b.append(head.data(), head.size());
    char* const data = b.data;

    FlakyAllocator::fail = true;
    const Bytes more = Pattern(3000);
    EXPECT_EQ(ErrorText<nps::pack_error>([&] { b.append(more.data(), more.size()); }), "append error");
    EXPECT_FALSE(b.resize_fill(4000, 1));
    EXPECT_TRUE(b.grow(2048 - 100));  // fits in the block already held
    FlakyAllocator::fail = false;

    EXPECT_EQ(b.data, data);
    EXPECT_EQ(b.blocks, 1u);
    ASSERT_EQ(b.size, 100u);
    EXPECT_EQ(0, std::memcmp(b.data, head.data(), head.size()));
}

// ----------------------------------------------------------------------- Pack

struct GoldenCase {
    const char* name;
    std::function<void(nps::Pack&)> write;
    Bytes bytes;
};

TEST(Pack, GoldenBytes) {
    BitField ten(10);
    ten.set(0);
    ten.set(9);
    BitField nine_ones(9);
    nine_ones.set();

    const GoldenCase cases[] = {
        {"u8", [](nps::Pack& p) { p.push_uint8(0xAB); }, {0xAB}},
        {"u16", [](nps::Pack& p) { p.push_uint16(0x0102); }, {0x02, 0x01}},
        {"u32 258", [](nps::Pack& p) { p.push_uint32(258); }, {0x02, 0x01, 0x00, 0x00}},
        {"u64 1", [](nps::Pack& p) { p.push_uint64(1); }, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"u64 low half first", [](nps::Pack& p) { p.push_uint64(0x0102030405060708ull); },
         {8, 7, 6, 5, 4, 3, 2, 1}},
        {"signed as two's complement", [](nps::Pack& p) { p.push_uint16(static_cast<std::uint16_t>(-2)); },
         {0xFE, 0xFF}},
        {"varstr", [](nps::Pack& p) { p.push_varstr("a\0b", 3); }, {3, 0, 'a', 0, 'b'}},
        {"varstr empty", [](nps::Pack& p) { p.push_varstr("", 0); }, {0, 0}},
        {"varstr32", [](nps::Pack& p) { p.push_varstr32(std::string("hi")); }, {2, 0, 0, 0, 'h', 'i'}},
        {"varstr32 empty", [](nps::Pack& p) { p.push_varstr32(nullptr, 0); }, {0, 0, 0, 0}},
        {"bit field empty", [](nps::Pack& p) { nps::pack_bitset(p, BitField()); }, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"bit field 10 bits", [&](nps::Pack& p) { nps::pack_bitset(p, ten); },
         {10, 0, 0, 0, 2, 0, 0, 0, 0x01, 0x02}},
        {"bit field spare bits zero", [&](nps::Pack& p) { nps::pack_bitset(p, nine_ones); },
         {9, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0x01}},
        {"in order, no padding", [](nps::Pack& p) {
             p.push_uint8(1);
             p.push_uint32(2);
             p.push_varstr("x", 1);
             p.push_uint16(3);
         },
         {1, 2, 0, 0, 0, 1, 0, 'x', 3, 0}},
    };
    for (const auto& c : cases) {
        DefaultBlockBuffer b;
        nps::Pack p(b);
        c.write(p);
        EXPECT_EQ(Contents(b), c.bytes) << c.name;
    }
}

TEST(Pack, VarstrLengthLimit) {
    const std::string max(65535, 'm');
    DefaultBlockBuffer b;
    nps::Pack p(b);
    p.push_varstr(max);
    ASSERT_EQ(b.size, 2u + 65535u);
    EXPECT_EQ(static_cast<unsigned char>(b.data[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(b.data[1]), 0xFF);

    const std::string over(65536, 'o');
    EXPECT_EQ(ErrorText<nps::pack_error>([&] { p.push_varstr(over); }), "push_varstr: varstr too big");
    EXPECT_EQ(b.size, 2u + 65535u);
}

TEST(Pack, WritesAfterWhatTheBufferHolds) {
    DefaultBlockBuffer b;
    b.append("0123456789", 10);
    {
        nps::Pack p(b);
        EXPECT_EQ(p.start(), 10u);
        p.push_uint8(0x42);
    }
    EXPECT_EQ(b.size, 11u);
    EXPECT_EQ(b.data[10], 0x42);

    // A header leaves a zero-filled gap before the body.
    DefaultBlockBuffer h;
    h.append("x", 1);
    nps::Pack p(h, 4);
    EXPECT_EQ(p.start(), 5u);
    p.push_uint8(7);
    EXPECT_EQ(Contents(h), (Bytes{'x', 0, 0, 0, 0, 7}));
}

TEST(Pack, FailingPushAppendsNothing) {
    // Three bytes of room left: every push below needs more.
    DefaultBlockBuffer b;
    b.resize(DefaultBlockBuffer::max_bytes - 3);
    nps::Pack p(b);
    const std::uint32_t before = b.size;
    BitField small(8);

    const std::function<void()> pushes[] = {
        [&] { p.push_uint32(1); },
        [&] { p.push_uint64(1); },
        [&] { p.push_varstr("ab", 2); },
        [&] { p.push_varstr32("", 0); },
        // The length is refused before the bytes are looked at.
        [&] { p.push_varstr32("", 30000000); },
        [&] { nps::pack_bitset(p, small); },
    };
    for (const auto& push : pushes) {
        EXPECT_EQ(ErrorText<nps::pack_error>(push), "append error");
        EXPECT_EQ(b.size, before);
    }
    EXPECT_EQ(ErrorText<nps::pack_error>([&] { nps::Pack q(b, 4); }), "resize error");
    EXPECT_EQ(b.size, before);
}

// --------------------------------------------------------------------- Unpack

TEST(Unpack, ReadsWhatPackWrote) {
    DefaultBlockBuffer b;
    {
        nps::Pack p(b);
        p.push_uint8(0xFE);
        p.push_uint16(0xBEEF);
        p.push_uint32(0xDEADBEEF);
        p.push_uint64(0x0123456789ABCDEFull);
        p.push_varstr(std::string("a\0b", 3));
        p.push_varstr32(std::string("varstr32"));
        p.push_varstr("", 0);
    }
    nps::Unpack u(b.data, b.size);
    EXPECT_EQ(u.pop_uint8(), 0xFE);
    EXPECT_EQ(u.pop_uint16(), 0xBEEF);
    EXPECT_EQ(u.pop_uint32(), 0xDEADBEEFu);
    EXPECT_EQ(u.pop_uint64(), 0x0123456789ABCDEFull);
    const nps::ByteRange s = u.pop_varstr();
    EXPECT_EQ(s.data, b.data + 17);  // in place, not a copy
    EXPECT_EQ(s.str(), std::string("a\0b", 3));
    EXPECT_EQ(u.pop_varstr32().str(), "varstr32");
    EXPECT_EQ(u.pop_varstr().size, 0u);
    EXPECT_EQ(u.left, 0u);
    EXPECT_NO_THROW(u.finish());
}

struct ShortReadCase {
    const char* name;
    Bytes input;
    std::function<void(nps::Unpack&)> read;
    const char* text;
};

TEST(Unpack, ShortReadsThrowAndConsumeNothing) {
    const ShortReadCase cases[] = {
        {"u8 of nothing", {}, [](nps::Unpack& u) { u.pop_uint8(); }, "pop_uint8: not enough data"},
        {"u16 of one byte", {9}, [](nps::Unpack& u) { u.pop_uint16(); }, "pop_uint16: not enough data"},
        {"u32 of three", {1, 2, 3}, [](nps::Unpack& u) { u.pop_uint32(); }, "pop_uint32: not enough data"},
        {"u64 of seven", {1, 2, 3, 4, 5, 6, 7}, [](nps::Unpack& u) { u.pop_uint64(); },
         "pop_uint64: not enough data"},
        {"fetch 3 of 2", {1, 2}, [](nps::Unpack& u) { u.pop_fetch_ptr(3); }, "pop_fetch_ptr: not enough data"},
        {"varstr length cut", {5}, [](nps::Unpack& u) { u.pop_varstr(); }, "pop_uint16: not enough data"},
        {"varstr body cut", {5, 0, 'a', 'b', 'c', 'd'}, [](nps::Unpack& u) { u.pop_varstr(); },
         "pop_fetch_ptr: not enough data"},
        {"varstr32 length cut", {1, 0, 0}, [](nps::Unpack& u) { u.pop_varstr32(); },
         "pop_uint32: not enough data"},
        {"varstr32 huge length", {0xFF, 0xFF, 0xFF, 0xFF, 'a'}, [](nps::Unpack& u) { u.pop_varstr32(); },
         "pop_fetch_ptr: not enough data"},
    };
    for (const auto& c : cases) {
        nps::Unpack u(c.input.data(), static_cast<std::uint32_t>(c.input.size()));
        EXPECT_EQ(ErrorText<nps::unpack_error>([&] { c.read(u); }), c.text) << c.name;
        EXPECT_EQ(u.pos, reinterpret_cast<const char*>(c.input.data())) << c.name;
        EXPECT_EQ(u.left, c.input.size()) << c.name;
    }
}

TEST(Unpack, ErrorsShareTheBaseClass) {
    nps::Unpack u(nullptr, 0);
    EXPECT_THROW(u.pop_uint8(), nps::base_pack_error);
    EXPECT_THROW(u.pop_uint8(), std::runtime_error);
}

TEST(Unpack, EmptyInput) {
    nps::Unpack u(nullptr, 0);
    EXPECT_NO_THROW(u.finish());
    EXPECT_EQ(u.pop_fetch_ptr(0), nullptr);
    EXPECT_EQ(u.left, 0u);
}

TEST(Unpack, FinishWithBytesLeftIsAPackError) {
    const unsigned char input[] = {1, 2};
    nps::Unpack u(input, 2);
    u.pop_uint8();
    // pack_error, so a catch of unpack_error alone would miss it.
    EXPECT_EQ(ErrorText<nps::pack_error>([&] { u.finish(); }), "finish: have left data");
    EXPECT_EQ(ErrorText<nps::unpack_error>([&] {
                  try {
                      u.finish();
                  } catch (const nps::pack_error&) {
                  }
              }),
              "(nothing thrown)");
}

TEST(Unpack, FetchPointsIntoTheInput) {
    const char input[] = "abcdef";
    nps::Unpack u(input, 6);
    EXPECT_EQ(u.pop_fetch_ptr(0), input);
    EXPECT_EQ(u.pop_fetch_ptr(2), input);
    EXPECT_EQ(u.pop_fetch_ptr(4), input + 2);
    EXPECT_EQ(u.left, 0u);
}

// ------------------------------------------------------------------ Bit field

std::string BlockBytes(const BitField& f) {
    std::string s(f.num_blocks(), '\0');
    boost::to_block_range(f, reinterpret_cast<unsigned char*>(&s[0]));
    return s;
}

TEST(BitField, RoundTrip) {
    for (std::size_t bits : {0u, 1u, 7u, 8u, 9u, 48u, 1001u}) {
        BitField f(bits);
        for (std::size_t i = 0; i < bits; ++i)
            f[i] = (i * 37 + 11) % 5 < 2;
        DefaultBlockBuffer b;
        nps::Pack p(b);
        nps::pack_bitset(p, f);
        ASSERT_EQ(b.size, 8 + (bits + 7) / 8) << bits;

        nps::Unpack u(b.data, b.size);
        BitField g(3, 5ul);  // not empty beforehand: the reader replaces it
        nps::unpack_bitset(u, g);
        EXPECT_EQ(g, f) << bits;
        EXPECT_NO_THROW(u.finish());
    }
}

struct BitReadCase {
    const char* name;
    Bytes input;
    std::size_t bits;
    std::string bytes;
};

TEST(BitField, ByteCountThatDisagreesIsCutOrPadded) {
    const BitReadCase cases[] = {
        {"10 bits, 1 byte: padded with a zero byte", {10, 0, 0, 0, 1, 0, 0, 0, 0xFF}, 10,
         std::string("\xFF\x00", 2)},
        {"3 bits, 2 bytes: cut, high bits cleared", {3, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF}, 3, "\x07"},
        {"0 bits, 3 bytes", {0, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3}, 0, ""},
        {"12 bits, 0 bytes", {12, 0, 0, 0, 0, 0, 0, 0}, 12, std::string("\0\0", 2)},
    };
    for (const auto& c : cases) {
        nps::Unpack u(c.input.data(), static_cast<std::uint32_t>(c.input.size()));
        BitField f;
        nps::unpack_bitset(u, f);
        EXPECT_EQ(f.size(), c.bits) << c.name;
        EXPECT_EQ(BlockBytes(f), c.bytes) << c.name;
        EXPECT_EQ(u.left, 0u) << c.name;
    }
}

struct BadFieldCase {
    const char* name;
    Bytes input;
    const char* text;
};

TEST(BitField, BadInputLeavesFieldAndReaderAlone) {
    const BadFieldCase cases[] = {
        {"bit count cut", {1, 0}, "pop_uint32: not enough data"},
        {"byte count cut", {8, 0, 0, 0, 1}, "pop_uint32: not enough data"},
        {"bytes cut", {16, 0, 0, 0, 2, 0, 0, 0, 0xAA}, "pop_fetch_ptr: not enough data"},
        // Refused before anything is allocated for it.
        {"absurd bit count", {0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0}, "unpack_bitset: too many bits"},
        {"largest u32 bit count", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         "unpack_bitset: too many bits"},
    };
    for (const auto& c : cases) {
        nps::Unpack u(c.input.data(), static_cast<std::uint32_t>(c.input.size()));
        BitField f(5, 0x15ul);
        EXPECT_EQ(ErrorText<nps::unpack_error>([&] { nps::unpack_bitset(u, f); }), c.text) << c.name;
        EXPECT_EQ(f, BitField(5, 0x15ul)) << c.name;
        EXPECT_EQ(u.left, c.input.size()) << c.name;
    }
}

TEST(BitField, LargestAcceptedBitCount) {
    const unsigned char input[] = {0x00, 0x00, 0x00, 0x01, 0, 0, 0, 0};  // 2^24 bits, no bytes
    nps::Unpack u(input, sizeof input);
    BitField f;
    nps::unpack_bitset(u, f);
    EXPECT_EQ(f.size(), 1u << 24);
    EXPECT_TRUE(f.none());
}

}  // namespace
