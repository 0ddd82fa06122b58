#include <cstddef>
#include <cstdint>

#include "platform/dshow/realmedia/RmHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rm::FileInfo info;
    std::size_t needed = 0;
    rm::ParseHeaders(data, size, &info, &needed);
    rm::PacketHeader header;
    rm::ParsePacketHeader(data, size, &header);
    return 0;
}
