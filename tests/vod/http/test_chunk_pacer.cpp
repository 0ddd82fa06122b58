// Pacing of the loopback server's full chunks, Windows-free: the waits for
// given ready times, and the cap that any run of chunks keeps.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "vod/http/ChunkPacer.h"

namespace {

const std::uint64_t kPeriod = 10000;

TEST(ChunkPacerTest, WaitsForGivenReadyTimes)
{
    struct Case {
        const char* what;
        std::vector<std::uint64_t> ready;  // when each chunk is ready (us)
        std::vector<std::uint64_t> waits;  // the waits expected before each
    };
    const Case cases[] = {
        {"first chunk at once, then one period after the one before", {500, 500, 10600}, {0, 10000, 9900}},
        // Work and late wake-ups do not stretch the period: 2 ms of work per
        // chunk still leaves the chunks 10 ms apart.
        {"work inside the period", {0, 2000, 12000, 22000}, {0, 8000, 8000, 8000}},
        // A chunk ready 4 ms after its deadline goes at once, and the next
        // one 6 ms later keeps the cadence.
        {"a little late", {0, 14000, 14000}, {0, 0, 6000}},
        // More than a period behind (a stalled client): a new cadence, no
        // run of chunks to catch up.
        {"stalled client", {0, 1000000, 1000000, 1000000}, {0, 0, 10000, 20000}},
    };
    for (const Case& c : cases) {
        ChunkPacer pacer(kPeriod);
        ASSERT_EQ(c.ready.size(), c.waits.size()) << c.what;
        for (std::size_t i = 0; i < c.ready.size(); ++i)
            EXPECT_EQ(c.waits[i], pacer.WaitBefore(c.ready[i])) << c.what << ", chunk " << i;
    }
}

// Chunks ready as soon as the one before went, with sleeps waking up to 1 ms
// late at random-looking offsets: over any run the chunks sent never exceed
// one per period plus one chunk of credit, and over a long run they come to
// one per period.
TEST(ChunkPacerTest, KeepsTheCapOverAnyRun)
{
    ChunkPacer pacer(kPeriod);
    std::vector<std::uint64_t> sent;
    std::uint64_t now = 0;
    for (int i = 0; i < 1000; ++i) {
        now += pacer.WaitBefore(now);
        now += static_cast<std::uint64_t>((i * 7919) % 1000);  // late wake-up
        sent.push_back(now);
        now += 300;  // sending and the next read
    }
    for (std::size_t a = 0; a < sent.size(); ++a)
        for (std::size_t b = a + 1; b < sent.size(); ++b)
            ASSERT_LE(b - a, (sent[b] - sent[a]) / kPeriod + 1) << a << " to " << b;
    const double perPeriod = double(sent.size() - 1) * kPeriod / double(sent.back() - sent.front());
    EXPECT_GT(perPeriod, 0.98);
}

}  // namespace
