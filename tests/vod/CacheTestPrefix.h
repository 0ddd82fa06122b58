#pragma once

// What the cache tests share: the prefix's real settings files, kept aside
// and put back, and the real cache folder "C:\RODar_Azizo", found by the
// folder rule and emptied of cache files.

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/settings/CIni.h"
#include "vod/CacheFolder.h"

namespace cachetest {

const wchar_t kCacheFolder[] = L"C:\\RODar_Azizo";

// The bytes of a file, or nothing when it is absent.
inline bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    const BOOL ok = bytes.empty() ||
                    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    return ok && got == bytes.size();
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() ||
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// Keeps a settings file's content and puts it back (or removes the file).
class FileBackup {
public:
    explicit FileBackup(const std::wstring& path) : m_path(path) {
        m_existed = ReadWholeFile(path, m_bytes);
    }
    ~FileBackup() {
        if (m_existed)
            WriteWholeFile(m_path, m_bytes);
        else
            DeleteFileW(m_path.c_str());
    }

private:
    std::wstring m_path;
    std::string m_bytes;
    bool m_existed;
};

inline void WriteSetting(const std::wstring& file, const wchar_t* key, const wchar_t* value) {
    util::CIni(file.c_str()).WriteString(L"cachedata", key, value);
}

inline std::wstring ReadSetting(const std::wstring& file, const wchar_t* key) {
    std::wstring value;
    util::ReadIniString(file, value, L"cachedata", key, L"<absent>");
    return value;
}

// Deletes every cache pair, old index and leftover of the folder.
inline void EmptyFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(folder + L"\\" + found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    for (const std::wstring& name : names)
        DeleteFileW(name.c_str());
}

// Settings kept aside; "C:\RODar_Azizo" made the cache folder and emptied.
class CachePrefix : public ::testing::Test {
protected:
    CachePrefix()
        : m_localIni(util::GetLocalSettingsIniPath()),
          m_commonIni(util::GetCommonSettingsIniPath()),
          m_local(m_localIni),
          m_common(m_commonIni) {}

    void SetUp() override {
        // Without a "RODar_Azizo" folder on drive C: the rule could settle on
        // another fixed drive, such as Wine's Z: (the host's root).
        ASSERT_EQ(GetDriveTypeW(L"C:\\"), static_cast<UINT>(DRIVE_FIXED));
        CreateDirectoryW(kCacheFolder, nullptr);
        WriteSetting(m_localIni, L"path", L"");
        WriteSetting(m_localIni, L"size", L"");
        ASSERT_EQ(GetCacheFolder(true), kCacheFolder);
        EmptyFolder(kCacheFolder);
    }

    void TearDown() override { EmptyFolder(kCacheFolder); }

    std::wstring m_localIni;
    std::wstring m_commonIni;
    FileBackup m_local;
    FileBackup m_common;
};

}  // namespace cachetest
