#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/md5/Md5.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "tests/vod/CacheTestPrefix.h"
#include "vod/CacheFolder.h"
#include "vod/VodCacheFile.h"
#include "vod/VodUnits.h"

using cachetest::kCacheFolder;
using cachetest::ReadWholeFile;
using cachetest::WriteSetting;
using cachetest::WriteWholeFile;

namespace {

const std::string kHashA = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
const std::string kHashB = "0123456789abcdef0123456789abcdef";
const std::string kHashC = "cccccccccccccccccccccccccccccccc";
const std::string kHashD = "dddddddddddddddddddddddddddddddd";
const std::string kHashE = "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee";
const std::uint64_t kMiB = 1048576;
// Five blocks, the last 1,000 bytes short.
const std::int64_t kSize = 5 * std::int64_t(kVodBlockSize) - 1000;

std::wstring Path(const std::string& name) {
    return std::wstring(kCacheFolder) + L"\\" + std::wstring(name.begin(), name.end());
}

bool Exists(const std::string& name) {
    return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint64_t FileSize(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Path(name).c_str(), GetFileExInfoStandard, &data))
        return ~0ull;
    return (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::uint32_t BlockLength(std::int64_t size, std::uint32_t block) {
    const std::int64_t left = size - std::int64_t(block) * kVodBlockSize;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(left, kVodBlockSize));
}

// A video's bytes, each known from its offset and the video's seed.
std::string BlockBytes(std::int64_t size, std::uint32_t block, int seed = 1) {
    std::string bytes(BlockLength(size, block), '\0');
    const std::int64_t start = std::int64_t(block) * kVodBlockSize;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((start + i) * 7 + (start + i) / 509 + seed);
    return bytes;
}

VodIndexHeader HeaderOf(const std::string& hash, std::uint32_t blocks, std::uint16_t version = 1) {
    VodIndexHeader header;
    header.version = version;
    header.hash = hash;
    header.natServer = "nat.test:3501";
    header.trackerUrl = "http://127.0.0.1/vod";
    header.contentId = 77;
    header.blockCount = blocks;
    return header;
}

std::string Packed(const VodIndexHeader& header, const std::vector<VodIndexEntry>& entries = {}) {
    nps::DefaultBlockBuffer buffer;
    nps::Pack pack(buffer);
    header.Pack(pack);
    for (const VodIndexEntry& entry : entries)
        entry.Pack(pack);
    return std::string(buffer.data, buffer.size);
}

std::uint64_t HeaderSize(const std::string& hash) {
    return Packed(HeaderOf(hash, 5)).size();
}

void SetIndexAge(const std::string& hash, int seconds) {
    HANDLE file = CreateFileW(Path(hash + ".vd2").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= ULONGLONG(seconds) * 10000000;
    FILETIME then = {t.LowPart, t.HighPart};
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &then));
    CloseHandle(file);
}

// A cached pair of the given size without writing its bytes: the data file
// is extended (sparse on the host), the index holds a header.
void MakeSparsePair(const std::string& hash, std::uint64_t dataBytes, int ageSeconds) {
    HANDLE data = CreateFileW(Path(hash).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(data, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(dataBytes);
    ASSERT_TRUE(SetFilePointerEx(data, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(data));
    CloseHandle(data);
    ASSERT_TRUE(WriteWholeFile(Path(hash + ".vd2"), Packed(HeaderOf(hash, 5))));
    SetIndexAge(hash, ageSeconds);
}

class CacheFiles : public cachetest::CachePrefix {
protected:
    // A cache object as the engine opens it for a video.
    void Open(CVodCacheFile& cache, const std::string& hash, std::int64_t size = kSize) {
        cache.SetHash(hash);
        cache.SetNatServer("nat.test", 3501);
        cache.SetTrackerUrl("http://127.0.0.1/vod");
        cache.SetContentId(77);
        cache.SetBlockCount(static_cast<std::uint32_t>((size + kVodBlockSize - 1) / kVodBlockSize));
    }

    // Hands the blocks over in one call, cut into pieces as the block map does.
    bool Write(CVodCacheFile& cache, std::initializer_list<std::uint32_t> blocks,
               std::int64_t size = kSize) {
        VodBlockPieces pieces;
        for (std::uint32_t block : blocks) {
            m_bytes[block] = BlockBytes(size, block);
            const std::string& bytes = m_bytes[block];
            for (std::size_t at = 0; at < bytes.size(); at += kVodPieceSize) {
                const std::size_t n = std::min<std::size_t>(kVodPieceSize, bytes.size() - at);
                pieces[block].push_back(VodPieceBytes{static_cast<std::uint16_t>(n), &bytes[at]});
            }
        }
        return cache.WriteBlocks(pieces);
    }

    std::string Read(CVodCacheFile& cache, std::uint32_t block, std::uint32_t most = kVodBlockSize) {
        std::string buffer(most, '\0');
        buffer.resize(cache.ReadBlock(block, &buffer[0], most));
        return buffer;
    }

    std::map<std::uint32_t, std::string> m_bytes;
};

}  // namespace

TEST_F(CacheFiles, ShuffledBlocksReloadThroughTheIndex) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    writer.ScanAndEvict();
    EXPECT_FALSE(writer.LoadIndex());
    const std::uint32_t order[] = {3, 0, 4, 1, 2};
    for (std::uint32_t block : order)
        ASSERT_TRUE(Write(writer, {block})) << block;

    EXPECT_EQ(FileSize(kHashA), std::uint64_t(kSize));
    EXPECT_EQ(FileSize(kHashA + ".vd2"), HeaderSize(kHashA) + 5 * VodIndexEntry::kSize);
    EXPECT_EQ(writer.GetByteTotal(), std::uint64_t(kSize));
    std::uint64_t expectedOffset = 0;
    for (std::uint32_t block : order) {
        std::uint64_t offset = 0;
        std::uint16_t length = 0;
        ASSERT_TRUE(writer.GetBlockEntry(block, offset, length));
        EXPECT_EQ(offset, expectedOffset) << block;
        EXPECT_EQ(length, BlockLength(kSize, block));
        expectedOffset += length;
    }

    CVodCacheFile reader;
    Open(reader, kHashA);
    ASSERT_TRUE(reader.LoadIndex());
    for (std::uint32_t block = 0; block < 5; ++block)
        EXPECT_EQ(Read(reader, block), BlockBytes(kSize, block)) << block;

    // The service's way: only the hash is known, the rest comes from the header.
    CVodCacheFile listed;
    listed.SetHash(kHashA);
    ASSERT_TRUE(listed.LoadIndex());
    EXPECT_EQ(listed.GetBlockCount(), 5u);
    EXPECT_EQ(listed.GetNatServer(), "nat.test:3501");
    EXPECT_EQ(listed.GetTrackerUrl(), "http://127.0.0.1/vod");
    EXPECT_EQ(listed.GetContentId(), 77);
    EXPECT_EQ(Read(listed, 4), BlockBytes(kSize, 4));
}

TEST_F(CacheFiles, EmptyIndexGetsHeaderAndEntriesInOneWrite) {
    CVodCacheFile cache;
    Open(cache, kHashA);
    ASSERT_TRUE(Write(cache, {1, 0}));
    std::vector<VodIndexEntry> entries(2);
    for (std::uint32_t block : {0u, 1u}) {
        entries[block].block = block;
        entries[block].offset = block * std::uint64_t(kVodBlockSize);
        entries[block].length = static_cast<std::uint16_t>(kVodBlockSize);
        const std::string bytes = BlockBytes(kSize, block);
        Md5Digest(bytes.data(), bytes.size(), entries[block].md5);
    }
    std::string index;
    ASSERT_TRUE(ReadWholeFile(Path(kHashA + ".vd2"), index));
    EXPECT_EQ(index, Packed(HeaderOf(kHashA, 5), entries));
}

TEST_F(CacheFiles, BlockWrittenTwiceIsStoredOnce) {
    CVodCacheFile cache;
    Open(cache, kHashA);
    ASSERT_TRUE(Write(cache, {1}));
    ASSERT_TRUE(Write(cache, {1, 2}));
    ASSERT_TRUE(Write(cache, {1}));
    EXPECT_EQ(FileSize(kHashA), 2u * kVodBlockSize);
    EXPECT_EQ(FileSize(kHashA + ".vd2"), HeaderSize(kHashA) + 2 * VodIndexEntry::kSize);
}

TEST_F(CacheFiles, ChangedBytesFailTheirDigestAndDeleteThePair) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    ASSERT_TRUE(Write(writer, {0}));
    ASSERT_TRUE(Write(writer, {1}));
    std::string data;
    ASSERT_TRUE(ReadWholeFile(Path(kHashA), data));
    data[kVodBlockSize + 5] ^= 1;
    ASSERT_TRUE(WriteWholeFile(Path(kHashA), data));

    CVodCacheFile reader;
    Open(reader, kHashA);
    ASSERT_TRUE(reader.LoadIndex());
    EXPECT_EQ(Read(reader, 0), BlockBytes(kSize, 0));
    EXPECT_EQ(Read(reader, 1), "");
    EXPECT_FALSE(reader.IsValid());
    EXPECT_FALSE(Exists(kHashA));
    EXPECT_FALSE(Exists(kHashA + ".vd2"));
    EXPECT_EQ(Read(reader, 0), "");
}

TEST_F(CacheFiles, IndexOfAnotherVersionOrBlockCountIsDiscarded) {
    struct Case {
        const char* name;
        std::uint16_t version;
        std::int64_t readerSize;
    } cases[] = {
        {"version 2", 2, kSize},
        {"version 0", 0, kSize},
        {"six blocks expected", 1, kSize + kVodBlockSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CVodCacheFile writer;
        Open(writer, kHashA);
        ASSERT_TRUE(Write(writer, {0, 2}));
        std::string index;
        ASSERT_TRUE(ReadWholeFile(Path(kHashA + ".vd2"), index));
        index[0] = static_cast<char>(c.version);
        ASSERT_TRUE(WriteWholeFile(Path(kHashA + ".vd2"), index));

        CVodCacheFile reader;
        Open(reader, kHashA, c.readerSize);
        EXPECT_TRUE(reader.LoadIndex());
        EXPECT_FALSE(Exists(kHashA));
        EXPECT_EQ(FileSize(kHashA + ".vd2"), 0u);
        EXPECT_EQ(reader.GetPresentBits().count(), 0u);
        EXPECT_EQ(Read(reader, 0), "");
        DeleteFileW(Path(kHashA + ".vd2").c_str());
    }
}

// An index that names another video, or a file outside the folder, never
// leads us to that file.
TEST_F(CacheFiles, HeaderHashNamesNoOtherFile) {
    const std::wstring victim = L"C:\\tovra-vod-victim";
    ASSERT_TRUE(WriteWholeFile(victim, "keep me"));
    CVodCacheFile other;
    Open(other, kHashB);
    ASSERT_TRUE(Write(other, {0}));

    ASSERT_TRUE(WriteWholeFile(Path(kHashA), "stale"));
    ASSERT_TRUE(WriteWholeFile(Path(kHashA + ".vd2"), Packed(HeaderOf(kHashB, 5))));
    CVodCacheFile cache;
    Open(cache, kHashA);
    EXPECT_TRUE(cache.LoadIndex());
    EXPECT_EQ(cache.GetHash(), kHashA);
    EXPECT_FALSE(Exists(kHashA));  // this pair is discarded ...
    EXPECT_EQ(FileSize(kHashA + ".vd2"), 0u);
    EXPECT_TRUE(Exists(kHashB));   // ... the other video's stays
    EXPECT_EQ(FileSize(kHashB + ".vd2"), HeaderSize(kHashB) + VodIndexEntry::kSize);

    const std::string escape = "..\\tovra-vod-victim";
    ASSERT_TRUE(WriteWholeFile(Path(kHashC + ".vd2"), Packed(HeaderOf(escape, 5, 2))));
    ASSERT_TRUE(WriteWholeFile(Path("old.vd"), Packed(HeaderOf(escape, 5, 0))));
    CVodCacheFile listed;  // opened by its file, knowing no hash
    HANDLE file = CreateFileW(Path(kHashC + ".vd2").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(listed.ParseIndex(file));
    CloseHandle(file);
    RemoveOldIndexFiles(kCacheFolder);
    EXPECT_FALSE(Exists("old.vd"));
    std::string kept;
    EXPECT_TRUE(ReadWholeFile(victim, kept));
    EXPECT_EQ(kept, "keep me");
    DeleteFileW(victim.c_str());
}

// No index of ours grows this large: it is not read into memory but discarded.
TEST_F(CacheFiles, OversizedIndexIsDiscardedUnread) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    ASSERT_TRUE(Write(writer, {0}));
    HANDLE index = CreateFileW(Path(kHashA + ".vd2").c_str(), GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(index, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = 65 * kMiB;
    ASSERT_TRUE(SetFilePointerEx(index, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(index));
    CloseHandle(index);

    CVodCacheFile cache;
    Open(cache, kHashA);
    EXPECT_TRUE(cache.LoadIndex());
    EXPECT_EQ(cache.GetPresentBits().count(), 0u);
    EXPECT_FALSE(Exists(kHashA));
    EXPECT_EQ(FileSize(kHashA + ".vd2"), 0u);
}

TEST_F(CacheFiles, EntryBeyondTheBlockCountStartsTheIndexAnew) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    ASSERT_TRUE(Write(writer, {0, 1}));
    std::string index;
    ASSERT_TRUE(ReadWholeFile(Path(kHashA + ".vd2"), index));
    VodIndexEntry beyond;
    beyond.block = 9;
    nps::DefaultBlockBuffer buffer;
    nps::Pack pack(buffer);
    beyond.Pack(pack);
    ASSERT_TRUE(WriteWholeFile(Path(kHashA + ".vd2"), index + std::string(buffer.data, buffer.size)));

    CVodCacheFile cache;
    Open(cache, kHashA);
    EXPECT_TRUE(cache.LoadIndex());
    EXPECT_EQ(cache.GetPresentBits().count(), 0u);
    EXPECT_TRUE(cache.IsValid());
    ASSERT_TRUE(Write(cache, {3}));
    EXPECT_EQ(FileSize(kHashA + ".vd2"), HeaderSize(kHashA) + VodIndexEntry::kSize);

    CVodCacheFile reader;
    Open(reader, kHashA);
    ASSERT_TRUE(reader.LoadIndex());
    EXPECT_EQ(reader.GetPresentBits().count(), 1u);
    EXPECT_EQ(Read(reader, 3), BlockBytes(kSize, 3));
}

// A crash in the middle of an index write leaves part of an entry; the next
// writer starts the index anew instead of leaving that tail behind its own.
TEST_F(CacheFiles, TruncatedIndexIsRewrittenWithoutItsTail) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    ASSERT_TRUE(Write(writer, {0}));
    ASSERT_TRUE(Write(writer, {1}));
    std::string index;
    ASSERT_TRUE(ReadWholeFile(Path(kHashA + ".vd2"), index));
    ASSERT_TRUE(WriteWholeFile(Path(kHashA + ".vd2"), index.substr(0, index.size() - 7)));

    CVodCacheFile cache;
    Open(cache, kHashA);
    EXPECT_TRUE(cache.LoadIndex());
    EXPECT_EQ(cache.GetPresentBits().count(), 0u);
    ASSERT_TRUE(Write(cache, {4}));
    EXPECT_EQ(FileSize(kHashA + ".vd2"), HeaderSize(kHashA) + VodIndexEntry::kSize);

    CVodCacheFile reader;
    Open(reader, kHashA);
    ASSERT_TRUE(reader.LoadIndex());
    EXPECT_EQ(reader.GetBytesRead(), FileSize(kHashA + ".vd2"));
    EXPECT_EQ(Read(reader, 4), BlockBytes(kSize, 4));
    EXPECT_EQ(Read(reader, 0), "");
}

TEST_F(CacheFiles, IndexWithoutDataIsDeletedOnLoad) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    ASSERT_TRUE(Write(writer, {0}));
    ASSERT_TRUE(DeleteFileW(Path(kHashA).c_str()));
    CVodCacheFile cache;
    Open(cache, kHashA);
    EXPECT_TRUE(cache.LoadIndex());
    EXPECT_FALSE(Exists(kHashA + ".vd2"));
    EXPECT_EQ(cache.GetPresentBits().count(), 0u);
}

TEST_F(CacheFiles, ReaderSeesBlocksAppendedByAnotherWriter) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    ASSERT_TRUE(Write(writer, {0}));
    CVodCacheFile reader;
    Open(reader, kHashA);
    ASSERT_TRUE(reader.LoadIndex());
    EXPECT_EQ(Read(reader, 2), "");
    ASSERT_TRUE(Write(writer, {2}));
    EXPECT_EQ(Read(reader, 2), BlockBytes(kSize, 2));
    EXPECT_EQ(reader.GetBytesRead(), FileSize(kHashA + ".vd2"));
}

TEST_F(CacheFiles, WritingNeedsEveryHeaderField) {
    struct Case {
        const char* name;
        std::string hash, nat, tracker;
        std::int64_t cid;
    } cases[] = {
        {"no hash", "", "nat.test:3501", "/t", 77},
        {"not a hash", "..\\tovra-vod-escape-0123456789ab", "nat.test:3501", "/t", 77},
        {"no NAT server", kHashA, "", "/t", 77},
        {"no tracker", kHashA, "nat.test:3501", "", 77},
        {"no content id", kHashA, "nat.test:3501", "/t", 0},
    };
    for (const Case& c : cases) {
        CVodCacheFile cache;
        Open(cache, kHashA);
        cache.SetHash(c.hash);
        cache.SetNatServer(c.nat);
        cache.SetTrackerUrl(c.tracker);
        cache.SetContentId(c.cid);
        EXPECT_FALSE(Write(cache, {0})) << c.name;
        EXPECT_FALSE(Exists(kHashA + ".vd2")) << c.name;
    }
    EXPECT_EQ(GetFileAttributesW(L"C:\\tovra-vod-escape-0123456789ab"), INVALID_FILE_ATTRIBUTES);
    CVodCacheFile cache;
    Open(cache, kHashA);
    EXPECT_TRUE(cache.WriteBlocks(VodBlockPieces()));
}

// A caller's buffer smaller than the block cannot hold it; the pair is not
// taken for damaged.
TEST_F(CacheFiles, SmallBufferReadsNothingAndKeepsThePair) {
    CVodCacheFile cache;
    Open(cache, kHashA);
    ASSERT_TRUE(Write(cache, {0, 4}));
    EXPECT_EQ(Read(cache, 0, 100), "");
    EXPECT_EQ(Read(cache, 4, BlockLength(kSize, 4)), BlockBytes(kSize, 4));
    EXPECT_TRUE(Exists(kHashA));
    EXPECT_EQ(Read(cache, 0), BlockBytes(kSize, 0));
}

// Each copy reads through its own handle: destroying one leaves the other's open.
TEST_F(CacheFiles, CopiesDoNotShareTheReadHandle) {
    CVodCacheFile writer;
    Open(writer, kHashA);
    ASSERT_TRUE(Write(writer, {0, 1, 2}));
    CVodCacheFile reader;
    Open(reader, kHashA);
    ASSERT_TRUE(reader.LoadIndex());
    ASSERT_EQ(Read(reader, 0), BlockBytes(kSize, 0));
    {
        CVodCacheFile copy(reader);
        CVodCacheFile assigned;
        assigned = reader;
        EXPECT_EQ(Read(copy, 1), BlockBytes(kSize, 1));
        EXPECT_EQ(Read(assigned, 2), BlockBytes(kSize, 2));
    }
    EXPECT_EQ(Read(reader, 1), BlockBytes(kSize, 1));
    EXPECT_EQ(Read(reader, 2), BlockBytes(kSize, 2));
    EXPECT_TRUE(Exists(kHashA));
}

TEST_F(CacheFiles, RemovesOldIndexesThatDoNotParse) {
    ASSERT_TRUE(WriteWholeFile(Path("good.vd"), Packed(HeaderOf(kHashA, 5))));
    ASSERT_TRUE(WriteWholeFile(Path("cut.vd"), "\x01\x00\x20"));
    ASSERT_TRUE(WriteWholeFile(Path("v2.vd"), Packed(HeaderOf(kHashC, 5, 2))));
    ASSERT_TRUE(WriteWholeFile(Path(kHashC), "data of the old format"));
    ASSERT_TRUE(WriteWholeFile(Path(kHashD + ".vd2"), "not an index"));
    RemoveOldIndexFiles(kCacheFolder);
    EXPECT_TRUE(Exists("good.vd"));
    EXPECT_FALSE(Exists("cut.vd"));
    EXPECT_FALSE(Exists("v2.vd"));
    EXPECT_FALSE(Exists(kHashC));
    EXPECT_TRUE(Exists(kHashD + ".vd2"));
}

TEST_F(CacheFiles, EachScanEvictsTheOldestPair) {
    WriteSetting(m_localIni, L"size", L"100");  // reads as 500 MiB
    MakeSparsePair(kHashB, 300 * kMiB, 2000);
    MakeSparsePair(kHashA, 300 * kMiB, 3000);
    MakeSparsePair(kHashC, 300 * kMiB, 1000);
    const std::uint64_t index = HeaderSize(kHashA);
    CVodCacheFile cache;
    Open(cache, kHashE);

    EXPECT_EQ(cache.ScanAndEvict(), 2 * (300 * kMiB + index));
    EXPECT_EQ(cache.GetSizeLimit(), 524288000u);
    EXPECT_EQ(cache.GetByteTotal(), 2 * (300 * kMiB + index));
    EXPECT_FALSE(Exists(kHashA));
    EXPECT_FALSE(Exists(kHashA + ".vd2"));
    EXPECT_TRUE(Exists(kHashB));

    EXPECT_EQ(cache.ScanAndEvict(), 300 * kMiB + index);
    EXPECT_FALSE(Exists(kHashB));
    EXPECT_TRUE(Exists(kHashC));
    EXPECT_EQ(cache.ScanAndEvict(), 300 * kMiB + index);
    EXPECT_TRUE(Exists(kHashC + ".vd2"));
}

TEST_F(CacheFiles, ThePlayingVideoIsNeverEvicted) {
    WriteSetting(m_localIni, L"size", L"500");
    MakeSparsePair(kHashA, 300 * kMiB, 3000);
    MakeSparsePair(kHashB, 300 * kMiB, 1000);
    CVodCacheFile cache;
    Open(cache, "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");  // the oldest, in other case
    EXPECT_EQ(cache.ScanAndEvict(), 2 * (300 * kMiB + HeaderSize(kHashA)));
    EXPECT_TRUE(Exists(kHashA));
    EXPECT_TRUE(Exists(kHashB));

    // Its total stays above the limit: the object writes nothing more.
    EXPECT_FALSE(Write(cache, {0}));
    EXPECT_TRUE(cache.IsFull());
    EXPECT_EQ(FileSize(kHashA), 300 * kMiB);
}

TEST_F(CacheFiles, IndexesWithoutDataAreCountedThenDeleted) {
    WriteSetting(m_localIni, L"size", L"500");
    MakeSparsePair(kHashA, 300 * kMiB, 3000);
    MakeSparsePair(kHashB, 300 * kMiB, 2000);
    MakeSparsePair(kHashC, 10, 4000);
    ASSERT_TRUE(DeleteFileW(Path(kHashC).c_str()));
    const std::uint64_t index = HeaderSize(kHashA);
    CVodCacheFile cache;
    Open(cache, kHashE);
    EXPECT_EQ(cache.ScanAndEvict(), 300 * kMiB + 2 * index);
    EXPECT_FALSE(Exists(kHashC + ".vd2"));
    EXPECT_FALSE(Exists(kHashA));
    EXPECT_TRUE(Exists(kHashB));
    EXPECT_EQ(cache.ScanAndEvict(), 300 * kMiB + index);

    // Under the limit nothing is evicted.
    MakeSparsePair(kHashD, 100 * kMiB, 9000);
    EXPECT_EQ(cache.ScanAndEvict(), 400 * kMiB + 2 * index);
    EXPECT_TRUE(Exists(kHashD));
}
