#pragma once

#include <cstdint>
#include <string>

#include <boost/multi_index/composite_key.hpp>
#include <boost/multi_index/hashed_index.hpp>
#include <boost/multi_index/member.hpp>
#include <boost/multi_index/ordered_index.hpp>
#include <boost/multi_index_container.hpp>
#include <boost/pool/pool.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>

// The blocks a seeder has read from its data files, so that the 48 pieces of
// a block cost one disk read, and the pool of block buffers the reads go
// into. Past its capacity, a new buffer first evicts the 32 least recently
// used blocks; the capacity is where eviction starts, not a hard limit.
//
// Locks: the pool lock before the cache lock. Lookup and Insert take only
// the cache lock, ReleaseBuffer only the pool lock.
class BlockCache {
public:
    static constexpr std::uint32_t kBufferSize = 36864;
    static constexpr int kDefaultCapacity = 1500;
    static constexpr int kEvictBatch = 32;

    BlockCache();
    ~BlockCache();

    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    // n > 0 blocks, else the default; forgets the in-use count. 1.
    int SetCapacity(int blocks);
    int AllocBuffer(char*& buffer, std::uint32_t& size);
    void ReleaseBuffer(char* buffer);
    // 1 when the cache took the buffer; 0 leaves it with the caller.
    int Insert(const unsigned char hash[16], std::uint32_t block, char* buffer,
               std::uint32_t length);
    // Copies piece `piece` (at most length bytes) and sets length to the
    // count copied; 1 when the piece's block is cached and holds its start.
    int Lookup(const unsigned char hash[16], std::uint32_t piece, void* destination,
               std::uint32_t& length);
    int Evict(int count);
    void Clear();

    int GetCapacity();
    int GetInUse();
    std::size_t GetCachedCount();

private:
    struct Entry {
        std::string hash;
        std::uint32_t block;
        char* buffer;
        std::uint32_t length;
        std::int64_t lastUse;
        std::uint64_t useOrder;  // keeps the order of equal times
    };
    struct ByBlock {};
    struct ByUse {};
    using Entries = boost::multi_index_container<
        Entry,
        boost::multi_index::indexed_by<
            boost::multi_index::hashed_unique<
                boost::multi_index::tag<ByBlock>,
                boost::multi_index::composite_key<
                    Entry, boost::multi_index::member<Entry, std::string, &Entry::hash>,
                    boost::multi_index::member<Entry, std::uint32_t, &Entry::block>>>,
            boost::multi_index::ordered_non_unique<
                boost::multi_index::tag<ByUse>,
                boost::multi_index::composite_key<
                    Entry, boost::multi_index::member<Entry, std::int64_t, &Entry::lastUse>,
                    boost::multi_index::member<Entry, std::uint64_t, &Entry::useOrder>>>>>;

    int EvictLocked(int count);

    boost::mutex m_cacheLock;
    Entries m_entries;
    std::uint64_t m_useCounter = 0;
    boost::recursive_mutex m_poolLock;
    boost::pool<> m_pool;
    int m_capacity = kDefaultCapacity;
    int m_inUse = 0;
};

// The 32 lower-case hexadecimal digits of a 16-byte content hash.
std::string HashText(const unsigned char hash[16]);
