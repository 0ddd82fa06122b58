// wtl_http::CHttpRequest against the HTTP test server (tests/fixtures/http_server.py).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "HttpTestSupport.h"
#include "common/http/WtlHttpRequest.h"

using namespace testsupport;

namespace {

const UINT kDone = WM_APP + 7;
const WPARAM kTag = 77;
// Bound for one request that the server answers at once.
const DWORD kAnswerWait = 10000;

class WtlHttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(FixturePort(), 0) << "run through the http_server fixture";
        ASSERT_EQ(FixtureGet("/_reset").status, 200);
    }

    // Resets, targets the sink, sends asynchronously and waits for the one completion.
    void SendAndWait(const std::string& path, int tries = 1)
    {
        m_request.Reset();
        m_request.SetNotify(m_sink.Handle(), kDone, kTag);
        m_request.SetTries(tries);
        ASSERT_EQ(m_request.SetURL(FixtureUrl(path).c_str()), 1);
        ASSERT_EQ(m_request.Send(1), 1);
        ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait)) << path;
    }

    // After the worker was joined nothing can be posted any more: what is
    // queued now is all there will ever be.
    void ExpectExactlyOneCompletion()
    {
        m_request.Abort();
        m_sink.Drain();
        ASSERT_EQ(m_sink.Messages().size(), 1u);
        EXPECT_EQ(m_sink.Messages()[0].message, kDone);
        EXPECT_EQ(m_sink.Messages()[0].wParam, kTag);
        EXPECT_EQ(m_sink.Messages()[0].lParam, 0);
        EXPECT_FALSE(m_request.IsBusy());
    }

    std::string Text() { return std::string(Narrow(m_request.GetResponseText(CP_UTF8))); }
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    MessageSink m_sink;
    wtl_http::CHttpRequest m_request;
};

} // namespace

TEST(WtlHttpEnvironment, NoProxyReachesWinInet)
{
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY"})
        EXPECT_EQ(std::getenv(name), nullptr) << name;
}

TEST_F(WtlHttpRequestTest, GetReadsTheWholeBodyAndPostsOnce)
{
    SendAndWait("/ok/wtl-get?size=3000");
    EXPECT_EQ(m_request.IsOK(), 1);
    EXPECT_EQ(m_request.GetStatus(), 200);
    EXPECT_EQ(m_request.GetStatusText(), L"OK");
    EXPECT_EQ(Text(), PatternBody(3000));
    EXPECT_EQ(FixtureCount("/ok/wtl-get"), 1);
    ExpectExactlyOneCompletion();
}

// Tries repeat only after a status outside 200 to 299; each Send posts once.
TEST_F(WtlHttpRequestTest, TriesRepeatOnlyAfterAFailingStatus)
{
    struct {
        const char* path;
        int tries;
        int status;
        int requests;
        const char* body;
    } cases[] = {
        {"/error/wtl-tries3", 3, 500, 3, "server failed"},
        {"/notfound/wtl-tries2", 2, 404, 2, "no such page"},
        {"/notfound/wtl-tries1", 1, 404, 1, "no such page"},
        {"/ok/wtl-tries3?size=10", 3, 200, 1, "abcdefghij"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_sink.Clear();
        SendAndWait(c.path, c.tries);
        EXPECT_EQ(m_request.GetStatus(), c.status);
        EXPECT_EQ(m_request.IsOK(), c.status == 200);
        EXPECT_EQ(Text(), c.body);
        std::string path = std::string(c.path).substr(0, std::strcspn(c.path, "?"));
        EXPECT_EQ(FixtureCount(path), c.requests);
        ExpectExactlyOneCompletion();
    }
}

TEST_F(WtlHttpRequestTest, UnreachablePortEndsInOneCompletion)
{
    m_request.SetNotify(m_sink.Handle(), kDone, kTag);
    m_request.SetTries(3);
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/x";
    ASSERT_EQ(m_request.SetURL(url.c_str()), 1);
    ASSERT_EQ(m_request.Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    EXPECT_EQ(m_request.IsOK(), 0);
    EXPECT_EQ(m_request.GetStatus(), 0);
    EXPECT_EQ(Text(), "");
    ExpectExactlyOneCompletion();
}

// The error completion of a failed request sets the abort event; the next
// Send must not inherit it, even without a Reset in between.
TEST_F(WtlHttpRequestTest, AnEarlierErrorDoesNotFailTheNextSend)
{
    m_request.SetNotify(m_sink.Handle(), kDone, kTag);
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/x";
    ASSERT_EQ(m_request.SetURL(url.c_str()), 1);
    ASSERT_EQ(m_request.Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    ASSERT_EQ(m_request.IsOK(), 0);

    ASSERT_EQ(m_request.SetURL(FixtureUrl("/ok/wtl-after-error?size=20").c_str()), 1);
    ASSERT_EQ(m_request.Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(2, kAnswerWait));
    EXPECT_EQ(m_request.IsOK(), 1);
    EXPECT_EQ(Text(), PatternBody(20));
}

TEST_F(WtlHttpRequestTest, EmptyReasonPhraseIsANormalResponse)
{
    SendAndWait("/noreason/wtl");
    EXPECT_EQ(m_request.IsOK(), 1);
    EXPECT_EQ(m_request.GetStatus(), 200);
    EXPECT_EQ(m_request.GetStatusText(), L"");
    EXPECT_EQ(Text(), "no reason");
}

// The server sees the form headers, the body and the path without the query.
TEST_F(WtlHttpRequestTest, PostFormSendsHeadersBodyAndOnlyThePath)
{
    const char body[] = "a=1&b=two";
    std::wstring url = FixtureUrl("/echo/wtl-form?secret=1");
    ASSERT_EQ(m_request.PostForm(url.c_str(), body, 9, m_sink.Handle(), kDone, kTag, 1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    ASSERT_EQ(m_request.IsOK(), 1);
    std::string echo = Text();
    EXPECT_NE(echo.find("method POST\npath /echo/wtl-form\nquery \n"), std::string::npos) << echo;
    EXPECT_NE(echo.find("\nheader Content-Type: application/x-www-form-urlencoded\n"),
              std::string::npos) << echo;
    EXPECT_NE(echo.find("\nheader Content-Length: 9\n"), std::string::npos) << echo;
    EXPECT_EQ(echo.substr(echo.size() - 15), "\nbody\na=1&b=two");
    EXPECT_EQ(m_request.GetURL(), url);
    ExpectExactlyOneCompletion();
}

TEST_F(WtlHttpRequestTest, GetCarriesTheExtraHeaders)
{
    m_request.SetNotify(m_sink.Handle(), kDone, kTag);
    m_request.AddHeader(L"X-Tovra", L"one");
    m_request.AddHeader(L"X-Empty", nullptr);
    ASSERT_EQ(m_request.SetURL(FixtureUrl("/echo/wtl-headers?k=v").c_str()), 1);
    ASSERT_EQ(m_request.Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    std::string echo = Text();
    EXPECT_NE(echo.find("method GET\npath /echo/wtl-headers\nquery k=v\n"), std::string::npos) << echo;
    EXPECT_NE(echo.find("\nheader X-Tovra: one\n"), std::string::npos) << echo;
    EXPECT_NE(echo.find("\nheader X-Empty: \n"), std::string::npos) << echo;
}

TEST_F(WtlHttpRequestTest, UrlsMustBeginWithHttp)
{
    EXPECT_EQ(m_request.SetURL(nullptr), 0);
    EXPECT_EQ(m_request.SetURL(L"ftp://127.0.0.1/x"), 0);
    EXPECT_EQ(m_request.SetURL(L"HTTP://127.0.0.1/x"), 0);
    EXPECT_EQ(m_request.SetURL(L"https://127.0.0.1/x"), 1);
    EXPECT_EQ(m_request.GetURL(), L"https://127.0.0.1/x");
    EXPECT_EQ(m_request.PostForm(L"ftp://127.0.0.1/x", "a", 1, m_sink.Handle(), kDone, kTag, 1), 0);
    m_request.Abort();
    m_sink.Drain();
    EXPECT_TRUE(m_sink.Messages().empty());
}

// A body cut short fails: by the read wait (5 s without a block) or by a
// connection dropped before the announced length. The bytes received stay.
TEST_F(WtlHttpRequestTest, CutBodyFailsAndKeepsTheBytesReceived)
{
    struct {
        const char* path;
        std::size_t kept;
    } cases[] = {
        {"/drop/wtl-drop?before=1500", 1500},
        {"/stall/wtl-stall?before=2048&ms=5600&after=500", 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_sink.Clear();
        SendAndWait(c.path);
        EXPECT_EQ(m_request.IsOK(), 0);
        EXPECT_EQ(m_request.GetStatus(), 200);
        EXPECT_EQ(Text(), PatternBody(c.kept));
        ExpectExactlyOneCompletion();
    }
}

// Abort during a try (the server holds its answer) returns once the worker has
// ended; the owner still gets its completion, and nothing changes while busy.
TEST_F(WtlHttpRequestTest, AbortDuringATryStillCompletesOnce)
{
    struct {
        const char* path;
        const char* counted;
    } cases[] = {
        {"/stall/wtl-abort-head?headers=0&ms=1500", "/stall/wtl-abort-head"},
        {"/stall/wtl-abort-body?before=100&ms=1500&after=100", "/stall/wtl-abort-body"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_sink.Clear();
        m_request.Reset();
        m_request.SetNotify(m_sink.Handle(), kDone, kTag);
        m_request.SetTries(3);
        ASSERT_EQ(m_request.SetURL(FixtureUrl(c.path).c_str()), 1);
        ASSERT_EQ(m_request.Send(1), 1);
        ASSERT_TRUE(FixtureWait(c.counted, 1, 5000));

        EXPECT_TRUE(m_request.IsBusy());
        EXPECT_EQ(m_request.Send(1), 0);
        EXPECT_EQ(m_request.SetURL(FixtureUrl("/ok/other").c_str()), 0);
        EXPECT_EQ(m_request.IsOK(), 0);
        EXPECT_EQ(m_request.GetResponseText(CP_UTF8), L"");

        m_request.Abort();
        EXPECT_FALSE(m_request.IsBusy());
        EXPECT_EQ(m_request.IsOK(), 0);
        EXPECT_EQ(FixtureCount(c.counted), 1);
        ExpectExactlyOneCompletion();
    }
}

// WinInet completes a try's pending call late, after its handle was closed
// (Wine 8 does so when the server answers). Those late calls must not reach
// the next request sent on the same object.
TEST_F(WtlHttpRequestTest, ReuseRightAfterAnAbortIsNotDisturbedByTheOldTry)
{
    m_request.SetNotify(m_sink.Handle(), kDone, kTag);
    ASSERT_EQ(m_request.SetURL(FixtureUrl("/stall/wtl-old?headers=0&ms=3000&after=10").c_str()), 1);
    ASSERT_EQ(m_request.Send(1), 1);
    ASSERT_TRUE(FixtureWait("/stall/wtl-old", 1, 5000));
    m_request.Abort();

    m_sink.Clear();
    m_request.Reset();
    m_request.SetNotify(m_sink.Handle(), kDone, kTag);
    ASSERT_EQ(m_request.SetURL(FixtureUrl("/stall/wtl-new?headers=0&ms=2500&after=30").c_str()), 1);
    ASSERT_EQ(m_request.Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    EXPECT_EQ(m_request.IsOK(), 1);
    EXPECT_EQ(Text(), PatternBody(30));
    ExpectExactlyOneCompletion();
}

// Send(0) runs on the caller's thread, answers IsOK and still posts once.
TEST_F(WtlHttpRequestTest, SynchronousSendAnswersAndPosts)
{
    struct {
        const char* path;
        int result;
        int status;
        std::string text;
    } cases[] = {
        {"/ok/wtl-sync?size=2000", 1, 200, PatternBody(2000)},
        {"/notfound/wtl-sync", 0, 404, "no such page"},
        {"/noreason/wtl-sync", 1, 200, "no reason"},
        {"/drop/wtl-sync?before=1500", 0, 200, PatternBody(1500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_sink.Clear();
        m_request.Reset();
        m_request.SetNotify(m_sink.Handle(), kDone, kTag);
        ASSERT_EQ(m_request.SetURL(FixtureUrl(c.path).c_str()), 1);
        EXPECT_EQ(m_request.Send(0), c.result);
        EXPECT_EQ(m_request.GetStatus(), c.status);
        EXPECT_EQ(Text(), c.text);
        ExpectExactlyOneCompletion();
    }
}

TEST_F(WtlHttpRequestTest, SynchronousPostSendsHeadersBodyAndOnlyThePath)
{
    m_request.AddHeader(L"X-Sync", L"1");
    m_request.SetPostData("x=y", 3);
    ASSERT_EQ(m_request.SetURL(FixtureUrl("/echo/wtl-sync-post?q=1").c_str()), 1);
    ASSERT_EQ(m_request.Send(0), 1);
    std::string echo = Text();
    EXPECT_NE(echo.find("method POST\npath /echo/wtl-sync-post\nquery \n"), std::string::npos) << echo;
    EXPECT_NE(echo.find("\nheader X-Sync: 1\n"), std::string::npos) << echo;
    EXPECT_EQ(echo.substr(echo.size() - 9), "\nbody\nx=y");
}
