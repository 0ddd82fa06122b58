// The channel challenge's forms, and the automatic login against the content
// server (tests/fixtures/content_server.py).
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "control/AuthChallenge.h"
#include "control/AutoLogin.h"
#include "tests/net/NetTestSupport.h"

namespace {

TEST(AuthChallenge, FormsAndKinds)
{
    struct Case {
        const char* bytes;
        int kind;
        const wchar_t* code;
    };
    const Case cases[] = {
        {"type=1&code=0cc175b9c0f1b6a831c399e269772661", 1, L"0cc175b9c0f1b6a831c399e269772661"},
        {"type=2&code=http://h/login?a=1&b=2", 2, L"http://h/login?a=1&b=2"},
        {"type=3&code=http://h/auto", 3, L"http://h/auto"},
        {"type=7&code=x", 7, L"x"},
        {"type=&code=x", 0, L"x"},
        // Without "&code=" the kind is read from nothing.
        {"type=1", 0, L""},
        {"type=2code=http://h/", 0, L""},
        // The older bare form: a URL logs in, anything else is a digest.
        {"http://h/login", 2, L"http://h/login"},
        {"0CC175B9C0F1B6A831C399E269772661", 1, L"0CC175B9C0F1B6A831C399E269772661"},
        {"Type=2&code=http://h/", 1, L"Type=2&code=http://h/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const AuthChallenge got =
            ParseAuthChallenge(ChallengeText(c.bytes, static_cast<int>(strlen(c.bytes))));
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.code, c.code);
    }
    EXPECT_EQ(ChallengeText(nullptr, 5), L"");
    EXPECT_EQ(ChallengeText("abc", 0), L"");
    // The length, not a terminator, bounds the bytes.
    EXPECT_EQ(ChallengeText("type=1&code=ab\0cd", 14), L"type=1&code=ab");
}

class AutoLoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(content.Ready()) << "run through the content_server fixture";
        content.Set("{\"reset\": true}");
        const std::string url = nettest::FixtureUrl("TOVRA_CONTENT_PORT", "/login");
        login.assign(url.begin(), url.end());
    }
    nettest::FixtureControl content{"TOVRA_CONTENT_PORT"};
    std::wstring login;
};

TEST_F(AutoLoginTest, TheLoginWordDecidesInAnyCase)
{
    struct Case {
        const char* login;
        bool authorised;
    };
    const Case cases[] = {{"success", true}, {"SUCCESS", true}, {"Success", true},
                          {"fail", false},   {"", false},       {"successful", false}};
    int sent = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.login);
        content.Set(std::string("{\"login\": \"") + c.login + "\"}");
        EXPECT_EQ(AutoLogin(login, L"http://pages.example/channel.html"), c.authorised);
        EXPECT_EQ(content.WaitCount("route=login", ++sent, 5), sent);
    }
    const std::string state = content.Get("/_state");
    EXPECT_NE(state.find("\"body\": \"url=http://pages.example/channel.html\""), std::string::npos)
        << state;
}

TEST_F(AutoLoginTest, NoServerOrNoUrlRefuses)
{
    EXPECT_FALSE(AutoLogin(L"http://127.0.0.1:1/login", L"page.exe"));
    EXPECT_FALSE(AutoLogin(L"not a url", L"page.exe"));
    EXPECT_FALSE(AutoLogin(L"", L"page.exe"));
}

} // namespace
