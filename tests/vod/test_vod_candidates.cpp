// Candidate tables of the tracker's peers and the order of connecting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vod/VodCandidates.h"

namespace {

VodCandidate Candidate(const std::string& id, int nodeType, int gatewayType = 0)
{
    VodCandidate c;
    c.address.Clear();
    c.address.id = PeerId::FromBytes(id.data(), id.size());
    c.nodeType = static_cast<std::uint8_t>(nodeType);
    c.gatewayType = static_cast<std::uint8_t>(gatewayType);
    return c;
}

std::string Name(const VodCandidate& c)
{
    return std::string(reinterpret_cast<const char*>(c.address.id.bytes));
}

}  // namespace

TEST(VodCandidates, SeedsApartAndTheLaterDuplicateWins)
{
    VodCandidateTable normal, seeds;
    StoreCandidates({Candidate("a", 0, 1), Candidate("s", 1), Candidate("a", 0, 2), Candidate("b", 2)},
                    normal, seeds);
    ASSERT_EQ(normal.size(), 2u);
    EXPECT_EQ(normal.begin()->second.gatewayType, 2);
    ASSERT_EQ(seeds.size(), 1u);
    EXPECT_EQ(Name(seeds.begin()->second), "s");
}

TEST(VodCandidates, SeedsAreConnectedFirstUpToTheLimit)
{
    struct Case {
        int sessions;
        int limit;
        std::vector<bool> outcomes;   // of the connects, in order
        std::vector<std::string> tried;
        int answer;
        std::size_t normalLeft;
    } cases[] = {
        {0, 20, {true, true, true, true}, {"s1", "s2", "a", "b"}, 4, 0},
        {0, 2, {true, true}, {"s1", "s2"}, 2, 2},
        // A failed connect still removes the entry and counts nothing.
        {0, 2, {false, true, true}, {"s1", "s2", "a"}, 2, 1},
        {3, 3, {}, {}, 3, 2},
        // Existing sessions make the answer non-zero even when all connects fail.
        {1, 20, {false, false, false, false}, {"s1", "s2", "a", "b"}, 1, 0},
        {0, 20, {false, false, false, false}, {"s1", "s2", "a", "b"}, 0, 0},
    };
    for (const Case& c : cases) {
        VodCandidateTable normal, seeds;
        StoreCandidates({Candidate("b", 0), Candidate("s2", 1), Candidate("a", 0), Candidate("s1", 1)},
                        normal, seeds);
        std::vector<std::string> tried;
        const int answer = ConnectCandidates(seeds, normal, c.sessions, c.limit,
                                             [&](const VodCandidate& candidate) {
                                                 const bool ok = c.outcomes.at(tried.size());
                                                 tried.push_back(Name(candidate));
                                                 return ok;
                                             });
        EXPECT_EQ(tried, c.tried);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(normal.size(), c.normalLeft);
    }
}
