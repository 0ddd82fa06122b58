#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include "service/VodRecordList.h"
#include "tests/service/ServiceTestPairs.h"
#include "tests/vod/CacheTestPrefix.h"

using cachetest::kCacheFolder;

namespace {

const DWORD kWaitMs = 10000;

struct Change {
    int kind;
    std::string tracker, hash;
    std::int64_t cid;
};

// Records every change and lets the test wait for the next one.
class Recorder : public IRecordNotify {
public:
    Recorder() : m_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~Recorder() { CloseHandle(m_event); }

    void OnRecordChange(int kind, const std::string& tracker, const std::string& hash,
                        std::int64_t cid) override {
        boost::mutex::scoped_lock lock(m_lock);
        m_changes.push_back(Change{kind, tracker, hash, cid});
        SetEvent(m_event);
    }

    // The next change not yet taken, waiting up to 10 s for it.
    bool Next(Change& change) {
        for (;;) {
            {
                boost::mutex::scoped_lock lock(m_lock);
                if (m_taken < m_changes.size()) {
                    change = m_changes[m_taken++];
                    return true;
                }
            }
            if (WaitForSingleObject(m_event, kWaitMs) != WAIT_OBJECT_0)
                return false;
        }
    }

    std::size_t Pending() {
        boost::mutex::scoped_lock lock(m_lock);
        return m_changes.size() - m_taken;
    }

private:
    HANDLE m_event;
    boost::mutex m_lock;
    std::vector<Change> m_changes;
    std::size_t m_taken = 0;
};

std::wstring Cached(const std::string& name) {
    return pairs::InFolder(kCacheFolder, name);
}

class RecordListTest : public cachetest::CachePrefix {
protected:
    void SetUp() override {
        CachePrefix::SetUp();
        ASSERT_FALSE(pairs::StagingFolder().empty()) << "run by tests/fixtures/cache_pairs.py";
        m_list.reset(new CVodRecordList);
    }
    void TearDown() override {
        m_list.reset();
        CachePrefix::TearDown();
    }

    void ExpectChange(int kind, const std::string& hash, std::int64_t cid) {
        Change change;
        ASSERT_TRUE(m_recorder.Next(change)) << "no change for " << hash;
        EXPECT_EQ(change.kind, kind);
        EXPECT_EQ(change.hash, hash);
        EXPECT_EQ(change.cid, cid);
    }

    Recorder m_recorder;
    std::unique_ptr<CVodRecordList> m_list;
};

TEST_F(RecordListTest, EmptyFolderGivesAnEmptyListAndAWatcher) {
    EXPECT_EQ(m_list->Scan(), 1);
    EXPECT_EQ(m_list->GetRecordCount(), 0u);
    EXPECT_TRUE(m_list->GetGroups().empty());
    EXPECT_TRUE(m_list->IsRunning());
}

TEST_F(RecordListTest, ScanLoadsPairsAndGroupsThemByNatServerAndTracker) {
    for (const std::string& hash : {pairs::kA, pairs::kB, pairs::kC, pairs::kD})
        ASSERT_TRUE(pairs::CopyPair(hash, kCacheFolder));
    // An index without its data file gives no record.
    ASSERT_TRUE(CopyFileW(pairs::InFolder(pairs::StagingFolder(), pairs::kE + ".vd2").c_str(),
                          Cached(pairs::kE + ".vd2").c_str(), FALSE));
    m_list->SetNotify(&m_recorder);
    ASSERT_EQ(m_list->Scan(), 1);

    EXPECT_EQ(m_list->GetRecordCount(), 4u);
    EXPECT_FALSE(m_list->HasRecord(pairs::kE));
    const std::deque<VodRecordGroup> groups = m_list->GetGroups();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].natServer, pairs::kNat);
    const std::map<std::string, std::int64_t> first = {
        {pairs::kA, 77}, {pairs::kB, 78}, {pairs::kD, 0}};
    EXPECT_EQ(groups[0].trackerUrl, pairs::kTracker);
    EXPECT_EQ(groups[0].videos, first);
    EXPECT_EQ(groups[1].trackerUrl, pairs::kOtherTracker);
    EXPECT_EQ(groups[1].videos.size(), 1u);
    EXPECT_EQ(m_recorder.Pending(), 0u);  // the scan notifies nobody

    // Where A's blocks lie: written in the order 3, 0, 1, 4.
    struct {
        std::uint32_t block;
        std::uint64_t offset;
        std::uint16_t length;
    } const where[] = {{3, 0, 36864}, {0, 36864, 36864}, {1, 73728, 36864},
                       {4, 110592, 36864 - 1000}, {2, 0, 0}, {5, 0, 0}};
    for (const auto& expected : where) {
        std::uint16_t length = 99;
        EXPECT_EQ(m_list->GetBlockOffset(pairs::kA, expected.block, length), expected.offset);
        EXPECT_EQ(length, expected.length) << "block " << expected.block;
        std::string name;
        EXPECT_EQ(m_list->HasBlock(pairs::kA, expected.block, name), expected.length != 0);
    }
    std::uint16_t length = 99;
    EXPECT_EQ(m_list->GetBlockOffset("", 0, length), 0u);
    EXPECT_EQ(length, 0);

    nps::BitField blocks;
    ASSERT_TRUE(m_list->GetBlockMap(pairs::kA, blocks));
    EXPECT_EQ(blocks.size(), 5u);
    EXPECT_EQ(blocks.to_ulong(), 0x1Bul);  // blocks 0, 1, 3, 4
    EXPECT_FALSE(m_list->GetBlockMap(pairs::kE, blocks));
}

TEST_F(RecordListTest, OpenDataFileOnlyForHeldBlocks) {
    ASSERT_TRUE(pairs::CopyPair(pairs::kA, kCacheFolder));
    m_list->Scan();
    std::string name;
    HANDLE file = m_list->OpenDataFile(pairs::kA, 4, name);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(name, pairs::kA);
    LARGE_INTEGER size;
    EXPECT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 5 * 36864 - 1000 - 36864);  // four blocks, block 2 absent
    CloseHandle(file);
    EXPECT_EQ(m_list->OpenDataFile(pairs::kA, 2, name), nullptr);
    EXPECT_EQ(m_list->OpenDataFile(pairs::kB, 0, name), nullptr);
}

TEST_F(RecordListTest, DigestMismatchInvalidatesTheRecordUntilItIsRewritten) {
    ASSERT_TRUE(pairs::CopyPair(pairs::kA, kCacheFolder));
    m_list->Scan();
    m_list->SetNotify(&m_recorder);
    std::string block0;
    for (std::uint32_t piece = 0; piece < 48; ++piece)
        block0 += pairs::PieceBytes(piece);
    EXPECT_TRUE(m_list->VerifyBlock(pairs::kA, 0, block0.data(), block0.size()));
    EXPECT_FALSE(m_list->VerifyBlock(pairs::kA, 2, block0.data(), block0.size()));
    EXPECT_FALSE(m_list->VerifyBlock("", 0, block0.data(), block0.size()));

    block0[100] ^= 1;
    EXPECT_FALSE(m_list->VerifyBlock(pairs::kA, 0, block0.data(), block0.size()));
    std::uint16_t length = 0;
    m_list->GetBlockOffset(pairs::kA, 0, length);
    EXPECT_EQ(length, 0);
    nps::BitField blocks;
    EXPECT_FALSE(m_list->GetBlockMap(pairs::kA, blocks));
    // The periodic check sees nothing new: still invalid.
    m_list->Rescan();
    m_list->GetBlockOffset(pairs::kA, 0, length);
    EXPECT_EQ(length, 0);

    // The pair written again: removed and added through the watcher.
    ASSERT_TRUE(DeleteFileW(Cached(pairs::kA + ".vd2").c_str()));
    ExpectChange(IRecordNotify::kRemoved, pairs::kA, 77);
    ASSERT_TRUE(pairs::CopyPair(pairs::kA, kCacheFolder));
    ExpectChange(IRecordNotify::kAdded, pairs::kA, 77);
    EXPECT_EQ(m_list->GetBlockOffset(pairs::kA, 0, length), 36864u);
    EXPECT_EQ(length, 36864);
    EXPECT_TRUE(m_list->GetBlockMap(pairs::kA, blocks));
}

TEST_F(RecordListTest, WatcherFollowsPairsAddedAndRemoved) {
    m_list->Scan();
    m_list->SetNotify(&m_recorder);

    ASSERT_TRUE(pairs::CopyPair(pairs::kA, kCacheFolder));
    ExpectChange(IRecordNotify::kAdded, pairs::kA, 77);
    EXPECT_TRUE(m_list->HasRecord(pairs::kA));
    nps::BitField kept;
    ASSERT_TRUE(m_list->GetBlockMap(pairs::kA, kept));

    // Removing the index leaves the data file.
    ASSERT_TRUE(DeleteFileW(Cached(pairs::kA + ".vd2").c_str()));
    ExpectChange(IRecordNotify::kRemoved, pairs::kA, 77);
    EXPECT_FALSE(m_list->HasRecord(pairs::kA));
    EXPECT_TRUE(IsExistingFile(Cached(pairs::kA)));
    EXPECT_EQ(kept.count(), 4u);  // a copy: the record's removal does not touch it

    // Removing the data file removes the index too.
    ASSERT_TRUE(pairs::CopyPair(pairs::kB, kCacheFolder));
    ExpectChange(IRecordNotify::kAdded, pairs::kB, 78);
    ASSERT_TRUE(DeleteFileW(Cached(pairs::kB).c_str()));
    ExpectChange(IRecordNotify::kRemoved, pairs::kB, 78);
    EXPECT_FALSE(IsExistingFile(Cached(pairs::kB + ".vd2")));

    // Content id 0: added, then removed without a word; C's removal follows.
    ASSERT_TRUE(pairs::CopyPair(pairs::kD, kCacheFolder));
    ExpectChange(IRecordNotify::kAdded, pairs::kD, 0);
    ASSERT_TRUE(pairs::CopyPair(pairs::kC, kCacheFolder));
    ExpectChange(IRecordNotify::kAdded, pairs::kC, 79);
    ASSERT_TRUE(DeleteFileW(Cached(pairs::kD + ".vd2").c_str()));
    ASSERT_TRUE(DeleteFileW(Cached(pairs::kC + ".vd2").c_str()));
    ExpectChange(IRecordNotify::kRemoved, pairs::kC, 79);
    EXPECT_FALSE(m_list->HasRecord(pairs::kD));

    // A group that lost its videos stays, empty.
    const std::deque<VodRecordGroup> groups = m_list->GetGroups();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_TRUE(groups[0].videos.empty());
    EXPECT_TRUE(groups[1].videos.empty());

    // Other names are ignored.
    ASSERT_TRUE(pairs::CopyPair(pairs::kA, kCacheFolder));
    ExpectChange(IRecordNotify::kAdded, pairs::kA, 77);
    HANDLE other = CreateFileW(Cached("notes.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(other);
    ASSERT_TRUE(DeleteFileW(Cached("notes.txt").c_str()));
    ASSERT_TRUE(DeleteFileW(Cached(pairs::kA + ".vd2").c_str()));
    ExpectChange(IRecordNotify::kRemoved, pairs::kA, 77);
}

TEST_F(RecordListTest, WatcherFollowsRenames) {
    m_list->Scan();
    m_list->SetNotify(&m_recorder);
    const std::wstring staging = pairs::StagingFolder();
    ASSERT_TRUE(CopyFileW(pairs::InFolder(staging, pairs::kA).c_str(), Cached(pairs::kA).c_str(),
                          FALSE));
    // Written under another name, then renamed into place.
    ASSERT_TRUE(CopyFileW(pairs::InFolder(staging, pairs::kA + ".vd2").c_str(),
                          Cached(pairs::kA + ".part").c_str(), FALSE));
    ASSERT_TRUE(MoveFileW(Cached(pairs::kA + ".part").c_str(), Cached(pairs::kA + ".vd2").c_str()));
    ExpectChange(IRecordNotify::kAdded, pairs::kA, 77);
    // Renamed away: the old name's record goes.
    ASSERT_TRUE(MoveFileW(Cached(pairs::kA + ".vd2").c_str(), Cached(pairs::kA + ".old").c_str()));
    ExpectChange(IRecordNotify::kRemoved, pairs::kA, 77);
    EXPECT_FALSE(m_list->HasRecord(pairs::kA));
}

TEST_F(RecordListTest, RescanLoadsEntriesAppendedToAnIndex) {
    const std::wstring staging = pairs::StagingFolder();
    std::string index;
    ASSERT_TRUE(cachetest::ReadWholeFile(pairs::InFolder(staging, pairs::kA + ".vd2"), index));
    const std::size_t headerSize = index.size() - 4 * 30;
    ASSERT_TRUE(CopyFileW(pairs::InFolder(staging, pairs::kA).c_str(), Cached(pairs::kA).c_str(),
                          FALSE));
    // Header and the first two entries (blocks 3 and 0).
    ASSERT_TRUE(cachetest::WriteWholeFile(Cached(pairs::kA + ".vd2"),
                                          index.substr(0, headerSize + 2 * 30)));
    m_list->Scan();
    std::string name;
    ASSERT_TRUE(m_list->HasBlock(pairs::kA, 0, name));
    EXPECT_FALSE(m_list->HasBlock(pairs::kA, 1, name));

    HANDLE file = CreateFileW(Cached(pairs::kA + ".vd2").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, index.data() + headerSize + 60, 60, &written, nullptr));
    CloseHandle(file);

    m_list->Rescan();
    EXPECT_TRUE(m_list->HasBlock(pairs::kA, 1, name));
    EXPECT_TRUE(m_list->HasBlock(pairs::kA, 4, name));
    std::uint16_t length = 0;
    EXPECT_EQ(m_list->GetBlockOffset(pairs::kA, 4, length), 110592u);
}

}  // namespace
