#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/pack/BlockBuffer.h"
#include "vod/BlockFieldMaps.h"
#include "vod/PeerRelayMsg.h"
#include "vod/VodMessages.h"
#include "common/text/HexText.h"

namespace {

using Bytes = std::string;

// "03 0700 ff" -> the bytes 03 07 00 ff; spaces only group.
Bytes Hex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text) {
        if (c != ' ')
            digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

std::string ToHex(const Bytes& bytes) { return LowerHex(bytes.data(), bytes.size()); }

Bytes Packed(const VodMessage& message) {
    nps::DefaultBlockBuffer buffer;
    PackVodMessage(message, buffer);
    return Bytes(buffer.data, buffer.size);
}

bool Read(const Bytes& bytes, VodMessage& message) {
    return ReadVodMessage(bytes.data(), static_cast<std::uint32_t>(bytes.size()), message);
}

nps::BitField Field(std::size_t bits, std::initializer_list<std::size_t> set) {
    nps::BitField field(bits);
    for (std::size_t i : set)
        field.set(i);
    return field;
}

PeerId Id(char first) {
    std::string bytes(20, '\0');
    for (int i = 0; i < 20; ++i)
        bytes[i] = static_cast<char>(first + i);
    return PeerId::FromBytes(bytes.data(), bytes.size());
}

struct Golden {
    const char* name;
    VodMessage message;
    Bytes bytes;
};

std::vector<Golden> GoldenMessages() {
    static const std::string pieceBytes = "xyz";
    std::vector<Golden> table;

    VodMessage hello;
    hello.type = VOD_MSG_HELLO;
    hello.hello.form = VodHelloMsg::kFormStrings;
    hello.hello.flags = VodHelloMsg::kFlagAvailability;
    hello.hello.hash = "ab";
    hello.hello.name = "r";
    hello.hello.availability = VodHelloMsg::kHoldsField;
    hello.hello.blocks = Field(10, {0, 9});
    table.push_back({"hello with a bit field", hello,
                     Hex("01 010101 0200 6162 0100 72 03 0a000000 02000000 0102")});

    VodMessage refused;
    refused.type = VOD_MSG_HELLO_REPLY;
    table.push_back({"refused hello reply", refused, Hex("02 010200")});

    VodMessage accepted;
    accepted.type = VOD_MSG_HELLO_REPLY;
    accepted.hello.flags = VodHelloMsg::kFlagAccepted | VodHelloMsg::kFlagAvailability;
    accepted.hello.availability = VodHelloMsg::kHoldsNone;
    table.push_back({"accepted hello reply holding nothing", accepted, Hex("02 010203 01")});

    VodMessage request;
    request.type = VOD_MSG_REQUEST;
    request.request.number = 7;
    request.request.blocks[0] = Field(48, {});
    request.request.blocks[0].set();
    request.request.lossPercent = 12;
    table.push_back({"request for pieces 0 to 47", request,
                     Hex("03 07000000 01000000 00000000 30000000 06000000 ffffffffffff 0c 00")});

    VodMessage piece;
    piece.type = VOD_MSG_PIECE;
    piece.piece.piece = 0x01020304;
    piece.piece.queued = 5;
    piece.piece.rate = 400;
    piece.piece.data = {pieceBytes.data(), 3};
    table.push_back({"piece", piece, Hex("04 04030201 0500 9001 0300 78797a")});

    VodMessage done;
    done.type = VOD_MSG_DONE;
    done.done = 3;
    table.push_back({"done", done, Hex("05 03000000")});

    VodMessage have;
    have.type = VOD_MSG_HAVE;
    have.have[2] = 1;
    have.have[9] = 0;
    table.push_back({"have", have, Hex("08 02000000 02000000 01 09000000 00")});

    VodMessage emptyHave;
    emptyHave.type = VOD_MSG_HAVE;
    table.push_back({"have with no entry", emptyHave, Hex("08 00000000")});

    VodMessage relay;
    relay.type = VOD_MSG_RELAY;
    relay.relay.origin = Id('A');
    relay.relay.sequence = 2;
    relay.relay.kind = PeerRelayMsg::kKindText;
    relay.relay.text = "hi";
    table.push_back({"relay", relay,
                     Hex("09 1400 4142434445464748494a4b4c4d4e4f5051525354 02000000 01 05 "
                         "0200 6869")});
    return table;
}

}  // namespace

TEST(VodMessages, GoldenBytesPackAndReadBack) {
    for (const Golden& g : GoldenMessages()) {
        SCOPED_TRACE(g.name);
        EXPECT_EQ(ToHex(Packed(g.message)), ToHex(g.bytes));
        VodMessage read;
        ASSERT_TRUE(Read(g.bytes, read));
        EXPECT_EQ(read.type, g.message.type);
        EXPECT_EQ(ToHex(Packed(read)), ToHex(g.bytes));
    }
}

TEST(VodMessages, ReadFieldsOfEachBody) {
    VodMessage m;
    ASSERT_TRUE(Read(Hex("01 010101 0200 6162 0100 72 03 0a000000 02000000 0102"), m));
    EXPECT_EQ(m.hello.hash, "ab");
    EXPECT_EQ(m.hello.name, "r");
    EXPECT_EQ(m.hello.blocks, Field(10, {0, 9}));

    const Bytes piece = Hex("04 04030201 0500 9001 0300 78797a");  // the data points into it
    ASSERT_TRUE(Read(piece, m));
    EXPECT_EQ(m.piece.piece, 0x01020304u);
    EXPECT_EQ(m.piece.queued, 5);
    EXPECT_EQ(m.piece.rate, 400);
    EXPECT_EQ(m.piece.data.str(), "xyz");

    ASSERT_TRUE(Read(Hex("09 1400 4142434445464748494a4b4c4d4e4f5051525354 02000000 01 01 "
                         "0000"), m));
    EXPECT_TRUE(m.relay.origin == Id('A'));
    EXPECT_EQ(m.relay.sequence, 2u);
    EXPECT_EQ(m.relay.hops, 1);
    EXPECT_EQ(m.relay.text, "");
}

TEST(VodMessages, EveryTruncationIsRejected) {
    for (const Golden& g : GoldenMessages()) {
        for (std::size_t n = 0; n < g.bytes.size(); ++n) {
            VodMessage read;
            EXPECT_FALSE(Read(g.bytes.substr(0, n), read)) << g.name << " cut to " << n;
        }
    }
}

TEST(VodMessages, UnusedTypesAreIgnoredAndTrailingBytesAccepted) {
    VodMessage m;
    for (const char* bytes : {"06 00000000", "07 00000000", "00", "0a 00", "ff"})
        EXPECT_FALSE(Read(Hex(bytes), m)) << bytes;
    ASSERT_TRUE(Read(Hex("05 03000000 eeee"), m));
    EXPECT_EQ(m.done, 3u);
}

// Bits a peer claims beyond what it sent, or beyond a block's 48 pieces, never
// become an allocation or pieces of another block.
TEST(VodMessages, WireBitFieldsAreBounded) {
    struct Case {
        const char* name;
        const char* bytes;
        std::size_t bits;
        std::size_t set;
    } cases[] = {
        {"request bits 48 to 63 set", "03 01000000 01000000 05000000 40000000 08000000 "
                                      "010000000000ffff 00 00", 48, 1},
        {"request claiming 4 billion bits", "03 01000000 01000000 05000000 ffffffff 06000000 "
                                            "ffffffffffff 00 00", 48, 48},
        {"short last block", "03 01000000 01000000 05000000 03000000 01000000 07 00 00", 3, 3},
    };
    for (const Case& c : cases) {
        VodMessage m;
        ASSERT_TRUE(Read(Hex(c.bytes), m)) << c.name;
        ASSERT_EQ(m.request.blocks.size(), 1u) << c.name;
        EXPECT_EQ(m.request.blocks.at(5).size(), c.bits) << c.name;
        EXPECT_EQ(CountAvailableBlocks(m.request.blocks), c.set) << c.name;
    }

    VodMessage m;
    ASSERT_TRUE(Read(Hex("01 010201 03 ffffffff 02000000 ff01"), m));
    EXPECT_EQ(m.hello.blocks.size(), 16u);
    EXPECT_EQ(m.hello.blocks.count(), 9u);
    // A byte count past the end of the message.
    EXPECT_FALSE(Read(Hex("01 010201 03 10000000 ff000000 ff01"), m));
    // An entry count far beyond the bytes that follow.
    EXPECT_FALSE(Read(Hex("03 01000000 ffffffff 00000000 00000000 00000000 00 00"), m));
    EXPECT_FALSE(Read(Hex("08 ffffffff 01000000 01"), m));
}

TEST(VodMessages, MapsKeepTheFirstOfTwoEqualKeys) {
    VodMessage m;
    ASSERT_TRUE(Read(Hex("08 03000000 02000000 01 02000000 00 01000000 07"), m));
    EXPECT_EQ(m.have, (BlockFlagMap{{1, 7}, {2, 1}}));
    ASSERT_TRUE(Read(Hex("03 09000000 02000000 04000000 08000000 01000000 01 "
                         "04000000 08000000 01000000 02 00 00"), m));
    ASSERT_EQ(m.request.blocks.size(), 1u);
    EXPECT_EQ(m.request.blocks.at(4), Field(8, {0}));
}

TEST(VodMessages, PieceDataIsAtMostOnePiece) {
    const std::string data(769, 'p');
    VodMessage piece;
    piece.type = VOD_MSG_PIECE;
    piece.piece.data = {data.data(), 768};
    VodMessage read;
    EXPECT_TRUE(Read(Packed(piece), read));
    EXPECT_EQ(read.piece.data.size, 768u);
    piece.piece.data.size = 769;
    EXPECT_FALSE(Read(Packed(piece), read));
}

TEST(VodMessages, RelayOriginMustBeOnePeerId) {
    const std::string tail = "01000000 01 05 0000";
    VodMessage m;
    EXPECT_FALSE(Read(Hex("09 1300 " + std::string(38, '4') + tail), m));
    EXPECT_FALSE(Read(Hex("09 1500 " + std::string(42, '4') + tail), m));
    EXPECT_TRUE(Read(Hex("09 1400 " + std::string(40, '4') + tail), m));
    EXPECT_TRUE(m.relay.origin == PeerId::FromBytes(std::string(20, 'D').data(), 20));
}

TEST(VodMessages, FreshRelayAndHelloDefaults) {
    PeerRelayMsg relay;
    EXPECT_TRUE(relay.origin == PeerId::FromBytes("", 0));
    EXPECT_EQ(relay.sequence, 0u);
    EXPECT_EQ(relay.kind, 0);
    EXPECT_EQ(relay.hops, 5);
    EXPECT_TRUE(relay.text.empty());
    VodHelloMsg hello;
    EXPECT_EQ(hello.version, 1);
}

TEST(VodMessages, CountAvailableBlocksAddsEveryField) {
    BlockBitFieldMap blocks;
    blocks[0] = Field(8, {0, 1, 2, 3, 4, 5, 6, 7});
    blocks[3] = Field(8, {0});
    EXPECT_EQ(CountAvailableBlocks(blocks), 9u);
    blocks[4] = Field(48, {47, 40});
    EXPECT_EQ(CountAvailableBlocks(blocks), 11u);
    EXPECT_EQ(CountAvailableBlocks(BlockBitFieldMap()), 0u);
}

TEST(VodMessages, PeerIdToStringIsItsTwentyBytes) {
    const std::string text = PeerIdToString(Id('a'));
    EXPECT_EQ(text, "abcdefghijklmnopqrst");
}
