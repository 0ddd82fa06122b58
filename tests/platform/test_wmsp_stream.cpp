#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/standins/wmp/WmspStream.h"
#include "tests/platform/MediaFixtures.h"

namespace {

using namespace media_fixtures;
using Event = wmsp::ClientStream::Event;

const char kHeaderReply[] =
    "HTTP/1.0 200 OK\r\nServer: Rex/11.0.5721.5145\r\nPragma: client-id=7\r\n"
    "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\nContent-Length: %d\r\n"
    "Connection: Keep-Alive\r\n\r\n";
const char kStreamingReply[] =
    "HTTP/1.0 200 OK\r\nServer: Rex/11.0.5721.5145\r\nPragma: client-id=7\r\n"
    "Content-Type: application/x-mms-framed\r\nConnection: Keep-Alive\r\n\r\n";

Bytes Packet(char id, std::uint32_t location, const Bytes& payload, int packetSizeDelta = 0)
{
    Bytes out;
    out.push_back('$');
    out.push_back(static_cast<std::uint8_t>(id));
    Le(out, payload.size() + 8, 2);
    Le(out, location, 4);
    out.push_back(0);
    out.push_back(id == 'H' ? 12 : 0);
    Le(out, payload.size() + 8 + packetSizeDelta, 2);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// An ASF data packet: error correction (2 bytes), length types with a
// packet length word and a padding byte, then send time and duration.
Bytes DataPacket(std::uint32_t sendTime)
{
    Bytes out = {0x82, 0x00, 0x00, 0x48, 0x5D};
    Le(out, 64, 2);    // packet length
    out.push_back(0);  // padding length
    Le(out, sendTime, 4);
    Le(out, 100, 2);
    out.resize(64, 0);
    return out;
}

Bytes HeaderReply(const Bytes& headerPacket)
{
    char head[512];
    snprintf(head, sizeof head, kHeaderReply, static_cast<int>(headerPacket.size()));
    Bytes out;
    Text(out, head);
    out.insert(out.end(), headerPacket.begin(), headerPacket.end());
    return out;
}

Bytes StreamingReply(const Bytes& headerPacket, const std::vector<Bytes>& packets)
{
    Bytes out;
    Text(out, kStreamingReply);
    out.insert(out.end(), headerPacket.begin(), headerPacket.end());
    for (const Bytes& packet : packets)
        out.insert(out.end(), packet.begin(), packet.end());
    return out;
}

Bytes Joined(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Seen {
    std::vector<Event> events;
    std::vector<std::uint32_t> sendTimes;
    std::string error;
};

// Feeds both replies `chunk` bytes at a time, sending the second request
// when the header is in.
Seen Exchange(const Bytes& first, const Bytes& second, std::size_t chunk)
{
    wmsp::ClientStream stream;
    Seen seen;
    auto drain = [&] {
        for (;;) {
            Event event = stream.Next();
            if (event == Event::None)
                return;
            seen.events.push_back(event);
            if (event == Event::Data)
                seen.sendTimes.push_back(stream.SendTimeMs());
            if (event == Event::Header)
                stream.SecondRequestSent();
            if (event == Event::Bad || event == Event::End) {
                seen.error = stream.Error();
                return;
            }
        }
    };
    for (const Bytes* part : {&first, &second}) {
        for (std::size_t at = 0; at < part->size(); at += chunk) {
            std::size_t n = std::min(chunk, part->size() - at);
            stream.Append(part->data() + at, n);
            drain();
            if (!seen.events.empty() && (seen.events.back() == Event::Bad || seen.events.back() == Event::End))
                return seen;
        }
    }
    return seen;
}

TEST(WmspStream, HeaderThenSecondRequestThenNumberedDataAtAnySplit)
{
    Bytes header = Packet('H', 0, AsfHeader());
    Bytes first = HeaderReply(header);
    Bytes second = StreamingReply(header, {Packet('D', 41, DataPacket(3100)), Packet('D', 42, DataPacket(3200)),
                                           Packet('D', 43, DataPacket(3350))});
    for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(100000)}) {
        Seen seen = Exchange(first, second, chunk);
        EXPECT_EQ((std::vector<Event>{Event::Header, Event::Streaming, Event::Data, Event::Data, Event::Data}),
                  seen.events) << chunk << " " << seen.error;
        EXPECT_EQ((std::vector<std::uint32_t>{3100, 3200, 3350}), seen.sendTimes) << chunk;
    }
    wmsp::ClientStream stream;
    stream.Append(first.data(), first.size());
    ASSERT_EQ(Event::Header, stream.Next());
    ASSERT_EQ(2u, stream.Header().streams.size());
    EXPECT_TRUE(stream.Header().streams[0].video);
}

TEST(WmspStream, EndOfStreamEndsIt)
{
    Bytes header = Packet('H', 0, AsfHeader());
    Bytes end = {'$', 'E', 0, 0};
    Bytes second = StreamingReply(header, {Packet('D', 1, DataPacket(10)), end});
    Seen seen = Exchange(HeaderReply(header), second, 5);
    EXPECT_EQ((std::vector<Event>{Event::Header, Event::Streaming, Event::Data, Event::End}), seen.events);
}

TEST(WmspStream, DamagedFramingIsReportedOnce)
{
    Bytes header = Packet('H', 0, AsfHeader());
    Bytes goodFirst = HeaderReply(header);
    Bytes d1 = Packet('D', 1, DataPacket(10));
    struct Case {
        const char* what;
        Bytes first;
        Bytes second;
    };
    Bytes wrongType;
    Text(wrongType, "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\nContent-Length: 10\r\n\r\n");
    Bytes notFound;
    Text(notFound, "HTTP/1.0 404 Not Found\r\n\r\n");
    Bytes garbage;
    Text(garbage, "ICY 200 OK\r\n\r\n");
    Bytes shortLength = d1;
    shortLength[2] = 5, shortLength[3] = 0;
    Bytes noDollar = d1;
    noDollar[0] = '#';
    Bytes noAsf = Packet('H', 0, Bytes(40, 0x11));
    const Case cases[] = {
        {"first reply of the wrong type", wrongType, {}},
        {"first reply not found", notFound, {}},
        {"not HTTP", garbage, {}},
        {"header reply longer than its packet", HeaderReply(Joined(header, Bytes{0, 0})), {}},
        {"header packet of the wrong id", HeaderReply(Packet('D', 0, AsfHeader())), {}},
        {"header packet without ASF", HeaderReply(noAsf), {}},
        {"unknown packet", goodFirst, StreamingReply(header, {d1, Packet('X', 2, DataPacket(20))})},
        {"no dollar", goodFirst, StreamingReply(header, {noDollar})},
        {"length below the framing", goodFirst, StreamingReply(header, {shortLength})},
        {"PacketSize disagrees", goodFirst, StreamingReply(header, {Packet('D', 1, DataPacket(10), 2)})},
        {"a packet skipped", goodFirst, StreamingReply(header, {d1, Packet('D', 3, DataPacket(30))})},
        {"a packet repeated", goodFirst, StreamingReply(header, {d1, d1})},
        {"data without parsing information", goodFirst, StreamingReply(header, {Packet('D', 1, Bytes{0x82})})},
        {"second reply of the header type", goodFirst, goodFirst},
    };
    for (const Case& c : cases) {
        Seen seen = Exchange(c.first, c.second, 3);
        ASSERT_FALSE(seen.events.empty()) << c.what;
        EXPECT_EQ(Event::Bad, seen.events.back()) << c.what;
        EXPECT_FALSE(seen.error.empty()) << c.what;
        EXPECT_EQ(1, std::count(seen.events.begin(), seen.events.end(), Event::Bad)) << c.what;
    }
}

TEST(WmspStream, ReplyHeadFieldsAndLimits)
{
    wmsp::ReplyHead head;
    std::string text = "HTTP/1.1 200 OK\r\ncontent-TYPE:  Application/X-MMS-Framed \r\nCONTENT-LENGTH: 1234\r\n\r\nrest";
    ASSERT_EQ(wmsp::Result::Done,
              wmsp::ParseReplyHead(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), &head));
    EXPECT_EQ(200, head.status);
    EXPECT_EQ("application/x-mms-framed", head.contentType);
    EXPECT_EQ(1234, head.contentLength);
    EXPECT_EQ(text.size() - 4, head.size);

    std::string partial = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n";
    EXPECT_EQ(wmsp::Result::NeedMore,
              wmsp::ParseReplyHead(reinterpret_cast<const std::uint8_t*>(partial.data()), partial.size(), &head));
    std::string endless = "HTTP/1.0 200 OK\r\n" + std::string(wmsp::kMaxReplyHead, 'x');
    EXPECT_EQ(wmsp::Result::Bad,
              wmsp::ParseReplyHead(reinterpret_cast<const std::uint8_t*>(endless.data()), endless.size(), &head));
    std::string negative = "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n";
    EXPECT_EQ(wmsp::Result::Bad,
              wmsp::ParseReplyHead(reinterpret_cast<const std::uint8_t*>(negative.data()), negative.size(), &head));
}

TEST(WmspStream, DataPacketSendTimeFollowsTheLengthTypes)
{
    struct Case {
        const char* what;
        Bytes packet;
        bool ok;
        std::uint32_t sendTime;
    };
    Bytes dwords = {0x7E, 0x00};   // no error correction; length, sequence, padding all dwords
    dwords.resize(dwords.size() + 12, 0);
    Le(dwords, 777, 4);
    Le(dwords, 0, 2);
    Bytes none = {0x00, 0x00};     // no optional fields at all
    Le(none, 5, 4);
    Le(none, 0, 2);
    Bytes cut = DataPacket(1);
    cut.resize(9);
    const Case cases[] = {
        {"error correction, word length, byte padding", DataPacket(4242), true, 4242},
        {"three dword fields", dwords, true, 777},
        {"no optional fields", none, true, 5},
        {"cut in the send time", cut, false, 0},
        {"error correction of a nonzero length type", Bytes{0xA2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
        {"empty", Bytes{}, false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t sendTime = 0;
        EXPECT_EQ(c.ok, wmsp::DataPacketSendTime(c.packet.data(), c.packet.size(), &sendTime)) << c.what;
        if (c.ok) {
            EXPECT_EQ(c.sendTime, sendTime) << c.what;
        }
    }
}

}  // namespace
