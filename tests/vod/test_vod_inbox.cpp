// The engine's inbox: one wake per batch, arrival order, the bound.
#include <gtest/gtest.h>

#include <string>

#include "vod/VodInbox.h"

namespace {

PeerId Peer(char c)
{
    const std::string bytes(PeerId::kSize, c);
    return PeerId::FromBytes(bytes.data(), bytes.size());
}

TEST(VodInboxTest, WakesOncePerBatchAndKeepsTheOrder)
{
    VodInbox inbox;
    bool wake = false;
    ASSERT_TRUE(inbox.Push(Peer('a'), "one", 3, wake));
    EXPECT_TRUE(wake);
    ASSERT_TRUE(inbox.Push(Peer('b'), "two", 3, wake));
    EXPECT_FALSE(wake);   // a wake is pending: the engine takes both
    std::deque<VodInbox::Item> items = inbox.TakeAll();
    ASSERT_EQ(2u, items.size());
    EXPECT_TRUE(items[0].peer == Peer('a'));
    EXPECT_EQ("one", items[0].bytes);
    EXPECT_TRUE(items[1].peer == Peer('b'));
    EXPECT_EQ("two", items[1].bytes);
    EXPECT_TRUE(inbox.TakeAll().empty());
    ASSERT_TRUE(inbox.Push(Peer('c'), "three", 5, wake));
    EXPECT_TRUE(wake);    // taken: the next message wakes again
}

TEST(VodInboxTest, DropsWhatFindsItFullAndClearWakesAgain)
{
    VodInbox inbox;
    bool wake = false;
    for (std::size_t i = 0; i < VodInbox::kMostQueued; ++i)
        ASSERT_TRUE(inbox.Push(Peer('a'), "x", 1, wake));
    EXPECT_FALSE(inbox.Push(Peer('a'), "y", 1, wake));
    EXPECT_FALSE(wake);
    inbox.Clear();
    EXPECT_TRUE(inbox.TakeAll().empty());
    ASSERT_TRUE(inbox.Push(Peer('a'), "z", 1, wake));
    EXPECT_TRUE(wake);
}

}  // namespace
