// The send tick's credit against a clock the test moves: a tick credits the
// time that really passed, bounded, and keeps what found nothing to send.
#include "service/SendPacer.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

const std::int64_t kMs = 1000;

// Pieces one tick at `nowUs` sends when `ready` pieces are waiting.
int Send(SendPacer& pacer, std::int64_t nowUs, int ready) {
    pacer.Tick(nowUs);
    int sent = 0;
    while (sent < ready && pacer.Due()) {
        pacer.Spend();
        ++sent;
    }
    return sent;
}

struct Step {
    std::int64_t atMs;
    int ready;
    int sent;
};

struct Case {
    const char* name;
    float periodMs;
    std::vector<Step> ticks;
};

TEST(SendPacer, EachTickSendsWhatTheTimeSinceTheLastOnePays) {
    const int most = SendPacer::kMaxPieces;
    const Case cases[] = {
        {"on time", 8.0f, {{8, 9, 1}, {16, 9, 1}, {24, 9, 1}}},
        {"late ticks of three periods", 8.0f, {{24, 9, 3}, {48, 9, 3}, {72, 9, 3}}},
        {"a fraction carries to the next tick", 8.0f, {{12, 9, 1}, {24, 9, 2}}},
        {"below the 1 ms floor", 0.5f, {{1, 9, 2}, {4, 9, 6}}},
        {"a stall of 10 s", 8.0f, {{10000, 100, most}, {10008, 100, 1}}},
        {"a stall at the floor", 0.5f, {{10000, 100, most}}},
        {"credit kept while nothing was ready", 8.0f, {{8, 0, 0}, {16, 0, 0}, {24, 9, 3}}},
        {"kept credit is bounded too", 8.0f, {{8, 0, 0}, {5000, 0, 0}, {5008, 100, most}}},
        {"what was not spent stays", 8.0f, {{24, 1, 1}, {32, 9, 3}}},
        {"a clock that went back", 8.0f, {{16, 9, 2}, {8, 9, 0}, {16, 9, 1}}},
    };
    for (const Case& c : cases) {
        SendPacer pacer;
        pacer.SetPeriod(c.periodMs);
        pacer.Start(1000 * kMs);
        for (std::size_t i = 0; i < c.ticks.size(); ++i) {
            const Step& t = c.ticks[i];
            EXPECT_EQ(Send(pacer, (1000 + t.atMs) * kMs, t.ready), t.sent)
                << c.name << ", tick " << i;
        }
    }
}

TEST(SendPacer, ANewPeriodDropsTheCredit) {
    SendPacer pacer;
    pacer.SetPeriod(8.0f);
    pacer.Start(0);
    EXPECT_EQ(Send(pacer, 40 * kMs, 0), 0);
    pacer.SetPeriod(4.0f);
    EXPECT_EQ(Send(pacer, 44 * kMs, 9), 1);
}

TEST(SendPacer, TicksAnswerTheRealElapsedTimeInWholeMilliseconds) {
    SendPacer pacer;
    pacer.SetPeriod(1.0f);
    pacer.Start(0);
    int total = 0;
    for (std::int64_t us = 1500; us <= 6000; us += 1500)
        total += pacer.Tick(us);
    EXPECT_EQ(total, 6);
    // Unbounded, unlike the credit: the rate window counts a stall in full.
    EXPECT_EQ(pacer.Tick(6000 + 10000 * kMs), 10000);
}

}  // namespace
