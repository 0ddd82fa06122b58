#include <cstddef>
#include <cstdint>

#include "platform/dshow/realmedia/RmHeader.h"
#include "platform/standins/real/RmStreamReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rm::FileInfo info;
    std::size_t needed = 0;
    rm::ParseHeaders(data, size, &info, &needed);
    rm::PacketHeader header;
    rm::ParsePacketHeader(data, size, &header);
    // The stand-in's stream reader, with the bytes in two pieces.
    rm::StreamReader reader;
    std::size_t split = size / 3;
    reader.Feed(data, split);
    reader.Feed(data + split, size - split);
    return 0;
}
