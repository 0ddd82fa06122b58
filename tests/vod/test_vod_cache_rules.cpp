#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vod/CacheRules.h"

TEST(CacheRules, DriveSearch) {
    const std::uint64_t gig = 1ull << 30;
    struct Case {
        const char* name;
        std::vector<CacheDrive> drives;
        std::wstring configured;
        std::wstring folder;
    } cases[] = {
        {"first drive holding the folder wins over free space and the setting",
         {{L"C:\\", false, 9 * gig}, {L"D:\\", true, 0}}, L"E:\\mine", L"D:\\RODar_Azizo"},
        {"configured folder is kept when no drive holds one",
         {{L"C:\\", false, 9 * gig}}, L"E:\\mine", L"E:\\mine"},
        {"most free space", {{L"C:\\", false, 1 * gig}, {L"D:\\", false, 5 * gig},
                             {L"E:\\", false, 2 * gig}}, L"", L"D:\\RODar_Azizo"},
        {"the first of equals", {{L"C:\\", false, 5 * gig}, {L"D:\\", false, 5 * gig}}, L"",
         L"C:\\RODar_Azizo"},
        {"no free space anywhere", {{L"D:\\", false, 0}}, L"", L"c:\\RODar_Azizo"},
        {"no fixed drive", {}, L"", L"c:\\RODar_Azizo"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseCacheFolder(c.drives, c.configured), c.folder) << c.name;
}

TEST(CacheRules, FullByFreeSpaceOrSizeLimit) {
    const std::uint64_t mib = 1048576;
    struct Case {
        std::uint64_t freeBytes, limit, total;
        bool full;
    } cases[] = {
        {200 * mib, 0, 0, true},             // 200 MiB free: full whatever the setting
        {200 * mib, 2048 * mib, 0, true},
        {300 * mib, 2048 * mib, 0, true},    // the floor itself counts as full
        {300 * mib + 1, 2048 * mib, 0, false},
        {10000 * mib, 500 * mib, 500 * mib, false},
        {10000 * mib, 500 * mib, 500 * mib + 1, true},
        {10000 * mib, 0, 5000 * mib, false}, // no limit
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsCacheFull(c.freeBytes, c.limit, c.total), c.full)
            << c.freeBytes << " " << c.limit << " " << c.total;
}
