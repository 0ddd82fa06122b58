#include "control/ControlRules.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>

namespace control_rules {

namespace {

std::int64_t Decimal64(const std::wstring& text)
{
    return static_cast<std::int64_t>(std::wcstoll(text.c_str(), nullptr, 10));
}

// Level of rate x 8 against the bit rate: 3 from 100 %, 2 from 80 %, 1 from
// 40 %. In integers: the i686 build's x87 arithmetic would put a rate of
// exactly 80 % a hair below 0.8.
int LevelOf(int rate, std::uint32_t bitRate)
{
    if (rate <= 0 || bitRate == 0)
        return 0;
    const std::uint64_t bits = static_cast<std::uint64_t>(rate) * 8 * 10;
    if (bits >= static_cast<std::uint64_t>(bitRate) * 10)
        return 3;
    if (bits >= static_cast<std::uint64_t>(bitRate) * 8)
        return 2;
    if (bits >= static_cast<std::uint64_t>(bitRate) * 4)
        return 1;
    return 0;
}

}  // namespace

bool GetQueryValue(const std::wstring& query, const std::wstring& key, std::wstring& value)
{
    const std::size_t at = query.find(key + L"=");
    if (at == std::wstring::npos)
        return false;
    const std::size_t begin = at + key.size() + 1;
    const std::size_t end = query.find(L'&', begin);
    value = query.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin);
    return true;
}

bool ParseAction(const std::wstring& query, Action& action)
{
    std::wstring type;
    if (!GetQueryValue(query, L"type", type) || type == L"vod")
        action.kind = CORE_VOD;
    else if (type == L"live")
        action.kind = CORE_LIVE;
    else {
        action.kind = CORE_NONE;
        return false;
    }
    std::wstring value;
    if (!GetQueryValue(query, L"cid", value))
        return false;
    action.cid = Decimal64(value);
    if (action.kind == CORE_LIVE)
        return true;
    if (!GetQueryValue(query, L"hash", action.hash) || !GetQueryValue(query, L"mime", action.mime))
        return false;
    action.size = GetQueryValue(query, L"size", value) ? Decimal64(value) : 0;
    action.bitRate =
        GetQueryValue(query, L"bitrate", value) ? static_cast<std::uint32_t>(Decimal64(value)) : 0;
    return true;
}

void ParseNat(const std::string& nat, std::string& host, std::uint16_t& port)
{
    host.clear();
    port = 0;
    const std::size_t colon = nat.find(':');
    if (colon != std::string::npos) {
        host = nat.substr(0, colon);
        port = static_cast<std::uint16_t>(std::atoi(nat.c_str() + colon + 1));
    }
    if (host.empty())
        host = kDefaultNatHost;
    if (port == 0)
        port = kDefaultNatPort;
}

void ParsePortRange(const std::wstring& range, int& low, int& high)
{
    low = 5000;
    high = 6000;
    const std::wstring text = range.empty() ? L"5000:6000" : range;
    std::swscanf(text.c_str(), L"%d:%d", &low, &high);
}

std::wstring ReferrerOf(const std::wstring& pageUrl)
{
    std::wstring lower = pageUrl;
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    if (lower.compare(0, 7, L"file://") == 0)
        return L"http://localhost";
    return lower;
}

std::wstring FormatBytes(std::uint64_t bytes)
{
    const double n = static_cast<double>(bytes);
    double shown = n;
    const wchar_t* unit = L" ";
    if (bytes >= (1ull << 30)) {
        shown = n / static_cast<double>(1ull << 30);
        unit = L" G";
    } else if (bytes >= (1ull << 20)) {
        shown = n / static_cast<double>(1ull << 20);
        unit = L" M";
    } else if (bytes >= 1024) {
        shown = n / 1024.0;
        unit = L" K";
    }
    wchar_t text[64];
    std::swprintf(text, sizeof text / sizeof text[0], L"%.2f%ls", shown, unit);
    return text;
}

std::uint64_t PrebufferPercent(std::uint32_t bitRate, std::uint32_t seconds,
                               std::uint32_t contiguousBlocks, std::uint32_t ticks,
                               bool adRunning)
{
    if (adRunning && seconds > 0 && ticks < seconds)
        return static_cast<std::uint64_t>(ticks) * 100 / seconds;
    std::uint32_t needed = bitRate * seconds / 8;  // 32 bits, as the engine counts it
    if (needed == 0)
        needed = 1;
    const std::uint64_t held = static_cast<std::uint64_t>(contiguousBlocks) * kPrebufferBlockBytes;
    return held * 100 / needed;
}

int VodNetworkLevel(int downloadRate, std::uint32_t bitRate, std::int64_t size)
{
    std::uint32_t rate = bitRate;
    if (rate == 0 && size > 0)
        rate = 1000000;
    return LevelOf(downloadRate, rate);
}

int LiveNetworkLevel(int downloadRate)
{
    return LevelOf(downloadRate, 400000);
}

int DownloadedMark(double fraction)
{
    const double mark = fraction * 1000.0;
    if (!(mark > 0.0))
        return 0;
    if (mark > 1000.0)
        return 1000;
    return static_cast<int>(mark);
}

}  // namespace control_rules
