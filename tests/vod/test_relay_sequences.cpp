// The relay sequences both engines keep per origin: stale texts are dropped,
// and the bound on origins evicts the one seen least recently.
#include <gtest/gtest.h>

#include <string>

#include "vod/RelaySequences.h"

namespace {

PeerId Origin(std::size_t n)
{
    const std::string text = "origin-" + std::to_string(n);
    return PeerId::FromBytes(text.data(), text.size());
}

TEST(RelaySequencesTest, OnlyNewerSequencesOfAnOriginAreTaken)
{
    RelaySequences sequences;
    EXPECT_TRUE(sequences.Take(Origin(1), 5));
    EXPECT_FALSE(sequences.Take(Origin(1), 5));
    EXPECT_FALSE(sequences.Take(Origin(1), 4));
    EXPECT_TRUE(sequences.Take(Origin(1), 6));
    EXPECT_TRUE(sequences.Take(Origin(2), 1)) << "origins are counted apart";
    sequences.Clear();
    EXPECT_TRUE(sequences.Take(Origin(1), 1));
}

TEST(RelaySequencesTest, ANewOriginBeyondTheBoundEvictsTheLeastRecentlySeen)
{
    RelaySequences sequences;
    const std::size_t most = RelaySequences::kMostOrigins;
    for (std::size_t i = 0; i < most; ++i)
        ASSERT_TRUE(sequences.Take(Origin(i), 10));
    // Origin 1 speaks again: origin 0 is now the least recently seen.
    EXPECT_TRUE(sequences.Take(Origin(1), 11));
    // The 4,097th origin is taken, and evicts origin 0 only.
    EXPECT_TRUE(sequences.Take(Origin(most), 1));
    EXPECT_TRUE(sequences.Take(Origin(0), 1)) << "evicted: its sequences start afresh";
    // That took origin 2's place; every kept origin still drops a stale
    // sequence.
    for (std::size_t i = 3; i < most; ++i)
        ASSERT_FALSE(sequences.Take(Origin(i), 10)) << i;
    EXPECT_FALSE(sequences.Take(Origin(1), 11));
    EXPECT_FALSE(sequences.Take(Origin(most), 1));
    EXPECT_FALSE(sequences.Take(Origin(0), 1));
    // Many more new origins keep being taken: chat never goes silent.
    for (std::size_t i = 0; i < 3 * most; ++i)
        ASSERT_TRUE(sequences.Take(Origin(most + 1 + i), 1)) << i;
}

}  // namespace
