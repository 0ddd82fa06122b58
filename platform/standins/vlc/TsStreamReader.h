#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Follows an MPEG transport stream as it arrives over HTTP. It keeps sync on
// the 188-byte packets, and from the video elementary stream (PES stream ids
// 0xE0 to 0xEF) takes the presentation times and the picture size of an
// MPEG-1/2 sequence header. Nothing is decoded.
//
// A transport packet:                 A PES header (at a unit start):
//   +0 sync 0x47                        +0 00 00 01, +3 stream id
//   +1 unit start (0x40), PID (13 bits) +4 length (u16), +6 flags (u16,
//   +3 adaptation (bits 5-4: 2 = only,     0x0080: a PTS follows), +8 header
//      3 = then payload), counter          length, +9 PTS (5 bytes, 33 bits)
//   +4 adaptation length when present
// MPEG-2 sequence header: 00 00 01 B3, width (12 bits), height (12 bits).
namespace ts {

const std::size_t kPacketSize = 188;
// No sync within this many bytes (at the start or after losing it): Bad.
const std::size_t kMaxSyncSearch = 64 * 1024;

class StreamReader {
public:
    enum class State { Syncing, Packets, Bad };

    State Feed(const std::uint8_t* data, std::size_t size);

    State Current() const { return state_; }
    std::uint64_t PacketCount() const { return packets_; }
    // Presentation time of the newest video PES since the first one.
    std::uint32_t ElapsedMs() const;
    bool HasTime() const { return hasTime_; }
    std::uint16_t Width() const { return width_; }
    std::uint16_t Height() const { return height_; }

private:
    void ReadPacket(const std::uint8_t* packet);
    void ReadPes(const std::uint8_t* payload, std::size_t size);
    void FindSequenceHeader(const std::uint8_t* payload, std::size_t size);

    State state_ = State::Syncing;
    std::vector<std::uint8_t> pending_;
    std::size_t searched_ = 0;          // bytes skipped while looking for sync
    std::uint64_t packets_ = 0;
    int videoPid_ = -1;                 // the PID of the first video PES
    bool hasTime_ = false;
    std::uint64_t firstPts_ = 0;
    std::uint64_t lastPts_ = 0;
    std::uint16_t width_ = 0;
    std::uint16_t height_ = 0;
};

}  // namespace ts
