#include "vod/VodMessages.h"

#include <limits>

#include "vod/VodUnits.h"

void VodHelloMsg::Pack(nps::Pack& pack) const {
    pack.push_uint8(version);
    pack.push_uint8(form);
    pack.push_uint8(flags);
    if (form == kFormStrings) {
        pack.push_varstr(hash);
        pack.push_varstr(name);
    }
    if (flags & kFlagAvailability) {
        pack.push_uint8(availability);
        if (availability == kHoldsField)
            nps::pack_bitset(pack, blocks);
    }
}

void VodHelloMsg::Unpack(nps::Unpack& unpack) {
    version = unpack.pop_uint8();
    form = unpack.pop_uint8();
    flags = unpack.pop_uint8();
    hash.clear();
    name.clear();
    availability = 0;
    blocks.clear();
    if (form == kFormStrings) {
        hash = unpack.pop_varstr().str();
        name = unpack.pop_varstr().str();
    }
    if (flags & kFlagAvailability) {
        availability = unpack.pop_uint8();
        if (availability == kHoldsField)
            UnpackBoundedBitField(unpack, blocks, std::numeric_limits<std::uint32_t>::max());
    }
}

void VodRequestMsg::Pack(nps::Pack& pack) const {
    pack.push_uint32(number);
    PackBlockBitFields(pack, blocks);
    pack.push_uint8(lossPercent);
    pack.push_uint8(secondRatio);
}

void VodRequestMsg::Unpack(nps::Unpack& unpack) {
    number = unpack.pop_uint32();
    UnpackBlockBitFields(unpack, blocks);
    lossPercent = unpack.pop_uint8();
    secondRatio = unpack.pop_uint8();
}

void VodPieceMsg::Pack(nps::Pack& pack) const {
    pack.push_uint32(piece);
    pack.push_uint16(queued);
    pack.push_uint16(rate);
    pack.push_varstr(data.data, data.size);
}

void VodPieceMsg::Unpack(nps::Unpack& unpack) {
    piece = unpack.pop_uint32();
    queued = unpack.pop_uint16();
    rate = unpack.pop_uint16();
    data = unpack.pop_varstr();
    if (data.size > kVodPieceSize)
        throw nps::unpack_error("piece longer than 768 bytes");
}

void PackVodMessage(const VodMessage& message, nps::DefaultBlockBuffer& buffer) {
    nps::Pack pack(buffer);
    pack.push_uint8(message.type);
    switch (message.type) {
    case VOD_MSG_HELLO:
    case VOD_MSG_HELLO_REPLY:
        message.hello.Pack(pack);
        break;
    case VOD_MSG_REQUEST:
        message.request.Pack(pack);
        break;
    case VOD_MSG_PIECE:
        message.piece.Pack(pack);
        break;
    case VOD_MSG_DONE:
        pack.push_uint32(message.done);
        break;
    case VOD_MSG_HAVE:
        PackBlockFlags(pack, message.have);
        break;
    case VOD_MSG_RELAY:
        message.relay.Pack(pack);
        break;
    }
}

bool ReadVodMessage(const void* data, std::uint32_t length, VodMessage& message) {
    message = VodMessage();
    try {
        nps::Unpack unpack(data, length);
        message.type = unpack.pop_uint8();
        switch (message.type) {
        case VOD_MSG_HELLO:
        case VOD_MSG_HELLO_REPLY:
            message.hello.Unpack(unpack);
            return true;
        case VOD_MSG_REQUEST:
            message.request.Unpack(unpack);
            return true;
        case VOD_MSG_PIECE:
            message.piece.Unpack(unpack);
            return true;
        case VOD_MSG_DONE:
            message.done = unpack.pop_uint32();
            return true;
        case VOD_MSG_HAVE:
            UnpackBlockFlags(unpack, message.have);
            return true;
        case VOD_MSG_RELAY:
            message.relay.Unpack(unpack);
            return true;
        default:
            return false;
        }
    } catch (const nps::base_pack_error&) {
        return false;
    }
}

std::string PeerIdToString(const PeerId& id) {
    return std::string(reinterpret_cast<const char*>(id.bytes), PeerId::kSize);
}
