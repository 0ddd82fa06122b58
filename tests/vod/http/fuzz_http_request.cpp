// Parses arbitrary bytes as a request head and builds the reply for them:
// nothing may crash, and a reply must never promise data from beyond the end.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vod/http/HttpReply.h"
#include "vod/http/HttpRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > 2 * kMaxRequestBytes)
        return 0;
    // The first two bytes choose the video's size.
    const std::uint64_t videoSize = (static_cast<std::uint64_t>(data[0]) << 8 | data[1]) * 977u;
    const char* text = reinterpret_cast<const char*>(data + 2);
    std::size_t length = size - 2;
    const std::size_t end = FindRequestEnd(text, length);
    if (end != 0)
        length = end;
    HttpRequest request;
    if (!ParseHttpRequest(std::string(text, length), &request))
        return 0;
    if (request.etag.find("\r\n") != std::string::npos)
        std::abort();
    const HttpReply reply = BuildReply(request, videoSize, 13, FormatHttpDate(0));
    const bool sendsData = reply.kind == ReplyKind::Partial || reply.kind == ReplyKind::Whole;
    if (sendsData && request.startOffset != 0 && request.startOffset >= videoSize)
        std::abort();
    if (reply.header.size() < 4 || reply.header.compare(reply.header.size() - 4, 4, "\r\n\r\n") != 0)
        std::abort();
    return 0;
}
