// Wire layouts of the reliable transport: golden bytes of messages 33 to 38
// and 41, how messages are cut into 800-byte fragments, and what a receiver
// refuses.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/SrudpMessages.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Contents(const nps::DefaultBlockBuffer& b) {
    return Bytes(reinterpret_cast<const unsigned char*>(b.data),
                 reinterpret_cast<const unsigned char*>(b.data) + b.size);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const char kIdText[] = "ABCDEFGHIJKLMNOPQRST";
const PeerId kId = PeerId::FromBytes(kIdText, 20);
const Bytes kPackedId = Concat({{0x14, 0x00}, Bytes(kIdText, kIdText + 20)});

Bytes Header(unsigned char sizeHint, unsigned char version = 18) {
    return {sizeHint, 0x00, 0x02, version, 0xfc, 0x13, 0xd9, 0xa1, 0, 0, 0, 0};
}

SrudpMessage Decode(const Bytes& bytes, bool* ok = nullptr) {
    SrudpMessage m;
    const bool decoded =
        DecodeSrudpMessage(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()), m);
    if (ok)
        *ok = decoded;
    else
        EXPECT_TRUE(decoded);
    return m;
}

// ------------------------------------------------------------------ golden bytes

TEST(SrudpGolden, ControlMessages) {
    struct Case {
        std::uint8_t code;
        std::uint16_t sequence;
        std::uint16_t result;
    } cases[] = {{SRUDP_CONNECT, 1, 0}, {SRUDP_ACCEPT, 1, 17}, {SRUDP_CLOSE, 0x1234, 0}, {SRUDP_CLOSE_ACK, 7, 0}};
    for (const Case& c : cases) {
        nps::DefaultBlockBuffer b;
        EncodeSrudpControl(b, SrudpControlMessage{c.code, 10, c.sequence, c.result, 0, kId});
        const Bytes expected = Concat({Header(40),
                                       {c.code, 10, static_cast<unsigned char>(c.sequence),
                                        static_cast<unsigned char>(c.sequence >> 8),
                                        static_cast<unsigned char>(c.result), 0, 0, 0},
                                       kPackedId});
        EXPECT_EQ(Contents(b), expected) << int(c.code);
        EXPECT_EQ(b.size, 42u);
        const SrudpMessage m = Decode(expected);
        EXPECT_EQ(m.code, c.code);
        EXPECT_EQ(m.control.window, 10);
        EXPECT_EQ(m.control.sequence, c.sequence);
        EXPECT_EQ(m.control.result, c.result);
        EXPECT_TRUE(m.sender == kId);
    }
    // A connect with another version: only the header's version byte differs.
    nps::DefaultBlockBuffer b;
    EncodeSrudpControl(b, SrudpControlMessage{SRUDP_CONNECT, 10, 1, 0, 0, kId}, 17);
    EXPECT_EQ(Contents(b)[3], 17);
    EXPECT_EQ(Decode(Contents(b)).header.version, 17);
}

TEST(SrudpGolden, DataWithAFullFragment) {
    std::string payload(800, 'p');
    payload[0] = 'F';
    payload[799] = 'L';
    nps::DefaultBlockBuffer b;
    EncodeSrudpData(b, kId, 0x01020304, SrudpFragmentHeader{PPN_MAGIC, 9, 0, 0, 0}, payload.data(), 800);
    ASSERT_EQ(b.size, 12u + 30u + 812u);
    const Bytes prefix = Concat({Header(44), {37, 0}, kPackedId, {0x04, 0x03, 0x02, 0x01}, {0x2c, 0x03},
                                 {0xfc, 0x13, 0xd9, 0xa1, 9, 0, 0, 0, 0, 0, 0, 0}});
    const Bytes got = Contents(b);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + prefix.size()), prefix);
    EXPECT_EQ(got[prefix.size()], 'F');
    EXPECT_EQ(got.back(), 'L');

    const SrudpMessage m = Decode(got);
    EXPECT_EQ(m.code, SRUDP_DATA);
    EXPECT_EQ(m.data.sequence, 0x01020304u);
    EXPECT_EQ(m.data.fragmentLength, 812u);
    SrudpFragmentHeader h;
    ASSERT_TRUE(ReadFragmentHeader(m.data.fragment, m.data.fragmentLength, h));
    EXPECT_EQ(h.messageNumber, 9u);
    EXPECT_EQ(h.flags, 0);
    EXPECT_EQ(std::string(m.data.fragment + 12, 800), payload);
}

TEST(SrudpGolden, PieceHeaderCarriesFlagsAndOffset) {
    nps::DefaultBlockBuffer b;
    EncodeSrudpData(b, kId, 2, SrudpFragmentHeader{PPN_MAGIC, 0x0a0b0c0d, kFragmentPiece | kFragmentLast, 0, 800},
                    "x", 1);
    const Bytes got = Contents(b);
    const Bytes fragment(got.end() - 13, got.end());
    EXPECT_EQ(fragment, (Bytes{0xfc, 0x13, 0xd9, 0xa1, 0x0d, 0x0c, 0x0b, 0x0a, 3, 0, 0x20, 0x03, 'x'}));
    EXPECT_EQ(got[got.size() - 15], 13);  // fragment length
}

TEST(SrudpGolden, AckAndKeepalive) {
    nps::DefaultBlockBuffer ack;
    EncodeSrudpAck(ack, 4, kId, {6});
    EXPECT_EQ(Contents(ack), Concat({Header(44), {38, 0, 4, 0, 0, 0}, kPackedId, {4, 0, 6, 0, 0, 0}}));
    const SrudpMessage a = Decode(Contents(ack));
    EXPECT_EQ(a.code, SRUDP_ACK);
    EXPECT_EQ(a.ack.cumulative, 4u);
    EXPECT_EQ(a.ack.sequences, std::vector<std::uint32_t>{6});

    nps::DefaultBlockBuffer keepalive;
    EncodeSrudpKeepalive(keepalive, kId);
    EXPECT_EQ(Contents(keepalive), Concat({Header(36), {41, 0, 0, 0}, kPackedId}));
    EXPECT_EQ(Decode(Contents(keepalive)).code, SRUDP_KEEPALIVE);
}

// ------------------------------------------------------------------ fragments

TEST(SrudpFragments, MessagesAreCutInto800BytePieces) {
    struct Case {
        std::uint32_t length;
        std::vector<SrudpPiece> pieces;
    } cases[] = {
        {0, {}},
        {1, {{0, 1, 0}}},
        {800, {{0, 800, 0}}},
        {801, {{0, 800, 1}, {800, 1, 3}}},
        {1600, {{0, 800, 1}, {800, 800, 3}}},
        {1601, {{0, 800, 1}, {800, 800, 1}, {1600, 1, 3}}},
    };
    for (const Case& c : cases) {
        const std::vector<SrudpPiece> got = SplitMessage(c.length);
        ASSERT_EQ(got.size(), c.pieces.size()) << c.length;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].offset, c.pieces[i].offset) << c.length << " piece " << i;
            EXPECT_EQ(got[i].length, c.pieces[i].length) << c.length << " piece " << i;
            EXPECT_EQ(got[i].flags, c.pieces[i].flags) << c.length << " piece " << i;
        }
    }
    const std::vector<SrudpPiece> big = SplitMessage(65536);
    ASSERT_EQ(big.size(), 82u);
    EXPECT_EQ(big.back().offset, 64800u);
    EXPECT_EQ(big.back().length, 736u);
}

TEST(SrudpFragments, ShortOrUnmarkedFragmentsHaveNoHeader) {
    const unsigned char marked[13] = {0xfc, 0x13, 0xd9, 0xa1, 1, 0, 0, 0, 0, 0, 0, 0, 'z'};
    SrudpFragmentHeader h;
    EXPECT_TRUE(ReadFragmentHeader(reinterpret_cast<const char*>(marked), 13, h));
    EXPECT_FALSE(ReadFragmentHeader(reinterpret_cast<const char*>(marked), 12, h));  // nothing after it
    unsigned char unmarked[13];
    std::memcpy(unmarked, marked, 13);
    unmarked[0] = 0xfd;
    EXPECT_FALSE(ReadFragmentHeader(reinterpret_cast<const char*>(unmarked), 13, h));
}

// ------------------------------------------------------------------ what receivers refuse

TEST(SrudpDecode, RefusesForeignShortAndMalformed) {
    nps::DefaultBlockBuffer b;
    EncodeSrudpControl(b, SrudpControlMessage{SRUDP_CONNECT, 10, 1, 0, 0, kId});
    const Bytes connect = Contents(b);
    bool ok;
    for (std::size_t n = 0; n < connect.size(); ++n) {
        Decode(Bytes(connect.begin(), connect.begin() + n), &ok);
        EXPECT_FALSE(ok) << "cut to " << n;
    }
    Bytes longer = connect;
    longer.push_back(0xee);
    Decode(longer, &ok);
    EXPECT_TRUE(ok);  // bytes after the fields are not looked at

    Bytes layer1 = connect, noMagic = connect, shortId = connect, unknown = connect;
    layer1[2] = 1;
    noMagic[7] = 0;
    shortId[20] = 19;
    unknown[12] = 39;
    for (const Bytes* bad : {&layer1, &noMagic, &shortId, &unknown}) {
        Decode(*bad, &ok);
        EXPECT_FALSE(ok);
    }
}

TEST(SrudpDecode, AckListReadsWholeNumbersOnly) {
    nps::DefaultBlockBuffer b;
    EncodeSrudpAck(b, 0, kId, {5, 6});
    Bytes bytes = Contents(b);
    bytes[40] = 6;  // 6 bytes: one whole number and two spare bytes
    bytes.resize(bytes.size() - 2);
    const SrudpMessage m = Decode(bytes);
    EXPECT_EQ(m.ack.sequences, std::vector<std::uint32_t>{5});
    bytes[40] = 20;  // longer than what follows
    bool ok;
    Decode(bytes, &ok);
    EXPECT_FALSE(ok);
}

}  // namespace
