#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "vod/reader/PlayUrl.h"

namespace {

TEST(PlayUrlTest, LoopbackUrlOnlyForLowerCaseFlv)
{
    const void* host = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x00ab12f0));
    EXPECT_EQ(L"http://127.0.0.1:40123/1.flv", vod::FormatPlayUrl(L"flv", host, 40123));
    EXPECT_EQ(L"http://127.0.0.1:65535/1.flv", vod::FormatPlayUrl(L"flv", host, 65535));
    EXPECT_EQ(L"", vod::FormatPlayUrl(L"flv", host, 0));
    EXPECT_EQ(L"zaror://0x00ab12f0/1.FLV", vod::FormatPlayUrl(L"FLV", host, 40123));
    EXPECT_EQ(L"zaror://0x00ab12f0/1.wmv", vod::FormatPlayUrl(L"wmv", host, 40123));
    EXPECT_EQ(L"zaror://0x00ab12f0/1.", vod::FormatPlayUrl(L"", host, 0));
}

TEST(PlayUrlTest, AddressKeepsEveryDigit)
{
    const void* low = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x10));
    EXPECT_EQ(L"zaror://0x00000010/1.rm", vod::FormatPlayUrl(L"rm", low, 0));
    const std::uintptr_t top = ~static_cast<std::uintptr_t>(0);
    const std::wstring expected =
        sizeof(top) == 4 ? L"zaror://0xffffffff/1.wmv" : L"zaror://0xffffffffffffffff/1.wmv";
    EXPECT_EQ(expected, vod::FormatPlayUrl(L"wmv", reinterpret_cast<const void*>(top), 0));
}

}  // namespace
