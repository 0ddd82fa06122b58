#include <cstddef>
#include <cstdint>

#include "platform/standins/wmp/WmspStream.h"

// The input is both replies of one connection, fed in pieces whose sizes
// come from its first byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t chunk = 1 + data[0] % 64;
    wmsp::ClientStream stream;
    for (std::size_t at = 1; at < size; at += chunk) {
        std::size_t n = size - at < chunk ? size - at : chunk;
        stream.Append(data + at, n);
        for (int i = 0; i < 100000; ++i) {
            wmsp::ClientStream::Event event = stream.Next();
            using Event = wmsp::ClientStream::Event;
            if (event == Event::Header)
                stream.SecondRequestSent();
            else if (event == Event::None || event == Event::Bad || event == Event::End)
                break;
        }
    }
    return 0;
}
