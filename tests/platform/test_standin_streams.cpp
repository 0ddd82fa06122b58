#include <gtest/gtest.h>

#include "platform/standins/real/RmStreamReader.h"
#include "platform/standins/vlc/TsStreamReader.h"
#include "tests/platform/MediaFixtures.h"

namespace {

using namespace media_fixtures;

Bytes RmPacket(int version, int stream, std::uint32_t timeMs, std::size_t payload)
{
    Bytes out;
    Be(out, version, 2);
    Be(out, (version ? 13 : 12) + payload, 2);
    Be(out, stream, 2);
    Be(out, timeMs, 4);
    out.push_back(0);   // group
    if (version)
        out.push_back(0);
    out.push_back(2);   // flags
    out.resize(out.size() + payload, 0xAB);
    return out;
}

// Packets from 5 s on, as a client joining a live stream late sees them.
Bytes RmStreamBytes(int packets)
{
    Bytes out = RmHeader();
    for (int i = 0; i < packets; ++i) {
        Bytes packet = RmPacket(i % 2, i % 2, 5000u + 100u * i, 40 + i);
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

// Feeds the bytes in pieces of `step`; the final state.
template <class Reader>
typename Reader::State FeedInSteps(Reader& reader, const Bytes& bytes, std::size_t step)
{
    for (std::size_t at = 0; at < bytes.size(); at += step)
        reader.Feed(bytes.data() + at, std::min(step, bytes.size() - at));
    return reader.Current();
}

TEST(RmStreamReader, PacketsAreFollowedWhateverTheChunking)
{
    Bytes bytes = RmStreamBytes(20);
    for (std::size_t step : {1u, 7u, 13u, 4096u}) {
        rm::StreamReader reader;
        EXPECT_EQ(rm::StreamReader::State::Packets, FeedInSteps(reader, bytes, step)) << step;
        EXPECT_EQ(20u, reader.PacketCount()) << step;
        EXPECT_EQ(5000u, reader.FirstTimeMs()) << step;
        EXPECT_EQ(6900u, reader.LastTimeMs()) << step;
        EXPECT_EQ(176, reader.Width());
        EXPECT_EQ(144, reader.Height());
        EXPECT_EQ(3030u, reader.Info().durationMs);
    }
}

TEST(RmStreamReader, HowAStreamEnds)
{
    struct Case {
        const char* what;
        Bytes tail;
        rm::StreamReader::State state;
        std::uint32_t packets;
    };
    Bytes index;
    Text(index, "INDX");
    Be(index, 20, 4);
    index.resize(20, 0);
    Bytes half = RmPacket(0, 0, 900, 30);
    half.resize(20);
    const Case cases[] = {
        {"index chunk after the packets", index, rm::StreamReader::State::Ended, 3},
        {"bytes that are no packet", Bytes(16, 0x7F), rm::StreamReader::State::Bad, 3},
        {"a packet shorter than its own header", Bytes{0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0},
         rm::StreamReader::State::Bad, 3},
        {"half a packet: waits", half, rm::StreamReader::State::Packets, 3},
    };
    for (const Case& c : cases) {
        Bytes bytes = RmStreamBytes(3);
        bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
        rm::StreamReader reader;
        EXPECT_EQ(c.state, FeedInSteps(reader, bytes, 5)) << c.what;
        EXPECT_EQ(c.packets, reader.PacketCount()) << c.what;
        EXPECT_EQ(5200u, reader.LastTimeMs()) << c.what;
        if (c.state == rm::StreamReader::State::Packets)
            continue;
        // Nothing is read after the end.
        Bytes more = RmPacket(0, 0, 5000, 10);
        reader.Feed(more.data(), more.size());
        EXPECT_EQ(5200u, reader.LastTimeMs()) << c.what;
    }
}

TEST(RmStreamReader, TheAnnouncedPacketCountEndsAFileAndNoRealMediaIsBad)
{
    rm::StreamReader reader;
    EXPECT_EQ(rm::StreamReader::State::Ended, FeedInSteps(reader, RmStreamBytes(117), 999));
    EXPECT_EQ(117u, reader.PacketCount());

    rm::StreamReader other;
    Bytes html;
    Text(html, "<html><body>not found</body></html>");
    EXPECT_EQ(rm::StreamReader::State::Bad, FeedInSteps(other, html, 3));
}

// A transport packet of `pid`; a PES start carries a video PES header with a
// PTS (and, when asked, a sequence header of 352 x 288).
Bytes TsPacket(int pid, bool pesStart, std::uint64_t pts, bool sequence, int adaptationBytes = 0)
{
    Bytes out{0x47, static_cast<std::uint8_t>((pesStart ? 0x40 : 0) | (pid >> 8)),
              static_cast<std::uint8_t>(pid & 0xFF),
              static_cast<std::uint8_t>(adaptationBytes ? 0x30 : 0x10)};
    if (adaptationBytes) {
        out.push_back(static_cast<std::uint8_t>(adaptationBytes - 1));
        out.resize(out.size() + adaptationBytes - 1, 0xFF);
    }
    if (pesStart) {
        Bytes pes{0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 5};
        pes.push_back(static_cast<std::uint8_t>(0x21 | ((pts >> 29) & 0x0E)));
        pes.push_back(static_cast<std::uint8_t>(pts >> 22));
        pes.push_back(static_cast<std::uint8_t>(((pts >> 14) & 0xFE) | 1));
        pes.push_back(static_cast<std::uint8_t>(pts >> 7));
        pes.push_back(static_cast<std::uint8_t>(((pts << 1) & 0xFE) | 1));
        out.insert(out.end(), pes.begin(), pes.end());
    }
    if (sequence) {
        Bytes header{0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x13};   // 352 x 288
        out.insert(out.end(), header.begin(), header.end());
    }
    out.resize(ts::kPacketSize, 0xEE);
    return out;
}

Bytes TsStreamBytes(int seconds, std::uint64_t firstPts)
{
    Bytes out;
    for (int s = 0; s <= seconds; ++s) {
        for (const Bytes& packet : {TsPacket(0, false, 0, false), TsPacket(0x100, true, firstPts + 90000u * s, s == 0),
                                    TsPacket(0x100, false, 0, false, 20), TsPacket(0x101, true, 0, false)}) {
            out.insert(out.end(), packet.begin(), packet.end());
        }
    }
    return out;
}

TEST(TsStreamReader, TimeAndPictureSizeWhateverTheChunking)
{
    Bytes bytes = TsStreamBytes(4, 900000);
    for (std::size_t step : {1u, 100u, 188u, 5000u}) {
        ts::StreamReader reader;
        EXPECT_EQ(ts::StreamReader::State::Packets, FeedInSteps(reader, bytes, step)) << step;
        EXPECT_EQ(20u, reader.PacketCount()) << step;
        EXPECT_EQ(4000u, reader.ElapsedMs()) << step;
        EXPECT_EQ(352, reader.Width()) << step;
        EXPECT_EQ(288, reader.Height()) << step;
    }
}

TEST(TsStreamReader, SyncIsFoundAfterJunkAndAfterALostPacket)
{
    Bytes bytes(50, 0x47);   // sync bytes that are not one packet apart
    Bytes stream = TsStreamBytes(2, 0);
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    // A packet cut short loses sync; the reader finds it again.
    bytes.insert(bytes.end(), stream.begin(), stream.begin() + 100);
    Bytes later = TsStreamBytes(1, 5 * 90000u);
    bytes.insert(bytes.end(), later.begin(), later.end());
    ts::StreamReader reader;
    EXPECT_EQ(ts::StreamReader::State::Packets, FeedInSteps(reader, bytes, 61));
    EXPECT_EQ(6000u, reader.ElapsedMs());
}

TEST(TsStreamReader, PresentationTimesAcrossTheWrapAndNoSyncAtAll)
{
    ts::StreamReader wrapping;
    Bytes bytes = TsStreamBytes(0, (std::uint64_t(1) << 33) - 45000);
    Bytes after = TsPacket(0x100, true, 45000, false);
    bytes.insert(bytes.end(), after.begin(), after.end());
    FeedInSteps(wrapping, bytes, 188);
    EXPECT_EQ(1000u, wrapping.ElapsedMs());

    ts::StreamReader junk;
    Bytes noise(ts::kMaxSyncSearch + 400, 0x11);
    EXPECT_EQ(ts::StreamReader::State::Bad, FeedInSteps(junk, noise, 4096));
    EXPECT_EQ(0u, junk.PacketCount());
}

}  // namespace
