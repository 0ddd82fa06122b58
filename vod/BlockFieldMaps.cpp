#include "vod/BlockFieldMaps.h"

#include <algorithm>

#include "vod/VodUnits.h"

void PackBlockBitFields(nps::Pack& pack, const BlockBitFieldMap& blocks) {
    pack.push_uint32(static_cast<std::uint32_t>(blocks.size()));
    for (const auto& entry : blocks) {
        pack.push_uint32(entry.first);
        nps::pack_bitset(pack, entry.second);
    }
}

void UnpackBlockBitFields(nps::Unpack& unpack, BlockBitFieldMap& blocks) {
    UnpackBlockBitFields(unpack, blocks, kVodPiecesPerBlock);
}

void UnpackBlockBitFields(nps::Unpack& unpack, BlockBitFieldMap& blocks, std::uint32_t max_bits) {
    blocks.clear();
    // Every entry takes at least 12 bytes, so a false count ends in an
    // unpack_error once the bytes run out.
    for (std::uint32_t n = unpack.pop_uint32(); n != 0; --n) {
        const std::uint32_t block = unpack.pop_uint32();
        nps::BitField field;
        UnpackBoundedBitField(unpack, field, max_bits);
        blocks.emplace(block, std::move(field));
    }
}

void PackBlockFlags(nps::Pack& pack, const BlockFlagMap& blocks) {
    pack.push_uint32(static_cast<std::uint32_t>(blocks.size()));
    for (const auto& entry : blocks) {
        pack.push_uint32(entry.first);
        pack.push_uint8(entry.second);
    }
}

void UnpackBlockFlags(nps::Unpack& unpack, BlockFlagMap& blocks) {
    blocks.clear();
    for (std::uint32_t n = unpack.pop_uint32(); n != 0; --n) {
        const std::uint32_t block = unpack.pop_uint32();
        const std::uint8_t value = unpack.pop_uint8();
        blocks.emplace(block, value);
    }
}

void UnpackBoundedBitField(nps::Unpack& unpack, nps::BitField& field, std::uint32_t max_bits) {
    nps::Unpack probe(unpack);
    const std::uint32_t bits = probe.pop_uint32();
    const std::uint32_t count = probe.pop_uint32();
    const auto* bytes = reinterpret_cast<const unsigned char*>(probe.pop_fetch_ptr(count));
    unpack = probe;

    const std::uint64_t available = std::uint64_t(count) * 8;
    const std::uint32_t kept =
        static_cast<std::uint32_t>(std::min<std::uint64_t>({bits, max_bits, available}));
    field.clear();
    field.append(bytes, bytes + (kept + 7) / 8);
    field.resize(kept);
}

std::uint32_t CountAvailableBlocks(const BlockBitFieldMap& blocks) {
    std::size_t total = 0;
    for (const auto& entry : blocks)
        total += entry.second.count();
    return static_cast<std::uint32_t>(total);
}
