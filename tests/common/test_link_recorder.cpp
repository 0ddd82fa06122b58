// The recorder that stands in for the browser: what ShellExecute hands it
// arrives whole, one launch per line.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/LinkRecorder.h"

namespace {

const DWORD kLaunchWaitMs = 20000;

TEST(LinkRecorderTest, RecordsEachLaunchWithItsArguments) {
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    const std::vector<std::wstring> parameters = {
        L"\"http://127.0.0.1/a?b=1&c=two words\"",
        L"\"mailto:someone@example.invalid\" -extra",
    };
    for (const std::wstring& p : parameters) {
        const HINSTANCE result = ShellExecuteW(nullptr, L"open", L"iexplore.exe", p.c_str(), nullptr, SW_SHOW);
        ASSERT_GT(reinterpret_cast<INT_PTR>(result), 32);
    }
    ASSERT_TRUE(recorder.WaitForLaunches(2, kLaunchWaitMs));
    const std::vector<std::wstring> lines = recorder.CommandLines();
    ASSERT_EQ(lines.size(), 2u);
    // Launches may finish in either order; find each by its first argument.
    std::vector<std::vector<std::wstring>> seen = {recorder.Arguments(0), recorder.Arguments(1)};
    if (!seen[0].empty() && seen[0][0].rfind(L"mailto:", 0) == 0)
        std::swap(seen[0], seen[1]);
    EXPECT_EQ(seen[0], (std::vector<std::wstring>{L"http://127.0.0.1/a?b=1&c=two words"}));
    EXPECT_EQ(seen[1], (std::vector<std::wstring>{L"mailto:someone@example.invalid", L"-extra"}));
    // Nothing more comes.
    EXPECT_FALSE(recorder.WaitForLaunches(3, 300));
}

std::wstring OpenCommand(const wchar_t* scheme)
{
    wchar_t command[1024] = {};
    LONG size = sizeof command;
    const std::wstring key = std::wstring(scheme) + L"\\shell\\open\\command";
    if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), command, &size) != ERROR_SUCCESS)
        return L"<none>";
    return command;
}

// An address opened by its scheme reaches the recorder while the redirect
// lives; the scheme's own command is back afterwards.
TEST(LinkRecorderTest, SchemesLeadToTheRecorderWhileRedirected) {
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    const struct {
        const wchar_t* scheme;
        const wchar_t* address;
    } cases[] = {
        {L"http", L"http://127.0.0.1/by-scheme?a=1"},
        {L"mailto", L"mailto:someone@example.invalid"},
    };
    size_t launches = 0;
    for (const auto& c : cases) {
        const std::wstring before = OpenCommand(c.scheme);
        {
            SchemeToRecorder redirect(c.scheme);
            ASSERT_TRUE(redirect.ok());
            EXPECT_NE(OpenCommand(c.scheme), before);
            const HINSTANCE result = ShellExecuteW(nullptr, L"open", c.address, nullptr, nullptr, SW_SHOW);
            ASSERT_GT(reinterpret_cast<INT_PTR>(result), 32);
            ASSERT_TRUE(recorder.WaitForLaunches(++launches, kLaunchWaitMs));
            EXPECT_EQ(recorder.Arguments(launches - 1), (std::vector<std::wstring>{c.address}));
        }
        EXPECT_EQ(OpenCommand(c.scheme), before);
    }
}

}  // namespace
