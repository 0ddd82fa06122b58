#include <gtest/gtest.h>

#include "players/SeekTarget.h"

namespace {

TEST(SeekTarget, EachKindSeeksInItsOwnUnitRoundedUp)
{
    struct Case {
        const char* what;
        int kind;
        int permille;
        double duration;
        long long target;
    };
    const Case cases[] = {
        {"Real, 60 s clip: milliseconds", 1, 500, 60, 30000},
        {"Real rounds up", 1, 333, 1.5, 500},
        {"Flash: frames", 2, 500, 101, 51},
        {"FLV: seconds", 3, 500, 61, 31},
        {"WMP: seconds", 4, 1000, 60, 60},
        {"DirectShow, 61 s: 100-ns units of whole seconds", 5, 500, 61, 310000000},
        {"DirectShow at the start", 5, 0, 61, 0},
        {"VLC, 60,000 ms input: milliseconds", 6, 500, 60000, 30000},
        {"no duration", 4, 700, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.target, SeekTarget(c.kind, c.permille, c.duration)) << c.what;
}

} // namespace
