// The loopback server end to end: a Winsock client on 127.0.0.1 against
// HttpServer over a test reader host that answers on its own window thread,
// as the engine does.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "FileReaderHost.h"
#include "LoopbackClient.h"
#include "vod/http/HttpServer.h"

namespace {

const std::size_t kSize = 600000;
const DWORD kWaitMs = 10000;

// An FLV file header, then bytes that differ at every offset a test looks at.
std::string MakeVideo()
{
    std::string bytes("FLV\x01\x05\x00\x00\x00\x09", 9);
    std::uint32_t state = 12345;
    while (bytes.size() < kSize) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>(state >> 16);
    }
    return bytes;
}

struct Response {
    std::string head;  // through the empty line, the date replaced by "<date>"
    std::string body;
};

// Splits a reply and checks the form of its date line.
Response Split(const std::string& reply)
{
    Response response;
    const std::size_t end = reply.find("\r\n\r\n");
    if (end == std::string::npos) {
        response.head = reply;
        return response;
    }
    response.head = reply.substr(0, end + 4);
    response.body = reply.substr(end + 4);
    static const std::regex date("Date: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} "
                                 "[0-9]{2}:[0-9]{2}:[0-9]{2} GMT\r\n");
    response.head = std::regex_replace(response.head, date, "Date: <date>\r\n");
    return response;
}

std::string Get(const std::string& path, const std::string& headers = "")
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

std::string WholeHead(std::uint64_t length)
{
    return "HTTP/1.1 200 OK\r\nDate: <date>\r\nServer: Kelo Simple Http Server\r\n"
           "Accept-Ranges: bytes\r\nContent-Length: " +
           std::to_string(length) +
           "\r\nKeep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n"
           "Content-Type: application\r\nCache-Control:no-cache\r\n\r\n";
}

std::string PartialHead(std::uint64_t start)
{
    return "HTTP/1.1 206 Partial Content\r\nDate: <date>\r\nServer: Kelo Simple Http Server\r\n"
           "Accept-Ranges: bytes\r\nContent-Length: " +
           std::to_string(kSize - start) + "\r\nContent-Range: bytes " + std::to_string(start) +
           "-" + std::to_string(kSize - 1) + "/" + std::to_string(kSize) +
           "\r\nKeep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n"
           "Content-Type: application\r\nCache-Control:no-cache\r\n\r\n";
}

const char kUnsatisfiableHead[] =
    "HTTP/1.1 416 Requested Range Not Satisfiable\r\nDate: <date>\r\n"
    "Server: Kelo Simple Http Server\r\nContent-Range: bytes */600000\r\n"
    "Content-Length: 0\r\nConnection: close\r\nCache-Control:no-cache\r\n\r\n";

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    }
    void TearDown() override { WSACleanup(); }
};

class HttpServerTest : public WinsockTest {
protected:
    void SetUp() override
    {
        WinsockTest::SetUp();
        video = MakeVideo();
        host.reset(new FileReaderHost(video));
        ASSERT_TRUE(server.Start(0));
        server.SetReaderHost(host.get());
        port = server.GetPort();
    }
    void TearDown() override
    {
        server.Stop();
        host.reset();
        WinsockTest::TearDown();
    }

    std::string video;
    std::unique_ptr<FileReaderHost> host;
    HttpServer server;
    unsigned short port = 0;
};

TEST_F(HttpServerTest, ListensOnLoopbackOnly)
{
    ASSERT_NE(0, port);
    LoopbackClient loopback;
    EXPECT_TRUE(loopback.Connect(port, "127.0.0.1"));
    LoopbackClient other;
    EXPECT_FALSE(other.Connect(port, "127.0.0.2"));
}

TEST_F(HttpServerTest, WholeFileFromTheStart)
{
    const Response r = Split(Exchange(port, Get("/1.flv")));
    EXPECT_EQ(WholeHead(kSize), r.head);
    EXPECT_TRUE(r.body == video) << "body of " << r.body.size() << " bytes differs";
    EXPECT_EQ(std::vector<std::uint64_t>{0}, host->Opens());
}

TEST_F(HttpServerTest, OffsetPathResendsTheCapturedFlvHeader)
{
    ASSERT_EQ(kSize, Split(Exchange(port, Get("/1.flv"))).body.size());

    const Response r = Split(Exchange(port, Get("/524288.flv")));
    EXPECT_EQ(WholeHead(kSize + 13 - 524288), r.head);
    const std::string expected =
        video.substr(0, 9) + std::string(4, '\0') + video.substr(524288);
    EXPECT_TRUE(r.body == expected) << "body of " << r.body.size() << " bytes differs";
    EXPECT_EQ((std::vector<std::uint64_t>{0, 524288}), host->Opens());
}

TEST_F(HttpServerTest, OffsetPathBeforeAnyCaptureSendsOnlyTheData)
{
    const Response r = Split(Exchange(port, Get("/524288.flv", "Range: bytes=1000-\r\n")));
    EXPECT_EQ(WholeHead(kSize - 524288), r.head);
    EXPECT_TRUE(r.body == video.substr(524288));
}

TEST_F(HttpServerTest, RangeRunsToTheEndWhateverItsEnd)
{
    struct Case {
        const char* header;
        std::uint64_t start;
    };
    const Case cases[] = {
        {"Range: bytes=1000-2000\r\n", 1000},
        {"Range: bytes=1000-\r\n", 1000},
        {"Range: bytes=0-\r\n", 0},
        {"Range: bytes=599999-\r\n", 599999},
    };
    for (const Case& c : cases) {
        const Response r = Split(Exchange(port, Get("/1.flv", c.header)));
        EXPECT_EQ(PartialHead(c.start), r.head) << c.header;
        EXPECT_TRUE(r.body == video.substr(c.start)) << c.header;
    }
}

TEST_F(HttpServerTest, SuffixRangeIsIgnored)
{
    const Response r = Split(Exchange(port, Get("/1.flv", "Range: bytes=-500\r\n")));
    EXPECT_EQ(WholeHead(kSize), r.head);
    EXPECT_EQ(kSize, r.body.size());
}

TEST_F(HttpServerTest, StartAtOrBeyondTheEndGets416)
{
    const std::string requests[] = {
        Get("/1.flv", "Range: bytes=600000-\r\n"),
        Get("/1.flv", "Range: bytes=9223372036854775807-\r\n"),
        Get("/600000.flv"),
        Get("/99999999999999999999999.flv"),
    };
    for (const std::string& request : requests) {
        const Response r = Split(Exchange(port, request));
        EXPECT_EQ(kUnsatisfiableHead, r.head) << request;
        EXPECT_EQ("", r.body) << request;
    }
    EXPECT_EQ(kSize, Split(Exchange(port, Get("/1.flv"))).body.size());
}

TEST_F(HttpServerTest, ConditionalRequestGets304EchoingTheEntityTag)
{
    const char kHead[] =
        "HTTP/1.1 304 Not Modified\r\nDate: <date>\r\nServer: Kelo Simple Http Server\r\n"
        "Keep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n";
    Response r = Split(Exchange(port, Get("/1.flv",
                                          "If-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT\r\n"
                                          "If-None-Match: \"abc\"\r\n")));
    EXPECT_EQ(std::string(kHead) + "ETag: \"abc\"\r\nCache-Control:no-cache\r\n\r\n", r.head);
    EXPECT_EQ("", r.body);

    r = Split(Exchange(port, Get("/1.flv", "If-Modified-Since: x\r\n")));
    EXPECT_EQ(std::string(kHead) + "ETag:\r\nCache-Control:no-cache\r\n\r\n", r.head);
    EXPECT_EQ("", r.body);
}

TEST_F(HttpServerTest, CrossDomainPolicy)
{
    EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Length: 102\r\n\r\n"
              "<?xml version=\"1.0\"?>\r\n<cross-domain-policy>\r\n"
              "<allow-access-from domain=\"*\" />\r\n</cross-domain-policy>",
              Exchange(port, Get("/crossdomain.xml")));
    EXPECT_TRUE(host->Opens().empty());
}

TEST_F(HttpServerTest, RefusedRequestsAreClosedWithoutReply)
{
    const std::string requests[] = {
        "POST /1.flv HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
        "GET /1.flv HTTP/1.0\r\n\r\n",
        "get /1.flv HTTP/1.1\r\n\r\n",
        "GET /1.flv\r\n\r\n",
        "GET /1.flv HTTP/1.1 more\r\n\r\n",
        "\r\n\r\n",
        std::string("\x00\xff\x16\x03\x01\r\n\r\n", 9),
        std::string(17000, 'a'),
    };
    for (const std::string& request : requests)
        EXPECT_EQ("", Exchange(port, request)) << request.substr(0, 40);
    // A client that leaves before its head is complete.
    {
        LoopbackClient client;
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.Send("GET /1.flv HTTP/1.1\r\n"));
    }
    EXPECT_TRUE(host->Opens().empty());
    EXPECT_EQ(kSize, Split(Exchange(port, Get("/1.flv"))).body.size());
}

TEST_F(HttpServerTest, NoReaderIsClosedWithoutReply)
{
    host->RefuseOpens(true);
    EXPECT_EQ("", Exchange(port, Get("/1.flv")));
    HttpServer hostless;
    ASSERT_TRUE(hostless.Start(0));
    EXPECT_EQ("", Exchange(hostless.GetPort(), Get("/crossdomain.xml")));
}

TEST_F(HttpServerTest, MissingDataIsWaitedFor)
{
    host->AddHole(100000, 200000);
    LoopbackClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.Send(Get("/1.flv")));
    ASSERT_TRUE(host->WaitForEmptyReads(3, kWaitMs));
    host->FillHoles();
    bool timedOut = false;
    const Response r = Split(client.ReceiveAll(&timedOut));
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(r.body == video) << "body of " << r.body.size() << " bytes differs";
}

TEST_F(HttpServerTest, DataThatEndsEarlyGivesAShortBody)
{
    host->SetEnd(300000);
    bool timedOut = false;
    LoopbackClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.Send(Get("/1.flv")));
    const Response r = Split(client.ReceiveAll(&timedOut));
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(WholeHead(kSize), r.head);
    EXPECT_TRUE(r.body == video.substr(0, 300000)) << r.body.size();
}

// The first read is answered after the reader's 1000 ms time-out: the server
// sees "nothing yet", asks again and still sends every byte once, in order.
TEST_F(HttpServerTest, ReadThatTimesOutIsRetried)
{
    host->DelayReads(1, 1500);
    const Response r = Split(Exchange(port, Get("/1.flv")));
    EXPECT_TRUE(r.body == video) << "body of " << r.body.size() << " bytes differs";
    EXPECT_TRUE(host->WaitForDelayedReadsDone(1, kWaitMs));
}

TEST_F(HttpServerTest, NewClientEndsThePreviousOne)
{
    host->AddHole(300000, kSize);
    LoopbackClient first;
    ASSERT_TRUE(first.Connect(port));
    ASSERT_TRUE(first.Send(Get("/1.flv")));
    ASSERT_TRUE(host->WaitForEmptyReads(1, kWaitMs));

    const std::string policy = Exchange(port, Get("/crossdomain.xml"));
    EXPECT_NE(std::string::npos, policy.find("<cross-domain-policy>"));
    bool timedOut = false;
    const Response r = Split(first.ReceiveAll(&timedOut));
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(r.body == video.substr(0, 300000)) << r.body.size();

    host->FillHoles();
    EXPECT_TRUE(Split(Exchange(port, Get("/1.flv"))).body == video);
}

TEST_F(HttpServerTest, NewClientEndsAnIdleOne)
{
    LoopbackClient idle;
    ASSERT_TRUE(idle.Connect(port));
    EXPECT_TRUE(Split(Exchange(port, Get("/1.flv"))).body == video);
    bool timedOut = false;
    EXPECT_EQ("", idle.ReceiveAll(&timedOut));
    EXPECT_FALSE(timedOut);
}

// A client that takes nothing more leaves the server waiting in a send once
// the socket buffers are full (a few MB on loopback); a new client must still
// end that transfer.
TEST_F(WinsockTest, NewClientEndsAClientThatStoppedReading)
{
    const std::size_t size = 8 << 20;
    FileReaderHost bigHost(std::string(size, 'v'));
    HttpServer bigServer;
    ASSERT_TRUE(bigServer.Start(0));
    bigServer.SetReaderHost(&bigHost);

    LoopbackClient stalled;
    ASSERT_TRUE(stalled.Connect(bigServer.GetPort()));
    ASSERT_TRUE(stalled.Send(Get("/1.flv")));
    // The first read comes once the request is parsed, however busy the
    // machine; then reads come every 10 ms or so while the server can send,
    // and half a second without one means it waits in a send (or has read
    // everything).
    ASSERT_TRUE(bigHost.WaitForReads(1, kWaitMs));
    int reads = bigHost.Reads();
    while (bigHost.WaitForReads(reads + 1, 500))
        reads = bigHost.Reads();

    const std::string policy = Exchange(bigServer.GetPort(), Get("/crossdomain.xml"));
    EXPECT_NE(std::string::npos, policy.find("<cross-domain-policy>"));
    bool timedOut = false;
    const std::string partial = stalled.ReceiveAll(&timedOut);
    EXPECT_FALSE(timedOut);
    EXPECT_LT(partial.size(), size);
    EXPECT_GT(reads, 0);
}

TEST_F(HttpServerTest, StopEndsATransferAndStartServesAgain)
{
    host->AddHole(300000, kSize);
    LoopbackClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.Send(Get("/1.flv")));
    ASSERT_TRUE(host->WaitForEmptyReads(1, kWaitMs));
    server.Stop();
    bool timedOut = false;
    EXPECT_EQ(300000u, Split(client.ReceiveAll(&timedOut)).body.size());
    EXPECT_FALSE(timedOut);

    host->FillHoles();
    ASSERT_TRUE(server.Start(0));
    EXPECT_TRUE(Split(Exchange(server.GetPort(), Get("/1.flv"))).body == video);
}

TEST(HttpServerAlone, SendAllWithoutClientFails)
{
    HttpServer server;
    EXPECT_FALSE(server.SendAll("x", 1));
    EXPECT_EQ(0, server.GetPort());
}

}  // namespace
