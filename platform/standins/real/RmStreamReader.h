#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/dshow/realmedia/RmHeader.h"

// Follows a RealMedia stream as it arrives over HTTP, a file or a live
// endpoint alike: the headers up to the DATA chunk, then one data packet
// after another. Payloads are not decoded; what a player shows of them is
// the time of the newest packet. Bytes that are no packet end the stream
// as Bad, an "INDX" chunk (or the DATA chunk's packet count) as Ended.
namespace rm {

class StreamReader {
public:
    enum class State { Headers, Packets, Ended, Bad };

    // Takes the next bytes of the stream; the state after them.
    State Feed(const std::uint8_t* data, std::size_t size);

    State Current() const { return state_; }
    const FileInfo& Info() const { return info_; }
    std::uint32_t PacketCount() const { return packets_; }
    // The times of the first and the newest whole packet, 0 before the first.
    std::uint32_t FirstTimeMs() const { return firstTimeMs_; }
    std::uint32_t LastTimeMs() const { return lastTimeMs_; }
    // The first video stream's picture size, 0 x 0 without one.
    std::uint16_t Width() const;
    std::uint16_t Height() const;

private:
    void ReadHeaders();
    void ReadPackets();

    State state_ = State::Headers;
    FileInfo info_;
    std::vector<std::uint8_t> pending_;   // bytes not yet read
    std::uint32_t packets_ = 0;
    std::uint32_t firstTimeMs_ = 0;
    std::uint32_t lastTimeMs_ = 0;
};

}  // namespace rm
