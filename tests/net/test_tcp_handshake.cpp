// The handshake frame of the TCP transport: layout and what a receiver refuses.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "net/PpnHeader.h"
#include "net/TcpHandshake.h"

namespace {

PeerAddress Sample(unsigned char tag) {
    PeerAddress a;
    a.Clear();
    std::memset(a.id.bytes, tag, PeerId::kSize);
    a.endpoint.localIp = 0x0100007f;
    a.endpoint.localPort = 0x3930;
    a.endpoint.publicIp = 0x04030201;
    a.endpoint.publicPort = 0x0102;
    return a;
}

std::string Encode(std::uint8_t code, std::uint8_t result) {
    TcpHandshake m;
    m.code = code;
    m.result = result;
    m.sender = Sample(0x11);
    m.addressee = Sample(0x22);
    nps::DefaultBlockBuffer buffer;
    EncodeTcpHandshake(buffer, m);
    return std::string(buffer.data, buffer.size);
}

TEST(TcpHandshake, HelloIs82BytesWithLayer6AndSizeHint80) {
    const std::string hello = Encode(TCP_HELLO, 0);
    ASSERT_EQ(82u, hello.size());
    EXPECT_EQ(80, static_cast<unsigned char>(hello[0]) | static_cast<unsigned char>(hello[1]) << 8);
    EXPECT_EQ(6, hello[2]);
    EXPECT_EQ(18, hello[3]);
    EXPECT_EQ(33, hello[12]);
    EXPECT_EQ(0, hello[13]);
    TcpHandshake m;
    ASSERT_TRUE(DecodeTcpHandshake(hello.data(), static_cast<std::uint32_t>(hello.size()), m));
    EXPECT_EQ(TCP_HELLO, m.code);
    EXPECT_TRUE(m.sender == Sample(0x11));
    EXPECT_TRUE(m.addressee == Sample(0x22));
}

TEST(TcpHandshake, ReplyEndsInAZeroAddressee) {
    const std::string reply = Encode(TCP_HELLO_REPLY, 1);
    ASSERT_EQ(82u, reply.size());
    EXPECT_EQ(std::string(34, '\0'), reply.substr(48));
    TcpHandshake m;
    ASSERT_TRUE(DecodeTcpHandshake(reply.data(), static_cast<std::uint32_t>(reply.size()), m));
    EXPECT_EQ(TCP_HELLO_REPLY, m.code);
    EXPECT_EQ(1, m.result);
    EXPECT_TRUE(m.sender == Sample(0x11));
}

TEST(TcpHandshake, RefusesShortForeignAndTruncatedFrames) {
    const std::string hello = Encode(TCP_HELLO, 0);
    std::string wrongMagic = hello, wrongLayer = hello, otherVersion = hello;
    wrongMagic[5] ^= 1;
    wrongLayer[2] = 2;
    otherVersion[3] = 17;
    const struct {
        std::string bytes;
        bool ok;
    } cases[] = {
        {hello.substr(0, 11), false}, {hello.substr(0, 12), false}, {hello.substr(0, 81), false},
        {wrongMagic, false},          {wrongLayer, false},          {otherVersion, true},
    };
    for (const auto& c : cases) {
        TcpHandshake m;
        EXPECT_EQ(c.ok, DecodeTcpHandshake(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), m))
            << c.bytes.size();
    }
}

}  // namespace
