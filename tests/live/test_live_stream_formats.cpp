// Stream headers, piece records, player headers, the push player's framing
// and pacing, and the exact reply texts of the local players.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "live/LiveHttpReplies.h"
#include "live/LiveStreamHeader.h"
#include "live/LiveWmspFraming.h"

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

std::string U32(std::uint32_t v)
{
    return Bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
}

TEST(LiveStreamHeader, Table)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        bool fields;
        std::string title;
        std::size_t offset;
    } cases[] = {
        {"title", "flv " + U32(9) + Bytes({3, 0}) + "abc" + "HDR", true, true, "abc", 13},
        {"empty title", "real" + U32(1) + Bytes({0, 0}) + "x", true, true, "", 10},
        {"exactly the fields", "wmv2" + U32(1) + Bytes({0, 0}) + "x", true, true, "", 10},
        {"six bytes after the tag", "flv 123456", true, false, "", 4},
        {"tag only", "vlch", true, false, "", 4},
        {"title one past the end", "flv " + U32(1) + Bytes({4, 0}) + "abc", false, false, "", 0},
        {"title length 65535", "flv " + U32(1) + Bytes({255, 255}) + "a", false, false, "", 0},
        {"three bytes", "flv", false, false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveStreamHeader h;
        ASSERT_EQ(ParseLiveStreamHeader(c.bytes.data(), c.bytes.size(), h), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(h.tag, c.bytes.substr(0, 4));
        EXPECT_EQ(h.hasFields, c.fields);
        EXPECT_EQ(h.title, c.title);
        EXPECT_EQ(h.playerHeaderOffset, c.offset);
    }
}

std::vector<std::string> Walk(const std::string& piece, std::uint32_t& headerId)
{
    LivePieceRecords records(piece.data(), piece.size());
    headerId = records.HeaderId();
    std::vector<std::string> out;
    const char* r = nullptr;
    std::uint32_t n = 0;
    while (records.Next(r, n))
        out.push_back(std::string(r, n));
    return out;
}

TEST(LivePieceRecords, RecordsEndAtThePieceAndAnOverrunDropsTheRest)
{
    struct Case {
        const char* name;
        std::string piece;
        std::uint32_t id;
        std::vector<std::string> records;
    } cases[] = {
        {"two records", U32(7) + U32(2) + "ab" + U32(0) + U32(1) + "c", 7, {"ab", "", "c"}},
        {"header id only", U32(7), 7, {}},
        {"short piece", "ab", 0, {}},
        {"overrun", U32(3) + U32(1) + "a" + U32(9) + "bc" + U32(1) + "d", 3, {"a"}},
        {"huge length", U32(3) + U32(0xFFFFFFFF) + "x", 3, {}},
        {"dangling length bytes", U32(3) + U32(1) + "a" + "xy", 3, {"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint32_t id = 0;
        EXPECT_EQ(Walk(c.piece, id), c.records);
        EXPECT_EQ(id, c.id);
    }
}

TEST(LivePlayerHeaders, FixedFieldsMustFit)
{
    std::int64_t length = 0;
    std::uint16_t video = 0;
    std::string rest;
    EXPECT_FALSE(ParseFlvPlayerHeader("1234567", 7, length, rest));
    std::string flv = U32(1000) + U32(0) + "FLV";
    ASSERT_TRUE(ParseFlvPlayerHeader(flv.data(), flv.size(), length, rest));
    EXPECT_EQ(length, 1000);
    EXPECT_EQ(rest, "FLV");
    EXPECT_FALSE(ParseRmPlayerHeader("123456789", 9, length, video, rest));
    std::string rm = U32(0xFFFFFFFF) + U32(0xFFFFFFFF) + Bytes({2, 1}) + ".RMF";
    ASSERT_TRUE(ParseRmPlayerHeader(rm.data(), rm.size(), length, video, rest));
    EXPECT_EQ(length, -1);
    EXPECT_EQ(video, 0x102);
    EXPECT_EQ(rest, ".RMF");
}

TEST(LivePlayerRecords, KeyFramesAndStreams)
{
    std::string tag = U32(0) + Bytes({9}) + std::string(10, '\0');
    EXPECT_TRUE(IsFlvKeyFrameRecord((tag + Bytes({0x12})).data(), 16));
    EXPECT_FALSE(IsFlvKeyFrameRecord((tag + Bytes({0x22})).data(), 16));  // inter frame
    EXPECT_FALSE(IsFlvKeyFrameRecord(tag.data(), 15));                    // no data byte
    std::string audio = U32(0) + Bytes({8}) + std::string(10, '\0') + Bytes({0x12});
    EXPECT_FALSE(IsFlvKeyFrameRecord(audio.data(), audio.size()));

    std::uint16_t stream = 9;
    bool key = true;
    std::string packet = Bytes({0, 0, 0, 12, 1, 2, 0, 0, 0, 0, 0, 2});
    ReadRmPacket(packet.data(), packet.size(), stream, key);
    EXPECT_EQ(stream, 0x102);
    EXPECT_TRUE(key);
    ReadRmPacket(packet.data(), 11, stream, key);
    EXPECT_EQ(stream, 0);
    EXPECT_FALSE(key);
}

TEST(LivePlayerRecords, RealMediaIndexBlock)
{
    std::string block = RmIndexBlock();
    ASSERT_EQ(block.size(), 2000u);
    std::string first = "INDX" + Bytes({0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    std::string second = first;
    second[15] = 1;
    EXPECT_EQ(block.substr(0, 20), first);
    EXPECT_EQ(block.substr(20, 20), second);
    EXPECT_EQ(block.substr(40), std::string(1960, '\0'));
}

TEST(LiveWmspFraming, PacketsAndTheirLimits)
{
    std::string out;
    std::string payload(5000, 'p');
    ASSERT_TRUE(BuildWmspPacket(payload.data(), payload.size(), false, 'D', 0x01020304, 0, out));
    EXPECT_EQ(out.size(), 5012u);
    EXPECT_EQ(out.substr(0, 12), "$D" + Bytes({0x90, 0x13, 4, 3, 2, 1, 0, 0, 0x90, 0x13}));
    EXPECT_EQ(out.substr(12), payload);

    std::string framed = "$D" + Bytes({0x28, 0x01}) + std::string(296, 'q');
    ASSERT_TRUE(BuildWmspPacket(framed.data(), framed.size(), true, 'D', 1, 0, out));
    EXPECT_EQ(out.size(), 308u);
    EXPECT_EQ(out.substr(0, 12), "$D" + Bytes({0x30, 0x01, 1, 0, 0, 0, 0, 0, 0x30, 0x01}));

    std::string header = "$H" + Bytes({2, 0}) + "hh";
    ASSERT_TRUE(BuildWmspPacket(header.data(), header.size(), true, 'H', 0, kWmspHeaderFlags, out));
    EXPECT_EQ(out, "$H" + Bytes({10, 0, 0, 0, 0, 0, 0, 12, 10, 0}) + "hh");

    struct Refused {
        const char* name;
        std::string bytes;
        bool framed;
    } refused[] = {
        {"unframed past u16", std::string(65528, 'x'), false},
        {"framed past u16", "$D" + Bytes({0xF8, 0xFF}) + std::string(0xFFF8, 'x'), true},
        {"framed length disagrees", "$D" + Bytes({9, 0}) + "short", true},
        {"framed shorter than its id", "$D", true},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.name);
        std::string kept = "kept";
        EXPECT_FALSE(BuildWmspPacket(r.bytes.data(), r.bytes.size(), r.framed, 'D', 1, 0, kept));
        EXPECT_EQ(kept, "kept");
    }
    std::string largest(65527, 'x');
    EXPECT_TRUE(BuildWmspPacket(largest.data(), largest.size(), false, 'D', 1, 0, out));
}

TEST(LivePacing, DelaysAsComputed)
{
    EXPECT_EQ(LiveRecordDelay(250, 1000, false), 250u);
    EXPECT_EQ(LiveRecordDelay(250, 1000, true), 0u);
    EXPECT_EQ(LiveRecordDelay(250, 0, false), 0u);
    // length x 1000 passes 32 bits here
    EXPECT_EQ(LiveRecordDelay(5000000, 10000000, false), 500u);
    EXPECT_EQ(LivePieceRestDelay(400, false), 595u);
    EXPECT_EQ(LivePieceRestDelay(0, false), 995u);
    EXPECT_EQ(LivePieceRestDelay(994, false), 1u);
    EXPECT_EQ(LivePieceRestDelay(995, false), 0u);
    EXPECT_EQ(LivePieceRestDelay(5000, false), 0u);
    EXPECT_EQ(LivePieceRestDelay(400, true), 0u);
}

TEST(LiveHttpReplies, ExactTexts)
{
    EXPECT_EQ(LiveFlvReply(-1),
              "HTTP/1.1 200 OK\r\nServer: Kelo Simple Http Server\r\nContent-Length: -1\r\n"
              "Keep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\nContent-Type: video/x-flv\r\n\r\n");
    EXPECT_EQ(LiveRmReply(5000000000LL, "Fri, 11 Dec 2026 04:00:00 GMT"),
              "HTTP/1.1 200 OK\r\nDate: Fri, 11 Dec 2026 04:00:00 GMT\r\nServer: Kelo Simple Http Server\r\n"
              "Content-Length: 5000000000\r\nKeep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n"
              "Content-Type: application/vnd.rn-realmedia\r\n\r\n");
    EXPECT_EQ(LiveWmspHeaderReply(123, 5012),
              "HTTP/1.0 200 OK\r\nServer: Rex/11.0.5721.5145\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
              "Pragma: client-id=123\r\nPragma: features=\"broadcast\"\r\n"
              "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\nContent-Length: 5012\r\n"
              "Connection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(LiveWmspStreamingReply(7),
              "HTTP/1.0 200 OK\r\nServer: Rex/11.0.5721.5145\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
              "Pragma: client-id=7\r\nPragma: features=\"broadcast\"\r\n"
              "Content-Type: application/x-mms-framed\r\nConnection: Keep-Alive\r\n\r\n");
}

}  // namespace
