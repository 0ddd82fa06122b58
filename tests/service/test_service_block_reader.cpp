#include <winsock2.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include "service/BlockCache.h"
#include "service/BlockReader.h"
#include "service/FileCompletionPort.h"
#include "service/IReadNotify2.h"
#include "service/VodRecordList.h"
#include "tests/service/ServiceTestPairs.h"
#include "tests/vod/CacheTestPrefix.h"

using cachetest::kCacheFolder;

namespace {

const DWORD kWaitMs = 10000;

struct Arrived {
    std::string bytes;
    bool failed;
};

// Stands in for the serving session: keeps what arrives, by piece.
class Session : public IReadNotify2 {
public:
    Session() : m_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~Session() override { CloseHandle(m_event); }

    void OnReadDone(std::uint32_t piece, char* buffer, std::uint32_t length,
                    bool failed) override {
        boost::mutex::scoped_lock lock(m_lock);
        m_arrived.insert(std::make_pair(piece, Arrived{std::string(buffer, length), failed}));
        SetEvent(m_event);
    }

    bool WaitFor(std::size_t count) {
        for (;;) {
            if (Count() >= count)
                return true;
            if (WaitForSingleObject(m_event, kWaitMs) != WAIT_OBJECT_0)
                return false;
        }
    }
    std::size_t Count() {
        boost::mutex::scoped_lock lock(m_lock);
        return m_arrived.size();
    }
    Arrived Get(std::uint32_t piece) {
        boost::mutex::scoped_lock lock(m_lock);
        auto found = m_arrived.find(piece);
        return found == m_arrived.end() ? Arrived{"<none>", true} : found->second;
    }

private:
    HANDLE m_event;
    boost::mutex m_lock;
    std::multimap<std::uint32_t, Arrived> m_arrived;
};

TEST(FileCompletionPort, WorkerCountFollowsTheProcessors) {
    const struct {
        DWORD processors;
        int workers;
    } cases[] = {{1, 2}, {2, 4}, {4, 8}, {5, 10}, {8, 10}, {64, 10}};
    for (const auto& c : cases)
        EXPECT_EQ(FileCompletionPort::WorkersFor(c.processors), c.workers) << c.processors;

    FileCompletionPort port;
    ASSERT_EQ(port.Start(), 1);
    EXPECT_EQ(port.Start(), 0);
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_EQ(port.GetWorkerCount(), FileCompletionPort::WorkersFor(info.dwNumberOfProcessors));
    port.Stop();
    EXPECT_FALSE(port.IsStarted());
    EXPECT_EQ(port.GetWorkerCount(), 0);
    EXPECT_EQ(port.Start(), 1);
}

class BlockReaderTest : public cachetest::CachePrefix {
protected:
    void SetUp() override {
        CachePrefix::SetUp();
        ASSERT_FALSE(pairs::StagingFolder().empty()) << "run by tests/fixtures/cache_pairs.py";
        for (const std::string& hash :
             {pairs::kA, pairs::kE, pairs::kF, pairs::kG})
            ASSERT_TRUE(pairs::CopyPair(hash, kCacheFolder));
        m_list.Scan();
        ASSERT_EQ(m_port.Start(), 1);
    }
    void TearDown() override {
        m_readers.clear();
        m_port.Stop();
        m_list.Stop();
        CachePrefix::TearDown();
    }

    BlockReader& ReaderOf(const std::string& hash) {
        unsigned char bytes[16];
        pairs::HashBytes(hash, bytes);
        m_readers.emplace_back(new BlockReader(&m_port, &m_list, &m_cache, &m_session, bytes));
        return *m_readers.back();
    }

    char* Buffer() {
        m_buffers.emplace_back(768, '\0');
        return &m_buffers.back()[0];
    }

    CVodRecordList m_list;
    BlockCache m_cache;
    FileCompletionPort m_port;
    Session m_session;
    std::vector<std::string> m_buffers;
    std::vector<std::unique_ptr<BlockReader>> m_readers;
};

TEST_F(BlockReaderTest, PiecesArriveByteIdenticalAfterOneReadOfTheirBlock) {
    m_buffers.reserve(16);
    BlockReader& reader = ReaderOf(pairs::kA);
    EXPECT_EQ(reader.GetHashText(), pairs::kA);
    // The first piece of block 1 starts its read; the others wait for it, or
    // come from the cache when the read was quicker than the test.
    EXPECT_EQ(reader.Read(48, Buffer(), 768), 0);
    std::size_t waiting = 1;
    for (std::uint32_t piece : {95u, 95u}) {
        char* buffer = Buffer();
        const int result = reader.Read(piece, buffer, 768);
        if (result == 0) {
            ++waiting;
        } else {
            EXPECT_EQ(std::string(buffer, result), pairs::PieceBytes(piece));
        }
    }
    EXPECT_EQ(m_cache.GetInUse(), 1);  // one buffer: one read of block 1
    ASSERT_TRUE(m_session.WaitFor(waiting));
    EXPECT_EQ(m_session.Get(48).bytes, pairs::PieceBytes(48));
    EXPECT_FALSE(m_session.Get(48).failed);
    if (waiting > 1) {
        EXPECT_EQ(m_session.Get(95).bytes, pairs::PieceBytes(95));
    }
    EXPECT_EQ(m_cache.GetCachedCount(), 1u);
    const std::size_t arrived = m_session.Count();

    // From the cache at once, without a callback.
    char* buffer = Buffer();
    ASSERT_EQ(reader.Read(60, buffer, 768), 768);
    EXPECT_EQ(std::string(buffer, 768), pairs::PieceBytes(60));
    EXPECT_EQ(m_session.Count(), arrived);

    // The video's last piece holds 536 bytes; the one after it does not exist.
    EXPECT_EQ(reader.Read(238, Buffer(), 768), 0);
    ASSERT_TRUE(m_session.WaitFor(arrived + 1));
    EXPECT_EQ(m_session.Get(238).bytes, pairs::PieceBytes(238));
    EXPECT_EQ(pairs::PieceBytes(238).size(), 536u);
    const int beyond = reader.Read(239, Buffer(), 768);
    if (beyond == 0) {
        ASSERT_TRUE(m_session.WaitFor(arrived + 2));
        EXPECT_TRUE(m_session.Get(239).failed);
        EXPECT_EQ(m_session.Get(239).bytes, "");
    } else {
        EXPECT_EQ(beyond, -1);
    }

    // A block the video does not hold.
    EXPECT_EQ(reader.Read(2 * 48, Buffer(), 768), -1);
    EXPECT_EQ(reader.Read(5000 * 48, Buffer(), 768), -1);
    EXPECT_EQ(reader.Read(0, nullptr, 768), -1);
}

TEST_F(BlockReaderTest, CorruptBlockFailsItsPiecesAndInvalidatesTheRecord) {
    BlockReader& reader = ReaderOf(pairs::kE);
    EXPECT_EQ(reader.Read(48, Buffer(), 768), 0);
    ASSERT_TRUE(m_session.WaitFor(1));
    EXPECT_TRUE(m_session.Get(48).failed);
    EXPECT_EQ(m_session.Get(48).bytes, "");
    EXPECT_EQ(m_cache.GetCachedCount(), 0u);
    EXPECT_EQ(m_cache.GetInUse(), 0);
    // No block of it is read until the index is loaded again.
    EXPECT_EQ(reader.Read(49, Buffer(), 768), -1);
    EXPECT_EQ(reader.Read(0, Buffer(), 768), -1);
    std::uint16_t length = 0;
    m_list.GetBlockOffset(pairs::kE, 0, length);
    EXPECT_EQ(length, 0);
}

TEST_F(BlockReaderTest, ReadsCutShortByTheEndOfTheFileFail) {
    // F: the data file ends 100 bytes into block 1; G: it ends where block 1
    // would start. Either fails at once or arrives failed: never garbage.
    for (const std::string& hash : {pairs::kF, pairs::kG}) {
        BlockReader& reader = ReaderOf(hash);
        const std::size_t before = m_session.Count();
        const int result = reader.Read(50, Buffer(), 768);
        if (result == 0) {
            ASSERT_TRUE(m_session.WaitFor(before + 1)) << hash;
            EXPECT_TRUE(m_session.Get(50).failed) << hash;
        } else {
            EXPECT_EQ(result, -1) << hash;
        }
    }
    EXPECT_EQ(m_cache.GetCachedCount(), 0u);
    EXPECT_EQ(m_cache.GetInUse(), 0);
}

TEST_F(BlockReaderTest, ReleasingAReaderWaitsForItsReads) {
    m_buffers.reserve(64);
    std::size_t started = 0, immediate = 0;
    BlockReader& reader = ReaderOf(pairs::kA);
    for (std::uint32_t block : {0u, 1u, 3u, 4u}) {
        for (std::uint32_t i = 0; i < 8; ++i) {
            const int result = reader.Read(block * 48 + i, Buffer(), 768);
            started += result == 0 ? 1 : 0;
            immediate += result == 768 ? 1 : 0;
        }
    }
    m_readers.clear();
    EXPECT_EQ(started + immediate, 32u);
    EXPECT_GE(started, 4u);  // the first piece of each block goes to the disk
    EXPECT_EQ(m_session.Count(), started);
    EXPECT_EQ(m_session.Get(3 * 48).bytes, pairs::PieceBytes(3 * 48));
}

}  // namespace
