#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/md5/Md5.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"
#include "vod/VodCacheIndex.h"

namespace {

const std::string kHash = "0123456789abcdef0123456789abcdef";
const std::string kOtherHash = "fedcba9876543210fedcba9876543210";

std::string Hex(const std::string& text) {
    std::string out, digits;
    for (char c : text) {
        if (c != ' ')
            digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

VodIndexHeader Header(const std::string& hash, std::uint32_t blocks, std::uint16_t version = 1) {
    VodIndexHeader header;
    header.version = version;
    header.hash = hash;
    header.natServer = "h:3501";
    header.trackerUrl = "/t";
    header.contentId = 7;
    header.blockCount = blocks;
    return header;
}

VodIndexEntry Entry(std::uint32_t block, std::uint64_t offset, const std::string& bytes) {
    VodIndexEntry entry;
    entry.block = block;
    entry.offset = offset;
    entry.length = static_cast<std::uint16_t>(bytes.size());
    Md5Digest(bytes.data(), bytes.size(), entry.md5);
    return entry;
}

std::string Bytes(const VodIndexHeader* header, std::initializer_list<VodIndexEntry> entries) {
    nps::DefaultBlockBuffer buffer;
    nps::Pack pack(buffer);
    if (header != nullptr)
        header->Pack(pack);
    for (const VodIndexEntry& e : entries)
        e.Pack(pack);
    return std::string(buffer.data, buffer.size);
}

VodCacheIndex::ParseResult Parse(VodCacheIndex& index, const std::string& file,
                                 std::string* discard = nullptr) {
    std::string name;
    if (!index.BeginParse(file.size()))
        return VodCacheIndex::kParsed;
    const std::size_t from = static_cast<std::size_t>(index.GetBytesRead());
    const auto result = index.ParseAppended(file.data() + from, file.size() - from, name);
    if (discard != nullptr)
        *discard = name;
    return result;
}

}  // namespace

TEST(VodCacheIndex, HeaderAndEntryGoldenBytes) {
    const VodIndexHeader header = Header("abc", 3);
    EXPECT_EQ(Bytes(&header, {}),
              Hex("0100 0300 616263 0600 683a33353031 0200 2f74 0700000000000000 03000000"));

    VodIndexEntry entry;
    entry.block = 2;
    entry.offset = 0x0102030405060708ull;
    entry.length = 36864;
    for (int i = 0; i < 16; ++i)
        entry.md5[i] = static_cast<unsigned char>(i);
    const std::string bytes = Bytes(nullptr, {entry});
    ASSERT_EQ(bytes.size(), VodIndexEntry::kSize);
    EXPECT_EQ(bytes, Hex("02000000 0807060504030201 0090 000102030405060708090a0b0c0d0e0f"));

    nps::Unpack unpack(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    VodIndexEntry read;
    read.Unpack(unpack);
    EXPECT_EQ(read.block, 2u);
    EXPECT_EQ(read.offset, entry.offset);
    EXPECT_EQ(read.length, 36864);
    EXPECT_EQ(std::memcmp(read.md5, entry.md5, 16), 0);
}

TEST(VodCacheIndex, ParsesHeaderAndEntries) {
    const VodIndexHeader header = Header(kHash, 3);
    const std::string file = Bytes(&header, {Entry(2, 0, "two"), Entry(0, 3, "zero")});
    VodCacheIndex index;
    ASSERT_EQ(Parse(index, file), VodCacheIndex::kParsed);
    EXPECT_EQ(index.GetHash(), kHash);
    EXPECT_EQ(index.GetNatServer(), "h:3501");
    EXPECT_EQ(index.GetTrackerUrl(), "/t");
    EXPECT_EQ(index.GetContentId(), 7);
    EXPECT_EQ(index.GetBlockCount(), 3u);
    EXPECT_EQ(index.GetBytesRead(), file.size());
    EXPECT_TRUE(index.IsBlockPresent(0));
    EXPECT_FALSE(index.IsBlockPresent(1));
    EXPECT_TRUE(index.IsBlockPresent(2));
    std::uint64_t offset = 0;
    std::uint16_t length = 0;
    ASSERT_TRUE(index.GetBlockEntry(0, offset, length));
    EXPECT_EQ(offset, 3u);
    EXPECT_EQ(length, 4);
    EXPECT_FALSE(index.GetBlockEntry(1, offset, length));
}

// What a header must hold before its hash is trusted to name a file.
TEST(VodCacheIndex, UnusableHeadersDiscardThePair) {
    struct Case {
        const char* name;
        std::string ownHash;
        std::uint32_t ownBlocks;
        VodIndexHeader header;
        VodCacheIndex::ParseResult result;
        std::string discard;
    } cases[] = {
        {"fits a fresh object", "", 0, Header(kHash, 3), VodCacheIndex::kParsed, ""},
        {"fits its own object", kHash, 3, Header(kHash, 3), VodCacheIndex::kParsed, ""},
        {"hash in capitals", kHash, 3, Header("0123456789ABCDEF0123456789ABCDEF", 3),
         VodCacheIndex::kParsed, ""},
        {"version 2", "", 0, Header(kHash, 3, 2), VodCacheIndex::kDiscard, kHash},
        {"version 0 of own pair", kHash, 3, Header(kOtherHash, 3, 0), VodCacheIndex::kDiscard,
         kHash},
        {"other block count", kHash, 4, Header(kHash, 3), VodCacheIndex::kDiscard, kHash},
        {"hash of another video", kHash, 3, Header(kOtherHash, 3), VodCacheIndex::kDiscard,
         kHash},
        {"short hash", "", 0, Header("abc", 3), VodCacheIndex::kDiscard, ""},
        {"hash reaching out of the folder", "", 0,
         Header("..\\..\\windows\\win.ini0123456789ab", 3), VodCacheIndex::kDiscard, ""},
        {"absurd block count", "", 0, Header(kHash, 0xFFFFFFFFu), VodCacheIndex::kDiscard, kHash},
    };
    for (const Case& c : cases) {
        VodCacheIndex index;
        index.SetHash(c.ownHash);
        if (c.ownBlocks != 0)
            index.SetBlockCount(c.ownBlocks);
        const std::string file = Bytes(&c.header, {Entry(1, 0, "x")});
        std::string discard = "unset";
        EXPECT_EQ(Parse(index, file, &discard), c.result) << c.name;
        if (c.result == VodCacheIndex::kDiscard) {
            EXPECT_EQ(discard, c.discard) << c.name;
            EXPECT_EQ(index.GetBytesRead(), 0u) << c.name;
            EXPECT_FALSE(index.IsBlockPresent(1)) << c.name;
        }
    }
}

TEST(VodCacheIndex, EntryBeyondTheBlockCountStartsOver) {
    const VodIndexHeader header = Header(kHash, 3);
    VodCacheIndex index;
    const std::string good = Bytes(&header, {Entry(0, 0, "a")});
    ASSERT_EQ(Parse(index, good), VodCacheIndex::kParsed);
    index.VerifyBlock(0, "b", 1);
    ASSERT_FALSE(index.IsValid());

    const std::string bad = good + Bytes(nullptr, {Entry(1, 1, "b"), Entry(5, 2, "c")});
    EXPECT_EQ(Parse(index, bad), VodCacheIndex::kBadEntry);
    EXPECT_EQ(index.GetBytesRead(), 0u);
    EXPECT_FALSE(index.IsBlockPresent(0));
    EXPECT_FALSE(index.IsBlockPresent(1));
    EXPECT_TRUE(index.IsValid());
}

TEST(VodCacheIndex, TruncatedIndexKeepsEntriesButNotTheirBytes) {
    const VodIndexHeader header = Header(kHash, 3);
    const std::string file = Bytes(&header, {Entry(0, 0, "a"), Entry(1, 1, "b")});
    for (std::size_t cut : {std::size_t(1), std::size_t(20), file.size() - 30 - 1}) {
        VodCacheIndex index;
        EXPECT_EQ(Parse(index, file.substr(0, cut)), VodCacheIndex::kTruncated) << cut;
        EXPECT_EQ(index.GetBytesRead(), 0u);
        EXPECT_FALSE(index.IsBlockPresent(1));
    }
    VodCacheIndex index;
    EXPECT_EQ(Parse(index, file.substr(0, file.size() - 1)), VodCacheIndex::kTruncated);
    EXPECT_TRUE(index.IsBlockPresent(0));
    EXPECT_FALSE(index.IsBlockPresent(1));
    EXPECT_EQ(index.GetBytesRead(), 0u);
}

TEST(VodCacheIndex, ParsesOnlyWhatWasAppended) {
    const VodIndexHeader header = Header(kHash, 3);
    const std::string first = Bytes(&header, {Entry(0, 0, "a")});
    const std::string second = first + Bytes(nullptr, {Entry(2, 1, "cc")});
    VodCacheIndex index;
    ASSERT_EQ(Parse(index, first), VodCacheIndex::kParsed);
    EXPECT_FALSE(index.BeginParse(first.size()));
    ASSERT_EQ(Parse(index, second), VodCacheIndex::kParsed);
    EXPECT_EQ(index.GetBytesRead(), second.size());
    EXPECT_TRUE(index.IsBlockPresent(0));
    EXPECT_TRUE(index.IsBlockPresent(2));

    // A file shorter than what was read was replaced: read it from its start.
    EXPECT_TRUE(index.BeginParse(10));
    EXPECT_EQ(index.GetBytesRead(), 0u);
    EXPECT_FALSE(index.IsBlockPresent(0));
    // An emptied file has nothing to parse.
    EXPECT_FALSE(index.BeginParse(0));
}

TEST(VodCacheIndex, VerifyComparesDigestsAndInvalidates) {
    const VodIndexHeader header = Header(kHash, 2);
    VodCacheIndex index;
    ASSERT_EQ(Parse(index, Bytes(&header, {Entry(0, 0, "block zero")})),
              VodCacheIndex::kParsed);
    EXPECT_FALSE(index.VerifyBlock(1, "block zero", 10));  // no entry: stays valid
    EXPECT_TRUE(index.IsValid());
    EXPECT_TRUE(index.VerifyBlock(0, "block zero", 10));
    EXPECT_FALSE(index.VerifyBlock(0, "block zerO", 10));
    EXPECT_FALSE(index.IsValid());
    std::uint64_t offset;
    std::uint16_t length;
    EXPECT_FALSE(index.GetBlockEntry(0, offset, length));
}

TEST(VodCacheIndex, SettersAndLimits) {
    VodCacheIndex index;
    index.SetNatServer("nat.example", 3501);
    EXPECT_EQ(index.GetNatServer(), "nat.example:3501");
    index.SetBlockCount(0xFFFFFFFFu);
    EXPECT_EQ(index.GetBlockCount(), VodCacheIndex::kMaxBlocks);
    EXPECT_EQ(index.GetPresentBits().size(), VodCacheIndex::kMaxBlocks);

    for (const char* hash : {"0123456789abcdef0123456789ABCDEF"})
        EXPECT_TRUE(IsValidContentHash(hash));
    for (const char* hash : {"", "abc", "0123456789abcdef0123456789abcdeg",
                             "0123456789abcdef0123456789abcdef0", "..\\456789abcdef0123456789abcdef"})
        EXPECT_FALSE(IsValidContentHash(hash)) << hash;
}
