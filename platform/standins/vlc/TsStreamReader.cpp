#include "platform/standins/vlc/TsStreamReader.h"

namespace ts {

namespace {

const std::uint8_t kSync = 0x47;
const std::uint64_t kPtsWrap = std::uint64_t(1) << 33;

std::uint64_t Pts(const std::uint8_t* p)
{
    return (std::uint64_t(p[0] & 0x0E) << 29) | (std::uint64_t(p[1]) << 22) |
           (std::uint64_t(p[2] & 0xFE) << 14) | (std::uint64_t(p[3]) << 7) | (p[4] >> 1);
}

}  // namespace

StreamReader::State StreamReader::Feed(const std::uint8_t* data, std::size_t size)
{
    if (state_ == State::Bad)
        return state_;
    pending_.insert(pending_.end(), data, data + size);
    std::size_t at = 0;
    while (state_ != State::Bad) {
        std::size_t left = pending_.size() - at;
        if (state_ == State::Syncing) {
            // Sync is two sync bytes one packet apart.
            if (left < kPacketSize + 1)
                break;
            if (pending_[at] == kSync && pending_[at + kPacketSize] == kSync) {
                state_ = State::Packets;
                searched_ = 0;
                continue;
            }
            ++at;
            if (++searched_ > kMaxSyncSearch)
                state_ = State::Bad;
            continue;
        }
        if (left < kPacketSize)
            break;
        if (pending_[at] != kSync) {
            state_ = State::Syncing;
            continue;
        }
        ReadPacket(pending_.data() + at);
        at += kPacketSize;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return state_;
}

void StreamReader::ReadPacket(const std::uint8_t* packet)
{
    ++packets_;
    bool unitStart = (packet[1] & 0x40) != 0;
    int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    int adaptation = (packet[3] >> 4) & 3;
    if (adaptation == 0 || adaptation == 2)
        return;   // no payload
    std::size_t start = 4;
    if (adaptation == 3)
        start += 1 + packet[4];
    if (start >= kPacketSize)
        return;
    const std::uint8_t* payload = packet + start;
    std::size_t size = kPacketSize - start;
    if (unitStart && size >= 4 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1 &&
        payload[3] >= 0xE0 && payload[3] <= 0xEF && (videoPid_ < 0 || videoPid_ == pid)) {
        videoPid_ = pid;
        ReadPes(payload, size);
    } else if (pid == videoPid_) {
        FindSequenceHeader(payload, size);
    }
}

void StreamReader::ReadPes(const std::uint8_t* payload, std::size_t size)
{
    if (size < 9)
        return;
    std::size_t headerEnd = 9 + payload[8];
    if ((payload[7] & 0x80) && size >= 14 && headerEnd >= 14) {
        std::uint64_t pts = Pts(payload + 9);
        if (!hasTime_) {
            firstPts_ = pts;
            hasTime_ = true;
        }
        lastPts_ = pts;
    }
    if (headerEnd < size)
        FindSequenceHeader(payload + headerEnd, size - headerEnd);
}

void StreamReader::FindSequenceHeader(const std::uint8_t* payload, std::size_t size)
{
    for (std::size_t i = 0; i + 7 <= size; ++i) {
        if (payload[i] == 0 && payload[i + 1] == 0 && payload[i + 2] == 1 && payload[i + 3] == 0xB3) {
            const std::uint8_t* p = payload + i + 4;
            width_ = static_cast<std::uint16_t>((p[0] << 4) | (p[1] >> 4));
            height_ = static_cast<std::uint16_t>(((p[1] & 0x0F) << 8) | p[2]);
            return;
        }
    }
}

std::uint32_t StreamReader::ElapsedMs() const
{
    if (!hasTime_)
        return 0;
    // Presentation times run at 90 kHz and wrap at 33 bits; a PTS that went
    // backwards counts as no time.
    std::uint64_t ticks = (lastPts_ + kPtsWrap - firstPts_) % kPtsWrap;
    if (ticks >= kPtsWrap / 2)
        return 0;
    return static_cast<std::uint32_t>(ticks / 90);
}

}  // namespace ts
