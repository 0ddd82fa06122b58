#include "vod/CacheFolder.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>
#include <vector>

#include "common/settings/CIni.h"
#include "vod/CacheRules.h"
#include "vod/FileHandle.h"
#include "vod/VodCacheFile.h"

namespace {

// The fixed drives in listing order, up to the first holding the cache folder.
std::vector<CacheDrive> ProbeFixedDrives() {
    std::vector<CacheDrive> drives;
    wchar_t roots[512];
    const DWORD length = GetLogicalDriveStringsW(511, roots);
    if (length == 0 || length > 511)
        return drives;
    for (const wchar_t* root = roots; *root != 0; root += wcslen(root) + 1) {
        if (GetDriveTypeW(root) != DRIVE_FIXED)
            continue;
        CacheDrive drive{root, false, 0};
        drive.hasCacheFolder = IsExistingFolder(drive.root + kCacheFolderName);
        ULARGE_INTEGER freeBytes;
        if (!drive.hasCacheFolder && GetDiskFreeSpaceExW(root, nullptr, nullptr, &freeBytes))
            drive.freeBytes = freeBytes.QuadPart;
        drives.push_back(drive);
        if (drive.hasCacheFolder)
            break;
    }
    return drives;
}

}  // namespace

bool IsExistingFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring GetCacheFolder(bool refresh) {
    static boost::mutex keptLock;  // guards kept
    static std::wstring kept;
    boost::lock_guard<boost::mutex> lock(keptLock);
    if (!refresh && !kept.empty())
        return kept;

    util::ReadIniString(util::GetLocalSettingsIniPath(), kept, L"cachedata", L"path", L"");
    if (kept.empty() || !IsExistingFolder(kept))
        kept = ChooseCacheFolder(ProbeFixedDrives(), kept);
    if (!IsExistingFolder(kept))
        CreateDirectoryW(kept.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(kept.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_HIDDEN))
        SetFileAttributesW(kept.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    return kept;
}

void ForEachFileWithExtension(const std::wstring& folder, const wchar_t* extension,
                              const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    const std::wstring pattern = folder + L"\\*" + extension;
    const std::size_t extensionLength = wcslen(extension);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        // The pattern alone would also take longer extensions through short names.
        const std::size_t nameLength = wcslen(found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY || nameLength <= extensionLength ||
            lstrcmpiW(found.cFileName + nameLength - extensionLength, extension) != 0)
            continue;
        visit(found);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

void RemoveOldIndexFiles(const std::wstring& folder) {
    ForEachFileWithExtension(folder, L".vd", [&](const WIN32_FIND_DATAW& found) {
        const std::wstring path = folder + L"\\" + found.cFileName;
        FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid())
            return;
        CVodCacheFile index;
        index.SetFolder(folder);
        const bool parsed = index.ParseIndex(file.Get());
        file.Close();
        if (!parsed)
            DeleteFileW(path.c_str());
    });
}
