#include <gtest/gtest.h>

#include "platform/dshow/asf/AsfHeader.h"
#include "platform/dshow/realmedia/RmHeader.h"
#include "tests/platform/MediaFixtures.h"

namespace {

using namespace media_fixtures;

std::uint32_t FourCC(const char* text)
{
    return static_cast<std::uint8_t>(text[0]) | static_cast<std::uint8_t>(text[1]) << 8 |
           static_cast<std::uint8_t>(text[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[3])) << 24;
}

TEST(RmHeader, StreamsAndTheFirstPacketAreRead)
{
    Bytes file = RmHeader();
    rm::FileInfo info;
    std::size_t needed = 0;
    ASSERT_EQ(rm::ParseResult::Done, rm::ParseHeaders(file.data(), file.size(), &info, &needed));
    EXPECT_EQ(3030u, info.durationMs);
    EXPECT_EQ(117u, info.packetCount);
    EXPECT_EQ(file.size(), info.firstPacket);
    ASSERT_EQ(2u, info.streams.size());
    const rm::StreamInfo& video = info.streams[0];
    EXPECT_TRUE(video.video);
    EXPECT_EQ(FourCC("RV20"), video.fourCC);
    EXPECT_EQ(176, video.width);
    EXPECT_EQ(144, video.height);
    EXPECT_EQ(10u << 16, video.framesPer65536s);
    const rm::StreamInfo& audio = info.streams[1];
    EXPECT_FALSE(audio.video);
    EXPECT_EQ(1, audio.number);
    EXPECT_EQ(96000u, audio.averageBitRate);
    EXPECT_EQ(FourCC("dnet"), audio.fourCC);
    EXPECT_EQ(44100, audio.sampleRate);
    EXPECT_EQ(16, audio.sampleBits);
    EXPECT_EQ(1, audio.channels);
}

TEST(RmHeader, ShortAndDamagedHeaders)
{
    Bytes file = RmHeader();
    rm::FileInfo info;
    std::size_t needed = 0;
    // Every prefix asks for more, and for no more than the whole header.
    for (std::size_t size = 0; size < file.size(); ++size) {
        ASSERT_EQ(rm::ParseResult::NeedMore, rm::ParseHeaders(file.data(), size, &info, &needed)) << size;
        EXPECT_GT(needed, size);
        EXPECT_LE(needed, file.size());
    }
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
    };
    const Case damages[] = {
        {"not RealMedia", 0, 'X'},
        {"a chunk larger than any header", 22, 0x7F},   // PROP's size
        {"a chunk smaller than its header", 25, 9},
    };
    for (const Case& c : damages) {
        Bytes bad = file;
        bad[c.at] = c.value;
        if (c.at == 25)
            bad[22] = bad[23] = bad[24] = 0;
        EXPECT_EQ(rm::ParseResult::Bad, rm::ParseHeaders(bad.data(), bad.size(), &info, &needed)) << c.what;
    }
    // A mime type running past its chunk.
    Bytes stream = RmStream(0, "video/x", Bytes());
    Bytes bad = RmChunk(".RMF", Bytes(8, 0));
    stream[10 + 2 + 28 + 5] = 200;
    bad.insert(bad.end(), stream.begin(), stream.end());
    EXPECT_EQ(rm::ParseResult::Bad, rm::ParseHeaders(bad.data(), bad.size(), &info, &needed));
    // More streams than a file may have.
    Bytes many = RmChunk(".RMF", Bytes(8, 0));
    for (int i = 0; i < 17; ++i) {
        Bytes s = RmStream(i, "audio/x", Bytes());
        many.insert(many.end(), s.begin(), s.end());
    }
    EXPECT_EQ(rm::ParseResult::Bad, rm::ParseHeaders(many.data(), many.size(), &info, &needed));
}

TEST(RmHeader, PacketHeaders)
{
    struct Case {
        Bytes bytes;
        bool ok;
        std::uint16_t length, stream;
        std::uint32_t time;
        std::uint8_t flags, headerSize;
    };
    const Case cases[] = {
        {{0, 0, 0x01, 0xac, 0, 1, 0, 0, 0, 34, 0, 2}, true, 428, 1, 34, 2, 12},
        {{0, 1, 0, 20, 0, 0, 0, 0, 1, 0, 7, 0, 2}, true, 20, 0, 256, 2, 13},
        {{0, 2, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0, 0, 0, 0, 0},     // version 2
        {{0, 0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0, 0, 0, 0, 0},     // shorter than itself
        {{0, 1, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0, 0, 0, 0, 0},     // version 1, 12 bytes
        {{0, 0, 0, 20}, false, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        rm::PacketHeader header;
        ASSERT_EQ(c.ok, rm::ParsePacketHeader(c.bytes.data(), c.bytes.size(), &header));
        if (!c.ok)
            continue;
        EXPECT_EQ(c.length, header.length);
        EXPECT_EQ(c.stream, header.stream);
        EXPECT_EQ(c.time, header.timeMs);
        EXPECT_EQ(c.flags, header.flags);
        EXPECT_EQ(c.headerSize, header.headerSize);
    }
}

TEST(AsfHeader, StreamsAndDurationAreRead)
{
    Bytes header = AsfHeader();
    asf::Header info;
    std::size_t needed = 0;
    ASSERT_EQ(asf::ParseResult::Done, asf::ParseHeader(header.data(), header.size(), &info, &needed));
    EXPECT_EQ(header.size(), info.size);
    EXPECT_EQ(30000000u, info.durationHns);   // play duration less the preroll
    ASSERT_EQ(2u, info.streams.size());
    EXPECT_TRUE(info.streams[0].video);
    EXPECT_EQ(1, info.streams[0].number);
    EXPECT_EQ(40u, info.streams[0].format.size());
    EXPECT_FALSE(info.streams[1].video);
    EXPECT_EQ(2, info.streams[1].number);
    EXPECT_EQ(18u, info.streams[1].format.size());

    for (std::size_t size = 0; size < header.size(); ++size) {
        ASSERT_EQ(asf::ParseResult::NeedMore, asf::ParseHeader(header.data(), size, &info, &needed));
        EXPECT_GT(needed, size);
    }
    Bytes bad = header;
    bad[0] ^= 1;
    EXPECT_EQ(asf::ParseResult::Bad, asf::ParseHeader(bad.data(), bad.size(), &info, &needed));
    bad = header;
    bad[30 + 16] = 0xFF;   // the first object claims more than the header holds
    bad[30 + 17] = 0xFF;
    EXPECT_EQ(asf::ParseResult::Bad, asf::ParseHeader(bad.data(), bad.size(), &info, &needed));
}

} // namespace
