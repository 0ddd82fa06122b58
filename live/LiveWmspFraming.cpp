#include "live/LiveWmspFraming.h"

namespace {

void PutU16(std::string& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, std::size_t at, std::uint32_t v)
{
    PutU16(out, at, v & 0xFFFF);
    PutU16(out, at + 2, v >> 16);
}

}  // namespace

bool BuildWmspPacket(const char* data, std::size_t length, bool framed, char id,
                     std::uint32_t locationId, std::uint8_t afFlags, std::string& out)
{
    if (data == nullptr)
        return false;
    const char* payload = data;
    std::size_t payloadLength = length;
    char first = '$', second = id;
    if (framed) {
        if (length < 4)
            return false;
        const unsigned char* b = reinterpret_cast<const unsigned char*>(data);
        if (static_cast<std::size_t>(b[2] | (b[3] << 8)) != length - 4)
            return false;
        first = data[0];
        second = data[1];
        payload = data + 4;
        payloadLength = length - 4;
    }
    if (payloadLength + 8 > 0xFFFF)
        return false;
    out.assign(12, '\0');
    out[0] = first;
    out[1] = second;
    PutU16(out, 2, static_cast<std::uint32_t>(payloadLength + 8));
    PutU32(out, 4, locationId);
    out[8] = 0;
    out[9] = static_cast<char>(afFlags);
    PutU16(out, 10, static_cast<std::uint32_t>(payloadLength + 8));
    out.append(payload, payloadLength);
    return true;
}

std::uint32_t LiveRecordDelay(std::uint32_t length, std::uint32_t pieceLength, bool noPacing)
{
    if (noPacing || pieceLength == 0)
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(length) * 1000 / pieceLength);
}

std::uint32_t LivePieceRestDelay(std::uint32_t elapsedMs, bool noPacing)
{
    if (noPacing || elapsedMs > 994)
        return 0;
    return 995 - elapsedMs;
}
