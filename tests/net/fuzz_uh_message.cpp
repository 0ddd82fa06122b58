// Received datagrams through the UH core's sorting and decoding. A message
// that decodes must encode back to the very bytes it came from.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/UhMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1500)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    PpnHeader header;
    if (ClassifyDatagram(bytes, static_cast<std::uint32_t>(size), header) != DatagramKind::kUh)
        return 0;
    UhMessage m;
    if (!DecodeUhMessage(header, bytes + kPpnHeaderSize, static_cast<std::uint32_t>(size - kPpnHeaderSize), m))
        return 0;
    nps::DefaultBlockBuffer again;
    if (m.kind == UhMessage::kServer)
        EncodeUhServerMessage(again, m.server);
    else
        EncodeUhSessionMessage(again, m.session);
    // The body must match; the header's size hint and reserved bytes are the sender's.
    if (again.size != size || std::memcmp(again.data + kPpnHeaderSize, bytes + kPpnHeaderSize, size - kPpnHeaderSize))
        std::abort();
    return 0;
}
