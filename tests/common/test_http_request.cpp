// http::CHttpRequest (the engines' tracker requests) against the HTTP test
// server (tests/fixtures/http_server.py), and its byte buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "HttpTestSupport.h"
#include "common/http/HttpBuffer.h"
#include "common/http/HttpRequest.h"

using namespace testsupport;

namespace {

const UINT kDone = WM_APP + 3;
const WPARAM kKind = 5;
const DWORD kAnswerWait = 10000;

class HttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(FixturePort(), 0) << "run through the http_server fixture";
        ASSERT_EQ(FixtureGet("/_reset").status, 200);
    }

    // A heap request aimed at the sink, carrying itself in lParam as the engines do.
    std::unique_ptr<http::CHttpRequest> NewRequest(const std::string& path)
    {
        std::unique_ptr<http::CHttpRequest> request(new http::CHttpRequest);
        request->SetNotify(m_sink.Handle(), kDone, kKind, reinterpret_cast<LPARAM>(request.get()));
        EXPECT_EQ(request->SetURL(FixtureUrl(path).c_str()), 1);
        return request;
    }

    // The one completion of request, as an engine's handler receives it.
    void ExpectOneCompletionOf(http::CHttpRequest& request)
    {
        request.Stop();   // joins the worker: nothing can be posted after it
        m_sink.Drain();
        ASSERT_EQ(m_sink.Messages().size(), 1u);
        EXPECT_EQ(m_sink.Messages()[0].message, kDone);
        EXPECT_EQ(m_sink.Messages()[0].wParam, kKind);
        EXPECT_EQ(m_sink.Messages()[0].lParam, reinterpret_cast<LPARAM>(&request));
        EXPECT_FALSE(request.IsBusy());
    }

    static std::string Text(http::CHttpRequest& request)
    {
        std::wstring text = request.GetResponseText(CP_UTF8);
        return std::string(text.begin(), text.end());
    }

    MessageSink m_sink;
};

} // namespace

TEST(HttpBuffer, GrowsInStepsOf1024AndDecodes)
{
    http::CBuffer buffer;
    EXPECT_EQ(buffer.Capacity(), 0u);
    ASSERT_TRUE(buffer.Append("x", 1));
    EXPECT_EQ(buffer.Capacity(), 1024u);
    std::string block(1023, 'y');
    ASSERT_TRUE(buffer.Append(block.data(), block.size()));
    EXPECT_EQ(buffer.Capacity(), 1024u);
    ASSERT_TRUE(buffer.Append("z", 1));
    EXPECT_EQ(buffer.Size(), 1025u);
    EXPECT_EQ(buffer.Capacity(), 2048u);
    ASSERT_TRUE(buffer.Reserve(3000));
    EXPECT_EQ(buffer.Capacity(), 4096u);

    http::CBuffer utf8;
    const char text[] = "a\xC3\xA9\xE4\xB8\xAD";   // a, e acute, U+4E2D
    ASSERT_TRUE(utf8.Append(text, std::strlen(text)));
    EXPECT_EQ(utf8.ToString(100, CP_UTF8), L"a\u00E9\u4E2D");
    EXPECT_EQ(utf8.ToString(3, CP_UTF8), L"a\u00E9");
    EXPECT_EQ(utf8.ToString(0, CP_UTF8), L"");
}

// The engine's handler reads the request named by lParam and deletes it.
TEST_F(HttpRequestTest, GetPostsItselfAndIsDeletedByTheReceiver)
{
    http::CHttpRequest* request = NewRequest("/ok/eng-get?size=2500").release();
    ASSERT_EQ(request->Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    ASSERT_EQ(m_sink.Messages()[0].lParam, reinterpret_cast<LPARAM>(request));
    auto* received = reinterpret_cast<http::CHttpRequest*>(m_sink.Messages()[0].lParam);
    EXPECT_FALSE(received->IsBusy());
    EXPECT_EQ(received->IsOK(), 1);
    EXPECT_EQ(received->GetStatus(), 200);
    EXPECT_EQ(received->GetStatusText(), L"OK");
    EXPECT_EQ(Text(*received), PatternBody(2500));
    delete received;
    EXPECT_EQ(FixtureCount("/ok/eng-get"), 1);
}

TEST_F(HttpRequestTest, EveryStatusIsDeliveredWithItsBody)
{
    struct {
        const char* path;
        int ok;
        int status;
        std::string text;
        const wchar_t* reason;
    } cases[] = {
        {"/notfound/eng", 0, 404, "no such page", L"Not Found"},
        {"/error/eng", 0, 500, "server failed", L"Internal Server Error"},
        // A valid status line without a reason phrase is a response like any other.
        {"/noreason/eng", 1, 200, "no reason", L""},
        // A connection dropped before the announced length: cut, kept, failed.
        {"/drop/eng?before=1500", 0, 200, PatternBody(1500), L"OK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_sink.Clear();
        auto request = NewRequest(c.path);
        ASSERT_EQ(request->Send(1), 1);
        ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
        EXPECT_EQ(request->IsOK(), c.ok);
        EXPECT_EQ(request->GetStatus(), c.status);
        EXPECT_EQ(request->GetStatusText(), c.reason);
        EXPECT_EQ(Text(*request), c.text);
        ExpectOneCompletionOf(*request);
    }
}

TEST_F(HttpRequestTest, PostSendsTheBodyToThePathWithoutTheQuery)
{
    auto request = NewRequest("/echo/eng-post?info_hash=abc&port=1");
    const unsigned char body[] = {'d', '4', ':', 0x00, 0xFF, 'e'};
    request->SetPostData(body, sizeof body);
    ASSERT_EQ(request->Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    ASSERT_EQ(request->IsOK(), 1);
    std::wstring wide = request->GetResponseText(28591);   // Latin-1: bytes as they came
    std::string echo(wide.begin(), wide.end());
    EXPECT_NE(echo.find("method POST\npath /echo/eng-post\nquery \n"), std::string::npos) << echo;
    EXPECT_NE(echo.find("\nheader Content-Length: 6\n"), std::string::npos) << echo;
    EXPECT_EQ(echo.substr(echo.size() - 12), std::string("\nbody\nd4:\x00\xFF" "e", 12));
    ExpectOneCompletionOf(*request);

    // Without a body it is a GET again, query included.
    m_sink.Clear();
    request->SetPostData(nullptr, 0);
    ASSERT_EQ(request->Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    echo = Text(*request);
    EXPECT_NE(echo.find("method GET\npath /echo/eng-post\nquery info_hash=abc&port=1\n"),
              std::string::npos) << echo;
}

TEST_F(HttpRequestTest, UnreachablePortStillCompletesOnce)
{
    std::unique_ptr<http::CHttpRequest> request(new http::CHttpRequest);
    request->SetNotify(m_sink.Handle(), kDone, kKind, reinterpret_cast<LPARAM>(request.get()));
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/x";
    ASSERT_EQ(request->SetURL(url.c_str()), 1);
    ASSERT_EQ(request->Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    EXPECT_EQ(request->IsOK(), 0);
    EXPECT_EQ(request->GetStatus(), 0);
    EXPECT_EQ(request->GetResponseText(CP_UTF8), L"");
    ExpectOneCompletionOf(*request);
}

// Stop while the server holds its answer (before the headers, or mid-body):
// it closes the session, joins the worker, and the owner still gets one
// completion with status 0, although the server answers 200 in the end.
TEST_F(HttpRequestTest, StopDuringARequestCompletesWithStatusZero)
{
    struct {
        const char* path;
        const char* counted;
    } cases[] = {
        {"/stall/eng-stop-head?headers=0&ms=1500", "/stall/eng-stop-head"},
        {"/stall/eng-stop-body?before=100&ms=1500&after=100", "/stall/eng-stop-body"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_sink.Clear();
        auto request = NewRequest(c.path);
        ASSERT_EQ(request->Send(1), 1);
        ASSERT_TRUE(FixtureWait(c.counted, 1, 5000));

        EXPECT_TRUE(request->IsBusy());
        EXPECT_EQ(request->Send(1), 0);
        EXPECT_EQ(request->SetURL(FixtureUrl("/ok/other").c_str()), 0);
        EXPECT_EQ(request->IsOK(), 0);
        EXPECT_EQ(request->GetResponseText(CP_UTF8), L"");

        request->Stop();
        EXPECT_FALSE(request->IsBusy());
        EXPECT_EQ(request->IsOK(), 0);
        EXPECT_EQ(request->GetStatus(), 0);
        EXPECT_EQ(FixtureCount(c.counted), 1);
        ExpectOneCompletionOf(*request);
    }
}

TEST_F(HttpRequestTest, SynchronousSendAnswersAndPosts)
{
    auto request = NewRequest("/ok/eng-sync?size=100");
    EXPECT_EQ(request->Send(0), 1);
    EXPECT_EQ(Text(*request), PatternBody(100));
    ExpectOneCompletionOf(*request);

    m_sink.Clear();
    ASSERT_EQ(request->SetURL(FixtureUrl("/error/eng-sync").c_str()), 1);
    EXPECT_EQ(request->Send(0), 0);
    EXPECT_EQ(request->GetStatus(), 500);
    ExpectOneCompletionOf(*request);
}

TEST_F(HttpRequestTest, ResetForgetsTheRequestAndItsAnswer)
{
    auto request = NewRequest("/ok/eng-reset?size=10");
    request->SetPostData("x", 1);
    ASSERT_EQ(request->Send(0), 1);
    request->Reset();
    EXPECT_EQ(request->IsOK(), 0);
    EXPECT_EQ(request->GetStatus(), 0);
    EXPECT_EQ(request->GetResponseText(CP_UTF8), L"");
    // The target stays: a reset request only needs a URL to be sent again.
    m_sink.Clear();
    ASSERT_EQ(request->SetURL(FixtureUrl("/echo/eng-reset").c_str()), 1);
    ASSERT_EQ(request->Send(1), 1);
    ASSERT_TRUE(m_sink.WaitFor(1, kAnswerWait));
    EXPECT_NE(Text(*request).find("method GET\n"), std::string::npos);
}

TEST(HttpRequestUrl, MustBeginWithLowerCaseHttp)
{
    http::CHttpRequest request;
    EXPECT_EQ(request.SetURL(nullptr), 0);
    EXPECT_EQ(request.SetURL(L"ftp://127.0.0.1/announce"), 0);
    EXPECT_EQ(request.SetURL(L"HTTP://127.0.0.1/announce"), 0);
    EXPECT_EQ(request.SetURL(L"https://127.0.0.1/announce"), 1);
    EXPECT_EQ(request.SetURL(L"http://127.0.0.1/announce"), 1);
    // Stop on a request that never ran returns at once.
    request.Stop();
    EXPECT_FALSE(request.IsBusy());
}
