#pragma once

#include <cstdint>
#include <map>

#include "common/pack/BitField.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

// Maps keyed by block number, as the peer messages carry them:
//
//   +-------------+----------------------------------------+
//   | u32 count N | N entries in ascending key order       |
//   +-------------+----------------------------------------+
//   bit-field map entry:  u32 block, bit field (u32 bits, u32 bytes, bytes)
//   flag map entry:       u32 block, u8 value
//
// Readers keep the first of two entries with the same key.
using BlockBitFieldMap = std::map<std::uint32_t, nps::BitField>;
using BlockFlagMap = std::map<std::uint32_t, std::uint8_t>;

void PackBlockBitFields(nps::Pack& pack, const BlockBitFieldMap& blocks);

// Each field keeps at most the 48 bits of one block's pieces: bits a peer sends
// beyond them are dropped, never read as pieces of the following block.
void UnpackBlockBitFields(nps::Unpack& unpack, BlockBitFieldMap& blocks);

// The same with another bound on each field's bits.
void UnpackBlockBitFields(nps::Unpack& unpack, BlockBitFieldMap& blocks, std::uint32_t max_bits);

void PackBlockFlags(nps::Pack& pack, const BlockFlagMap& blocks);
void UnpackBlockFlags(nps::Unpack& unpack, BlockFlagMap& blocks);

// Reads a bit field without letting its bit count drive the allocation: the
// result holds min(bit count, max_bits, 8 x byte count) bits. Bits a shorter
// byte string leaves out would read as zero anyway.
void UnpackBoundedBitField(nps::Unpack& unpack, nps::BitField& field, std::uint32_t max_bits);

// Set bits over every field of the map: the pieces a request asks for.
std::uint32_t CountAvailableBlocks(const BlockBitFieldMap& blocks);
