#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/BlockCache.h"

namespace {

const unsigned char kHash[16] = {0xab, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff};
const unsigned char kOther[16] = {1};

// A buffer from the cache filled with the block's own pattern.
char* FilledBuffer(BlockCache& cache, std::uint32_t block) {
    char* buffer = nullptr;
    std::uint32_t size = 0;
    EXPECT_EQ(cache.AllocBuffer(buffer, size), 1);
    EXPECT_EQ(size, BlockCache::kBufferSize);
    for (std::uint32_t i = 0; i < size; ++i)
        buffer[i] = static_cast<char>(block * 31 + i / 768);
    return buffer;
}

bool Cached(BlockCache& cache, const unsigned char* hash, std::uint32_t block) {
    char piece[768];
    std::uint32_t length = sizeof(piece);
    return cache.Lookup(hash, block * 48, piece, length) == 1;
}

TEST(BlockCache, HashTextIsLowerCaseHex) {
    EXPECT_EQ(HashText(kHash), "ab0100000000000000000000000000ff");
}

TEST(BlockCache, CapacityDefaultsWhenNotPositive) {
    BlockCache cache;
    for (int given : {0, -5}) {
        EXPECT_EQ(cache.SetCapacity(given), 1);
        EXPECT_EQ(cache.GetCapacity(), 1500);
    }
    cache.SetCapacity(20971520 / 36864);
    EXPECT_EQ(cache.GetCapacity(), 568);
}

TEST(BlockCache, LookupCopiesThePieceAndMakesItRecent) {
    BlockCache cache;
    cache.SetCapacity(2);
    // Three buffers taken before any is cached: nothing to evict yet.
    char* buffers[3] = {FilledBuffer(cache, 0), FilledBuffer(cache, 1), FilledBuffer(cache, 2)};
    ASSERT_EQ(cache.Insert(kHash, 0, buffers[0], BlockCache::kBufferSize), 1);
    ASSERT_EQ(cache.Insert(kHash, 1, buffers[1], BlockCache::kBufferSize), 1);
    ASSERT_EQ(cache.Insert(kOther, 1, buffers[2], BlockCache::kBufferSize), 1);

    // Piece 10 of block 0: 768 bytes from byte 7,680.
    char piece[768];
    std::uint32_t length = sizeof(piece);
    ASSERT_EQ(cache.Lookup(kHash, 10, piece, length), 1);
    EXPECT_EQ(length, 768u);
    EXPECT_EQ(piece[0], static_cast<char>(0 * 31 + 10));
    EXPECT_EQ(piece[767], static_cast<char>(0 * 31 + 10));

    // Three cached blocks beyond a capacity of 2: the next buffer evicts them
    // all (up to 32), block 0 too, since everything fits one batch.
    char* next = nullptr;
    std::uint32_t size = 0;
    ASSERT_EQ(cache.AllocBuffer(next, size), 1);
    EXPECT_EQ(cache.GetCachedCount(), 0u);
    EXPECT_EQ(cache.GetInUse(), 1);
    cache.ReleaseBuffer(next);
    EXPECT_EQ(cache.GetInUse(), 0);
}

TEST(BlockCache, EvictsLeastRecentlyUsedFirst) {
    BlockCache cache;
    for (std::uint32_t block = 0; block < 4; ++block)
        cache.Insert(kHash, block, FilledBuffer(cache, block), 1000);
    ASSERT_TRUE(Cached(cache, kHash, 0));  // block 0 is now the most recent
    EXPECT_EQ(cache.Evict(2), 2);
    EXPECT_TRUE(Cached(cache, kHash, 0));
    EXPECT_FALSE(Cached(cache, kHash, 1));
    EXPECT_FALSE(Cached(cache, kHash, 2));
    EXPECT_TRUE(Cached(cache, kHash, 3));
    EXPECT_EQ(cache.GetInUse(), 2);
    EXPECT_EQ(cache.Evict(10), 2);
    EXPECT_EQ(cache.Evict(10), 0);
}

TEST(BlockCache, PieceBeyondTheCachedBytesIsNotFound) {
    BlockCache cache;
    cache.Insert(kHash, 0, FilledBuffer(cache, 0), 36000);
    char piece[768];
    // Piece 47 starts at 36,096: not inside 36,000 bytes.
    std::uint32_t length = sizeof(piece);
    EXPECT_EQ(cache.Lookup(kHash, 47, piece, length), 0);
    // Piece 46 (from 35,328) holds the 672 bytes left.
    length = sizeof(piece);
    EXPECT_EQ(cache.Lookup(kHash, 46, piece, length), 1);
    EXPECT_EQ(length, 672u);
    // No destination, or no room, finds nothing.
    length = 0;
    EXPECT_EQ(cache.Lookup(kHash, 0, piece, length), 0);
    length = 768;
    EXPECT_EQ(cache.Lookup(kHash, 0, nullptr, length), 0);
}

TEST(BlockCache, SecondInsertIsRefusedAndLeavesTheFirst) {
    BlockCache cache;
    ASSERT_EQ(cache.Insert(kHash, 5, FilledBuffer(cache, 5), BlockCache::kBufferSize), 1);
    char* again = FilledBuffer(cache, 9);
    EXPECT_EQ(cache.Insert(kHash, 5, again, BlockCache::kBufferSize), 0);
    cache.ReleaseBuffer(again);
    char piece[768];
    std::uint32_t length = sizeof(piece);
    ASSERT_EQ(cache.Lookup(kHash, 5 * 48, piece, length), 1);
    EXPECT_EQ(piece[0], static_cast<char>(5 * 31));
    EXPECT_EQ(cache.Insert(kHash, 6, nullptr, 10), 0);
    char* empty = FilledBuffer(cache, 6);
    EXPECT_EQ(cache.Insert(kHash, 6, empty, 0), 0);
    cache.ReleaseBuffer(empty);
    cache.ReleaseBuffer(nullptr);
    EXPECT_EQ(cache.GetInUse(), 1);
}

TEST(BlockCache, PoolGrowsWhenEverythingIsInFlight) {
    BlockCache cache;
    cache.SetCapacity(2);
    std::vector<char*> held;
    for (int i = 0; i < 40; ++i) {
        char* buffer = nullptr;
        std::uint32_t size = 0;
        ASSERT_EQ(cache.AllocBuffer(buffer, size), 1);
        std::memset(buffer, i, size);  // every buffer is its own memory
        held.push_back(buffer);
    }
    EXPECT_EQ(cache.GetInUse(), 40);
    for (std::size_t i = 0; i < held.size(); ++i)
        EXPECT_EQ(held[i][BlockCache::kBufferSize - 1], static_cast<char>(i));
    for (char* buffer : held)
        cache.ReleaseBuffer(buffer);
    EXPECT_EQ(cache.GetInUse(), 0);
}

TEST(BlockCache, ClearForgetsEverything) {
    BlockCache cache;
    cache.Insert(kHash, 0, FilledBuffer(cache, 0), 100);
    cache.Clear();
    EXPECT_FALSE(Cached(cache, kHash, 0));
    EXPECT_EQ(cache.GetInUse(), 0);
    EXPECT_EQ(cache.GetCapacity(), 0);
}

}  // namespace
