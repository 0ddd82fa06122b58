#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vod/http/HttpRequest.h"

// Which reply a request for the video gets.
enum class ReplyKind {
    NotModified,    // 304, no data
    Unsatisfiable,  // 416: the data would start at or beyond the end; no data
    Partial,        // 206 from the range start
    Whole,          // 200 from the start offset
};

struct HttpReply {
    ReplyKind kind;
    std::string header;
};

// "%a, %d %b %Y %H:%M:%S GMT" of `seconds` since 1970 in UTC with English
// names, whatever the locale. 64-bit seconds: the i686 runtime's time_t is
// 32 bits and would wrap in 2038.
std::string FormatHttpDate(std::int64_t seconds);

// The reply header for a request for a video of `size` bytes. With the
// request's FLV-offset flag the caller sends the captured FLV header
// (flvHeaderLength bytes) right after it, whichever reply it is.
HttpReply BuildReply(const HttpRequest& request, std::uint64_t size, std::size_t flvHeaderLength,
                     const std::string& date);

// The whole reply to "/crossdomain.xml": Flash's cross-domain policy.
const std::string& CrossDomainReply();
