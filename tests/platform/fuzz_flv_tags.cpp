#include <cstddef>
#include <cstdint>

#include "platform/standins/flv/FlvTagReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Fed in two pieces, as a socket would hand the bytes over.
    flv::TagReader reader(size & 1 ? 4096 : 0);
    const std::size_t half = size / 2;
    flv::Tag tag;
    reader.Feed(data, half);
    while (reader.Next(&tag) == flv::TagReader::kTag) {
    }
    reader.Feed(data + half, size - half);
    while (reader.Next(&tag) == flv::TagReader::kTag) {
    }
    return 0;
}
