#include "common/pack/BitField.h"

#include <algorithm>
#include <iterator>

namespace nps {

void pack_bitset(Pack& pack, const BitField& field) {
    const std::uint64_t bytes = field.num_blocks();
    // Reserving first keeps the push all or nothing; a field too large for
    // the buffer is also far too large for the u32 counts.
    pack.reserve(8 + bytes);
    pack.push_uint32(static_cast<std::uint32_t>(field.size()));
    pack.push_uint32(static_cast<std::uint32_t>(bytes));
    DefaultBlockBuffer& buffer = pack.buffer();
    const std::uint32_t at = buffer.size;
    buffer.resize(std::uint64_t(at) + bytes);
    // dynamic_bitset keeps the spare high bits of its last block zero.
    boost::to_block_range(field, reinterpret_cast<unsigned char*>(buffer.data + at));
}

void unpack_bitset(Unpack& unpack, BitField& field) {
    Unpack probe(unpack);
    const std::uint32_t bits = probe.pop_uint32();
    if (bits > max_unpack_bits)
        throw unpack_error("unpack_bitset: too many bits");
    const std::uint32_t count = probe.pop_uint32();
    const auto* bytes = reinterpret_cast<const unsigned char*>(probe.pop_fetch_ptr(count));
    unpack = probe;

    // Only the bytes that the bit count covers are taken; the rest of a
    // disagreeing byte count is skipped, a shortfall reads as zero bits.
    const std::uint32_t wanted = bits / 8 + (bits % 8 != 0 ? 1 : 0);
    field.clear();
    field.append(bytes, bytes + std::min(count, wanted));
    // resize zero-fills new bits and clears those past the new size.
    field.resize(bits);
}

}  // namespace nps
