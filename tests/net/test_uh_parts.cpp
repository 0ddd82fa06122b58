// The UH core's smaller parts with threads of their own: the bounded
// datagram queue and the locked bandwidth meter.
#include "net/Winsock.h"

#include <atomic>
#include <vector>

#include <boost/thread/future.hpp>
#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "net/DatagramQueue.h"
#include "net/TransferStats.h"

namespace {

using uh::DatagramQueue;

DatagramQueue::Datagram Numbered(int n) {
    DatagramQueue::Datagram d;
    ZeroMemory(&d, sizeof d);
    d.length = n;
    return d;
}

TEST(DatagramQueue, HoldsAtMostItsLimitInArrivalOrder) {
    DatagramQueue queue(3);
    queue.Open();
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(queue.Push(Numbered(i)));
    EXPECT_FALSE(queue.Push(Numbered(4)));  // full: the caller keeps the buffer
    DatagramQueue::Datagram d;
    ASSERT_TRUE(queue.Pop(d));
    EXPECT_EQ(d.length, 1);
    EXPECT_TRUE(queue.Push(Numbered(5)));
    std::vector<int> rest;
    for (const DatagramQueue::Datagram& left : queue.TakeAll())
        rest.push_back(left.length);
    EXPECT_EQ(rest, (std::vector<int>{2, 3, 5}));
}

TEST(DatagramQueue, CloseWakesAWaitingPop) {
    DatagramQueue queue(8);
    queue.Open();
    queue.Push(Numbered(7));
    boost::promise<int> first;
    std::atomic<bool> secondPopped(true);
    boost::thread packetThread([&] {
        DatagramQueue::Datagram d;
        first.set_value(queue.Pop(d) ? d.length : 0);
        secondPopped = queue.Pop(d);  // waits until Close
    });
    boost::unique_future<int> popped = first.get_future();
    ASSERT_EQ(popped.wait_for(boost::chrono::seconds(10)), boost::future_status::ready);
    EXPECT_EQ(popped.get(), 7);
    queue.Close();
    ASSERT_TRUE(packetThread.try_join_for(boost::chrono::seconds(10)));
    EXPECT_FALSE(secondPopped);
    queue.Push(Numbered(8));
    DatagramQueue::Datagram d;
    EXPECT_FALSE(queue.Pop(d));  // closed: nothing more is handed out
    EXPECT_EQ(queue.TakeAll().size(), 1u);
}

TEST(TransferStats, CountsFromManyThreads) {
    TransferStats stats;
    std::vector<boost::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                stats.AddReceived(3);
                stats.AddSent(1);
                if (i % 100 == 0)
                    stats.CurrentReceiveRate();  // writes the slots too
            }
        });
    for (boost::thread& t : threads)
        t.join();
    EXPECT_EQ(stats.ReceivedTotal(), 4u * 20000u * 3u);
    EXPECT_EQ(stats.SentTotal(), 4u * 20000u);
    EXPECT_GE(stats.AverageReceiveRate(), 1u);
}

}  // namespace
