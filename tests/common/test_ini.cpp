#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/settings/CIni.h"

namespace {

// A settings file of its own in the prefix's temp folder, removed afterwards.
class IniFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        wchar_t file[MAX_PATH];
        GetTempFileNameW(dir, L"ini", 0, file);
        m_path = file;
    }
    void TearDown() override { DeleteFileW(m_path.c_str()); }

    std::wstring Read(const wchar_t* key)
    {
        std::wstring value;
        util::ReadIniString(m_path, value, L"s", key, L"");
        return value;
    }

    std::wstring m_path;
};

} // namespace

TEST_F(IniFile, WriteIntFormatsEveryBase)
{
    struct { int value; int base; const wchar_t* text; } cases[] = {
        {5, 2, L"101"},   {0, 2, L"0"},    {-1, 2, L"11111111111111111111111111111111"},
        {255, 16, L"FF"}, {8, 8, L"10"},   {-3, 7, L"-3"},
        {42, 10, L"42"},  {-42, 0, L"-42"},
    };
    util::CIni ini(m_path.c_str());
    for (const auto& c : cases) {
        ASSERT_NE(ini.WriteInt(L"s", L"k", c.value, c.base), 0);
        EXPECT_EQ(Read(L"k"), c.text) << c.value << " in base " << c.base;
        EXPECT_EQ(ini.ReadInt(L"s", L"k", 99, c.base), c.value);
    }
}

TEST_F(IniFile, ReadIntStopsAtTheFirstNonDigitAndDefaultsWhenEmpty)
{
    util::CIni ini(m_path.c_str());
    ini.WriteString(L"s", L"mixed", L"12abc");
    ini.WriteString(L"s", L"hex", L"0x1f");
    ini.WriteString(L"s", L"empty", L"");
    EXPECT_EQ(ini.ReadInt(L"s", L"mixed", 7, 10), 12);
    EXPECT_EQ(ini.ReadInt(L"s", L"hex", 7, 16), 31);
    EXPECT_EQ(ini.ReadInt(L"s", L"empty", 7, 10), 7);
    EXPECT_EQ(ini.ReadInt(L"s", L"missing", 7, 10), 7);
    EXPECT_EQ(ini.ReadInt(nullptr, L"mixed", 7, 10), 7);
}

TEST_F(IniFile, LongValuesAreReadWholeAndCappedAtTheMaximum)
{
    std::wstring value(700, L'x');
    value[699] = L'y';
    util::CIni ini(m_path.c_str());
    ini.WriteString(L"s", L"long", value.c_str());

    std::wstring out(1001, L'?');
    int length = ini.ReadString(L"s", L"long", &out[0], 1000, L"");
    ASSERT_EQ(length, 700);
    EXPECT_EQ(out.substr(0, 700), value);

    length = ini.ReadString(L"s", L"long", &out[0], 100, L"");
    EXPECT_EQ(length, 100);
    EXPECT_EQ(out.substr(0, 100), value.substr(0, 100));
}

TEST_F(IniFile, DefaultsAndMissingSectionOrKey)
{
    util::CIni ini(m_path.c_str());
    wchar_t out[16];
    int length = ini.ReadString(L"s", L"none", out, 15, L"dflt");
    out[length] = 0;
    EXPECT_STREQ(out, L"dflt");
    EXPECT_EQ(ini.ReadString(L"s", nullptr, out, 15, nullptr), 0);
    EXPECT_EQ(ini.WriteString(nullptr, L"k", L"v"), 0);
    EXPECT_EQ(ini.WriteString(L"s", nullptr, L"v"), 0);
    ini.WriteString(L"s", L"null", nullptr);
    EXPECT_EQ(Read(L"null"), L"");
}

// The three settings files lie in "zuvoriru" under the prefix's real shell
// folders; the folder exists after the path was asked for.
TEST(SettingsPaths, LieInTheirFolderWhichIsCreated)
{
    struct { std::wstring path; int csidl; const wchar_t* file; } cases[] = {
        {util::GetUserIniPath(), CSIDL_LOCAL_APPDATA, L"user.ini"},
        {util::GetLocalSettingsIniPath(), CSIDL_LOCAL_APPDATA, L"vodctl.ini"},
        {util::GetCommonSettingsIniPath(), CSIDL_COMMON_APPDATA, L"vodctl.ini"},
    };
    for (const auto& c : cases) {
        wchar_t folder[MAX_PATH];
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, folder, c.csidl, FALSE));
        std::wstring expected = std::wstring(folder) + L"\\zuvoriru\\" + c.file;
        EXPECT_EQ(c.path, expected);
        std::wstring dir = expected.substr(0, expected.rfind(L'\\'));
        DWORD attributes = GetFileAttributesW(dir.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
}

// Writing and reading through the real settings files of the prefix. Where
// "zuvoriru" is missing (or empty, so it can be removed first) asking for the
// path creates it; what this test adds is removed again.
TEST(SettingsPaths, RealFilesAreWrittenAndReadInTheCreatedFolder)
{
    struct { std::wstring (*path)(); int csidl; } cases[] = {
        {util::GetUserIniPath, CSIDL_LOCAL_APPDATA},
        {util::GetLocalSettingsIniPath, CSIDL_LOCAL_APPDATA},
        {util::GetCommonSettingsIniPath, CSIDL_COMMON_APPDATA},
    };
    for (const auto& c : cases) {
        wchar_t folder[MAX_PATH];
        ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, folder, c.csidl, FALSE));
        std::wstring dir = std::wstring(folder) + L"\\zuvoriru";
        RemoveDirectoryW(dir.c_str());   // only when empty
        bool missing = GetFileAttributesW(dir.c_str()) == INVALID_FILE_ATTRIBUTES;

        std::wstring path = c.path();
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        DWORD attributes = GetFileAttributesW(dir.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (!missing)
            std::printf("zuvoriru was in use: its creation was not exercised\n");

        bool existed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        util::CIni ini(path.c_str());
        ASSERT_NE(ini.WriteInt(L"test_ini", L"port", 8080, 10), 0);
        std::wstring value;
        util::ReadIniString(path, value, L"test_ini", L"port", L"");
        EXPECT_EQ(value, L"8080");
        EXPECT_EQ(util::CIni(path.c_str()).ReadInt(L"test_ini", L"port", 0, 10), 8080);

        WritePrivateProfileStringW(L"test_ini", nullptr, nullptr, path.c_str());
        if (!existed)
            DeleteFileW(path.c_str());
        RemoveDirectoryW(dir.c_str());
    }
}
