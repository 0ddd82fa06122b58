// Wire layouts of the stack's own messages: golden bytes, and how received
// bytes are sorted and decoded.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"
#include "net/ByteOrder.h"
#include "net/NatType.h"
#include "net/PeerAddress.h"
#include "net/PpnHeader.h"
#include "net/PropertyMap.h"
#include "net/UhMessages.h"

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

Bytes Text(const char* s) { return Bytes(s, s + std::strlen(s)); }

std::uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
    return net::HostToNet32((a << 24) | (b << 16) | (c << 8) | d);
}

PeerAddress Address(const char* id, std::uint32_t publicIp, std::uint16_t publicPort, std::uint32_t localIp,
                    std::uint16_t localPort) {
    PeerAddress a;
    a.Clear();
    a.id = PeerId::FromBytes(id, std::strlen(id));
    a.endpoint.publicIp = publicIp;
    a.endpoint.SetPublicPort(publicPort);
    a.endpoint.localIp = localIp;
    a.endpoint.SetLocalPort(localPort);
    return a;
}

// 20 A..T, public 1.2.3.4:5000, local 10.0.0.7:6000.
PeerAddress Alice() { return Address("ABCDEFGHIJKLMNOPQRST", Ip(1, 2, 3, 4), 5000, Ip(10, 0, 0, 7), 6000); }
PeerAddress Bob() { return Address("bobbobbobbobbobbob00", Ip(5, 6, 7, 8), 0x1234, Ip(127, 0, 0, 1), 0xABCD); }

const Bytes kAlicePacked = Concat({{0x14, 0x00}, Text("ABCDEFGHIJKLMNOPQRST"), {1, 2, 3, 4}, {0x13, 0x88},
                                   {0x17, 0x70}, {10, 0, 0, 7}});
const Bytes kBobPacked = Concat({{0x14, 0x00}, Text("bobbobbobbobbobbob00"), {5, 6, 7, 8}, {0x12, 0x34},
                                 {0xAB, 0xCD}, {127, 0, 0, 1}});

// ------------------------------------------------------------------ PeerId and PeerEndpoint

TEST(PeerIdOrder, LastByteComparesUnsigned) {
    unsigned char a[20] = {0}, b[20] = {0};
    a[19] = 0x80;
    b[19] = 0x7f;
    const PeerId high = PeerId::FromBytes(a, 20), low = PeerId::FromBytes(b, 20);
    EXPECT_TRUE(ComparePeerIds(low, high));
    EXPECT_FALSE(ComparePeerIds(high, low));
    EXPECT_FALSE(ComparePeerIds(high, high));
}

TEST(PeerEndpoint, PortsAreStoredInNetworkOrder) {
    PeerEndpoint e;
    std::memset(&e, 0, sizeof e);
    e.SetPublicPort(0x1234);
    e.SetLocalPort(80);
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&e);
    EXPECT_EQ(raw[4], 0x12);
    EXPECT_EQ(raw[5], 0x34);
    EXPECT_EQ(raw[6], 0x00);
    EXPECT_EQ(raw[7], 80);
}

TEST(PeerEndpoint, PublicIsLocal) {
    PeerAddress a = Alice();
    EXPECT_FALSE(a.endpoint.PublicIsLocal());
    a.endpoint.publicIp = a.endpoint.localIp;
    EXPECT_FALSE(a.endpoint.PublicIsLocal());  // ports still differ
    a.endpoint.publicPort = a.endpoint.localPort;
    EXPECT_TRUE(a.endpoint.PublicIsLocal());
    PeerEndpoint unknown;
    std::memset(&unknown, 0, sizeof unknown);
    EXPECT_TRUE(unknown.PublicIsLocal());
}

// ------------------------------------------------------------------ PeerAddress

TEST(PeerAddressPacking, GoldenBytesPublicThenLocalPortsBigEndian) {
    nps::DefaultBlockBuffer b;
    nps::Pack pack(b);
    PackPeerAddress(pack, Alice());
    EXPECT_EQ(Contents(b), kAlicePacked);
    ASSERT_EQ(b.size, kPackedPeerAddressSize);

    nps::Unpack u(b.data, b.size);
    PeerAddress back;
    UnpackPeerAddress(u, back);
    EXPECT_EQ(u.left, 0u);
    EXPECT_TRUE(back == Alice());
}

TEST(PeerAddressPacking, RefusesIdsOfOtherLengthsAndShortInput) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Bytes endpoint = {1, 2, 3, 4, 0x13, 0x88, 0x17, 0x70, 10, 0, 0, 7};
    const std::vector<Case> cases = {
        {"id of 8 bytes", Concat({{8, 0}, Text("ABCDEFGH"), endpoint, Bytes(12, 0)})},
        {"id of 30 bytes", Concat({{30, 0}, Bytes(30, 'x'), endpoint})},
        {"length says 0xFFFF", Concat({{0xFF, 0xFF}, Bytes(32, 'x')})},
        {"endpoint cut short", Bytes(kAlicePacked.begin(), kAlicePacked.end() - 1)},
        {"nothing", Bytes()},
    };
    for (const Case& c : cases) {
        nps::Unpack u(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()));
        PeerAddress out;
        std::memset(&out, 0xEE, sizeof out);
        EXPECT_THROW(UnpackPeerAddress(u, out), nps::unpack_error) << c.name;
    }
}

TEST(PeerAddress, ClearAndEquality) {
    PeerAddress a = Alice(), b = Alice();
    EXPECT_TRUE(a == b);
    b.endpoint.localIp ^= 1;
    EXPECT_TRUE(a != b);
    a.Clear();
    const PeerAddress zero = {};
    EXPECT_EQ(std::memcmp(&a, &zero, sizeof a), 0);
}

// ------------------------------------------------------------------ PpnHeader

TEST(PpnHeader, GoldenBytes) {
    nps::DefaultBlockBuffer b;
    nps::Pack pack(b);
    PackPpnHeader(pack, MakePpnHeader(PPN_HEADER_UH, 48));
    const Bytes expected = {0x30, 0x00, 0x01, 0x12, 0xfc, 0x13, 0xd9, 0xa1, 0, 0, 0, 0};
    EXPECT_EQ(Contents(b), expected);

    nps::Unpack u(b.data, b.size);
    PpnHeader h;
    UnpackPpnHeader(u, h);
    EXPECT_EQ(h.size, 48);
    EXPECT_EQ(h.layer, 1);
    EXPECT_EQ(h.version, 18);
    EXPECT_EQ(h.magic, 0xa1d913fcu);
    EXPECT_EQ(h.reserved, 0u);

    nps::Unpack shortInput(b.data, 11);
    EXPECT_THROW(UnpackPpnHeader(shortInput, h), nps::unpack_error);
}

// ------------------------------------------------------------------ UH messages

const Bytes kLoginHeader = {0x30, 0x00, 0x01, 0x12, 0xfc, 0x13, 0xd9, 0xa1, 0, 0, 0, 0};
const Bytes kSessionHeader = {0x54, 0x00, 0x01, 0x12, 0xfc, 0x13, 0xd9, 0xa1, 0, 0, 0, 0};

TEST(UhServerMessage, LoginIs50BytesWithSizeHint48) {
    UhServerMessage m = {UH_LOGIN, 0, NAT_SYMMETRIC, 0, Alice()};
    nps::DefaultBlockBuffer b;
    EncodeUhServerMessage(b, m);
    EXPECT_EQ(Contents(b), Concat({kLoginHeader, {1, 0, 4, 0}, kAlicePacked}));
    EXPECT_EQ(b.size, kUhServerDatagramSize);
}

TEST(UhSessionMessage, Is88BytesWithSizeHint84) {
    UhSessionMessage m = {UH_CONNECT_REQUEST, 3, 0xBEEF, 1, 0, Alice(), Bob()};
    nps::DefaultBlockBuffer b;
    EncodeUhSessionMessage(b, m);
    EXPECT_EQ(Contents(b), Concat({kSessionHeader, {19, 3, 0xEF, 0xBE, 1, 0, 0, 0}, kAlicePacked, kBobPacked}));
    EXPECT_EQ(b.size, kUhSessionDatagramSize);
}

// The header as the receiver sees it, and the body after it.
bool Decode(const Bytes& datagram, UhMessage& out) {
    PpnHeader h;
    if (ClassifyDatagram(reinterpret_cast<const char*>(datagram.data()), static_cast<std::uint32_t>(datagram.size()),
                         h) != DatagramKind::kUh)
        return false;
    return DecodeUhMessage(h, reinterpret_cast<const char*>(datagram.data()) + 12,
                           static_cast<std::uint32_t>(datagram.size() - 12), out);
}

TEST(UhDecode, ServerRepliesAndSessionMessagesRoundTrip) {
    for (std::uint8_t code : {UH_LOGIN_REPLY, UH_LOGOUT_REPLY, UH_KEEPALIVE_REPLY}) {
        nps::DefaultBlockBuffer b;
        EncodeUhServerMessage(b, UhServerMessage{code, 9, 7, 0, Bob()});
        UhMessage m;
        ASSERT_TRUE(Decode(Contents(b), m)) << int(code);
        EXPECT_EQ(m.kind, UhMessage::kServer);
        EXPECT_EQ(m.server.code, code);
        EXPECT_TRUE(m.server.address == Bob());
    }
    for (std::uint8_t code = UH_PUNCH; code <= UH_CONNECT_HELLO; ++code) {
        nps::DefaultBlockBuffer b;
        EncodeUhSessionMessage(b, UhSessionMessage{code, 3, 65535, 1, 0, Bob(), Alice()});
        UhMessage m;
        ASSERT_TRUE(Decode(Contents(b), m)) << int(code);
        EXPECT_EQ(m.kind, UhMessage::kSession);
        EXPECT_EQ(m.session.code, code);
        EXPECT_EQ(m.session.sessionId, 65535);
        EXPECT_TRUE(m.session.sender == Bob());
        EXPECT_TRUE(m.session.addressee == Alice());
    }
}

TEST(UhDecode, DropsMalformedAndForeignMessages) {
    nps::DefaultBlockBuffer reply;
    EncodeUhServerMessage(reply, UhServerMessage{UH_LOGIN_REPLY, 0, 0, 0, Alice()});
    const Bytes good = Contents(reply);

    Bytes extra = good;
    extra.push_back(0);
    Bytes missing(good.begin(), good.end() - 1);
    Bytes oldVersion = good;
    oldVersion[3] = 17;
    Bytes login = good;
    login[12] = UH_LOGIN;  // what we send, never what we accept
    Bytes unknownCode = good;
    unknownCode[12] = 7;
    Bytes shortId = good;
    shortId[16] = 19;
    const Bytes headerOnly(good.begin(), good.begin() + 12);

    struct Case {
        const char* name;
        const Bytes& bytes;
    } cases[] = {{"one byte too many", extra}, {"one byte missing", missing}, {"version 17", oldVersion},
                 {"code 1", login},           {"code 7", unknownCode},      {"id length 19", shortId},
                 {"empty body", headerOnly}};
    UhMessage m;
    ASSERT_TRUE(Decode(good, m));
    for (const Case& c : cases)
        EXPECT_FALSE(Decode(c.bytes, m)) << c.name;
}

TEST(ClassifyDatagram, SortsByLengthMagicAndLayer) {
    const Bytes stack = {0x30, 0x00, 0x01, 0x12, 0xfc, 0x13, 0xd9, 0xa1, 0, 0, 0, 0, 2};
    auto withLayer = [&](unsigned char layer) {
        Bytes b = stack;
        b[2] = layer;
        return b;
    };
    struct Case {
        const char* name;
        Bytes bytes;
        DatagramKind kind;
    };
    const std::vector<Case> cases = {
        {"empty", Bytes(), DatagramKind::kIgnore},
        {"one byte", Bytes{'1'}, DatagramKind::kRaw},
        {"40 bytes without magic", Bytes(40, 0x55), DatagramKind::kRaw},
        {"magic but 11 bytes", Bytes(stack.begin(), stack.begin() + 11), DatagramKind::kRaw},
        {"layer 1", withLayer(1), DatagramKind::kUh},
        {"layer 2", withLayer(2), DatagramKind::kSrudp},
        {"layer 6", withLayer(6), DatagramKind::kDrop},
        {"layer 0", withLayer(0), DatagramKind::kDrop},
        {"bare header", Bytes(stack.begin(), stack.begin() + 12), DatagramKind::kUh},
    };
    for (const Case& c : cases) {
        PpnHeader h;
        EXPECT_EQ(ClassifyDatagram(reinterpret_cast<const char*>(c.bytes.data()),
                                   static_cast<std::uint32_t>(c.bytes.size()), h),
                  c.kind)
            << c.name;
    }
}

// ------------------------------------------------------------------ properties and NAT types

TEST(PropertyMap, GetPropertyValueCopiesPresentIdsOnly) {
    PropertyMap map;
    map[PPN_PROP_NAT_PORT] = "07000";
    std::string value = "untouched";
    EXPECT_FALSE(GetPropertyValue(map, PPN_PROP_NAT_SERVER, value));
    EXPECT_EQ(value, "untouched");
    EXPECT_TRUE(GetPropertyValue(map, PPN_PROP_NAT_PORT, value));
    EXPECT_EQ(value, "07000");  // the caller's own text, not a normalised port
}

TEST(PropertyMap, IdsAreTheWireNumbers) {
    const int ids[] = {PPN_PROP_NAT_SERVER, PPN_PROP_NAT_PORT, PPN_PROP_NAT_TYPE, PPN_PROP_STUN_SERVER,
                       PPN_PROP_PORT_HIGH, PPN_PROP_PORT_LOW, PPN_PROP_LOGIN_INTERVAL, PPN_PROP_LOGOUT_INTERVAL,
                       PPN_PROP_KEEPALIVE_INTERVAL, PPN_PROP_TCP_ENABLE, PPN_PROP_TCP_SHARE_PORT,
                       PPN_PROP_TCP_MAX_QUEUE, PPN_STAT_SRUDP_BYTES_RECEIVED, PPN_STAT_SRUDP_AVG_SEND_RATE,
                       PPN_STAT_SUDT_BYTES_RECEIVED, PPN_STAT_SUDT_AVG_SEND_RATE, PPN_STAT_TCP_BYTES_RECEIVED,
                       PPN_STAT_TCP_AVG_SEND_RATE};
    const int expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 8192, 8193, 8194, 257, 262, 273, 278, 289, 294};
    for (std::size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i)
        EXPECT_EQ(ids[i], expected[i]) << i;
}

TEST(NatType, FromStunResult) {
    const int expected[][2] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5},
                               {7, 6}, {8, 7}, {0, 8}, {9, 8}, {-1, 8}};
    for (const auto& e : expected)
        EXPECT_EQ(NatTypeFromStunResult(e[0]), e[1]) << "STUN result " << e[0];
}

}  // namespace
