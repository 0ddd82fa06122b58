// CHttpHelper against the content server (tests/fixtures/content_server.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/NetTestSupport.h"
#include "control/HttpHelper.h"

namespace {

const DWORD kAnswerWait = 10000;

struct Done {
    UINT id;
    bool ok;
    std::wstring text;
};

// A message-only window with a helper; the handler records each completion
// and answers `keep` (0 keeps the request) for it.
class Owner : public CHttpHelper<Owner> {
public:
    Owner()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"HttpHelperOwner";
        RegisterClassW(&wc);
        m_window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Owner() override
    {
        CancelAll();
        DestroyWindow(m_window);
    }
    HWND Handle() const { return m_window; }

    int OnHttpDone(UINT id, bool ok, const std::wstring& text) override
    {
        // The request is still there while its own completion runs.
        EXPECT_NE(GetRequest(id, false), nullptr);
        done.push_back({id, ok, text});
        return keep;
    }
    UINT GetCodePage(UINT) override { return CP_UTF8; }

    // Pumps until count completions were handled or the time is up.
    bool WaitFor(std::size_t count, DWORD ms)
    {
        const DWORD begin = GetTickCount();
        for (;;) {
            Pump();
            if (done.size() >= count)
                return true;
            const DWORD spent = GetTickCount() - begin;
            if (spent >= ms)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
        }
    }
    void Pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    std::vector<Done> done;
    int unhandled = 0;
    int keep = 1;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_HTTPHELPER_DONE) {
            LRESULT result = 0;
            if (self->OnHttpMessage(wParam, result))
                return result;
            ++self->unhandled;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    HWND m_window;
};

class HttpHelperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(content.Ready()) << "run through the content_server fixture";
        content.Set("{\"reset\": true}");
        base = nettest::FixtureUrl("TOVRA_CONTENT_PORT");
    }
    std::wstring Url(const std::string& path) const
    {
        const std::string url = base + path;
        return std::wstring(url.begin(), url.end());
    }
    int Served(const char* route) const
    {
        return content.WaitCount(std::string("route=") + route, 0, 0);
    }

    nettest::FixtureControl content{"TOVRA_CONTENT_PORT"};
    std::string base;
    Owner owner;
};

// A finished request survives its own completion and is deleted at the next
// one; a handler answering 0 keeps its request for the next send.
TEST_F(HttpHelperTest, FinishedRequestsAreDeletedAtTheNextCompletion)
{
    ASSERT_TRUE(owner.Get(Url("/session?s=1&cid=5&time=3").c_str(), 132, 3));
    ASSERT_TRUE(owner.WaitFor(1, kAnswerWait));
    EXPECT_EQ(owner.done[0].id, 132u);
    EXPECT_TRUE(owner.done[0].ok);
    EXPECT_EQ(owner.done[0].text, L"<result>ok</result>");
    EXPECT_NE(owner.GetRequest(132, false), nullptr);
    EXPECT_EQ(owner.GetRequestUrl(132), Url("/session?s=1&cid=5&time=3"));

    owner.keep = 0;
    ASSERT_TRUE(owner.Get(Url("/ad/desc.xml").c_str(), 133, 3));
    ASSERT_TRUE(owner.WaitFor(2, kAnswerWait));
    EXPECT_EQ(owner.GetRequest(132, false), nullptr) << "reaped at the next completion";
    wtl_http::CHttpRequest* kept = owner.GetRequest(133, false);
    ASSERT_NE(kept, nullptr);

    ASSERT_TRUE(owner.Get(Url("/session?s=2").c_str(), 132, 3));
    ASSERT_TRUE(owner.WaitFor(3, kAnswerWait));
    EXPECT_EQ(owner.GetRequest(133, false), kept) << "a request its handler kept stays";
    EXPECT_EQ(owner.GetRequestUrl(7), L"");
    EXPECT_EQ(owner.unhandled, 0);
}

// The getad POST as the control sends it, through the tracker's content path.
TEST_F(HttpHelperTest, PostSendsAFormAndReadsTheReply)
{
    const std::string body = "d3:cidi42e3:msg5:getade";
    ASSERT_TRUE(owner.Post(Url("/cgi-bin/vod.fcgi").c_str(), body.data(),
                           static_cast<int>(body.size()), 131, 3));
    ASSERT_TRUE(owner.WaitFor(1, kAnswerWait));
    EXPECT_TRUE(owner.done[0].ok);
    EXPECT_EQ(owner.done[0].text.compare(0, 6, L"d2:ad1"), 0) << "the description's bytes";
    const std::string state = content.Get("/_state");
    EXPECT_NE(state.find("\"body\": \"d3:cidi42e3:msg5:getade\""), std::string::npos) << state;
    EXPECT_NE(state.find("\"path\": \"/cgi-bin/vod.fcgi\""), std::string::npos);
}

// Failures complete as not ok; URLs the request class refuses start nothing.
TEST_F(HttpHelperTest, FailuresCompleteAsNotOkAndRefusedUrlsSendNothing)
{
    content.Set("{\"keepalive\": [\"500\", \"reset\"]}");
    ASSERT_TRUE(owner.Get(Url("/session?a=1").c_str(), 132, 1));
    ASSERT_TRUE(owner.WaitFor(1, kAnswerWait));
    EXPECT_FALSE(owner.done[0].ok);
    ASSERT_TRUE(owner.Get(Url("/session?a=2").c_str(), 132, 1));
    ASSERT_TRUE(owner.WaitFor(2, kAnswerWait));
    EXPECT_FALSE(owner.done[1].ok);
    EXPECT_EQ(owner.done[1].text, L"");
    // WinInet may send a request again itself after a dropped connection.
    const int served = Served("session");
    EXPECT_GE(served, 2);

    EXPECT_FALSE(owner.Get(L"ftp://127.0.0.1/x", 132, 3));
    EXPECT_FALSE(owner.Get(L"", 131, 3));
    const char body[] = "x";
    EXPECT_FALSE(owner.Post(L"HTTP://127.0.0.1/x", body, 1, 131, 3));
    owner.Pump();
    EXPECT_EQ(owner.done.size(), 2u);
    EXPECT_EQ(Served("session"), served);
}

// A cancelled request is gone at once; its late completion reaches no
// handler, also when the id was sent again and that request still runs.
TEST_F(HttpHelperTest, CancelledRequestsReportNothing)
{
    content.Set("{\"delay_ms\": {\"session\": 1500}}");
    ASSERT_TRUE(owner.Get(Url("/session?first").c_str(), 132, 1));
    ASSERT_EQ(content.WaitCount("route=session", 1, 10), 1);
    EXPECT_TRUE(owner.IsBusy(132));
    owner.Cancel(132);
    EXPECT_EQ(owner.GetRequest(132, false), nullptr);

    ASSERT_TRUE(owner.Get(Url("/session?second").c_str(), 132, 1));
    ASSERT_TRUE(owner.WaitFor(1, kAnswerWait));
    ASSERT_EQ(owner.done.size(), 1u);
    EXPECT_TRUE(owner.done[0].ok) << "the second send's own answer";
    EXPECT_EQ(owner.done[0].text, L"<result>ok</result>");
    EXPECT_EQ(owner.GetRequestUrl(132), Url("/session?second"));

    // CancelAll (also run by the destructor) aborts what runs and returns.
    ASSERT_TRUE(owner.Get(Url("/session?third").c_str(), 132, 1));
    ASSERT_TRUE(owner.Get(Url("/ad/x").c_str(), 133, 1));
    owner.CancelAll();
    EXPECT_EQ(owner.GetRequest(132, false), nullptr);
    EXPECT_EQ(owner.GetRequest(133, false), nullptr);
    owner.Pump();
    EXPECT_EQ(owner.done.size(), 1u);
}

}  // namespace
