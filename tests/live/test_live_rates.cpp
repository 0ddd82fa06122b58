// The send pacing and its rate control, the drain test that decides whether a
// peer may be asked for more, and a peer's availability as HAVEs move it.
#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "live/LiveAvailability.h"
#include "live/LiveSendRate.h"
#include "live/LiveUnits.h"

namespace {

// Sends for `ms` of timer periods, then reports one loss sample.
void SendThenReport(LiveSendRate& rate, std::uint32_t ms, float loss) {
    for (std::uint32_t t = 0; t < ms; t += rate.Period())
        rate.Tick();
    rate.AddLossSample(loss, 0);
}

}  // namespace

TEST(LiveSendRate, PeriodAndBlocksPerTickFollowTheRate) {
    const struct {
        std::int32_t kbit;
        float interval;
        std::uint32_t period;
        std::uint32_t blocksInTenTicks;
    } cases[] = {
        {400, 16.0f, 16, 10},
        {12800, 0.5f, 1, 20},
        {3000, 6.4e6f / 3e6f, 2, 9},  // 2.133 ms: the credit carries the fraction
    };
    for (const auto& c : cases) {
        LiveSendRate rate(c.kbit);
        EXPECT_FLOAT_EQ(rate.Interval(), c.interval) << c.kbit;
        EXPECT_EQ(rate.Period(), c.period) << c.kbit;
        std::uint32_t blocks = 0;
        for (int i = 0; i < 10; ++i)
            blocks += rate.Tick();
        EXPECT_EQ(blocks, c.blocksInTenTicks) << c.kbit;
    }
    LiveSendRate fastest(12800);
    EXPECT_EQ(fastest.Tick(), 2u);
}

TEST(LiveSendRate, InitialRateIsKeptInRange) {
    // The page's value reaches the engine unchecked; 0 would make the
    // interval infinite and a large one wraps when taken x 1000 in 32 bits.
    const struct {
        std::int32_t kbit;
        std::uint32_t rate;
    } cases[] = {{0, 10000}, {-5, 10000}, {9, 10000}, {400, 400000}, {20000, 12800000}, {INT_MAX, 12800000},
                 {4295, 4295000}};
    for (const auto& c : cases) {
        LiveSendRate rate(c.kbit);
        EXPECT_EQ(rate.Rate(), c.rate) << c.kbit;
        EXPECT_GE(rate.Period(), 1u) << c.kbit;
    }
}

TEST(LiveSendRate, AssumedPeerRateIsAtLeastOneKbit) {
    const struct {
        std::int32_t kbit;
        std::uint32_t rate;
    } cases[] = {{0, 1000}, {-1, 1000}, {1, 1000}, {400, 400000}, {INT_MAX, 0xFFFFFFFFu}};
    for (const auto& c : cases)
        EXPECT_EQ(LiveAssumedPeerRate(c.kbit), c.rate) << c.kbit;
}

TEST(LiveSendRate, RepeatedDecisionsGrowTheStepAndAHoldResetsIt) {
    struct Window {
        float loss;
        std::uint32_t rate;
        std::int32_t step;
    };
    const struct {
        const char* name;
        std::vector<Window> windows;
    } cases[] = {
        {"up, then hold",
         {{0.0f, 440000, 1}, {0.05f, 520000, 2}, {0.0f, 680000, 4}, {0.1f, 680000, 0}, {0.0f, 720000, 1}}},
        // 120,000 - 320,000 is below zero: the rate stops at 10,000 where a
        // 32-bit sum would wrap and clamp to the top.
        {"down to the floor", {{0.3f, 360000, -1}, {0.3f, 280000, -2}, {0.3f, 120000, -4}, {0.3f, 10000, -8},
                               {0.3f, 10000, -16}, {0.3f, 10000, -16}}},
    };
    for (const auto& c : cases) {
        LiveSendRate rate(400);
        for (const Window& w : c.windows) {
            SendThenReport(rate, LiveSendRate::kDecideAfterMs, w.loss);
            EXPECT_EQ(rate.Rate(), w.rate) << c.name << " loss " << w.loss;
            EXPECT_EQ(rate.Step(), w.step) << c.name << " loss " << w.loss;
            EXPECT_EQ(rate.SendTime(), 0u);
        }
    }
}

TEST(LiveSendRate, TheTopRateHoldsOnUpsAndStillFalls) {
    LiveSendRate rate(12800);
    SendThenReport(rate, LiveSendRate::kDecideAfterMs, 0.0f);
    EXPECT_EQ(rate.Rate(), 12800000u);
    SendThenReport(rate, LiveSendRate::kDecideAfterMs, 0.5f);
    EXPECT_EQ(rate.Rate(), 12760000u);
    EXPECT_FLOAT_EQ(rate.Interval(), 6.4e6f / 12760000.0f);
}

TEST(LiveSendRate, NoDecisionInTheFirstThreeSecondsThenTheAverageOfAllSamples) {
    LiveSendRate rate(400);
    for (std::uint32_t t = 0; t + rate.Period() < LiveSendRate::kDecideAfterMs; t += rate.Period()) {
        rate.Tick();
        EXPECT_FALSE(rate.AddLossSample(1.0f, 0)) << t;
    }
    EXPECT_EQ(rate.Rate(), 400000u);
    rate.Tick();  // 3,008 ms sent
    // 187 samples of 1.0 and one of 0: the average (above 0.2) means down.
    EXPECT_TRUE(rate.AddLossSample(0.0f, 0));
    EXPECT_GT(rate.ReportedLoss(), 0.99f);
    EXPECT_EQ(rate.Rate(), 360000u);
}

TEST(LiveSendRate, APeerMayTakeMoreWhileItsQueueDrainsInHalfASecond) {
    const struct {
        std::uint64_t blocks;
        std::uint32_t rate;
        bool drains;
    } cases[] = {{31, 400000, true}, {32, 400000, false}, {40, 400000, false}, {0, 1000, true}, {1, 0, false}};
    for (const auto& c : cases)
        EXPECT_EQ(LiveDrainsInHalfSecond(c.blocks, c.rate), c.drains) << c.blocks << " at " << c.rate;
}

TEST(LiveAvailability, HavesMoveAndMarkTheBits) {
    const struct {
        const char* name;
        std::uint32_t nodeType;
        std::uint32_t haveStart;
        BlockFlagMap pieces;
        std::uint32_t start;
        std::size_t bits;
        std::size_t set;
    } cases[] = {
        // Starting from 100 with 5 bits {100, 102}.
        {"source: start + 9 sets all 10", 1, 100, {{109, 1}}, 100, 10, 10},
        {"viewer: start + 9 sets one", 0, 100, {{109, 1}}, 100, 10, 3},
        {"viewer: a flag of 0 clears", 0, 100, {{102, 0}}, 100, 5, 1},
        {"start moved by 2", 0, 102, {}, 102, 3, 1},
        {"start moved past the bits", 0, 200, {{150, 1}}, 200, 0, 0},
        {"pieces below the start ignored", 0, 100, {{99, 1}}, 100, 5, 2},
        {"pieces too far ahead ignored", 1, 100, {{100 + kLiveMostAheadPieces, 1}}, 100, 5, 2},
        {"the last piece the bound allows", 0, 100, {{100 + kLiveMostAheadPieces - 1, 1}}, 100,
         kLiveMostAheadPieces, 3},
        {"an older start leaves the bits", 0, 50, {}, 100, 5, 2},
    };
    for (const auto& c : cases) {
        LiveAvailability availability;
        nps::BitField bits(5);
        bits.set(0);
        bits.set(2);
        availability.Replace(100, bits);
        availability.ApplyHave(c.pieces, c.haveStart, c.nodeType);
        EXPECT_EQ(availability.Start(), c.start) << c.name;
        EXPECT_EQ(availability.Bits().size(), c.bits) << c.name;
        EXPECT_EQ(availability.Bits().count(), c.set) << c.name;
    }
}

TEST(LiveAvailability, ShowsOnlyPiecesInsideTheBits) {
    LiveAvailability availability;
    availability.Replace(0xFFFFFFF0u, nps::BitField(16, 0xFFFF));
    EXPECT_TRUE(availability.Shows(0xFFFFFFFFu));
    EXPECT_FALSE(availability.Shows(0xFFFFFFEFu));
    availability.Replace(10, nps::BitField(kLiveMostAheadPieces + 10));
    EXPECT_EQ(availability.Bits().size(), kLiveMostAheadPieces);
}
