// Reads any bytes as a peer message. A message that reads must pack back to
// bytes that read as the same message again (fields kept within their bounds
// survive a second trip unchanged).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/pack/BlockBuffer.h"
#include "vod/VodMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VodMessage message;
    if (!ReadVodMessage(data, static_cast<std::uint32_t>(size), message))
        return 0;
    for (const auto& block : message.request.blocks) {
        if (block.second.size() > 48)
            std::abort();
    }
    if (message.hello.blocks.size() > size * 8 || message.piece.data.size > 768)
        std::abort();

    nps::DefaultBlockBuffer first;
    PackVodMessage(message, first);
    VodMessage again;
    if (!ReadVodMessage(first.data, first.size, again))
        std::abort();
    nps::DefaultBlockBuffer second;
    PackVodMessage(again, second);
    if (first.size != second.size || std::memcmp(first.data, second.data, first.size) != 0)
        std::abort();
    return 0;
}
