#include "common/pack/BlockBuffer.h"

namespace nps {

namespace detail {
char empty_block_byte = 0;
}  // namespace detail

template class BlockBuffer<>;

}  // namespace nps
