#pragma once

#include <cstddef>
#include <cstdlib>

namespace nps {

// Block allocator of BlockBuffer: the C heap. A replacement provides the same
// two static functions; malloc answers null on failure and never throws.
struct default_block_allocator_malloc_free {
    static char* malloc(std::size_t bytes) { return static_cast<char*>(std::malloc(bytes)); }
    static void free(char* block) { std::free(block); }
};

}  // namespace nps
