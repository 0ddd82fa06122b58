#include <cstddef>
#include <cstdint>

#include "platform/standins/vlc/TsStreamReader.h"

// The stream arrives in two pieces split at the first byte's value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ts::StreamReader reader;
    std::size_t split = size ? data[0] % (size + 1) : 0;
    reader.Feed(data, split);
    reader.Feed(data + split, size - split);
    reader.ElapsedMs();
    return 0;
}
