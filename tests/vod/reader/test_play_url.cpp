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

TEST(PlayUrlTest, ReaderHostNumbersAreReadBack)
{
    const bool wide = sizeof(std::uintptr_t) == 8;
    struct Case {
        const wchar_t* url;
        bool ok;
        std::uintptr_t number;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"zaror://0x00ab12f0/1.rm", true, 0xab12f0, L"1.rm"},
        {L"zaror://0xAB12F0/1.wmv", true, 0xab12f0, L"1.wmv"},
        {L"zaror://0x1", true, 1, L""},
        {L"zaror://0xffffffff/x", true, 0xffffffffu, L"x"},
        {L"zaror://0x1ffffffff/x", wide, wide ? static_cast<std::uintptr_t>(0x1ffffffffull) : 0, L"x"},
        {L"zaror://0x12345678123456789/x", false, 0, L""},   // more digits than any pointer
        {L"zaror://0x/1.rm", false, 0, L""},
        {L"zaror://0x12g4/1.rm", false, 0, L""},
        {L"zaror://12/1.rm", false, 0, L""},
        {L"ZAROR://0x12/1.rm", false, 0, L""},
        {L"http://0x12/1.rm", false, 0, L""},
        {L"", false, 0, L""},
    };
    for (const Case& c : cases) {
        std::uintptr_t number = 7;
        std::wstring path = L"?";
        ASSERT_EQ(c.ok, vod::ParseReaderHostUrl(c.url, &number, &path)) << c.url;
        if (c.ok) {
            EXPECT_EQ(c.number, number);
            EXPECT_EQ(std::wstring(c.path), path);
        }
    }
    const void* host = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(0x00c0ffee));
    std::uintptr_t number = 0;
    std::wstring path;
    ASSERT_TRUE(vod::ParseReaderHostUrl(vod::FormatPlayUrl(L"rm", host, 0), &number, &path));
    EXPECT_EQ(0x00c0ffeeu, number);
    EXPECT_EQ(L"1.rm", path);
}

}  // namespace
