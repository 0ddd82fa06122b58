#include <winsock2.h>
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/vod/CacheTestPrefix.h"
#include "vod/CacheFolder.h"
#include "vod/VodCacheFile.h"

using cachetest::CachePrefix;
using cachetest::ReadSetting;
using cachetest::WriteSetting;

namespace {

const wchar_t kTestRoot[] = L"C:\\tovra-vod-folder";

bool IsHidden(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

void RemoveFolder(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

class CacheSettings : public CachePrefix {
protected:
    void TearDown() override {
        RemoveFolder(std::wstring(kTestRoot) + L"\\configured");
        RemoveFolder(std::wstring(kTestRoot) + L"\\made");
        RemoveFolder(kTestRoot);
        CachePrefix::TearDown();
    }
};

}  // namespace

TEST_F(CacheSettings, ReadRulesOfEachKey) {
    struct Case {
        const wchar_t* key;
        const wchar_t* stored;  // "" reads as absent
        int (*read)();
        int value;
    } cases[] = {
        {L"size", L"", &CVodCacheFile::GetCacheSize, 2048},
        {L"size", L"100", &CVodCacheFile::GetCacheSize, 500},
        {L"size", L"700", &CVodCacheFile::GetCacheSize, 700},
        {L"nettype", L"", &CVodCacheFile::GetNetType, 0},
        {L"nettype", L"9", &CVodCacheFile::GetNetType, 6},
        {L"nettype", L"-1", &CVodCacheFile::GetNetType, 0},
        {L"nettype", L"4", &CVodCacheFile::GetNetType, 4},
        {L"netup", L"", &CVodCacheFile::GetNetUp, 0},
        {L"netup", L"512", &CVodCacheFile::GetNetUp, 512},
        {L"netdown", L"-3", &CVodCacheFile::GetNetDown, -3},
        {L"datatype", L"", &CVodCacheFile::GetDataType, 1},
        {L"datatype", L"3", &CVodCacheFile::GetDataType, 1},
        {L"datatype", L"0", &CVodCacheFile::GetDataType, 1},
        {L"datatype", L"2", &CVodCacheFile::GetDataType, 2},
    };
    for (const Case& c : cases) {
        const bool perUser = std::wstring(c.key) == L"size";
        WriteSetting(perUser ? m_localIni : m_commonIni, c.key, c.stored);
        // The other file must not be read for this key.
        WriteSetting(perUser ? m_commonIni : m_localIni, c.key, L"2");
        EXPECT_EQ(c.read(), c.value) << c.key << "=" << c.stored;
    }
}

TEST_F(CacheSettings, WritesGoToTheirFile) {
    WriteSetting(m_localIni, L"size", L"700");
    EXPECT_FALSE(CVodCacheFile::SetCacheSize(300));
    EXPECT_EQ(ReadSetting(m_localIni, L"size"), L"700");
    EXPECT_TRUE(CVodCacheFile::SetCacheSize(500));
    EXPECT_EQ(ReadSetting(m_localIni, L"size"), L"500");

    CVodCacheFile::SetNetType(9);
    CVodCacheFile::SetNetUp(64);
    CVodCacheFile::SetNetDown(-1);
    CVodCacheFile::SetDataType(2);
    for (const wchar_t* key : {L"nettype", L"netup", L"netdown", L"datatype"})
        EXPECT_EQ(ReadSetting(m_localIni, key), L"<absent>") << key;
    EXPECT_EQ(ReadSetting(m_commonIni, L"nettype"), L"9");  // written as given
    EXPECT_EQ(ReadSetting(m_commonIni, L"netup"), L"64");
    EXPECT_EQ(ReadSetting(m_commonIni, L"netdown"), L"-1");
    EXPECT_EQ(ReadSetting(m_commonIni, L"datatype"), L"2");
    EXPECT_EQ(CVodCacheFile::GetNetType(), 6);
}

TEST_F(CacheSettings, PathIsWrittenOnlyForAnExistingFolder) {
    const std::wstring configured = std::wstring(kTestRoot) + L"\\configured";
    CVodCacheFile::SetCachePath(L"");
    CVodCacheFile::SetCachePath(configured);
    EXPECT_EQ(ReadSetting(m_localIni, L"path"), L"");
    CreateDirectoryW(kTestRoot, nullptr);
    ASSERT_TRUE(CreateDirectoryW(configured.c_str(), nullptr));
    CVodCacheFile::SetCachePath(configured);
    EXPECT_EQ(ReadSetting(m_localIni, L"path"), configured);
}

TEST_F(CacheSettings, FolderFoundOnTheFirstFixedDriveAndHidden) {
    SetFileAttributesW(cachetest::kCacheFolder, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetCacheFolder(true), cachetest::kCacheFolder);
    EXPECT_TRUE(IsHidden(cachetest::kCacheFolder));

    // A configured path that names no folder gives way to the one found.
    const std::wstring missing = std::wstring(kTestRoot) + L"\\made";
    WriteSetting(m_localIni, L"path", missing.c_str());
    EXPECT_EQ(GetCacheFolder(true), cachetest::kCacheFolder);
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CacheSettings, ConfiguredFolderIsUsedAndKeptForTheProcess) {
    const std::wstring configured = std::wstring(kTestRoot) + L"\\configured";
    CreateDirectoryW(kTestRoot, nullptr);
    ASSERT_TRUE(CreateDirectoryW(configured.c_str(), nullptr));
    WriteSetting(m_localIni, L"path", configured.c_str());
    EXPECT_EQ(GetCacheFolder(true), configured);
    EXPECT_TRUE(IsHidden(configured));

    WriteSetting(m_localIni, L"path", L"");
    EXPECT_EQ(GetCacheFolder(false), configured);
    EXPECT_EQ(GetCacheFolder(true), cachetest::kCacheFolder);
}

// With no "RODar_Azizo" on any fixed drive a configured folder is created.
TEST_F(CacheSettings, ConfiguredFolderIsCreatedWhenNoDriveHoldsTheCache) {
    const std::wstring saved = std::wstring(cachetest::kCacheFolder) + L".saved";
    ASSERT_TRUE(MoveFileW(cachetest::kCacheFolder, saved.c_str()));
    wchar_t roots[512];
    GetLogicalDriveStringsW(511, roots);
    for (const wchar_t* root = roots; *root != 0; root += wcslen(root) + 1) {
        if (GetDriveTypeW(root) == DRIVE_FIXED &&
            IsExistingFolder(std::wstring(root) + L"RODar_Azizo")) {
            MoveFileW(saved.c_str(), cachetest::kCacheFolder);
            GTEST_SKIP() << "a cache folder exists on another fixed drive";
        }
    }
    const std::wstring made = std::wstring(kTestRoot) + L"\\made";
    CreateDirectoryW(kTestRoot, nullptr);
    WriteSetting(m_localIni, L"path", made.c_str());
    const std::wstring folder = GetCacheFolder(true);
    ASSERT_TRUE(MoveFileW(saved.c_str(), cachetest::kCacheFolder));
    EXPECT_EQ(folder, made);
    EXPECT_TRUE(IsExistingFolder(made));
    EXPECT_TRUE(IsHidden(made));
}
