#pragma once

#include <cstdint>

#include <boost/dynamic_bitset.hpp>

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

namespace nps {

// Bit field on the wire:
//
//   +-------------+-------------+------------------+
//   | u32 bits N  | u32 bytes B | B bytes          |
//   +-------------+-------------+------------------+
//
// Bit i is bit (i mod 8), counted from the least significant, of byte i div 8.
// B = ceil(N / 8) when we write; a reader accepts any B and cuts or pads the
// bytes to ceil(N / 8).
using BitField = boost::dynamic_bitset<unsigned char>;

// Above this a bit count read from the wire is refused rather than allocated
// (2 MB of bits; real fields cover the pieces of one file or window).
constexpr std::uint32_t max_unpack_bits = 1u << 24;

void pack_bitset(Pack& pack, const BitField& field);

// Leaves field untouched and the reader where it was when it throws.
void unpack_bitset(Unpack& unpack, BitField& field);

}  // namespace nps
