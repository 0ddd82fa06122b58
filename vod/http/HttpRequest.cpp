#include "vod/http/HttpRequest.h"

#include <cstring>
#include <limits>
#include <vector>

namespace {

const char kLineEnd[] = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsSpace(char c) { return IsBlank(c) || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Reads a signed decimal number the way "%I64d" does: leading white space,
// an optional sign, at least one digit; saturates instead of overflowing.
// Advances pos past it; false (pos unchanged) when there is no number.
bool ScanInt64(const std::string& text, std::size_t* pos, std::int64_t* value)
{
    std::size_t i = *pos;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digits = i;
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
        ++i;
    }
    if (i == digits)
        return false;
    *pos = i;
    if (negative)
        *value = magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                                    : -static_cast<std::int64_t>(magnitude);
    else
        *value = static_cast<std::int64_t>(magnitude);
    return true;
}

// The rest of the line that starts at pos.
std::string RestOfLine(const std::string& head, std::size_t pos)
{
    const std::size_t end = head.find(kLineEnd, pos);
    return head.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

bool ParseRequestLine(const std::string& head, HttpRequest* request)
{
    const std::string line = RestOfLine(head, 0);
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        const std::size_t begin = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        if (i > begin)
            words.push_back(line.substr(begin, i - begin));
    }
    if (words.size() != 3)
        return false;
    request->method = words[0];
    request->path = words[1];
    request->version = words[2];
    return request->method == "GET" && request->version == "HTTP/1.1";
}

// "Range:" then "bytes=" on the same line; the text after it is read as
// "start-end". A start that is not a number counts as 0. A negative start
// (a suffix range, "bytes=-500") is not served as one: the Range header is
// ignored and the whole file goes out.
void ParseRange(const std::string& head, HttpRequest* request)
{
    const std::size_t range = head.find("Range:");
    if (range == std::string::npos)
        return;
    const std::string line = RestOfLine(head, range);
    const std::size_t bytes = line.find("bytes=");
    if (bytes == std::string::npos)
        return;
    const std::string text = line.substr(bytes + std::strlen("bytes="));
    if (text.empty())
        return;
    std::int64_t start = 0;
    std::size_t pos = 0;
    if (ScanInt64(text, &pos, &start) && pos < text.size() && text[pos] == '-') {
        ++pos;
        ScanInt64(text, &pos, &request->rangeEnd);
    }
    if (start < 0)
        return;
    request->startOffset = static_cast<std::uint64_t>(start);
    request->hasRange = true;
}

void ParseConditional(const std::string& head, HttpRequest* request)
{
    if (head.find("If-Modified-Since:") == std::string::npos)
        return;
    request->notModified = true;
    const char kMatch[] = "If-None-Match:";
    const std::size_t match = head.find(kMatch);
    if (match != std::string::npos)
        request->etag = RestOfLine(head, match + std::strlen(kMatch));
}

// "/<offset>.flv": an offset above 1 replaces a range start. The data then
// follows the re-sent FLV header in a whole-file reply, so the Range header
// no longer applies ("/1.flv" is the play URL's path and starts at 0).
void ParseFlvOffset(HttpRequest* request)
{
    const std::size_t flv = request->path.find(".flv");
    if (flv == std::string::npos || flv < 2)
        return;
    const std::string digits = request->path.substr(1, flv - 1);
    std::int64_t value = 0;
    std::size_t pos = 0;
    if (!ScanInt64(digits, &pos, &value) || value <= 1)
        return;
    request->startOffset = static_cast<std::uint64_t>(value);
    request->flvOffset = true;
    request->hasRange = false;
}

}  // namespace

std::size_t FindRequestEnd(const char* data, std::size_t size)
{
    static const char kHeadEnd[] = "\r\n\r\n";
    for (std::size_t i = 0; i + 4 <= size; ++i) {
        if (std::memcmp(data + i, kHeadEnd, 4) == 0)
            return i + 4;
    }
    return 0;
}

bool ParseHttpRequest(const std::string& head, HttpRequest* request)
{
    *request = HttpRequest();
    if (!ParseRequestLine(head, request))
        return false;
    ParseRange(head, request);
    ParseConditional(head, request);
    ParseFlvOffset(request);
    return true;
}
