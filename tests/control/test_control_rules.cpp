// The control's text and figure rules, as tables.
#include <gtest/gtest.h>

#include "control/ControlRules.h"

using namespace control_rules;

TEST(ControlRules, ParseActionTakesTheTypeAndTheKeysItNeeds)
{
    const struct {
        const wchar_t* action;
        bool ok;
        CoreKind kind;
        std::int64_t cid;
        const wchar_t* hash;
        const wchar_t* mime;
        std::int64_t size;
        std::uint32_t bitRate;
    } cases[] = {
        {L"type=vod&cid=12&hash=ab&mime=flv&size=5000000000&bitrate=400000", true, CORE_VOD, 12,
         L"ab", L"flv", 5000000000LL, 400000},
        {L"cid=7&hash=h&mime=wmv", true, CORE_VOD, 7, L"h", L"wmv", 0, 0},
        {L"type=live&cid=99", true, CORE_LIVE, 99, L"", L"", 0, 0},
        {L"type=live&cid=-3", true, CORE_LIVE, -3, L"", L"", 0, 0},
        {L"type=LIVE&cid=99", false, CORE_NONE, 0, L"", L"", 0, 0},
        {L"type=&cid=1&hash=h&mime=flv", false, CORE_NONE, 0, L"", L"", 0, 0},
        {L"type=live", false, CORE_LIVE, 0, L"", L"", 0, 0},
        {L"cid=1&mime=flv", false, CORE_VOD, 1, L"", L"", 0, 0},
        {L"cid=1&hash=h", false, CORE_VOD, 1, L"h", L"", 0, 0},
        {L"", false, CORE_VOD, 0, L"", L"", 0, 0},
        // A key is found inside a longer one that ends the same way.
        {L"xcid=5&hash=h&mime=flv", true, CORE_VOD, 5, L"h", L"flv", 0, 0},
        // Values run to the next '&'; an empty one counts as present.
        {L"hash=&mime=&cid=", true, CORE_VOD, 0, L"", L"", 0, 0},
        {L"cid=12abc&hash=h&mime=flv&size=x", true, CORE_VOD, 12, L"h", L"flv", 0, 0},
    };
    for (const auto& c : cases) {
        Action action;
        EXPECT_EQ(ParseAction(c.action, action), c.ok) << c.action;
        EXPECT_EQ(action.kind, c.kind) << c.action;
        if (!c.ok)
            continue;
        EXPECT_EQ(action.cid, c.cid) << c.action;
        EXPECT_EQ(action.hash, c.hash) << c.action;
        EXPECT_EQ(action.mime, c.mime) << c.action;
        EXPECT_EQ(action.size, c.size) << c.action;
        EXPECT_EQ(action.bitRate, c.bitRate) << c.action;
    }
}

TEST(ControlRules, GetQueryValueFindsTheFirstKeyWithItsEqualsSign)
{
    std::wstring value;
    EXPECT_TRUE(GetQueryValue(L"a=1&a=2", L"a", value));
    EXPECT_EQ(value, L"1");
    EXPECT_TRUE(GetQueryValue(L"ab&b=x", L"b", value));
    EXPECT_EQ(value, L"x");
    EXPECT_FALSE(GetQueryValue(L"cid", L"cid", value));
    EXPECT_TRUE(GetQueryValue(L"k=v=w", L"k", value));
    EXPECT_EQ(value, L"v=w");
}

TEST(ControlRules, ParseNatFallsBackToTheDefaultHostAndPort)
{
    const struct {
        const char* nat;
        const char* host;
        std::uint16_t port;
    } cases[] = {
        {"nat.example:4000", "nat.example", 4000},
        {"nat.example", kDefaultNatHost, 3501},
        {":", kDefaultNatHost, 3501},
        {":4000", kDefaultNatHost, 4000},
        {"h:0", "h", 3501},
        {"h:x", "h", 3501},
        {"h:1:2", "h", 1},
        {"", kDefaultNatHost, 3501},
    };
    for (const auto& c : cases) {
        std::string host = "left";
        std::uint16_t port = 9;
        ParseNat(c.nat, host, port);
        EXPECT_EQ(host, c.host) << c.nat;
        EXPECT_EQ(port, c.port) << c.nat;
    }
}

TEST(ControlRules, PortRangeKeepsTheDefaultOfAMissingNumber)
{
    const struct {
        const wchar_t* range;
        int low, high;
    } cases[] = {
        {L"", 5000, 6000},        {L"7000", 7000, 6000}, {L"7000:8000", 7000, 8000},
        {L"x", 5000, 6000},       {L":8000", 5000, 6000}, {L"100:", 100, 6000},
    };
    for (const auto& c : cases) {
        int low = 0, high = 0;
        ParsePortRange(c.range, low, high);
        EXPECT_EQ(low, c.low) << c.range;
        EXPECT_EQ(high, c.high) << c.range;
    }
}

TEST(ControlRules, ReferrerIsTheLowerCasePageOrLocalhostForFiles)
{
    EXPECT_EQ(ReferrerOf(L"FILE:///C:/Page.HTML"), L"http://localhost");
    EXPECT_EQ(ReferrerOf(L"file://host/x"), L"http://localhost");
    EXPECT_EQ(ReferrerOf(L"HTTP://Www.Example.COM/A?B=C"), L"http://www.example.com/a?b=c");
    EXPECT_EQ(ReferrerOf(L"about:blank"), L"about:blank");
    EXPECT_EQ(ReferrerOf(L"file:/x"), L"file:/x");
}

TEST(ControlRules, FormatBytesPicksTheLargestUnitReached)
{
    const struct {
        std::uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {1073741824ull, L"1.00 G"}, {1048576, L"1.00 M"},  {1023, L"1023.00 "},
        {2048, L"2.00 K"},          {1536, L"1.50 K"},     {0, L"0.00 "},
        {1048575, L"1024.00 K"},    {5ull << 40, L"5120.00 G"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatBytes(c.bytes), c.text) << c.bytes;
}

TEST(ControlRules, PrebufferPercentCountsHeldBlocksOrTheBufferAdvertisement)
{
    const struct {
        std::uint32_t bitRate, seconds, blocks, ticks;
        bool ad;
        std::uint64_t percent;
    } cases[] = {
        // 400 kbit/s for 15 s needs 750,000 bytes; 36,864 bytes per block.
        {400000, 15, 0, 2, false, 0},
        {400000, 15, 10, 2, false, 49},
        {400000, 15, 21, 2, false, 103},
        // The advertisement counts for ticks 2 to 9 of 10, even with all data held.
        {400000, 10, 1000, 2, true, 20},
        {400000, 10, 1000, 9, true, 90},
        {400000, 10, 1000, 10, true, 7372},
        {400000, 10, 0, 10, true, 0},
        // Bit rate 0: one byte is needed, so one block ends the wait.
        {0, 15, 0, 2, false, 0},
        {0, 15, 1, 2, false, 3686400},
        // Far more blocks than 32 bits of bytes.
        {8, 1, 200000, 2, false, 200000ull * 36864 * 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrebufferPercent(c.bitRate, c.seconds, c.blocks, c.ticks, c.ad), c.percent)
            << c.bitRate << " " << c.seconds << " " << c.blocks << " " << c.ticks;
}

TEST(ControlRules, NetworkLevelsAndTheDownloadedMark)
{
    const struct {
        int rate;
        std::uint32_t bitRate;
        std::int64_t size;
        int level;
    } vod[] = {
        {50000, 400000, 0, 3}, {40000, 400000, 0, 2}, {39999, 400000, 0, 1},
        {20000, 400000, 0, 1}, {19999, 400000, 0, 0}, {125000, 0, 1000, 3},
        {100000, 0, 1000, 2},  {125000, 0, 0, 0},     {0, 0, 0, 0},
    };
    for (const auto& c : vod)
        EXPECT_EQ(VodNetworkLevel(c.rate, c.bitRate, c.size), c.level) << c.rate << " " << c.bitRate;
    EXPECT_EQ(LiveNetworkLevel(50000), 3);
    EXPECT_EQ(LiveNetworkLevel(49999), 2);
    EXPECT_EQ(LiveNetworkLevel(20000), 1);
    EXPECT_EQ(LiveNetworkLevel(0), 0);

    EXPECT_EQ(DownloadedMark(0.5), 500);
    EXPECT_EQ(DownloadedMark(1.0), 1000);
    EXPECT_EQ(DownloadedMark(1.02), 1000) << "the short last block counted whole";
    EXPECT_EQ(DownloadedMark(-0.1), 0);
    EXPECT_EQ(DownloadedMark(0.0 / 0.0), 0);
}
