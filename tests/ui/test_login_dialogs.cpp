// The channel password and login dialogs, driven through their items, with
// the login server of tests/fixtures/content_server.py and the real
// "user.ini" of the prefix (kept aside and put back).
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>

#include <gtest/gtest.h>

#include "common/md5/Md5.h"
#include "tests/net/NetTestSupport.h"
#include "tests/ui/DialogDriver.h"
#include "tests/vod/CacheTestPrefix.h"
#include "ui/CClientPassDlg.h"
#include "ui/CClientUserPassDlg.h"
#include "ui/DialogIds.h"

namespace {

const char kSecret[] = "secret";

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring Upper(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

const std::wstring kDigest = Widen(Md5Hex(kSecret, 6));   // lower case

class UserIniTest : public ::testing::Test {
protected:
    void Write(const wchar_t* section, const wchar_t* key, const std::wstring& value)
    {
        util::CIni(m_path.c_str()).WriteString(section, key, value.c_str());
    }
    std::wstring Read(const wchar_t* section, const wchar_t* key)
    {
        std::wstring value;
        util::ReadIniString(m_path, value, section, key, L"<absent>");
        return value;
    }

    std::wstring m_path = util::GetUserIniPath();
    cachetest::FileBackup m_backup{m_path};
};

// ---- the channel password ----

class PassDialog : public UserIniTest {
protected:
    INT_PTR Run(const std::wstring& code, std::vector<DialogDriver::Step> steps, int& shown)
    {
        DialogDriver driver(std::move(steps));
        CClientPassDlg dialog(code);
        const INT_PTR result = dialog.DoModal(nullptr);
        EXPECT_EQ(driver.Unexpected(), 0);
        shown = driver.Shown();
        return result;
    }
};

// The step cancels whatever dialog it is given: a remembered digest has ended
// the dialog before that cancel could count.
TEST_F(PassDialog, ARememberedDigestLetsInWithoutAsking)
{
    struct Case {
        std::wstring stored, code;
        INT_PTR result;
    };
    const Case cases[] = {
        {kDigest, kDigest, IDOK},
        {Upper(kDigest), kDigest, IDOK},
        {kDigest, Upper(kDigest), IDOK},
        {kDigest, Widen(Md5Hex("other", 5)), IDCANCEL},
        // Nothing remembered never matches an empty code.
        {L"", L"", IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored.c_str() << " " << c.code.c_str());
        Write(L"pass", L"pass", c.stored);
        int shown = 0;
        EXPECT_EQ(Run(c.code, {[](HWND d) { DialogDriver::Press(d, IDCANCEL); }}, shown),
                  c.result);
        EXPECT_EQ(Read(L"pass", L"pass"), c.stored);
    }
}

TEST_F(PassDialog, AWrongPasswordIsToldAndTheDialogStays)
{
    struct Case {
        const wchar_t* first;   // refused, then the right one
        bool remember;
        std::wstring kept;
    };
    const Case cases[] = {{L"wrong", true, Upper(kDigest)},
                          {L"", false, L""},
                          {L"SECRET", false, L""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        Write(L"pass", L"pass", L"stale");
        std::wstring notice;
        int shown = 0;
        const INT_PTR result = Run(
            Upper(kDigest),
            {[&](HWND d) {
                 DialogDriver::SetText(d, IDC_PASSWORD, c.first);
                 DialogDriver::Press(d, IDOK);
             },
             [&](HWND box) {
                 notice = DialogDriver::BoxText(box);
                 DialogDriver::Press(box, IDOK);
                 HWND d = GetWindow(box, GW_OWNER);
                 DialogDriver::SetText(d, IDC_PASSWORD, L"secret");
                 DialogDriver::Check(d, IDC_REMEMBER, c.remember);
                 DialogDriver::Press(d, IDOK);
             }},
            shown);
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(shown, 2);
        EXPECT_EQ(notice, L"密码不正确");
        EXPECT_EQ(Read(L"pass", L"pass"), c.kept);
    }
}

// ---- the user name and password login ----

class UserPassDialog : public UserIniTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(content.Ready()) << "run through the content_server fixture";
        content.Set("{\"reset\": true}");
        loginUrl = Widen(nettest::FixtureUrl("TOVRA_CONTENT_PORT", "/login"));
        Remember(L"", L"", L"");
    }
    void Remember(const std::wstring& url, const std::wstring& user, const std::wstring& pass)
    {
        Write(L"http", L"url", url);
        Write(L"http", L"user", user);
        Write(L"http", L"pass", pass);
    }
    std::vector<std::wstring> Remembered()
    {
        return {Read(L"http", L"url"), Read(L"http", L"user"), Read(L"http", L"pass")};
    }
    INT_PTR Run(const std::wstring& url, std::vector<DialogDriver::Step> steps, int& shown)
    {
        DialogDriver driver(std::move(steps));
        CClientUserPassDlg dialog(url);
        const INT_PTR result = dialog.DoModal(nullptr);
        EXPECT_EQ(driver.Unexpected(), 0);
        shown = driver.Shown();
        return result;
    }
    // The login bodies the server received, in order.
    std::vector<std::string> Bodies()
    {
        std::vector<std::string> bodies;
        const std::string state = content.Get("/_state");
        const std::string marker = "\"body\": \"";
        for (std::size_t at = state.find(marker); at != std::string::npos;
             at = state.find(marker, at + 1)) {
            const std::size_t start = at + marker.size();
            bodies.push_back(state.substr(start, state.find('"', start) - start));
        }
        return bodies;
    }
    static DialogDriver::Step Type(const wchar_t* user, const wchar_t* password, bool remember)
    {
        return [=](HWND d) {
            DialogDriver::SetText(d, IDC_USER_NAME, user);
            DialogDriver::SetText(d, IDC_PASSWORD, password);
            DialogDriver::Check(d, IDC_REMEMBER, remember);
            DialogDriver::Press(d, IDOK);
        };
    }

    nettest::FixtureControl content{"TOVRA_CONTENT_PORT"};
    std::wstring loginUrl;
};

const std::string kSentDigest = [] {
    std::string hex = Md5Hex(kSecret, 6);
    std::transform(hex.begin(), hex.end(), hex.begin(), ::toupper);
    return hex;
}();

TEST_F(UserPassDialog, ATypedLoginSendsTheUpperCaseDigestAndRemembersOrForgets)
{
    for (bool remember : {true, false}) {
        SCOPED_TRACE(remember);
        content.Set("{\"reset\": true}");
        Remember(L"http://elsewhere/login", L"carol", L"0123");
        int shown = 0;
        EXPECT_EQ(Run(loginUrl, {Type(L"alice", L"secret", remember)}, shown), IDOK);
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(Bodies(), std::vector<std::string>{"user=alice&pass=" + kSentDigest});
        const std::vector<std::wstring> kept =
            remember ? std::vector<std::wstring>{loginUrl, L"alice", Widen(kSentDigest)}
                     : std::vector<std::wstring>{L"", L"", L""};
        EXPECT_EQ(Remembered(), kept);
    }
}

TEST_F(UserPassDialog, RememberedCredentialsAreSentAtOnce)
{
    // The URL is compared without regard to case; the digest goes upper-cased.
    std::wstring url = loginUrl;
    url.replace(0, 4, L"HTTP");
    Remember(url, L"bob", kDigest);
    int shown = 0;
    EXPECT_EQ(Run(loginUrl, {[](HWND) {}}, shown), IDOK);
    EXPECT_EQ(Bodies(), std::vector<std::string>{"user=bob&pass=" + kSentDigest});
    EXPECT_EQ(Remembered(), (std::vector<std::wstring>{loginUrl, L"bob", Widen(kSentDigest)}));
}

TEST_F(UserPassDialog, RefusedRememberedCredentialsAreClearedWithoutANotice)
{
    content.Set("{\"login\": \"fail\"}");
    Remember(loginUrl, L"bob", kDigest);
    int shown = 0;
    std::wstring user = L"?", password = L"?";
    bool remember = true;
    const INT_PTR result = Run(loginUrl,
                               {[&](HWND d) {
                                   DialogDriver::WhenReady(
                                       d,
                                       [d] { return IsWindowEnabled(GetDlgItem(d, IDOK)) &&
                                                    DialogDriver::ItemText(d, IDC_USER_NAME).empty(); },
                                       [&, d] {
                                           user = DialogDriver::ItemText(d, IDC_USER_NAME);
                                           password = DialogDriver::ItemText(d, IDC_PASSWORD);
                                           remember = IsDlgButtonChecked(d, IDC_REMEMBER);
                                           DialogDriver::Press(d, IDCANCEL);
                                       });
                               }},
                               shown);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(shown, 1) << "no notice";
    EXPECT_EQ(user, L"");
    EXPECT_EQ(password, L"");
    EXPECT_FALSE(remember);
    EXPECT_EQ(Bodies().size(), 1u);
    // The file keeps them until the next successful login.
    EXPECT_EQ(Remembered(), (std::vector<std::wstring>{loginUrl, L"bob", kDigest}));
}

TEST_F(UserPassDialog, RefusalsAndFailuresAreToldAndTheDialogStays)
{
    struct Case {
        const char* knobs;
        bool closedPort;
        const wchar_t *user, *password;
        const wchar_t* notice;
        std::size_t posted;
        bool sent;  // the password field then holds the digest
    };
    const Case cases[] = {
        {"{\"login\": \"fail\", \"reason\": \"no such user\"}", false, L"alice", L"secret",
         L"no such user", 1, true},
        // Only the exact word logs in here.
        {"{\"login\": \"SUCCESS\", \"reason\": \"capitals\"}", false, L"alice", L"secret",
         L"capitals", 1, true},
        {"{}", true, L"alice", L"secret", L"网络连接出现错误", 0, true},
        {"{}", false, L"", L"secret", L"用户名不能为空", 0, false},
        {"{}", false, L"alice", L"", L"密码不能为空", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.knobs);
        content.Set("{\"reset\": true}");
        content.Set(c.knobs);
        const std::wstring url =
            c.closedPort ? L"http://127.0.0.1:1/login" : loginUrl;
        std::wstring notice, password;
        bool inputEnabled = false;
        int shown = 0;
        const INT_PTR result = Run(url,
                                   {Type(c.user, c.password, true),
                                    [&](HWND box) {
                                        notice = DialogDriver::BoxText(box);
                                        HWND d = GetWindow(box, GW_OWNER);
                                        password = DialogDriver::ItemText(d, IDC_PASSWORD);
                                        inputEnabled = IsWindowEnabled(GetDlgItem(d, IDOK)) &&
                                                       IsWindowEnabled(GetDlgItem(d, IDC_USER_NAME));
                                        DialogDriver::Press(box, IDOK);
                                        DialogDriver::Press(d, IDCANCEL);
                                    }},
                                   shown);
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(shown, 2);
        EXPECT_EQ(notice, c.notice);
        EXPECT_EQ(password, c.sent ? Widen(kSentDigest) : std::wstring(c.password));
        EXPECT_TRUE(inputEnabled);
        EXPECT_EQ(Bodies().size(), c.posted);
        EXPECT_EQ(Remembered(), (std::vector<std::wstring>{L"", L"", L""}));
    }
}

} // namespace
