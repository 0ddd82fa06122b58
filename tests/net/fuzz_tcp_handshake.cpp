// Handshake frames from a TCP peer. A frame that decodes must encode back to
// the bytes it came from, the header's size hint, version and reserved word
// and a reply's unread addressee aside.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/PpnHeader.h"
#include "net/TcpHandshake.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    TcpHandshake m;
    if (!DecodeTcpHandshake(bytes, static_cast<std::uint32_t>(size), m))
        return 0;
    nps::DefaultBlockBuffer again;
    EncodeTcpHandshake(again, m);
    const std::size_t compared = m.code == TCP_HELLO ? again.size : again.size - kPackedPeerAddressSize;
    if (size < compared || std::memcmp(again.data + kPpnHeaderSize, bytes + kPpnHeaderSize, compared - kPpnHeaderSize))
        std::abort();
    return 0;
}
