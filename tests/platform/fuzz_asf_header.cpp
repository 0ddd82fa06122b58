#include <cstddef>
#include <cstdint>

#include "platform/dshow/asf/AsfHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    asf::Header header;
    std::size_t needed = 0;
    asf::ParseHeader(data, size, &header, &needed);
    return 0;
}
