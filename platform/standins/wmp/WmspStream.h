#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dshow/asf/AsfHeader.h"

// The client side of Windows Media HTTP streaming, as the stand-in player
// speaks it: a first GET whose reply carries the ASF header in one "$H"
// packet, then a second GET on the same connection whose reply streams the
// header again and the "$D" data packets. Windows-free.
//
// Every packet (integers little-endian):
//
//   +0  2  id: "$H" header, "$D" data, "$E" end of stream
//   +2  u16 L: the bytes after these four (8 + payload)
//   +4  u32 LocationId (data packets count up by one)
//   +8  u8  Incarnation
//   +9  u8  AFFlags
//  +10  u16 PacketSize, equal to L
//  +12  payload: the ASF header, or one ASF data packet
namespace wmsp {

enum class Result { Done, NeedMore, Bad };

const std::size_t kMaxReplyHead = 16 * 1024;
const std::size_t kPacketHead = 12;

struct ReplyHead {
    int status = 0;
    std::string contentType;
    long long contentLength = -1;   // -1: none given
    std::size_t size = 0;           // through the blank line
};

// The status line and headers of an HTTP reply; Bad when it is not one, or
// when no blank line ends it within kMaxReplyHead bytes.
Result ParseReplyHead(const std::uint8_t* data, std::size_t size, ReplyHead* head);

struct Packet {
    char id = 0;   // 'H', 'D', 'E'
    std::uint32_t locationId = 0;
    std::uint8_t incarnation = 0;
    std::uint8_t afFlags = 0;
    std::size_t payloadSize = 0;
    std::size_t size = 0;   // the whole packet
};

// One packet; *why names what is wrong with a Bad one.
Result ParsePacket(const std::uint8_t* data, std::size_t size, Packet* packet, std::string* why);

// The send time (ms) in an ASF data packet's parsing information; false when
// that information does not fit the packet.
bool DataPacketSendTime(const std::uint8_t* data, std::size_t size, std::uint32_t* sendTimeMs);

// Follows one connection's bytes through both replies.
class ClientStream {
public:
    enum class Event {
        None,            // more bytes needed
        Header,          // the first reply's ASF header: send the second request
        Streaming,       // the second reply began
        Data,            // one data packet; SendTimeMs() holds its time
        End,             // "$E": the server ended the stream
        Bad,             // damaged framing; Error() says how
    };

    void Append(const std::uint8_t* data, std::size_t size);
    // The next event the bytes received so far hold. After Bad or End, the same.
    Event Next();
    // After Header: the client sent the second request.
    void SecondRequestSent() { m_stage = Stage::SecondReply; }

    const asf::Header& Header() const { return m_header; }
    std::uint32_t SendTimeMs() const { return m_sendTime; }
    std::uint64_t DataPackets() const { return m_dataPackets; }
    const std::string& Error() const { return m_error; }

private:
    enum class Stage { FirstReply, FirstHeader, WaitSecond, SecondReply, Streaming, Done };

    Event Fail(const std::string& why);
    Event ReadReply(const char* contentType);
    Event ReadStreamPacket();
    Event ReadOneStreamPacket();
    bool TakeHeader(const std::uint8_t* payload, std::size_t size);
    std::size_t Available() const { return m_bytes.size() - m_at; }
    const std::uint8_t* At() const { return m_bytes.data() + m_at; }
    void Consume(std::size_t size);

    Stage m_stage = Stage::FirstReply;
    Event m_final = Event::None;
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_at = 0;
    long long m_headerLength = 0;
    std::vector<std::uint8_t> m_headerBytes;
    asf::Header m_header;
    bool m_haveLocation = false;
    std::uint32_t m_location = 0;
    std::uint32_t m_sendTime = 0;
    std::uint64_t m_dataPackets = 0;
    std::string m_error;
};

}  // namespace wmsp
