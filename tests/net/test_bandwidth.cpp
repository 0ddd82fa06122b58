// The bandwidth meter against a clock the test moves.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "net/BandWidth.h"

namespace {

std::int64_t g_nowMs;

util::BandWidthTime FakeNow() {
    util::BandWidthTime t;
    t.seconds = g_nowMs / 1000;
    t.milliseconds = static_cast<unsigned>(g_nowMs % 1000);
    return t;
}

class BandWidthTest : public ::testing::Test {
protected:
    BandWidthTest() {
        g_nowMs = 1000000500;  // mid-second, so slot edges do not fall on whole seconds
    }
};

// Steps: at time t (ms after the meter was made), add n received bytes, then
// expect the current and average rates.
struct Step {
    std::int64_t atMs;
    std::uint32_t add;
    std::uint32_t current;
    std::uint32_t average;
};

TEST_F(BandWidthTest, RateTable) {
    const struct Scenario {
        const char* name;
        std::vector<Step> steps;
    } scenarios[] = {
        {"a burst read half a second later", {{0, 5000, 1000, 5000}, {500, 0, 1000, 5000}}},
        {"the first second divides by one", {{999, 300, 60, 300}}},
        {"five idle seconds clear the slots", {{0, 5000, 1000, 5000}, {5100, 0, 0, 1000}, {12000, 0, 0, 416}}},
        {"slots of one second each",
         {{0, 1000, 200, 1000}, {1000, 1000, 400, 2000}, {2000, 1000, 600, 1500}, {6000, 0, 200, 500}}},
        {"an early reading does not advance the slot", {{200, 100, 20, 100}, {900, 100, 40, 200}}},
    };
    for (const Scenario& s : scenarios) {
        const std::int64_t start = g_nowMs;
        util::BandWidth meter(&FakeNow);
        std::uint64_t total = 0;
        for (const Step& step : s.steps) {
            g_nowMs = start + step.atMs;
            meter.AddReceived(step.add);
            total += step.add;
            EXPECT_EQ(meter.CurrentReceiveRate(), step.current) << s.name << " at " << step.atMs;
            EXPECT_EQ(meter.AverageReceiveRate(), step.average) << s.name << " at " << step.atMs;
            EXPECT_EQ(meter.ReceivedTotal(), total) << s.name;
        }
        EXPECT_EQ(meter.SentTotal(), 0u) << s.name;
        EXPECT_EQ(meter.CurrentSendRate(), 0u) << s.name;
        g_nowMs = start;
    }
}

// 1.9 s after the last advance the index moves by one slot and the new slot
// starts then: the 0.9 s remainder is dropped.
TEST_F(BandWidthTest, RemainderBelowOneSlotIsDropped) {
    const std::int64_t start = g_nowMs;
    util::BandWidth meter(&FakeNow);
    meter.AddSent(500);
    g_nowMs = start + 1900;
    meter.AddSent(500);  // slot 1, which started at 1.9 s
    g_nowMs = start + 2800;
    EXPECT_EQ(meter.CurrentSendRate(), 200u);  // still slot 1: 0.9 s since 1.9
    g_nowMs = start + 2900;
    meter.AddSent(100);  // slot 2
    g_nowMs = start + 6900;
    EXPECT_EQ(meter.CurrentSendRate(), 20u);   // slots 0 and 1 overwritten: 100 / 5
    EXPECT_EQ(meter.SentTotal(), 1100u);
    EXPECT_EQ(meter.AverageSendRate(), 183u);  // 1100 over 6 whole seconds
}

TEST_F(BandWidthTest, ClockSetBackCountsAsNoTime) {
    const std::int64_t start = g_nowMs;
    util::BandWidth meter(&FakeNow);
    meter.AddReceived(1000);
    g_nowMs = start - 60000;
    meter.AddReceived(1000);
    EXPECT_EQ(meter.CurrentReceiveRate(), 400u);
    EXPECT_EQ(meter.AverageReceiveRate(), 2000u);
}

TEST_F(BandWidthTest, TotalsAreSixtyFourBits) {
    util::BandWidth meter(&FakeNow);
    for (int i = 0; i < 3; ++i)
        meter.AddReceived(0xFFFFFFFFu);
    EXPECT_EQ(meter.ReceivedTotal(), 3ull * 0xFFFFFFFFull);
}

}  // namespace
