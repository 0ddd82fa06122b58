#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/pack/BlockAllocator.h"
#include "common/pack/PackError.h"

namespace nps {

namespace detail {
// What data points at while a buffer holds no block, so data is never null.
// Nothing ever writes to it: every write first grows the buffer.
extern char empty_block_byte;
}  // namespace detail

// A growable byte buffer with capacity in whole blocks of 2,048 bytes, kept in
// one contiguous allocation. Capacity only grows; shrinking keeps the blocks
// so one buffer can be packed, sent, emptied and packed again.
//
// Callers read data and size directly to send or store what was packed; they
// change them only through the member functions.
template <class UserAllocator = default_block_allocator_malloc_free,
          std::uint32_t MaxBlocks = 10240>
class BlockBuffer {
public:
    static constexpr std::uint32_t block_size = 2048;
    static constexpr std::uint32_t max_blocks = MaxBlocks;
    static constexpr std::uint64_t max_bytes = std::uint64_t(block_size) * MaxBlocks;

    char* data = &detail::empty_block_byte;
    std::uint32_t size = 0;    // bytes in use
    std::uint32_t blocks = 0;  // capacity in blocks

    BlockBuffer() = default;
    BlockBuffer(const BlockBuffer&) = delete;
    BlockBuffer& operator=(const BlockBuffer&) = delete;

    virtual ~BlockBuffer() {
        if (blocks != 0)
            UserAllocator::free(data);
        data = &detail::empty_block_byte;
    }

    std::uint64_t capacity() const { return std::uint64_t(blocks) * block_size; }

    // Makes room for n more bytes. False when the block limit or the
    // allocation fails; the content is then unchanged. Capacity becomes the
    // smallest whole number of blocks that holds size + n (no doubling).
    bool grow(std::uint64_t n) {
        if (n == 0 || capacity() - size >= n)
            return true;
        // size <= max_bytes always holds, so this test cannot wrap.
        if (n > max_bytes - size)
            return false;
        const std::uint64_t need = size + n;
        const std::uint64_t new_blocks = (need + block_size - 1) / block_size;
        char* p = UserAllocator::malloc(static_cast<std::size_t>(new_blocks * block_size));
        if (p == nullptr)
            return false;
        if (blocks != 0) {
            std::memcpy(p, data, size);
            UserAllocator::free(data);
        }
        data = p;
        blocks = static_cast<std::uint32_t>(new_blocks);
        return true;
    }

    // A larger size grows and fills the new bytes; a smaller or equal one only
    // sets size. False (size unchanged) when growing fails.
    bool resize_fill(std::uint64_t new_size, unsigned char fill) {
        if (new_size > size) {
            if (!grow(new_size - size))
                return false;
            std::memset(data + size, fill, static_cast<std::size_t>(new_size - size));
        }
        size = static_cast<std::uint32_t>(new_size);
        return true;
    }

    void resize(std::uint64_t new_size) {
        if (!resize_fill(new_size, 0))
            throw pack_error("resize error");
    }

    // All or nothing: on failure nothing of the call is appended.
    void append(const void* bytes, std::size_t n) {
        if (n == 0)
            return;
        if (!grow(n))
            throw pack_error("append error");
        std::memcpy(data + size, bytes, n);
        size += static_cast<std::uint32_t>(n);
    }
};

extern template class BlockBuffer<>;

// The buffer every record of the system is packed into.
using DefaultBlockBuffer = BlockBuffer<>;

}  // namespace nps
