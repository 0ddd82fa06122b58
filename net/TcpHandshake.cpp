#include "net/TcpHandshake.h"

#include "common/pack/Pack.h"
#include "common/pack/PackError.h"
#include "common/pack/Unpack.h"
#include "net/PpnHeader.h"

void EncodeTcpHandshake(nps::DefaultBlockBuffer& buffer, const TcpHandshake& message) {
    nps::Pack pack(buffer);
    PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_TCP, kTcpHandshakeSizeHint));
    pack.push_uint8(message.code);
    pack.push_uint8(message.result);
    PackPeerAddress(pack, message.sender);
    if (message.code == TCP_HELLO) {
        PackPeerAddress(pack, message.addressee);
        return;
    }
    // A reply's addressee is 34 zero bytes, which no receiver reads.
    for (unsigned i = 0; i < kPackedPeerAddressSize / 2; ++i)
        pack.push_uint16(0);
}

bool DecodeTcpHandshake(const char* data, std::uint32_t length, TcpHandshake& out) {
    if (!data || length < kPpnHeaderSize)
        return false;
    try {
        nps::Unpack u(data, length);
        PpnHeader header;
        UnpackPpnHeader(u, header);
        if (header.magic != PPN_MAGIC || header.layer != PPN_HEADER_TCP)
            return false;
        out.code = u.pop_uint8();
        out.result = u.pop_uint8();
        UnpackPeerAddress(u, out.sender);
        if (out.code == TCP_HELLO)
            UnpackPeerAddress(u, out.addressee);
        else
            out.addressee.Clear();
        return true;
    } catch (const nps::base_pack_error&) {
        return false;
    }
}
