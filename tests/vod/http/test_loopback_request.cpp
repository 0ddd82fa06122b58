// The loopback server's request parser and reply header, Windows-free.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "vod/http/HttpReply.h"
#include "vod/http/HttpRequest.h"

namespace {

TEST(HttpRequestTest, FindRequestEnd)
{
    EXPECT_EQ(0u, FindRequestEnd("", 0));
    EXPECT_EQ(0u, FindRequestEnd("GET / HTTP/1.1\r\n\r", 17));
    EXPECT_EQ(18u, FindRequestEnd("GET / HTTP/1.1\r\n\r\nrest", 22));
    EXPECT_EQ(4u, FindRequestEnd("\r\n\r\n\r\n\r\n", 8));
}

TEST(HttpRequestTest, RequestLineMustBeGetAndHttp11)
{
    struct Case {
        const char* head;
        bool accepted;
    };
    const Case cases[] = {
        {"GET /1.flv HTTP/1.1\r\n\r\n", true},
        {"GET  \t/1.flv   HTTP/1.1\r\n\r\n", true},
        {"POST /1.flv HTTP/1.1\r\n\r\n", false},
        {"HEAD /1.flv HTTP/1.1\r\n\r\n", false},
        {"get /1.flv HTTP/1.1\r\n\r\n", false},
        {"GET /1.flv HTTP/1.0\r\n\r\n", false},
        {"GET /1.flv http/1.1\r\n\r\n", false},
        {"GET /1.flv\r\n\r\n", false},
        {"GET /1.flv HTTP/1.1 x\r\n\r\n", false},
        // The three words must stand on the request line.
        {"GET\r\n/1.flv HTTP/1.1\r\n\r\n", false},
        {"\r\n\r\n", false},
        {"", false},
    };
    for (const Case& c : cases) {
        HttpRequest request;
        EXPECT_EQ(c.accepted, ParseHttpRequest(c.head, &request)) << c.head;
    }
    HttpRequest request;
    ASSERT_TRUE(ParseHttpRequest("GET /a/b.flv?x=1 HTTP/1.1\r\nHost: h\r\n\r\n", &request));
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ("/a/b.flv?x=1", request.path);
    EXPECT_EQ("HTTP/1.1", request.version);
}

TEST(HttpRequestTest, StartOffsetFromRangeAndFlvPath)
{
    struct Case {
        const char* path;
        const char* headers;
        bool hasRange;
        bool flvOffset;
        std::uint64_t start;
        std::int64_t rangeEnd;
    };
    const Case cases[] = {
        {"/1.flv", "", false, false, 0, 0},
        {"/1.flv", "Range: bytes=1000-2000\r\n", true, false, 1000, 2000},
        {"/1.flv", "Range: bytes=1000-\r\n", true, false, 1000, 0},
        // As "%I64d-%I64d" reads it: blanks before a number, none before '-'.
        {"/1.flv", "Range: bytes= 7- 9\r\n", true, false, 7, 9},
        {"/1.flv", "Range: bytes=7 -9\r\n", true, false, 7, 0},
        // Not a number: the range starts at 0.
        {"/1.flv", "Range: bytes=abc\r\n", true, false, 0, 0},
        {"/1.flv", "Range: bytes=\r\n", false, false, 0, 0},
        // A suffix range is not served as one.
        {"/1.flv", "Range: bytes=-500\r\n", false, false, 0, 0},
        {"/1.flv", "Range: items=5-\r\n", false, false, 0, 0},
        // "bytes=" belongs to the Range line only.
        {"/1.flv", "Range: x\r\nX-Other: bytes=5-\r\n", false, false, 0, 0},
        {"/1.flv", "Range: bytes=99999999999999999999999-\r\n", true, false, INT64_MAX, 0},
        {"/524288.flv", "", false, true, 524288, 0},
        {"/524288.flv", "Range: bytes=1000-\r\n", false, true, 524288, 0},
        {"/2.flv", "", false, true, 2, 0},
        {"/0.flv", "", false, false, 0, 0},
        {"/-7.flv", "", false, false, 0, 0},
        {"/abc.flv", "", false, false, 0, 0},
        {"/.flv", "", false, false, 0, 0},
        {"/12abc.flv", "", false, true, 12, 0},
        {"/99999999999999999999999.flv", "", false, true, INT64_MAX, 0},
        {"/5000.mp4", "Range: bytes=10-\r\n", true, false, 10, 0},
    };
    for (const Case& c : cases) {
        HttpRequest request;
        const std::string head =
            std::string("GET ") + c.path + " HTTP/1.1\r\n" + c.headers + "\r\n";
        ASSERT_TRUE(ParseHttpRequest(head, &request)) << head;
        EXPECT_EQ(c.hasRange, request.hasRange) << head;
        EXPECT_EQ(c.flvOffset, request.flvOffset) << head;
        EXPECT_EQ(c.start, request.startOffset) << head;
        EXPECT_EQ(c.rangeEnd, request.rangeEnd) << head;
    }
}

TEST(HttpRequestTest, ConditionalHeaders)
{
    HttpRequest request;
    ASSERT_TRUE(ParseHttpRequest("GET /1.flv HTTP/1.1\r\nIf-None-Match: \"e1\"\r\n\r\n", &request));
    EXPECT_FALSE(request.notModified);
    EXPECT_EQ("", request.etag);

    ASSERT_TRUE(ParseHttpRequest("GET /1.flv HTTP/1.1\r\nIf-None-Match: \"e1\"\r\n"
                                 "If-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT\r\n\r\n",
                                 &request));
    EXPECT_TRUE(request.notModified);
    EXPECT_EQ(" \"e1\"", request.etag);
}

TEST(HttpReplyTest, FormatHttpDate)
{
    EXPECT_EQ("Thu, 01 Jan 1970 00:00:00 GMT", FormatHttpDate(0));
    EXPECT_EQ("Tue, 29 Feb 2000 00:00:00 GMT", FormatHttpDate(951782400));
    EXPECT_EQ("Tue, 14 Nov 2023 22:13:20 GMT", FormatHttpDate(1700000000));
    EXPECT_EQ("Thu, 31 Dec 2099 23:59:59 GMT", FormatHttpDate(4102444799LL));
    EXPECT_EQ("Wed, 31 Dec 1969 23:59:59 GMT", FormatHttpDate(-1));
    // Past the ends of signed and unsigned 32-bit seconds, and 2100, which
    // is no leap year.
    const struct {
        std::int64_t seconds;
        const char* date;
    } kPast32Bits[] = {
        {2147483648LL, "Tue, 19 Jan 2038 03:14:08 GMT"},
        {4107542400LL, "Mon, 01 Mar 2100 00:00:00 GMT"},
        {4294967296LL, "Sun, 07 Feb 2106 06:28:16 GMT"},
    };
    for (const auto& row : kPast32Bits)
        EXPECT_EQ(row.date, FormatHttpDate(row.seconds)) << row.seconds;
}

HttpRequest Request(const std::string& path, const std::string& headers = "")
{
    HttpRequest request;
    EXPECT_TRUE(ParseHttpRequest("GET " + path + " HTTP/1.1\r\n" + headers + "\r\n", &request));
    return request;
}

std::string HeaderValue(const std::string& header, const std::string& name)
{
    const std::size_t at = header.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "<none>";
    const std::size_t begin = at + name.size() + 4;
    return header.substr(begin, header.find("\r\n", begin) - begin);
}

TEST(HttpReplyTest, KindAndLengths)
{
    struct Case {
        const char* path;
        const char* headers;
        std::uint64_t size;
        std::size_t flvHeader;
        ReplyKind kind;
        const char* contentLength;
        const char* contentRange;
    };
    const Case cases[] = {
        {"/1.flv", "", 1000, 13, ReplyKind::Whole, "1000", "<none>"},
        {"/1.flv", "", 0, 0, ReplyKind::Whole, "0", "<none>"},
        {"/1.flv", "Range: bytes=999-\r\n", 1000, 0, ReplyKind::Partial, "1", "bytes 999-999/1000"},
        {"/1.flv", "Range: bytes=1000-\r\n", 1000, 0, ReplyKind::Unsatisfiable, "0",
         "bytes */1000"},
        {"/1.flv", "Range: bytes=0-\r\n", 0, 0, ReplyKind::Unsatisfiable, "0", "bytes */0"},
        {"/400.flv", "", 1000, 13, ReplyKind::Whole, "613", "<none>"},
        {"/400.flv", "", 1000, 0, ReplyKind::Whole, "600", "<none>"},
        {"/999.flv", "", 1000, 13, ReplyKind::Whole, "14", "<none>"},
        {"/1000.flv", "", 1000, 13, ReplyKind::Unsatisfiable, "0", "bytes */1000"},
        // 304 comes first, whatever the range.
        {"/1.flv", "Range: bytes=5000-\r\nIf-Modified-Since: x\r\n", 1000, 0,
         ReplyKind::NotModified, "<none>", "<none>"},
    };
    for (const Case& c : cases) {
        const HttpReply reply =
            BuildReply(Request(c.path, c.headers), c.size, c.flvHeader, "<date>");
        const std::string label = std::string(c.path) + " " + c.headers;
        EXPECT_EQ(static_cast<int>(c.kind), static_cast<int>(reply.kind)) << label;
        EXPECT_EQ(c.contentLength, HeaderValue(reply.header, "Content-Length")) << label;
        EXPECT_EQ(c.contentRange, HeaderValue(reply.header, "Content-Range")) << label;
        EXPECT_EQ("\r\n\r\n", reply.header.substr(reply.header.size() - 4)) << label;
    }
}

TEST(HttpReplyTest, CrossDomainReplyIsExact)
{
    EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Length: 102\r\n\r\n"
              "<?xml version=\"1.0\"?>\r\n<cross-domain-policy>\r\n"
              "<allow-access-from domain=\"*\" />\r\n</cross-domain-policy>",
              CrossDomainReply());
}

}  // namespace
