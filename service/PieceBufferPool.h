#pragma once

#include <cstddef>

#include <boost/pool/pool.hpp>
#include <boost/thread/mutex.hpp>

// The 768-byte piece buffers of every serving session of the process: one
// pool, made the first time a session needs a buffer and released at
// process exit. It grows by 32 buffers, then by twice the previous growth
// each time (32, 64, 128, ...), and never gives memory back while the
// process runs.
class PieceBufferPool {
public:
    static constexpr std::size_t kBufferSize = 768;

    static PieceBufferPool& Instance();

    // Null when no memory can be had.
    char* Alloc();
    // Null is ignored.
    void Free(char* buffer);

    // Buffers handed out and not given back.
    std::size_t GetInUse();

private:
    PieceBufferPool();

    boost::mutex m_lock;
    boost::pool<> m_pool;
    std::size_t m_inUse = 0;
};
