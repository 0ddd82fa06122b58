#include "vod/CacheRules.h"

const wchar_t kCacheFolderName[] = L"RODar_Azizo";

std::wstring ChooseCacheFolder(const std::vector<CacheDrive>& fixedDrives,
                               const std::wstring& configured) {
    for (const CacheDrive& drive : fixedDrives) {
        if (drive.hasCacheFolder)
            return drive.root + kCacheFolderName;
    }
    if (!configured.empty())
        return configured;
    std::wstring root = L"c:\\";
    std::uint64_t mostFree = 0;
    for (const CacheDrive& drive : fixedDrives) {
        if (drive.freeBytes > mostFree) {
            mostFree = drive.freeBytes;
            root = drive.root;
        }
    }
    return root + kCacheFolderName;
}

bool IsCacheFull(std::uint64_t freeBytes, std::uint64_t sizeLimit, std::uint64_t byteTotal) {
    return freeBytes <= kCacheFreeSpaceFloor || (sizeLimit != 0 && byteTotal > sizeLimit);
}
