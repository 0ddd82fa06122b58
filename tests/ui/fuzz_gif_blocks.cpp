#include <cstddef>
#include <cstdint>

#include "ui/GifBlocks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gif::Screen screen;
    if (!gif::ReadScreen(data, size, &screen))
        return 0;
    for (const gif::Frame& frame : gif::WalkFrames(data, size, screen, 64))
        gif::StandAlone(data, screen, frame);
    return 0;
}
