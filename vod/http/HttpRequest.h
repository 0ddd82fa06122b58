#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the loopback server takes from one request: the request line and four
// headers ("Range:", "If-Modified-Since:", "If-None-Match:" and the byte
// offset of an ".flv" path). Everything else in the request is ignored.
struct HttpRequest {
    std::string method;
    std::string path;
    std::string version;
    // Text after "If-None-Match:" up to the line end, leading blank kept.
    std::string etag;
    // Where the data starts: the range start or the ".flv" path's offset.
    std::uint64_t startOffset = 0;
    // Parsed and not used: a range always runs to the end of the file.
    std::int64_t rangeEnd = 0;
    bool hasRange = false;
    bool notModified = false;
    bool flvOffset = false;
};

// The most bytes a request head may take; a client that sends more without
// ending its head is dropped.
const std::size_t kMaxRequestBytes = 16384;

// Length of the request head (through the first empty line), or 0 while the
// bytes do not hold a whole head yet.
std::size_t FindRequestEnd(const char* data, std::size_t size);

// Parses a request head. False for what the server closes without a reply:
// a request line that is not three blank-separated words, a method other
// than "GET" or a version other than "HTTP/1.1" (both exact).
bool ParseHttpRequest(const std::string& head, HttpRequest* request);
