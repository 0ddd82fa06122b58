// Channel challenges as a real engine sends them: the tracker of the swarm
// fixture puts each form into its "reqpeer" reply, the engine asks its owner,
// whose answer goes through the dialogs (driven by a hook) or the automatic
// login (against the fixture's content server). Whether the engine kept the
// reply's peer shows the answer.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/md5/Md5.h"
#include "control/ChannelAuth.h"
#include "tests/net/NetTestSupport.h"
#include "tests/ui/DialogDriver.h"
#include "tests/vod/CacheTestPrefix.h"
#include "ui/DialogIds.h"
#include "vod/VodCore.h"
#include "vod/VodEngineMessages.h"

namespace {

const std::string kHash = "0123456789ABCDEF0123456789ABCDEF";
const DWORD kWait = 15000;
const wchar_t kPage[] = L"http://pages.example/channel.html";

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

const std::string kDigest = Md5Hex("secret", 6);

// The engine's owner: answers challenges through CChannelAuth and records
// the engine's connection notice.
class AuthOwner {
public:
    AuthOwner()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ChannelAuthOwner";
        RegisterClassW(&wc);
        m_window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~AuthOwner() { DestroyWindow(m_window); }
    HWND Handle() const { return m_window; }

    // Pumps until the engine told whether it connects; its wParam, or -1.
    int WaitConnected(DWORD ms)
    {
        const DWORD begin = GetTickCount();
        while (connected < 0) {
            const DWORD spent = GetTickCount() - begin;
            if (spent >= ms)
                break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
        }
        return connected;
    }

    CChannelAuth auth;
    int challenges = 0;
    std::vector<LRESULT> answers;
    int connected = -1;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<AuthOwner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == WM_VOD_PASSWORD) {
            ++self->challenges;
            const LRESULT answer = self->auth.Answer(reinterpret_cast<const char*>(wParam),
                                                     static_cast<int>(lParam), nullptr, kPage);
            self->answers.push_back(answer);
            return answer;
        }
        if (self && message == WM_VOD_CONNECTED && self->connected < 0)
            self->connected = static_cast<int>(wParam);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    HWND m_window;
};

std::string FakePeer()
{
    return "{\"pid\": \"" + std::string(20, 'a') +
           "\", \"wip\": \"127.0.0.1\", \"wport\": 9, \"lip\": \"127.0.0.1\", \"lport\": 9, "
           "\"gwtype\": 0, \"nodetype\": 0}";
}

// JSON string quoting for the few characters our challenges hold.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

class ChannelAuthTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }

    void SetUp() override
    {
        ASSERT_TRUE(tracker.Ready()) << "run through the swarm fixture";
        loginUrl = nettest::FixtureUrl("TOVRA_CONTENT_PORT", "/login");
    }

    void Reset(const std::string& pwd, const std::string& loginWord)
    {
        tracker.Set("{\"reset\": true}");
        tracker.Set("{\"pwd\": " + Quoted(pwd) + ", \"extra_peers\": [" + FakePeer() + "]}");
        content.Set("{\"reset\": true}");
        content.Set("{\"login\": " + Quoted(loginWord) + "}");
    }

    void WriteIni(const wchar_t* section, const wchar_t* key, const std::wstring& value)
    {
        util::CIni(userIni.c_str()).WriteString(section, key, value.c_str());
    }

    // Runs an engine until it tells whether it connects; that notice's wParam.
    int RunEngine(AuthOwner& owner)
    {
        CVodCore core;
        core.SetOwnerWindow(owner.Handle());
        core.SetNatServer("127.0.0.1", nettest::FixturePort("TOVRA_NAT_PORT"));
        core.SetHash(kHash);
        core.SetContentId(77);
        core.SetSize(5 * 36864);
        core.SetTrackerUrl(Widen(nettest::FixtureUrl("TOVRA_TRACKER_PORT", "/cgi-bin/vod.fcgi")));
        EXPECT_TRUE(core.Start(GetModuleHandleW(nullptr)));
        const int connected = owner.WaitConnected(kWait);
        core.Stop();
        return connected;
    }

    std::string LoginBodies()
    {
        std::string bodies;
        const std::string state = content.Get("/_state");
        const std::string marker = "\"body\": \"";
        for (std::size_t at = state.find(marker); at != std::string::npos;
             at = state.find(marker, at + 1)) {
            const std::size_t start = at + marker.size();
            bodies += state.substr(start, state.find('"', start) - start) + ";";
        }
        return bodies;
    }

    nettest::FixtureControl tracker{"TOVRA_TRACKER_PORT"};
    nettest::FixtureControl content{"TOVRA_CONTENT_PORT"};
    std::string loginUrl;
    std::wstring userIni = util::GetUserIniPath();
    cachetest::FileBackup userIniBackup{userIni};
};

DialogDriver::Step TypePassword(const wchar_t* password)
{
    return [=](HWND d) {
        DialogDriver::SetText(d, IDC_PASSWORD, password);
        DialogDriver::Press(d, IDOK);
    };
}

DialogDriver::Step CancelIt()
{
    return [](HWND d) { DialogDriver::Press(d, IDCANCEL); };
}

TEST_F(ChannelAuthTest, EachFormOfChallengeThroughAnEngine)
{
    struct Case {
        const char* name;
        std::string pwd;
        const char* loginWord;
        // What user.ini remembers before: [pass] pass, [http] url, user, pass.
        std::wstring pass, httpUrl, httpUser, httpPass;
        std::vector<DialogDriver::Step> steps;
        int connected;            // 1: the peer was kept
        std::vector<std::wstring> titles;   // of the windows shown, in order
        std::string bodies;       // posted to the login server
    };
    std::vector<std::wstring> notices;
    const DialogDriver::Step noteAndClose = [&](HWND box) {
        notices.push_back(DialogDriver::BoxText(box));
        DialogDriver::Press(box, IDOK);
    };
    const std::string url = loginUrl;
    const Case cases[] = {
        {"remembered digest, other case", "type=1&code=" + Upper(kDigest), "success",
         Widen(kDigest), L"", L"", L"", {CancelIt()}, 1, {}, ""},
        {"typed wrong, then right", "type=1&code=" + kDigest, "success", L"", L"", L"", L"",
         {TypePassword(L"wrong"),
          [&](HWND box) {
              noteAndClose(box);
              TypePassword(L"secret")(GetWindow(box, GW_OWNER));
          }},
         1, {L"输入密码", L"提示"}, ""},
        {"cancelled", "type=1&code=" + kDigest, "success", L"", L"", L"", L"", {CancelIt()}, 0,
         {L"输入密码"}, ""},
        {"no code", "type=1", "success", Widen(kDigest), L"", L"", L"", {}, 0, {}, ""},
        {"unknown kind", "type=9&code=x", "success", L"", L"", L"", L"", {}, 0, {}, ""},
        {"bare URL logs in", url, "success", L"", L"", L"", L"",
         {[](HWND d) {
             DialogDriver::SetText(d, IDC_USER_NAME, L"alice");
             DialogDriver::SetText(d, IDC_PASSWORD, L"secret");
             DialogDriver::Press(d, IDOK);
         }},
         1, {L"请输入用户名和密码"}, "user=alice&pass=" + Upper(kDigest) + ";"},
        {"remembered credentials", "type=2&code=" + url, "success", L"", Widen(url), L"bob",
         Widen(kDigest), {[](HWND) {}}, 1, {L"请输入用户名和密码"},
         "user=bob&pass=" + Upper(kDigest) + ";"},
        {"automatic login, capitals", "type=3&code=" + url, "SUCCESS", L"", L"", L"", L"", {}, 1,
         {}, "url=http://pages.example/channel.html;"},
        {"automatic login refused", "type=3&code=" + url, "fail", L"", L"", L"", L"", {}, 0, {},
         "url=http://pages.example/channel.html;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(c.pwd, c.loginWord);
        WriteIni(L"pass", L"pass", c.pass);
        WriteIni(L"http", L"url", c.httpUrl);
        WriteIni(L"http", L"user", c.httpUser);
        WriteIni(L"http", L"pass", c.httpPass);
        notices.clear();
        std::vector<std::wstring> titles;
        std::vector<DialogDriver::Step> steps;
        for (const DialogDriver::Step& step : c.steps)
            steps.push_back([&titles, step](HWND window) {
                titles.push_back(DialogDriver::Text(window));
                step(window);
            });
        AuthOwner owner;
        {
            DialogDriver driver(steps);
            EXPECT_EQ(RunEngine(owner), c.connected);
            EXPECT_EQ(driver.Unexpected(), 0);
        }
        EXPECT_EQ(owner.challenges, 1);
        EXPECT_EQ(LoginBodies(), c.bodies);
        // A remembered digest ends its dialog before it could be seen.
        if (c.name != std::string("remembered digest, other case")) {
            EXPECT_EQ(titles, c.titles);
        }
        if (c.name == std::string("typed wrong, then right")) {
            EXPECT_EQ(notices, std::vector<std::wstring>{L"密码不正确"});
        }
    }
}

} // namespace
