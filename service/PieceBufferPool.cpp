#include "service/PieceBufferPool.h"

namespace {
const std::size_t kFirstGrowth = 32;
}

PieceBufferPool::PieceBufferPool() : m_pool(kBufferSize, kFirstGrowth) {}

PieceBufferPool& PieceBufferPool::Instance() {
    // Built on first use, destroyed (with all its memory) at process exit.
    static PieceBufferPool pool;
    return pool;
}

char* PieceBufferPool::Alloc() {
    boost::mutex::scoped_lock lock(m_lock);
    char* buffer = static_cast<char*>(m_pool.malloc());
    if (buffer)
        ++m_inUse;
    return buffer;
}

void PieceBufferPool::Free(char* buffer) {
    if (!buffer)
        return;
    boost::mutex::scoped_lock lock(m_lock);
    m_pool.free(buffer);
    --m_inUse;
}

std::size_t PieceBufferPool::GetInUse() {
    boost::mutex::scoped_lock lock(m_lock);
    return m_inUse;
}
