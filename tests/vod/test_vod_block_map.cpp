#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vod/VodBlockMap.h"

namespace {

const std::int64_t kMiB = 1048576;

// The file's content: every byte is known from its offset.
std::string FileBytes(std::int64_t offset, std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((offset + i) * 13 + (offset + i) / 251);
    return bytes;
}

std::uint32_t PieceLength(std::int64_t size, std::uint32_t piece) {
    const std::int64_t left = size - std::int64_t(piece) * kVodPieceSize;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(left, kVodPieceSize));
}

int Store(CVodBlockMap& map, std::int64_t size, std::uint32_t piece, bool toCache = true) {
    const std::string bytes = FileBytes(std::int64_t(piece) * kVodPieceSize,
                                        PieceLength(size, piece));
    return map.StorePiece(piece, bytes.data(), static_cast<std::uint32_t>(bytes.size()), toCache);
}

void StoreBlock(CVodBlockMap& map, std::int64_t size, std::uint32_t block, bool toCache = true) {
    const std::uint32_t pieces = static_cast<std::uint32_t>((size + kVodPieceSize - 1) / kVodPieceSize);
    for (std::uint32_t p = block * kVodPiecesPerBlock;
         p < (block + 1) * kVodPiecesPerBlock && p < pieces; ++p)
        ASSERT_EQ(Store(map, size, p, toCache), CVodBlockMap::kStored) << "piece " << p;
}

// Records what the block map hands to the cache, with a copy of the bytes.
class RecordingCache : public IVodCacheWriter {
public:
    bool WriteBlocks(const VodBlockPieces& blocks) override {
        std::vector<std::uint32_t> numbers;
        for (const auto& block : blocks) {
            numbers.push_back(block.first);
            std::string bytes;
            for (const VodPieceBytes& piece : block.second)
                bytes.append(piece.bytes, piece.length);
            contents[block.first] = bytes;
        }
        calls.push_back(numbers);
        return true;
    }

    std::vector<std::vector<std::uint32_t>> calls;
    std::map<std::uint32_t, std::string> contents;
};

}  // namespace

TEST(VodBlockMap, RecordsAndCapacityFollowSizeAndMemory) {
    struct Case {
        std::int64_t size;
        std::int32_t memoryMiB;
        std::uint32_t blocks;
        std::uint32_t capacity;
    } cases[] = {
        {0, 20, 0, 0},
        {-5, 20, 0, 0},
        {1, 20, 1, 1},                  // a file under one piece can be stored
        {768, 20, 1, 1},
        {36864, 20, 1, 48},
        {36865, 20, 2, 49},             // the short last piece counts
        {10 * kMiB, 20, 285, 13654},
        {100 * kMiB, 20, 2845, 27306},
        {100 * kMiB, 0, 2845, 0},
        {100 * kMiB, -1, 2845, 0},
        {5000 * kMiB, 5000, 142223, 6826666},  // beyond 32-bit bytes
    };
    for (const Case& c : cases) {
        CVodBlockMap map(c.size, c.memoryMiB);
        EXPECT_EQ(map.GetBlockCount(), c.blocks) << c.size;
        EXPECT_EQ(map.GetPieceCapacity(), c.capacity) << c.size;
        EXPECT_EQ(map.GetCompleteBits().size(), c.blocks) << c.size;
        EXPECT_EQ(map.GetStoredCount(), 0u);
    }
}

TEST(VodBlockMap, StoreResults) {
    const std::int64_t size = 2 * kVodBlockSize + 100;  // 3 blocks, last has 1 piece
    CVodBlockMap map(size, 20);
    const std::string full = FileBytes(0, 769);
    struct Step {
        std::uint32_t piece;
        std::uint32_t length;
        int result;
    } steps[] = {
        {0, 768, CVodBlockMap::kStored},
        {0, 768, CVodBlockMap::kAlreadyStored},
        {1, 767, CVodBlockMap::kWrongLength},
        {1, 769, CVodBlockMap::kWrongLength},
        {96, 768, CVodBlockMap::kWrongLength},  // the last piece holds 100 bytes
        {96, 100, CVodBlockMap::kStored},
        {97, 100, CVodBlockMap::kBeyondLastBlock},
        {144, 768, CVodBlockMap::kBeyondLastBlock},
    };
    for (const Step& s : steps)
        EXPECT_EQ(map.StorePiece(s.piece, full.data(), s.length, false), s.result) << s.piece;
    EXPECT_EQ(map.GetStoredCount(), 2u);
    EXPECT_TRUE(map.IsBlockComplete(2));
    EXPECT_FALSE(map.IsBlockComplete(0));
    EXPECT_TRUE(map.IsPiecePresent(96));
    EXPECT_FALSE(map.IsPiecePresent(97));
    EXPECT_FALSE(map.IsPiecePresent(1000));
    ASSERT_NE(map.GetPiece(96), nullptr);
    EXPECT_EQ(map.GetPiece(96)->length, 100);
    EXPECT_EQ(map.GetPiece(5), nullptr);
}

TEST(VodBlockMap, FullStoreRefusesUntilBlocksAreReleased) {
    const std::int64_t size = 2 * kMiB;  // 2731 pieces; 1 MiB holds 1365
    CVodBlockMap map(size, 1);
    ASSERT_EQ(map.GetPieceCapacity(), 1365u);
    for (std::uint32_t p = 0; p < 1365; ++p)
        ASSERT_EQ(Store(map, size, p), CVodBlockMap::kStored);
    EXPECT_FALSE(map.HasFreeRoom());
    EXPECT_EQ(Store(map, size, 1365), CVodBlockMap::kStoreFull);
    EXPECT_EQ(Store(map, size, 2000), CVodBlockMap::kStoreFull);

    EXPECT_EQ(map.ReleaseOutside(1, 100, 5), 1u);
    EXPECT_EQ(map.GetStoredCount(), 1365u - 48);
    EXPECT_EQ(Store(map, size, 2000), CVodBlockMap::kStored);
}

TEST(VodBlockMap, ReadAcrossPiecesAndTheShortLastPiece) {
    const std::int64_t size = kVodPieceSize * 3 + 10;  // pieces of 768, 768, 768, 10
    CVodBlockMap map(size, 20);
    Store(map, size, 0);
    struct Case {
        std::int64_t offset;
        std::uint32_t length;
        int result;
    };
    std::vector<char> out(4000);
    auto check = [&](const Case& c) {
        EXPECT_EQ(map.Read(c.offset, out.data(), c.length), c.result) << c.offset;
        if (c.result > 0) {
            EXPECT_EQ(std::string(out.data(), c.result), FileBytes(c.offset, c.result));
        }
    };
    check({700, 100, 68});  // only piece 0 stored
    Store(map, size, 1);
    for (const Case& c : {Case{700, 100, 100}, Case{0, 4000, 1536}, Case{768, 1, 1},
                          Case{1536, 10, 0}, Case{size, 1, -1}, Case{size + 5, 1, -1},
                          Case{-1, 1, -1}, Case{5, 0, 0}})
        check(c);
    Store(map, size, 3);
    check({1500, 4000, 36});
    Store(map, size, 2);
    check({1500, 4000, static_cast<int>(size - 1500)});
    check({size - 1, 4000, 1});
}

TEST(VodBlockMap, MissingPiecesAndCompletenessFromAPiece) {
    const std::int64_t size = kVodBlockSize + 3 * kVodPieceSize;  // block 1 has 3 pieces
    CVodBlockMap map(size, 20);
    for (std::uint32_t p : {0u, 1u, 40u, 47u, 49u, 50u})
        Store(map, size, p);

    EXPECT_FALSE(map.IsBlockCompleteFrom(0, 0));
    EXPECT_FALSE(map.IsBlockCompleteFrom(0, 40));
    EXPECT_TRUE(map.IsBlockCompleteFrom(1, 49));
    EXPECT_FALSE(map.IsBlockCompleteFrom(1, 48));
    EXPECT_TRUE(map.IsBlockCompleteFrom(1, 60));  // nothing from there on
    EXPECT_FALSE(map.IsBlockCompleteFrom(2, 0));

    std::set<std::uint32_t> missing;
    EXPECT_TRUE(map.AddMissingPieces(0, missing, 38));
    EXPECT_EQ(missing, (std::set<std::uint32_t>{38, 39, 41, 42, 43, 44, 45, 46}));
    missing.clear();
    EXPECT_TRUE(map.AddMissingPieces(1, missing, 0));
    EXPECT_EQ(missing, (std::set<std::uint32_t>{48}));
    EXPECT_FALSE(map.AddMissingPieces(2, missing, 0));

    const BlockBitFieldMap groups = map.GroupWantedPieces({1, 2, 47, 49, 500});
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups.at(0).size(), 48u);
    EXPECT_EQ(groups.at(0).count(), 1u);
    EXPECT_TRUE(groups.at(0).test(2));
    EXPECT_EQ(groups.at(1).size(), 48u);
    EXPECT_EQ(groups.at(1).count(), 0u);  // its wanted piece is stored
}

TEST(VodBlockMap, ReleaseBelowAndAboveFromTheCursors) {
    const std::int64_t size = 10 * std::int64_t(kVodBlockSize);
    CVodBlockMap map(size, 20);
    for (std::uint32_t b = 0; b < 10; ++b) {
        if (b != 2 && b != 8)
            StoreBlock(map, size, b);
    }
    Store(map, size, 2 * 48);  // blocks 2 and 8 hold one piece each
    Store(map, size, 8 * 48);
    EXPECT_EQ(map.GetStoredCount(), 8u * 48 + 2);

    EXPECT_EQ(map.ReleaseOutside(3, 6, 1), 1u);
    EXPECT_FALSE(map.IsBlockComplete(0));
    EXPECT_TRUE(map.IsBlockComplete(1));
    EXPECT_EQ(map.GetStoredCount(), 7u * 48 + 2);

    // Blocks 1 and 2 below (2 is incomplete, not counted), then 9, 8 and 7 above.
    EXPECT_EQ(map.ReleaseOutside(3, 6, 10), 3u);
    EXPECT_EQ(map.GetStoredCount(), 4u * 48);
    for (std::uint32_t b : {3u, 4u, 5u, 6u})
        EXPECT_TRUE(map.IsBlockComplete(b)) << b;
    EXPECT_FALSE(map.IsPiecePresent(2 * 48));
    EXPECT_FALSE(map.IsPiecePresent(8 * 48));

    // Completing blocks again moves the cursors back out to them.
    StoreBlock(map, size, 0);
    StoreBlock(map, size, 9);
    EXPECT_EQ(map.ReleaseOutside(5, 5, 0), 0u);
    EXPECT_EQ(map.ReleaseOutside(5, 5, 2), 2u);  // blocks 0 and 3
    EXPECT_TRUE(map.IsBlockComplete(4));
    EXPECT_TRUE(map.IsBlockComplete(9));
    EXPECT_EQ(map.ReleaseOutside(5, 5, 100), 3u);  // 4 below; 9 and 6 above
    EXPECT_EQ(map.GetStoredCount(), 48u);
    EXPECT_TRUE(map.IsBlockComplete(5));
    EXPECT_EQ(map.GetCompleteBits().count(), 1u);
}

TEST(VodBlockMap, TenCompletedBlocksGoToTheCacheInOneWrite) {
    const std::int64_t size = 12 * std::int64_t(kVodBlockSize) - 500;  // short last block
    CVodBlockMap map(size, 20);
    RecordingCache cache;
    map.SetCacheFile(&cache);
    StoreBlock(map, size, 11);
    for (std::uint32_t b = 0; b < 8; ++b)
        StoreBlock(map, size, b);
    StoreBlock(map, size, 10, false);  // read back from the cache: not written again
    EXPECT_TRUE(cache.calls.empty());
    StoreBlock(map, size, 8);
    ASSERT_EQ(cache.calls.size(), 1u);
    EXPECT_EQ(cache.calls[0], (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 11}));
    StoreBlock(map, size, 9);
    EXPECT_EQ(cache.calls.size(), 1u);
    EXPECT_EQ(cache.contents[3], FileBytes(3 * std::int64_t(kVodBlockSize), kVodBlockSize));
    EXPECT_EQ(cache.contents[11],
              FileBytes(11 * std::int64_t(kVodBlockSize), kVodBlockSize - 500));
}

TEST(VodBlockMap, FlushWritesOnlyBlocksStillComplete) {
    const std::int64_t size = 4 * std::int64_t(kVodBlockSize);
    CVodBlockMap map(size, 20);
    RecordingCache cache;
    map.SetCacheFile(&cache);
    StoreBlock(map, size, 0);
    StoreBlock(map, size, 3);
    Store(map, size, 48);  // block 1 incomplete
    map.SetCacheFile(nullptr);
    map.ReleaseOutside(0, 2, 1);  // block 3 goes without a flush
    map.SetCacheFile(&cache);
    map.FlushToCache();
    ASSERT_EQ(cache.calls.size(), 1u);
    EXPECT_EQ(cache.calls[0], (std::vector<std::uint32_t>{0}));

    map.FlushToCache();  // nothing pending any more
    StoreBlock(map, size, 2);
    map.ReleaseOutside(0, 3, 1);  // flushes first
    ASSERT_EQ(cache.calls.size(), 2u);
    EXPECT_EQ(cache.calls[1], (std::vector<std::uint32_t>{2}));
}
