#pragma once

// The control's rules on page texts and engine figures, apart from any
// window so they build natively and can be fuzzed: the content query
// ("Action"), the NAT server and port range texts, the referrer, and the
// figures shown while buffering and playing. Windows-free.

#include <cstdint>
#include <string>

namespace control_rules {

enum CoreKind { CORE_VOD = 0, CORE_LIVE = 1, CORE_NONE = 2 };

// The first "key=" anywhere in the query (a plain substring search, so
// "xcid=" also answers "cid"); the value runs to the next '&' or the end.
bool GetQueryValue(const std::wstring& query, const std::wstring& key, std::wstring& value);

struct Action {
    CoreKind kind = CORE_NONE;
    std::int64_t cid = 0;
    std::wstring hash;  // VOD
    std::wstring mime;  // VOD
    std::int64_t size = 0;
    std::uint32_t bitRate = 0;
};
// kind is set from "type" ("vod" or missing, "live"; else CORE_NONE) even
// when the answer is false: a known type and every key it needs ("cid";
// for VOD also "hash" and "mime").
bool ParseAction(const std::wstring& query, Action& action);

const char kDefaultNatHost[] = "nat.invalid";
const std::uint16_t kDefaultNatPort = 3501;
// "host:port"; an empty host or a port of 0 take the defaults.
void ParseNat(const std::string& nat, std::string& host, std::uint16_t& port);

// "low:high"; empty means "5000:6000", and a missing number keeps its default.
void ParsePortRange(const std::wstring& range, int& low, int& high);

// The top page's address as the engine reports it: lower case, and a local
// file as "http://localhost".
std::wstring ReferrerOf(const std::wstring& pageUrl);

// "%.2f" of the amount in G, M, K (powers of 1024) or bytes, then the unit
// (" G", " M", " K", " ").
std::wstring FormatBytes(std::uint64_t bytes);

// Bytes held contiguously from the play start per block of the block map.
const std::uint64_t kPrebufferBlockBytes = 36864;
// Per cent of the pre-buffer held: the contiguous blocks against bit rate x
// seconds / 8 (at least 1 byte), in 64 bits so a large file never wraps.
// While a buffer advertisement runs (adRunning, ticks below seconds) the
// advertisement's own progress counts instead.
std::uint64_t PrebufferPercent(std::uint32_t bitRate, std::uint32_t seconds,
                               std::uint32_t contiguousBlocks, std::uint32_t ticks,
                               bool adRunning);

// Network-level icon 0-3 from the download rate (bytes per second): against
// the video's bit rate (1,000,000 when unknown but the size is known; with
// neither the level is 0), or against 400 kbit/s for a live channel.
int VodNetworkLevel(int downloadRate, std::uint32_t bitRate, std::int64_t size);
int LiveNetworkLevel(int downloadRate);

// The downloaded part of the video in per mille, within 0-1000.
int DownloadedMark(double fraction);

}  // namespace control_rules
