#include "net/UhMessages.h"

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

void EncodeUhServerMessage(nps::DefaultBlockBuffer& buffer, const UhServerMessage& message) {
    nps::Pack pack(buffer);
    PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_UH, kUhServerSizeHint));
    pack.push_uint8(message.code);
    pack.push_uint8(message.unused);
    pack.push_uint8(message.natType);
    pack.push_uint8(message.zero);
    PackPeerAddress(pack, message.address);
}

void EncodeUhSessionMessage(nps::DefaultBlockBuffer& buffer, const UhSessionMessage& message) {
    nps::Pack pack(buffer);
    PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_UH, kUhSessionSizeHint));
    pack.push_uint8(message.code);
    pack.push_uint8(message.flags);
    pack.push_uint16(message.sessionId);
    pack.push_uint16(message.one);
    pack.push_uint16(message.zero);
    PackPeerAddress(pack, message.sender);
    PackPeerAddress(pack, message.addressee);
}

namespace {

void ReadServerBody(nps::Unpack& u, UhServerMessage& m) {
    m.code = u.pop_uint8();
    m.unused = u.pop_uint8();
    m.natType = u.pop_uint8();
    m.zero = u.pop_uint8();
    UnpackPeerAddress(u, m.address);
}

void ReadSessionBody(nps::Unpack& u, UhSessionMessage& m) {
    m.code = u.pop_uint8();
    m.flags = u.pop_uint8();
    m.sessionId = u.pop_uint16();
    m.one = u.pop_uint16();
    m.zero = u.pop_uint16();
    UnpackPeerAddress(u, m.sender);
    UnpackPeerAddress(u, m.addressee);
}

}  // namespace

bool DecodeUhMessage(const PpnHeader& header, const char* body, std::uint32_t length, UhMessage& out) {
    if (length == 0 || header.version != PPN_VERSION)
        return false;
    try {
        nps::Unpack u(body, length);
        switch (static_cast<unsigned char>(body[0])) {
        case UH_LOGIN_REPLY:
        case UH_LOGOUT_REPLY:
        case UH_KEEPALIVE_REPLY:
            out.kind = UhMessage::kServer;
            ReadServerBody(u, out.server);
            break;
        case UH_PUNCH:
        case UH_PUNCH_ACK:
        case UH_CONNECT_REQUEST:
        case UH_CONNECT_REPLY:
        case UH_CONNECT_HELLO:
            out.kind = UhMessage::kSession;
            ReadSessionBody(u, out.session);
            break;
        default:
            return false;
        }
        u.finish();
        return true;
    } catch (const nps::base_pack_error&) {
        return false;
    }
}

DatagramKind ClassifyDatagram(const char* data, std::uint32_t length, PpnHeader& header) {
    if (length == 0)
        return DatagramKind::kIgnore;
    if (!IsStackDatagram(data, length))
        return DatagramKind::kRaw;
    nps::Unpack u(data, length);
    UnpackPpnHeader(u, header);  // cannot throw: at least 12 bytes
    switch (header.layer) {
    case PPN_HEADER_UH:
        return DatagramKind::kUh;
    case PPN_HEADER_SRUDP:
        return DatagramKind::kSrudp;
    default:
        return DatagramKind::kDrop;
    }
}
