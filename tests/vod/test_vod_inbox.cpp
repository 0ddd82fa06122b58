// The engine's inbox: who wakes the engine, arrival order, the bound.
#include <gtest/gtest.h>

#include <string>

#include "vod/VodInbox.h"

namespace {

PeerId Peer(char c)
{
    const std::string bytes(PeerId::kSize, c);
    return PeerId::FromBytes(bytes.data(), bytes.size());
}

TEST(VodInboxTest, UrgentMessagesWakeOncePerBatchInOrder)
{
    VodInbox inbox;
    bool wake = false;
    ASSERT_TRUE(inbox.Push(Peer('a'), "one", 3, true, wake));
    EXPECT_TRUE(wake);
    ASSERT_TRUE(inbox.Push(Peer('b'), "two", 3, true, wake));
    EXPECT_FALSE(wake);   // a wake is pending: the engine takes both
    std::deque<VodInbox::Item> items = inbox.TakeAll();
    ASSERT_EQ(2u, items.size());
    EXPECT_TRUE(items[0].peer == Peer('a'));
    EXPECT_EQ("one", items[0].bytes);
    EXPECT_TRUE(items[1].peer == Peer('b'));
    EXPECT_EQ("two", items[1].bytes);
    EXPECT_TRUE(inbox.TakeAll().empty());
    ASSERT_TRUE(inbox.Push(Peer('c'), "three", 5, true, wake));
    EXPECT_TRUE(wake);    // taken: the next message wakes again
}

// Pieces wait for the engine's next look, unless they pile up; an urgent
// message behind them wakes it, and they come first.
TEST(VodInboxTest, PiecesWaitUntilABacklogOrAnUrgentMessage)
{
    VodInbox inbox;
    bool wake = true;
    for (std::size_t i = 1; i < VodInbox::kWakeAt; ++i) {
        ASSERT_TRUE(inbox.Push(Peer('p'), "piece", 5, false, wake));
        ASSERT_FALSE(wake) << i;
    }
    ASSERT_TRUE(inbox.Push(Peer('p'), "piece", 5, false, wake));
    EXPECT_TRUE(wake);
    EXPECT_EQ(VodInbox::kWakeAt, inbox.TakeAll().size());

    ASSERT_TRUE(inbox.Push(Peer('p'), "piece", 5, false, wake));
    EXPECT_FALSE(wake);
    ASSERT_TRUE(inbox.Push(Peer('d'), "done", 4, true, wake));
    EXPECT_TRUE(wake);
    const std::deque<VodInbox::Item> items = inbox.TakeAll();
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ("piece", items[0].bytes);
    EXPECT_EQ("done", items[1].bytes);
}

TEST(VodInboxTest, DropsWhatFindsItFullAndClearWakesAgain)
{
    VodInbox inbox;
    bool wake = false;
    for (std::size_t i = 0; i < VodInbox::kMostQueued; ++i)
        ASSERT_TRUE(inbox.Push(Peer('a'), "x", 1, false, wake));
    EXPECT_FALSE(inbox.Push(Peer('a'), "y", 1, true, wake));
    EXPECT_FALSE(wake);
    inbox.Clear();
    EXPECT_TRUE(inbox.TakeAll().empty());
    ASSERT_TRUE(inbox.Push(Peer('a'), "z", 1, true, wake));
    EXPECT_TRUE(wake);
}

}  // namespace
