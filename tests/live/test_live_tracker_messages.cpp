// The live tracker dictionaries: request bytes and the reqpeer reply.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "live/LiveConnections.h"
#include "live/LiveTrackerMessages.h"

namespace {

PeerId Id(const std::string& text)
{
    return PeerId::FromBytes(text.data(), text.size());
}

std::string Entry(const std::string& pid, int nodeType, bool withGwtype = true)
{
    std::string entry = "d";
    if (withGwtype)
        entry += "6:gwtypei2e";
    entry += "3:lip8:10.0.0.25:lporti5001e8:nodetypei" + std::to_string(nodeType) + "e3:pid" +
             std::to_string(pid.size()) + ":" + pid + "3:wip9:127.0.0.15:wporti6001ee";
    return entry;
}

}  // namespace

TEST(LiveTrackerMessages, RequestsCarryPeerTypeAndSortedKeys)
{
    const PeerId self = Id("ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(BuildLiveReqPeer(77, 0, self),
              "d3:cidi77e3:msg7:reqpeer4:numsi50e8:peertypei0e3:pid20:ABCDEFGHIJKLMNOPQRSTe");
    EXPECT_EQ(BuildLivePeerOn(18446744073709551615ull, 0, self),
              "d3:cidi-1e3:msg6:peeron4:peerl20:ABCDEFGHIJKLMNOPQRSTe8:peertypei0ee");
}

TEST(LiveTrackerMessages, ReplyEntriesTimeAndPassword)
{
    const std::string bytes = "d4:peerl" + Entry("peer-one", 0) + Entry("no-gateway", 0, false) + Entry("source", 1) +
                              "i5ee3:pwd4:open6:result7:success4:timei1000ee";
    LivePeerReply reply;
    ASSERT_TRUE(ParseLivePeerReply(bytes.data(), bytes.size(), reply));
    EXPECT_TRUE(reply.success);
    ASSERT_EQ(reply.candidates.size(), 2u);   // the entry without "gwtype" and the integer are skipped
    EXPECT_EQ(reply.candidates[0].address.id, Id("peer-one"));
    EXPECT_EQ(reply.candidates[0].gatewayType, 2);
    // Ports are kept in network order.
    EXPECT_EQ(reply.candidates[0].address.endpoint.publicPort, std::uint16_t((6001 >> 8) | ((6001 & 0xFF) << 8)));
    EXPECT_EQ(reply.candidates[1].nodeType, 1);
    EXPECT_TRUE(reply.hasTime);
    EXPECT_EQ(reply.time, 1000u);
    EXPECT_EQ(reply.pwd, "open");
}

TEST(LiveTrackerMessages, RepliesThatGiveNothing)
{
    struct Case {
        const char* bytes;
        bool decodes;
        bool success;
    } cases[] = {
        {"", false, false},
        {"le", false, false},
        {"d6:result4:faile", true, false},
        {"d6:resulti1ee", true, false},
        {"d6:result7:successe", true, true},
        {"d4:timei5e6:result7:success", false, false},   // cut short
    };
    for (const Case& c : cases) {
        LivePeerReply reply;
        EXPECT_EQ(ParseLivePeerReply(c.bytes, std::strlen(c.bytes), reply), c.decodes) << c.bytes;
        EXPECT_EQ(reply.success, c.success) << c.bytes;
        EXPECT_TRUE(reply.candidates.empty()) << c.bytes;
        EXPECT_FALSE(reply.hasTime) << c.bytes;
    }
}

TEST(LiveTrackerMessages, DuplicatePidKeepsTheLaterEntry)
{
    const std::string bytes = "d4:peerl" + Entry("twin", 0) + Entry("twin", 1) + "e6:result7:successe";
    LivePeerReply reply;
    ASSERT_TRUE(ParseLivePeerReply(bytes.data(), bytes.size(), reply));
    LiveConnections connections;
    connections.AddCandidates(reply.candidates);
    ASSERT_EQ(connections.Candidates().size(), 1u);
    EXPECT_EQ(connections.Candidates().begin()->second.nodeType, 1);
}
