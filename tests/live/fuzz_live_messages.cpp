// Reads any bytes as a live peer message. What reads stays within its bounds
// and packs back to bytes that read as the same message again.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/pack/BlockBuffer.h"
#include "live/LiveMessages.h"
#include "live/LiveUnits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LiveMessage message;
    if (!ReadLiveMessage(data, static_cast<std::uint32_t>(size), message))
        return 0;
    for (const auto& piece : message.request.pieces)
        if (piece.second.size() > kLiveMostBlocksPerPiece)
            std::abort();
    if (message.hello.availability.size() > kLiveMostAheadPieces ||
        message.availability.size() > kLiveMostAheadPieces || message.block.data.size > kLiveBlockSize)
        std::abort();

    nps::DefaultBlockBuffer first;
    PackLiveMessage(message, first);
    LiveMessage again;
    if (!ReadLiveMessage(first.data, first.size, again))
        std::abort();
    nps::DefaultBlockBuffer second;
    PackLiveMessage(again, second);
    if (first.size != second.size || std::memcmp(first.data, second.data, first.size) != 0)
        std::abort();
    return 0;
}
