#include "platform/standins/real/RmStreamReader.h"

#include <cstring>

namespace rm {

StreamReader::State StreamReader::Feed(const std::uint8_t* data, std::size_t size)
{
    if (state_ == State::Ended || state_ == State::Bad || size == 0)
        return state_;
    pending_.insert(pending_.end(), data, data + size);
    if (state_ == State::Headers)
        ReadHeaders();
    if (state_ == State::Packets)
        ReadPackets();
    return state_;
}

void StreamReader::ReadHeaders()
{
    std::size_t needed = 0;
    switch (ParseHeaders(pending_.data(), pending_.size(), &info_, &needed)) {
    case ParseResult::Done:
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(info_.firstPacket));
        state_ = State::Packets;
        break;
    case ParseResult::Bad:
        state_ = State::Bad;
        break;
    case ParseResult::NeedMore:
        break;
    }
}

void StreamReader::ReadPackets()
{
    std::size_t at = 0;
    while (state_ == State::Packets) {
        if (info_.packetCount != 0 && packets_ == info_.packetCount) {
            state_ = State::Ended;
            break;
        }
        std::size_t left = pending_.size() - at;
        if (left >= 4 && std::memcmp(pending_.data() + at, "INDX", 4) == 0) {
            state_ = State::Ended;
            break;
        }
        PacketHeader header;
        if (left < kPacketHeaderMax && !(left >= 12 && pending_[at + 1] == 0 && pending_[at] == 0))
            break;   // a version-1 header needs its 13th byte
        if (!ParsePacketHeader(pending_.data() + at, left, &header)) {
            state_ = State::Bad;
            break;
        }
        if (left < header.length)
            break;
        at += header.length;
        if (packets_++ == 0)
            firstTimeMs_ = header.timeMs;
        lastTimeMs_ = header.timeMs;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

std::uint16_t StreamReader::Width() const
{
    for (const StreamInfo& stream : info_.streams) {
        if (stream.video)
            return stream.width;
    }
    return 0;
}

std::uint16_t StreamReader::Height() const
{
    for (const StreamInfo& stream : info_.streams) {
        if (stream.video)
            return stream.height;
    }
    return 0;
}

}  // namespace rm
