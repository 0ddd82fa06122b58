// The live peer messages byte by byte, and what a reader keeps of bytes a
// peer may send.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "common/pack/BlockBuffer.h"
#include "common/text/HexText.h"
#include "live/LiveMessages.h"
#include "live/LiveUnits.h"
#include "tests/live/LiveTestMessages.h"

namespace {

using Bytes = std::string;

std::string Spaceless(const char* hex) {
    std::string out;
    for (const char* c = hex; *c; ++c)
        if (*c != ' ')
            out += *c;
    return out;
}

Bytes Packed(const LiveMessage& message) { return LivePacked(message); }

bool Read(const Bytes& bytes, LiveMessage& message) {
    return ReadLiveMessage(bytes.data(), static_cast<std::uint32_t>(bytes.size()), message);
}

nps::BitField Field(std::size_t bits, std::initializer_list<std::size_t> set) {
    nps::BitField field(bits);
    for (std::size_t i : set)
        field.set(i);
    return field;
}

const std::uint64_t kChannel = 0x0102030405060708ull;
const char kBlockData[] = "abc";
const char kHeaderData[] = "hdr";

LiveMessage Hello(std::uint8_t type, std::uint8_t flags) { return LiveHello(type, flags, kChannel); }

struct GoldenCase {
    const char* name;
    LiveMessage message;
    const char* hex;
};

std::vector<GoldenCase> GoldenCases() {
    std::vector<GoldenCase> cases;
    cases.push_back({"hello before playback", Hello(LIVE_MSG_HELLO, 1),
                     "20 01 20 01 00 0807060504030201 00000000 00000000 00000000 00000000"});
    cases.push_back({"refusal", Hello(LIVE_MSG_HELLO_REPLY, 0), "21 01 21 00 00 0807060504030201"});
    LiveMessage accepted = Hello(LIVE_MSG_HELLO_REPLY, 3);
    accepted.hello.start = 5;
    accepted.hello.availability = Field(3, {0, 2});
    accepted.hello.headerIds = {9, 7};
    cases.push_back({"accepting reply", accepted,
                     "21 01 21 03 00 0807060504030201 05000000 03000000 01000000 05"
                     " 02000000 07000000 09000000"});
    LiveMessage availability;
    availability.type = LIVE_MSG_AVAILABILITY;
    availability.start = 10;
    availability.availability = Field(2, {1});
    cases.push_back({"availability", availability, "22 0a000000 02000000 01000000 02"});
    LiveMessage have;
    have.type = LIVE_MSG_HAVE;
    have.flags[3] = 1;
    have.start = 2;
    have.lengths[3] = 1537;
    cases.push_back({"have", have, "23 01000000 03000000 01 02000000 01000000 03000000 01060000"});
    LiveMessage infoRequest;
    infoRequest.type = LIVE_MSG_PIECE_INFO_REQUEST;
    infoRequest.pieces = {4, 3};
    cases.push_back({"piece info request", infoRequest, "24 02000000 03000000 04000000"});
    LiveMessage info;
    info.type = LIVE_MSG_PIECE_INFO;
    info.lengths[3] = 1537;
    cases.push_back({"piece info", info, "25 01000000 03000000 01060000"});
    LiveMessage request;
    request.type = LIVE_MSG_REQUEST;
    request.request.number = 1;
    request.request.pieces[3] = Field(3, {0, 2});
    request.request.lossPercent = 10;
    cases.push_back({"request", request,
                     "26 0100000000000000 01000000 03000000 03000000 01000000 05 0a 00"});
    LiveMessage block;
    block.type = LIVE_MSG_BLOCK;
    block.block.piece = 3;
    block.block.block = 2;
    block.block.queued = 5;
    block.block.rate = 400;
    block.block.data = {kBlockData, 3};
    cases.push_back({"block", block, "27 03000000 0200 0500 9001 0300 616263"});
    LiveMessage headerRequest;
    headerRequest.type = LIVE_MSG_HEADER_REQUEST;
    headerRequest.headerId = 7;
    cases.push_back({"header request", headerRequest, "28 07000000"});
    LiveMessage header;
    header.type = LIVE_MSG_HEADER;
    header.headerId = 7;
    header.headerPresent = 1;
    header.header = {kHeaderData, 3};
    cases.push_back({"header", header, "29 07000000 01 03000000 686472"});
    LiveMessage noHeader;
    noHeader.type = LIVE_MSG_HEADER;
    noHeader.headerId = 7;
    cases.push_back({"header absent", noHeader, "29 07000000 00"});
    LiveMessage list;
    list.type = LIVE_MSG_HEADER_LIST;
    list.flags[7] = 1;
    cases.push_back({"header list", list, "2a 01000000 07000000 01"});
    LiveMessage relay;
    relay.type = LIVE_MSG_RELAY;
    relay.relay.origin = PeerId::FromBytes("aaaaaaaaaaaaaaaaaaaa", 20);
    relay.relay.sequence = 1;
    relay.relay.kind = 1;
    relay.relay.text = "hi";
    cases.push_back({"relay", relay,
                     "2b 1400 6161616161616161616161616161616161616161 01000000 01 05 0200 6869"});
    LiveMessage done;
    done.type = LIVE_MSG_DONE;
    done.done = 9;
    cases.push_back({"done", done, "2c 0900000000000000"});
    return cases;
}

}  // namespace

TEST(LiveMessages, EveryMessagePacksToItsBytesAndReadsBackTheSame) {
    for (const GoldenCase& c : GoldenCases()) {
        const Bytes bytes = Packed(c.message);
        EXPECT_EQ(LowerHex(bytes.data(), bytes.size()), Spaceless(c.hex)) << c.name;
        LiveMessage again;
        ASSERT_TRUE(Read(bytes, again)) << c.name;
        EXPECT_EQ(again.type, c.message.type) << c.name;
        EXPECT_EQ(Packed(again), bytes) << c.name;
    }
}

TEST(LiveMessages, HelloLengthsBeforePlaybackAndOnRefusal) {
    EXPECT_EQ(Packed(Hello(LIVE_MSG_HELLO, 1)).size(), 29u);
    EXPECT_EQ(Packed(Hello(LIVE_MSG_HELLO_REPLY, 0)).size(), 13u);
}

TEST(LiveMessages, BlocksAndRelayTextsGoAsDatagramsTheRestReliably) {
    for (int type = LIVE_MSG_HELLO; type <= LIVE_MSG_DONE; ++type) {
        const int expected = type == LIVE_MSG_BLOCK || type == LIVE_MSG_RELAY ? 2 : 1;
        EXPECT_EQ(LiveTransportOf(static_cast<std::uint8_t>(type)), expected) << type;
    }
}

TEST(LiveMessages, ReaderDropsShortAndUnknownUnitsAndIgnoresTrailingBytes) {
    LiveMessage block;
    block.type = LIVE_MSG_BLOCK;
    block.block.piece = 3;
    block.block.data = {kBlockData, 3};
    const Bytes whole = Packed(block);
    const struct {
        const char* name;
        Bytes bytes;
        bool reads;
    } cases[] = {
        {"empty", Bytes(), false},
        {"unknown type", Bytes("\x2d\x00\x00\x00\x00", 5), false},
        {"type below the range", Bytes("\x1f", 1), false},
        {"block data past the end", whole.substr(0, whole.size() - 1), false},
        {"block without its data length", whole.substr(0, 11), false},
        {"block with trailing bytes", whole + "xyz", true},
        {"done short", Bytes("\x2c\x01\x00\x00", 4), false},
        {"hello without its channel", Packed(Hello(LIVE_MSG_HELLO, 0)).substr(0, 12), false},
        {"hello announcing availability it lacks", Packed(Hello(LIVE_MSG_HELLO, 0)).replace(3, 1, "\x01"),
         false},
    };
    for (const auto& c : cases) {
        LiveMessage message;
        EXPECT_EQ(Read(c.bytes, message), c.reads) << c.name;
    }
    LiveMessage trailing;
    const Bytes longer = whole + "xyz";
    ASSERT_TRUE(Read(longer, trailing));
    EXPECT_EQ(trailing.block.data.str(), "abc");
}

TEST(LiveMessages, BlockDataAbove768BytesIsMalformed) {
    const std::string data(kLiveBlockSize + 1, 'x');
    LiveMessage block;
    block.type = LIVE_MSG_BLOCK;
    block.block.data = {data.data(), static_cast<std::uint32_t>(data.size())};
    LiveMessage out;
    EXPECT_FALSE(Read(Packed(block), out));
    block.block.data.size = kLiveBlockSize;
    EXPECT_TRUE(Read(Packed(block), out));
}

TEST(LiveMessages, RepeatedKeysKeepTheFirstEntry) {
    // Two entries for piece 3 (lengths 100 then 200) and two for header 7.
    LiveMessage info;
    ASSERT_TRUE(Read(Bytes("\x25\x02\x00\x00\x00"
                           "\x03\x00\x00\x00\x64\x00\x00\x00"
                           "\x03\x00\x00\x00\xc8\x00\x00\x00",
                           21),
                     info));
    EXPECT_EQ(info.lengths, (LivePieceLengths{{3, 100}}));
    LiveMessage list;
    ASSERT_TRUE(Read(Bytes("\x2a\x02\x00\x00\x00\x07\x00\x00\x00\x01\x07\x00\x00\x00\x00", 15), list));
    EXPECT_EQ(list.flags, (BlockFlagMap{{7, 1}}));
}

TEST(LiveMessages, BitCountsFromThePeerAreBounded) {
    // A request for more blocks than a 16 MiB piece has, and a hello with
    // more availability than the window can be ahead: the bit counts are
    // what the peer claims, the bytes are all there.
    const struct {
        const char* name;
        std::size_t claimed;
        std::size_t kept;
    } cases[] = {
        {"request field", 100000, kLiveMostBlocksPerPiece},
        {"hello availability", 100000, kLiveMostAheadPieces},
    };
    LiveMessage request;
    request.type = LIVE_MSG_REQUEST;
    request.request.pieces[3] = nps::BitField(cases[0].claimed);
    request.request.pieces[3].set();
    LiveMessage hello = Hello(LIVE_MSG_HELLO, 1);
    hello.hello.availability = nps::BitField(cases[1].claimed);
    LiveMessage out;
    ASSERT_TRUE(Read(Packed(request), out));
    EXPECT_EQ(out.request.pieces[3].size(), cases[0].kept) << cases[0].name;
    EXPECT_TRUE(out.request.pieces[3].all());
    ASSERT_TRUE(Read(Packed(hello), out));
    EXPECT_EQ(out.hello.availability.size(), cases[1].kept) << cases[1].name;
}
