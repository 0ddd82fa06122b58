// The tracker dialogue's dictionaries: golden request bytes and the replies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/ByteOrder.h"
#include "vod/VodTrackerMessages.h"

namespace {

const std::string kHash = "0123456789abcdef0123456789abcdef";

PeerId Id(const char* text)
{
    return PeerId::FromBytes(text, std::string(text).size());
}

std::string Entry(const std::string& pid, const std::string& wip, int wport, int nodetype,
                  const std::string& skip = "")
{
    std::string out = "d";
    auto add = [&](const std::string& key, const std::string& value) {
        if (key != skip)
            out += std::to_string(key.size()) + ":" + key + value;
    };
    auto str = [](const std::string& s) { return std::to_string(s.size()) + ":" + s; };
    add("gwtype", "i3e");
    add("lip", str("192.0.2.7"));
    add("lport", "i5002e");
    add("nodetype", "i" + std::to_string(nodetype) + "e");
    add("pid", str(pid));
    add("wip", str(wip));
    add("wport", "i" + std::to_string(wport) + "e");
    return out + "e";
}

VodPeerReply Peers(const std::string& bytes)
{
    VodPeerReply reply;
    EXPECT_TRUE(ParsePeerReply(bytes.data(), bytes.size(), reply)) << bytes;
    return reply;
}

}  // namespace

TEST(VodTrackerRequests, GoldenBytes)
{
    const PeerId self = Id("ABCDEF012345@5000xyz");
    EXPECT_EQ(BuildReqFileInfo(kHash), "d4:hash32:" + kHash + "3:msg11:reqfileinfoe");
    EXPECT_EQ(BuildReqPeer(123456789012LL, self, kHash, 30),
              "d3:cidi123456789012e4:hash32:" + kHash +
                  "3:msg7:reqpeer4:numsi30e3:pid20:ABCDEF012345@5000xyze");
    EXPECT_EQ(BuildPeerOn(7, self, kHash),
              "d3:cidi7e4:hash32:" + kHash + "3:msg6:peeron3:pid20:ABCDEF012345@5000xyze");
    EXPECT_EQ(BuildPeerOff(7, self, kHash),
              "d3:cidi7e4:hash32:" + kHash + "3:msg7:peeroff3:pid20:ABCDEF012345@5000xyze");
    // The pid is always 20 bytes, zero-padded.
    EXPECT_NE(BuildPeerOn(7, Id("ab"), kHash).find(std::string("3:pid20:ab") + std::string(18, '\0')),
              std::string::npos);
}

TEST(VodTrackerReplies, FileInfo)
{
    struct Case {
        std::string bytes;
        bool ok;
        std::int64_t size;
        std::uint32_t bitRate;
    } cases[] = {
        {"d7:bitratei500000e6:result7:success4:sizei1234567ee", true, 1234567, 500000},
        {"d7:bitratei0e6:result7:success4:sizei0ee", true, 0, 0},
        // Low 32 bits of the bit rate.
        {"d7:bitratei4294967297e6:result7:success4:sizei10ee", true, 10, 1},
        {"d7:bitratei500000e6:result7:failure4:sizei10ee", false, 0, 0},
        {"d7:bitratei500000e6:result7:successe", false, 0, 0},
        {"d6:result7:success4:sizei10ee", false, 0, 0},
        {"d7:bitrate1:x6:result7:success4:sizei10ee", false, 0, 0},
        // Sizes beyond the bound are a broken reply.
        {"d7:bitratei1e6:result7:success4:sizei17179869185ee", false, 0, 0},
        {"d7:bitratei1e6:result7:success4:sizei17179869184ee", true, 17179869184LL, 1},
        {"l7:successe", false, 0, 0},
        {"d6:result7:success", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        VodFileInfo info;
        ASSERT_EQ(ParseFileInfoReply(c.bytes.data(), c.bytes.size(), info), c.ok) << c.bytes;
        if (c.ok) {
            EXPECT_EQ(info.size, c.size) << c.bytes;
            EXPECT_EQ(info.bitRate, c.bitRate) << c.bytes;
        }
    }
}

TEST(VodTrackerReplies, PeerEntriesBecomeCandidates)
{
    const VodPeerReply reply = Peers("d4:peerl" + Entry("peer-b", "127.0.0.1", 40001, 1) +
                                     Entry("peer-c-0123456789abcdefgh", "10.1.2.3", 65536 + 7, 0) +
                                     "e6:result7:successe");
    EXPECT_TRUE(reply.success);
    EXPECT_TRUE(reply.hasPeerList);
    ASSERT_EQ(reply.candidates.size(), 2u);
    const VodCandidate& b = reply.candidates[0];
    EXPECT_EQ(b.address.id, Id("peer-b"));
    const unsigned char loopback[4] = {127, 0, 0, 1};
    const unsigned char local[4] = {192, 0, 2, 7};
    EXPECT_EQ(std::memcmp(&b.address.endpoint.publicIp, loopback, 4), 0);
    EXPECT_EQ(std::memcmp(&b.address.endpoint.localIp, local, 4), 0);
    const unsigned char port[2] = {0x9C, 0x41};   // 40001, network order
    EXPECT_EQ(std::memcmp(&b.address.endpoint.publicPort, port, 2), 0);
    const unsigned char lport[2] = {0x13, 0x8A};  // 5002
    EXPECT_EQ(std::memcmp(&b.address.endpoint.localPort, lport, 2), 0);
    EXPECT_EQ(b.gatewayType, 3);
    EXPECT_TRUE(b.IsSeed());
    EXPECT_EQ(b.tries, 0);
    EXPECT_EQ(b.failureTime, 0u);
    // Ids longer than 20 bytes are cut; ports keep their low 16 bits.
    EXPECT_EQ(reply.candidates[1].address.id, Id("peer-c-0123456789abc"));
    EXPECT_EQ(reply.candidates[1].address.endpoint.publicPort, net::HostToNet16(7));
    EXPECT_FALSE(reply.candidates[1].IsSeed());
}

TEST(VodTrackerReplies, EntriesMissingAKeyOrOfAWrongTypeAreSkipped)
{
    const char* keys[] = {"pid", "wip", "wport", "lip", "lport", "gwtype", "nodetype"};
    for (const char* key : keys) {
        const VodPeerReply reply =
            Peers("d4:peerl" + Entry("a", "1.2.3.4", 1, 0, key) + "i5e" +
                  Entry("b", "1.2.3.4", 2, 0) + "e6:result7:successe");
        ASSERT_EQ(reply.candidates.size(), 1u) << key;
        EXPECT_EQ(reply.candidates[0].address.id, Id("b"));
    }
    std::string wrongType = Entry("a", "1.2.3.4", 1, 0);
    wrongType.replace(wrongType.find("i5002e"), 6, "4:5002");
    EXPECT_TRUE(Peers("d4:peerl" + wrongType + "e6:result7:successe").candidates.empty());
}

TEST(VodTrackerReplies, PwdRedirectAndResult)
{
    VodPeerReply reply = Peers("d4:peerle3:pwd3:abc6:result7:success8:redirect5:http:e");
    EXPECT_TRUE(reply.hasPeerList);
    EXPECT_EQ(reply.pwd, "abc");
    EXPECT_EQ(reply.redirect, "");   // only read without a "peer" key

    reply = Peers("d3:pwd3:abc8:redirect10:http://x/y6:result7:successe");
    EXPECT_FALSE(reply.hasPeerList);
    EXPECT_EQ(reply.redirect, "http://x/y");
    EXPECT_EQ(reply.pwd, "");        // only read beside a "peer" key

    reply = Peers("d4:peerl" + Entry("a", "1.2.3.4", 1, 0) + "e6:result4:nopee");
    EXPECT_FALSE(reply.success);
    EXPECT_TRUE(reply.candidates.empty());

    // A "peer" that is not a list gives no candidate but still counts as present.
    reply = Peers("d4:peeri3e3:pwd1:x6:result7:successe");
    EXPECT_TRUE(reply.hasPeerList);
    EXPECT_TRUE(reply.candidates.empty());
    EXPECT_EQ(reply.pwd, "x");

    EXPECT_FALSE(ParsePeerReply("i3e", 3, reply));
    EXPECT_FALSE(ParsePeerReply("d4:peer", 7, reply));
}

TEST(VodTrackerReplies, EntryCountIsBounded)
{
    std::string bytes = "d4:peerl";
    for (std::size_t i = 0; i < kVodMaxTrackerPeers + 10; ++i)
        bytes += Entry("p" + std::to_string(i), "1.2.3.4", 1, 0);
    bytes += "e6:result7:successe";
    EXPECT_EQ(Peers(bytes).candidates.size(), kVodMaxTrackerPeers);
}

TEST(VodTrackerReplies, DottedAddresses)
{
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {{"127.0.0.1", true},  {"255.255.255.254", true}, {"0.0.0.0", true},
                 {"256.0.0.1", false}, {"1.2.3", false},          {"1.2.3.4.", false},
                 {"1.2.3.4 ", false},  {"", false},               {"1..2.3", false},
                 {"0001.2.3.4", false}, {"a.b.c.d", false}};
    for (const Case& c : cases) {
        const std::uint32_t address = ParseDottedIpv4(c.text);
        EXPECT_EQ(address != 0xFFFFFFFFu, c.ok) << c.text;
    }
    const std::uint32_t address = ParseDottedIpv4("10.20.30.40");
    const unsigned char bytes[4] = {10, 20, 30, 40};
    EXPECT_EQ(std::memcmp(&address, bytes, 4), 0);
}
