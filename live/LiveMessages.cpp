#include "live/LiveMessages.h"

#include "live/LiveUnits.h"

int LiveTransportOf(std::uint8_t type) {
    return type == LIVE_MSG_BLOCK || type == LIVE_MSG_RELAY ? 2 : 1;
}

void PackLivePieceSet(nps::Pack& pack, const LivePieceSet& pieces) {
    pack.push_uint32(static_cast<std::uint32_t>(pieces.size()));
    for (std::uint32_t piece : pieces)
        pack.push_uint32(piece);
}

void UnpackLivePieceSet(nps::Unpack& unpack, LivePieceSet& pieces) {
    pieces.clear();
    // Each entry takes 4 bytes: a false count runs out of bytes first.
    for (std::uint32_t n = unpack.pop_uint32(); n != 0; --n)
        pieces.insert(unpack.pop_uint32());
}

void PackLivePieceLengths(nps::Pack& pack, const LivePieceLengths& lengths) {
    pack.push_uint32(static_cast<std::uint32_t>(lengths.size()));
    for (const auto& entry : lengths) {
        pack.push_uint32(entry.first);
        pack.push_uint32(entry.second);
    }
}

void UnpackLivePieceLengths(nps::Unpack& unpack, LivePieceLengths& lengths) {
    lengths.clear();
    for (std::uint32_t n = unpack.pop_uint32(); n != 0; --n) {
        const std::uint32_t piece = unpack.pop_uint32();
        const std::uint32_t length = unpack.pop_uint32();
        lengths.emplace(piece, length);
    }
}

void LiveHelloMsg::Pack(nps::Pack& pack) const {
    pack.push_uint8(version);
    pack.push_uint8(kind);
    pack.push_uint8(flags);
    pack.push_uint8(peerType);
    pack.push_uint64(channel);
    if (flags & kFlagAvailability) {
        pack.push_uint32(start);
        nps::pack_bitset(pack, availability);
        PackLivePieceSet(pack, headerIds);
    }
}

void LiveHelloMsg::Unpack(nps::Unpack& unpack) {
    version = unpack.pop_uint8();
    kind = unpack.pop_uint8();
    flags = unpack.pop_uint8();
    peerType = unpack.pop_uint8();
    channel = unpack.pop_uint64();
    start = 0;
    availability.clear();
    headerIds.clear();
    if (flags & kFlagAvailability) {
        start = unpack.pop_uint32();
        UnpackBoundedBitField(unpack, availability, kLiveMostAheadPieces);
        UnpackLivePieceSet(unpack, headerIds);
    }
}

void LiveRequestMsg::Pack(nps::Pack& pack) const {
    pack.push_uint64(number);
    PackBlockBitFields(pack, pieces);
    pack.push_uint8(lossPercent);
    pack.push_uint8(secondLossPercent);
}

void LiveRequestMsg::Unpack(nps::Unpack& unpack) {
    number = unpack.pop_uint64();
    UnpackBlockBitFields(unpack, pieces, kLiveMostBlocksPerPiece);
    lossPercent = unpack.pop_uint8();
    secondLossPercent = unpack.pop_uint8();
}

void LiveBlockMsg::Pack(nps::Pack& pack) const {
    pack.push_uint32(piece);
    pack.push_uint16(block);
    pack.push_uint16(queued);
    pack.push_uint16(rate);
    pack.push_varstr(data.data, data.size);
}

void LiveBlockMsg::Unpack(nps::Unpack& unpack) {
    piece = unpack.pop_uint32();
    block = unpack.pop_uint16();
    queued = unpack.pop_uint16();
    rate = unpack.pop_uint16();
    data = unpack.pop_varstr();
    if (data.size > kLiveBlockSize)
        throw nps::unpack_error("block longer than 768 bytes");
}

void PackLiveMessage(const LiveMessage& message, nps::DefaultBlockBuffer& buffer) {
    nps::Pack pack(buffer);
    pack.push_uint8(message.type);
    switch (message.type) {
    case LIVE_MSG_HELLO:
    case LIVE_MSG_HELLO_REPLY:
        message.hello.Pack(pack);
        break;
    case LIVE_MSG_AVAILABILITY:
        pack.push_uint32(message.start);
        nps::pack_bitset(pack, message.availability);
        break;
    case LIVE_MSG_HAVE:
        PackBlockFlags(pack, message.flags);
        pack.push_uint32(message.start);
        PackLivePieceLengths(pack, message.lengths);
        break;
    case LIVE_MSG_PIECE_INFO_REQUEST:
        PackLivePieceSet(pack, message.pieces);
        break;
    case LIVE_MSG_PIECE_INFO:
        PackLivePieceLengths(pack, message.lengths);
        break;
    case LIVE_MSG_REQUEST:
        message.request.Pack(pack);
        break;
    case LIVE_MSG_BLOCK:
        message.block.Pack(pack);
        break;
    case LIVE_MSG_HEADER_REQUEST:
        pack.push_uint32(message.headerId);
        break;
    case LIVE_MSG_HEADER:
        pack.push_uint32(message.headerId);
        pack.push_uint8(message.headerPresent);
        if (message.headerPresent != 0)
            pack.push_varstr32(message.header.data, message.header.size);
        break;
    case LIVE_MSG_HEADER_LIST:
        PackBlockFlags(pack, message.flags);
        break;
    case LIVE_MSG_RELAY:
        message.relay.Pack(pack);
        break;
    case LIVE_MSG_DONE:
        pack.push_uint64(message.done);
        break;
    }
}

namespace {

void ReadBody(nps::Unpack& unpack, LiveMessage& message) {
    switch (message.type) {
    case LIVE_MSG_HELLO:
    case LIVE_MSG_HELLO_REPLY:
        message.hello.Unpack(unpack);
        break;
    case LIVE_MSG_AVAILABILITY:
        message.start = unpack.pop_uint32();
        UnpackBoundedBitField(unpack, message.availability, kLiveMostAheadPieces);
        break;
    case LIVE_MSG_HAVE:
        UnpackBlockFlags(unpack, message.flags);
        message.start = unpack.pop_uint32();
        UnpackLivePieceLengths(unpack, message.lengths);
        break;
    case LIVE_MSG_PIECE_INFO_REQUEST:
        UnpackLivePieceSet(unpack, message.pieces);
        break;
    case LIVE_MSG_PIECE_INFO:
        UnpackLivePieceLengths(unpack, message.lengths);
        break;
    case LIVE_MSG_REQUEST:
        message.request.Unpack(unpack);
        break;
    case LIVE_MSG_BLOCK:
        message.block.Unpack(unpack);
        break;
    case LIVE_MSG_HEADER_REQUEST:
        message.headerId = unpack.pop_uint32();
        break;
    case LIVE_MSG_HEADER:
        message.headerId = unpack.pop_uint32();
        message.headerPresent = unpack.pop_uint8();
        if (message.headerPresent != 0)
            message.header = unpack.pop_varstr32();
        break;
    case LIVE_MSG_HEADER_LIST:
        UnpackBlockFlags(unpack, message.flags);
        break;
    case LIVE_MSG_RELAY:
        message.relay.Unpack(unpack);
        break;
    case LIVE_MSG_DONE:
        message.done = unpack.pop_uint64();
        break;
    default:
        throw nps::unpack_error("unknown message type");
    }
}

}  // namespace

bool ReadLiveMessage(const void* data, std::uint32_t length, LiveMessage& message) {
    message = LiveMessage();
    try {
        nps::Unpack unpack(data, length);
        message.type = unpack.pop_uint8();
        ReadBody(unpack, message);
        return true;
    } catch (const nps::base_pack_error&) {
        return false;
    }
}
