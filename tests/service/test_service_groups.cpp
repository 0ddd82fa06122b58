#include <winsock2.h>
#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "service/MainWnd.h"

// Which groups of cached videos the service serves, by their video counts.
TEST(ServiceGroups, AllBelowFourElseTheThreeLargestInListOrder)
{
    struct Case {
        std::vector<std::size_t> counts;
        std::vector<std::size_t> chosen;
    };
    const Case cases[] = {
        {{}, {}},
        {{4}, {0}},
        {{1, 7}, {0, 1}},
        {{9, 1, 5}, {0, 1, 2}},
        {{3, 1, 4, 1, 5}, {0, 2, 4}},
        {{2, 2, 2, 1}, {0, 1, 2}},
        // Among equal counts the later positions win.
        {{2, 2, 2, 2}, {1, 2, 3}},
        {{1, 5, 1, 1, 1}, {1, 3, 4}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMainWnd::ChooseGroups(c.counts), c.chosen) << ::testing::PrintToString(c.counts);
}
