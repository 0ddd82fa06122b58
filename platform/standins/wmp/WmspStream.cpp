#include "platform/standins/wmp/WmspStream.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace wmsp {

namespace {

const std::size_t kMaxHeaderPayload = asf::kMaxHeaderBytes;

std::uint16_t U16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text)
{
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// Field sizes of the ASF length types 0..3: none, byte, word, dword.
std::size_t FieldSize(int type)
{
    static const std::size_t sizes[4] = {0, 1, 2, 4};
    return sizes[type & 3];
}

}  // namespace

Result ParseReplyHead(const std::uint8_t* data, std::size_t size, ReplyHead* head)
{
    std::size_t limit = size < kMaxReplyHead ? size : kMaxReplyHead;
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t end = std::string::npos;
    for (std::size_t i = 0; i + 4 <= limit; ++i) {
        if (std::memcmp(text + i, "\r\n\r\n", 4) == 0) {
            end = i;
            break;
        }
    }
    if (end == std::string::npos)
        return size >= kMaxReplyHead ? Result::Bad : Result::NeedMore;
    std::string lines(text, end);
    std::size_t lineEnd = lines.find("\r\n");
    std::string status = lines.substr(0, lineEnd);
    if (status.compare(0, 5, "HTTP/") != 0)
        return Result::Bad;
    std::size_t space = status.find(' ');
    if (space == std::string::npos || space + 4 > status.size())
        return Result::Bad;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(status[i])))
            return Result::Bad;
    }
    ReplyHead parsed;
    parsed.status = std::atoi(status.c_str() + space + 1);
    parsed.size = end + 4;
    std::size_t at = lineEnd == std::string::npos ? lines.size() : lineEnd + 2;
    while (at < lines.size()) {
        std::size_t next = lines.find("\r\n", at);
        if (next == std::string::npos)
            next = lines.size();
        std::string line = lines.substr(at, next - at);
        at = next + 2;
        std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = Lower(Trim(line.substr(0, colon)));
        std::string value = Trim(line.substr(colon + 1));
        if (name == "content-type") {
            parsed.contentType = Lower(value);
        } else if (name == "content-length") {
            if (value.empty() || value.size() > 9 ||
                value.find_first_not_of("0123456789") != std::string::npos)
                return Result::Bad;
            parsed.contentLength = std::atoll(value.c_str());
        }
    }
    *head = parsed;
    return Result::Done;
}

Result ParsePacket(const std::uint8_t* data, std::size_t size, Packet* packet, std::string* why)
{
    if (size >= 1 && data[0] != '$') {
        *why = "packet does not begin with '$'";
        return Result::Bad;
    }
    if (size >= 2 && data[1] != 'H' && data[1] != 'D' && data[1] != 'E') {
        *why = std::string("unknown packet '$") + static_cast<char>(data[1]) + "'";
        return Result::Bad;
    }
    if (size < 4)
        return Result::NeedMore;
    std::size_t length = U16(data + 2);
    // "$E" may come bare: id and length only.
    if (data[1] == 'E' && length < kPacketHead - 4) {
        if (size < 4 + length)
            return Result::NeedMore;
        *packet = Packet();
        packet->id = 'E';
        packet->size = 4 + length;
        return Result::Done;
    }
    if (length < kPacketHead - 4) {
        *why = "packet length below its framing";
        return Result::Bad;
    }
    if (size < kPacketHead)
        return Result::NeedMore;
    if (U16(data + 10) != length) {
        *why = "PacketSize differs from the packet length";
        return Result::Bad;
    }
    if (size < 4 + length)
        return Result::NeedMore;
    Packet parsed;
    parsed.id = static_cast<char>(data[1]);
    parsed.locationId = U32(data + 4);
    parsed.incarnation = data[8];
    parsed.afFlags = data[9];
    parsed.payloadSize = length - (kPacketHead - 4);
    parsed.size = 4 + length;
    *packet = parsed;
    return Result::Done;
}

bool DataPacketSendTime(const std::uint8_t* data, std::size_t size, std::uint32_t* sendTimeMs)
{
    std::size_t at = 0;
    if (size < 1)
        return false;
    if (data[0] & 0x80) {
        // Error correction: its data length in the low four bits, length type 0.
        if (data[0] & 0x60)
            return false;
        at = 1 + (data[0] & 0x0F);
    }
    if (at + 2 > size)
        return false;
    std::uint8_t lengthTypes = data[at];
    at += 2;   // length type flags, property flags
    at += FieldSize(lengthTypes >> 5);   // packet length
    at += FieldSize(lengthTypes >> 1);   // sequence
    at += FieldSize(lengthTypes >> 3);   // padding length
    if (at + 6 > size)   // send time, duration
        return false;
    *sendTimeMs = U32(data + at);
    return true;
}

void ClientStream::Append(const std::uint8_t* data, std::size_t size)
{
    // Drop what was read before growing, so a long stream keeps a small buffer.
    if (m_at > 0 && m_at == m_bytes.size()) {
        m_bytes.clear();
        m_at = 0;
    } else if (m_at > 64 * 1024) {
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at));
        m_at = 0;
    }
    m_bytes.insert(m_bytes.end(), data, data + size);
}

void ClientStream::Consume(std::size_t size)
{
    m_at += size;
}

ClientStream::Event ClientStream::Fail(const std::string& why)
{
    m_error = why;
    m_stage = Stage::Done;
    m_final = Event::Bad;
    return Event::Bad;
}

ClientStream::Event ClientStream::ReadReply(const char* contentType)
{
    ReplyHead head;
    Result result = ParseReplyHead(At(), Available(), &head);
    if (result == Result::NeedMore)
        return Event::None;
    if (result == Result::Bad)
        return Fail("malformed reply head");
    if (head.status != 200)
        return Fail("reply status " + std::to_string(head.status));
    if (head.contentType != contentType)
        return Fail("reply content type '" + head.contentType + "'");
    Consume(head.size);
    m_headerLength = head.contentLength;
    return Event::Streaming;
}

bool ClientStream::TakeHeader(const std::uint8_t* payload, std::size_t size)
{
    asf::Header header;
    std::size_t needed = 0;
    if (asf::ParseHeader(payload, size, &header, &needed) != asf::ParseResult::Done)
        return false;
    m_header = header;
    m_headerBytes.assign(payload, payload + size);
    return true;
}

ClientStream::Event ClientStream::ReadStreamPacket()
{
    for (;;) {
        Event event = ReadOneStreamPacket();
        if (event != Event::Header)
            return event;
    }
}

// Header again comes back as Header; the caller reads on.
ClientStream::Event ClientStream::ReadOneStreamPacket()
{
    Packet packet;
    std::string why;
    Result result = ParsePacket(At(), Available(), &packet, &why);
    if (result == Result::NeedMore)
        return Event::None;
    if (result == Result::Bad)
        return Fail(why);
    const std::uint8_t* payload = At() + kPacketHead;
    if (packet.id == 'E') {
        Consume(packet.size);
        m_stage = Stage::Done;
        m_final = Event::End;
        return Event::End;
    }
    if (packet.id == 'H') {
        // The header again, before the data (a live source may have changed it).
        if (!TakeHeader(payload, packet.payloadSize))
            return Fail("header packet without an ASF header");
        Consume(packet.size);
        m_haveLocation = false;
        return Event::Header;
    }
    if (m_haveLocation && packet.locationId != m_location + 1)
        return Fail("data packet " + std::to_string(packet.locationId) + " after " +
                    std::to_string(m_location));
    std::uint32_t sendTime = 0;
    if (!DataPacketSendTime(payload, packet.payloadSize, &sendTime))
        return Fail("data packet without parsing information");
    m_haveLocation = true;
    m_location = packet.locationId;
    m_sendTime = sendTime;
    ++m_dataPackets;
    Consume(packet.size);
    return Event::Data;
}

ClientStream::Event ClientStream::Next()
{
    switch (m_stage) {
    case Stage::FirstReply: {
        Event event = ReadReply("application/vnd.ms.wms-hdr.asfv1");
        if (event != Event::Streaming)
            return event;
        if (m_headerLength < static_cast<long long>(kPacketHead) ||
            m_headerLength > static_cast<long long>(kMaxHeaderPayload + kPacketHead))
            return Fail("header reply length " + std::to_string(m_headerLength));
        m_stage = Stage::FirstHeader;
        return Next();
    }
    case Stage::FirstHeader: {
        if (Available() < static_cast<std::size_t>(m_headerLength)) {
            // Framing errors show before the whole body is in.
            Packet packet;
            std::string why;
            if (ParsePacket(At(), Available(), &packet, &why) == Result::Bad)
                return Fail(why);
            return Event::None;
        }
        Packet packet;
        std::string why;
        Result result = ParsePacket(At(), static_cast<std::size_t>(m_headerLength), &packet, &why);
        if (result == Result::Bad)
            return Fail(why);
        if (result == Result::NeedMore || packet.size != static_cast<std::size_t>(m_headerLength))
            return Fail("header packet length differs from the reply's Content-Length");
        if (packet.id != 'H')
            return Fail("header reply without a header packet");
        if (!TakeHeader(At() + kPacketHead, packet.payloadSize))
            return Fail("header packet without an ASF header");
        Consume(packet.size);
        m_stage = Stage::WaitSecond;
        return Event::Header;
    }
    case Stage::WaitSecond:
        if (Available() > 0)
            return Fail("bytes before the second request");
        return Event::None;
    case Stage::SecondReply: {
        Event event = ReadReply("application/x-mms-framed");
        if (event == Event::Streaming)
            m_stage = Stage::Streaming;
        return event;
    }
    case Stage::Streaming:
        return ReadStreamPacket();
    case Stage::Done:
        return m_final;
    }
    return Event::None;
}

}  // namespace wmsp
