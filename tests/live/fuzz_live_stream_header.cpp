// Stream headers, piece records, player headers and push framing from
// outside bytes: nothing is read past the input, and what is parsed lies
// within it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "live/LiveStreamHeader.h"
#include "live/LiveWmspFraming.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    LiveStreamHeader header;
    if (ParseLiveStreamHeader(bytes, size, header) && header.playerHeaderOffset > size)
        std::abort();
    LivePieceRecords records(bytes, size);
    const char* record = nullptr;
    std::uint32_t length = 0;
    while (records.Next(record, length)) {
        if (record < bytes || record + length > bytes + size)
            std::abort();
        IsFlvKeyFrameRecord(record, length);
        std::uint16_t stream = 0;
        bool key = false;
        ReadRmPacket(record, length, stream, key);
    }
    std::int64_t contentLength = 0;
    std::uint16_t video = 0;
    std::string rest;
    ParseFlvPlayerHeader(bytes, size, contentLength, rest);
    ParseRmPlayerHeader(bytes, size, contentLength, video, rest);
    std::string packet;
    for (bool framed : {false, true}) {
        if (BuildWmspPacket(bytes, size, framed, 'D', 1, 0, packet) &&
            packet.size() != (framed ? size + 8 : size + 12))
            std::abort();
    }
    return 0;
}
