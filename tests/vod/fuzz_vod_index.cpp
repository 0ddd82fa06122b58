// Parses any bytes as a ".vd2" index, for a fresh object or for one opened for
// a given hash and block count, whole and in two parts. Checks that entries
// stay inside the block count and that parsing in parts agrees with parsing
// at once.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vod/VodCacheIndex.h"

namespace {

const char kHash[] = "0123456789abcdef0123456789abcdef";

VodCacheIndex::ParseResult Parse(VodCacheIndex& index, const char* file, std::size_t size) {
    std::string discard;
    if (!index.BeginParse(size))
        return VodCacheIndex::kParsed;
    const std::size_t from = static_cast<std::size_t>(index.GetBytesRead());
    if (from > size)
        std::abort();
    const auto result = index.ParseAppended(file + from, size - from, discard);
    if (result == VodCacheIndex::kDiscard && !discard.empty() && !IsValidContentHash(discard))
        std::abort();
    return result;
}

void Prepare(VodCacheIndex& index, std::uint8_t mode) {
    if (mode & 1) {
        index.SetHash(kHash);
        index.SetBlockCount(mode >> 1);
    }
}

void CheckInvariants(const VodCacheIndex& index, std::size_t size) {
    if (index.GetPresentBits().size() > index.GetBlockCount() ||
        index.GetBlockCount() > VodCacheIndex::kMaxBlocks || index.GetBytesRead() > size)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t mode = data[0];
    const char* file = reinterpret_cast<const char*>(data + 2);
    const std::size_t length = size - 2;
    const std::size_t split = length == 0 ? 0 : data[1] % length;

    VodCacheIndex whole;
    Prepare(whole, mode);
    const auto wholeResult = Parse(whole, file, length);
    CheckInvariants(whole, length);
    if (wholeResult == VodCacheIndex::kParsed && whole.GetBytesRead() != length)
        std::abort();
    for (std::uint32_t b = 0; b < whole.GetBlockCount() && b < 4096; ++b) {
        std::uint64_t offset;
        std::uint16_t blockLength;
        if (whole.GetBlockEntry(b, offset, blockLength) != whole.IsBlockPresent(b))
            std::abort();
    }

    VodCacheIndex parts;
    Prepare(parts, mode);
    const auto firstResult = Parse(parts, file, split);
    CheckInvariants(parts, split);
    const auto secondResult = Parse(parts, file, length);
    CheckInvariants(parts, length);
    if (firstResult == VodCacheIndex::kParsed && secondResult == VodCacheIndex::kParsed &&
        (wholeResult != VodCacheIndex::kParsed || parts.GetPresentBits() != whole.GetPresentBits()))
        std::abort();
    return 0;
}
