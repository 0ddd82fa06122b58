#include "service/BlockCache.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "common/text/HexText.h"
#include "vod/VodUnits.h"

std::string HashText(const unsigned char hash[16]) {
    return LowerHex(hash, 16);
}

BlockCache::BlockCache() : m_pool(kBufferSize, kEvictBatch) {}

BlockCache::~BlockCache() {
    m_pool.purge_memory();
}

int BlockCache::SetCapacity(int blocks) {
    boost::recursive_mutex::scoped_lock lock(m_poolLock);
    m_capacity = blocks > 0 ? blocks : kDefaultCapacity;
    m_inUse = 0;
    return 1;
}

int BlockCache::AllocBuffer(char*& buffer, std::uint32_t& size) {
    boost::recursive_mutex::scoped_lock lock(m_poolLock);
    if (m_inUse >= m_capacity)
        EvictLocked(kEvictBatch);
    m_pool.set_next_size(kEvictBatch);
    void* got = m_pool.malloc();
    if (!got) {
        EvictLocked(kEvictBatch);
        m_pool.set_next_size(kEvictBatch);
        got = m_pool.malloc();
        if (!got)
            return 0;
    }
    buffer = static_cast<char*>(got);
    size = kBufferSize;
    ++m_inUse;
    return 1;
}

void BlockCache::ReleaseBuffer(char* buffer) {
    if (!buffer)
        return;
    boost::recursive_mutex::scoped_lock lock(m_poolLock);
    m_pool.free(buffer);
    --m_inUse;
}

int BlockCache::Insert(const unsigned char hash[16], std::uint32_t block, char* buffer,
                       std::uint32_t length) {
    if (!buffer || length == 0)
        return 0;
    Entry entry{HashText(hash), block, buffer, std::min(length, kBufferSize),
                static_cast<std::int64_t>(_time64(nullptr)), 0};
    boost::mutex::scoped_lock lock(m_cacheLock);
    entry.useOrder = ++m_useCounter;
    return m_entries.insert(entry).second ? 1 : 0;
}

int BlockCache::Lookup(const unsigned char hash[16], std::uint32_t piece, void* destination,
                       std::uint32_t& length) {
    if (!destination || length == 0)
        return 0;
    const std::uint32_t block = piece / kVodPiecesPerBlock;
    const std::uint32_t start = (piece % kVodPiecesPerBlock) * kVodPieceSize;
    const std::string text = HashText(hash);
    boost::mutex::scoped_lock lock(m_cacheLock);
    auto& byBlock = m_entries.get<ByBlock>();
    auto found = byBlock.find(boost::make_tuple(text, block));
    if (found == byBlock.end() || start >= found->length)
        return 0;
    const std::uint32_t count =
        found->buffer ? std::min(length, found->length - start) : 0;
    if (count)
        std::memcpy(destination, found->buffer + start, count);
    length = count;
    const std::int64_t now = static_cast<std::int64_t>(_time64(nullptr));
    const std::uint64_t order = ++m_useCounter;
    byBlock.modify(found, [now, order](Entry& entry) {
        entry.lastUse = now;
        entry.useOrder = order;
    });
    return 1;
}

int BlockCache::Evict(int count) {
    // The pool lock first, as AllocBuffer takes them: the other order could
    // deadlock against an allocation that evicts.
    boost::recursive_mutex::scoped_lock poolLock(m_poolLock);
    return EvictLocked(count);
}

int BlockCache::EvictLocked(int count) {
    boost::mutex::scoped_lock lock(m_cacheLock);
    auto& byUse = m_entries.get<ByUse>();
    int removed = 0;
    while (removed < count && !byUse.empty()) {
        ReleaseBuffer(byUse.begin()->buffer);
        byUse.erase(byUse.begin());
        ++removed;
    }
    return removed;
}

void BlockCache::Clear() {
    {
        boost::mutex::scoped_lock lock(m_cacheLock);
        m_entries.clear();
    }
    boost::recursive_mutex::scoped_lock lock(m_poolLock);
    m_pool.purge_memory();
    m_capacity = 0;
    m_inUse = 0;
}

int BlockCache::GetCapacity() {
    boost::recursive_mutex::scoped_lock lock(m_poolLock);
    return m_capacity;
}

int BlockCache::GetInUse() {
    boost::recursive_mutex::scoped_lock lock(m_poolLock);
    return m_inUse;
}

std::size_t BlockCache::GetCachedCount() {
    boost::mutex::scoped_lock lock(m_cacheLock);
    return m_entries.size();
}
