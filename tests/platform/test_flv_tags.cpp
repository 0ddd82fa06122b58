// The FLV tag reader of the Flash stand-in: tags as they arrive in pieces,
// the previous-tag-size check, and file offsets after a resumed request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/standins/flv/FlvTagReader.h"

namespace {

std::string Be(std::uint32_t value, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

const std::string kHeader = std::string("FLV\x01\x05", 5) + Be(9, 4) + Be(0, 4);

// One tag with its trailing size (or a wrong one).
std::string TagBytes(std::uint8_t type, std::uint32_t timestamp, const std::string& data,
                     std::int64_t trailing = -1)
{
    std::string tag(1, static_cast<char>(type));
    tag += Be(static_cast<std::uint32_t>(data.size()), 3) + Be(timestamp & 0xFFFFFF, 3);
    tag += static_cast<char>(timestamp >> 24);
    tag += Be(0, 3) + data;
    tag += Be(trailing < 0 ? static_cast<std::uint32_t>(tag.size()) : static_cast<std::uint32_t>(trailing), 4);
    return tag;
}

std::vector<flv::Tag> ReadAll(flv::TagReader& reader, const std::string& bytes, std::size_t chunk)
{
    std::vector<flv::Tag> tags;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        reader.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
        flv::Tag tag;
        while (reader.Next(&tag) == flv::TagReader::kTag)
            tags.push_back(tag);
    }
    return tags;
}

TEST(FlvTagReader, ReadsTagsWhateverTheChunks)
{
    const std::string stream = kHeader + TagBytes(18, 0, "meta") +
                               TagBytes(9, 40, std::string("\x12\x00\x00", 3)) +
                               TagBytes(8, 0x01000123, "au") + TagBytes(9, 80, "\x22");
    for (std::size_t chunk : {std::size_t(1), std::size_t(7), stream.size()}) {
        SCOPED_TRACE(chunk);
        flv::TagReader reader;
        std::vector<flv::Tag> tags = ReadAll(reader, stream, chunk);
        ASSERT_EQ(tags.size(), 4u);
        EXPECT_EQ(tags[0].type, 18);
        EXPECT_EQ(tags[0].fileOffset, 13u);
        EXPECT_TRUE(tags[1].keyframe);
        EXPECT_EQ(tags[1].timestamp, 40u);
        EXPECT_EQ(tags[1].fileOffset, 13u + 11 + 4 + 4);
        EXPECT_EQ(tags[2].timestamp, 0x01000123u);   // the extended byte is the high one
        EXPECT_FALSE(tags[3].keyframe);              // an inter frame
        EXPECT_EQ(reader.Pending(), 0u);
        EXPECT_TRUE(reader.Error().empty());
    }
}

TEST(FlvTagReader, ABadPreviousTagSizeOrHeaderStopsTheReader)
{
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"trailing size", kHeader + TagBytes(9, 0, "\x12", 11) + TagBytes(9, 40, "\x22")},
        {"not FLV", std::string("FLX\x01\x05", 5) + Be(9, 4) + Be(0, 4) + TagBytes(9, 0, "\x12")},
        {"header size", std::string("FLV\x01\x05", 5) + Be(3, 4) + Be(0, 4)},
        {"first size", std::string("FLV\x01\x05", 5) + Be(9, 4) + Be(5, 4) + TagBytes(9, 0, "\x12")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flv::TagReader reader;
        EXPECT_TRUE(ReadAll(reader, c.bytes, c.bytes.size()).empty());
        flv::Tag tag;
        EXPECT_EQ(reader.Next(&tag), flv::TagReader::kError);
        EXPECT_FALSE(reader.Error().empty());
    }
}

// A request from a byte offset gets the header again, then the file's bytes
// from that offset: the tags keep their places in the file.
TEST(FlvTagReader, AResumedStreamGivesFileOffsets)
{
    flv::TagReader reader(524288);
    const std::string stream = kHeader + TagBytes(9, 9000, "\x12") + TagBytes(9, 9040, "\x22");
    std::vector<flv::Tag> tags = ReadAll(reader, stream, 5);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].fileOffset, 524288u);
    EXPECT_EQ(tags[1].fileOffset, 524288u + 11 + 1 + 4);
}

}  // namespace
