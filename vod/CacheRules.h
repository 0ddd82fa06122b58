#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The cache folder's name on whichever drive holds it.
extern const wchar_t kCacheFolderName[];  // L"RODar_Azizo"

// Below this much free space on its volume the cache takes no more blocks.
const std::uint64_t kCacheFreeSpaceFloor = 314572800;  // 300 MiB

// A fixed drive as the folder search sees it.
struct CacheDrive {
    std::wstring root;            // such as L"D:\\"
    bool hasCacheFolder;          // root + kCacheFolderName exists as a folder
    std::uint64_t freeBytes;      // the volume's total free bytes
};

// The folder the drive search settles on, given the fixed drives in listing
// order (up to the first that holds the cache folder) and the configured
// folder: the first drive holding the cache folder; else the configured
// folder when there is one (it is created); else the cache folder on the
// drive with the most free bytes, the first of equals, "c:\" when no drive
// has free bytes.
std::wstring ChooseCacheFolder(const std::vector<CacheDrive>& fixedDrives,
                               const std::wstring& configured);

// The cache is full when its volume has at most kCacheFreeSpaceFloor free, or
// when a size limit is set and the cached bytes exceed it.
bool IsCacheFull(std::uint64_t freeBytes, std::uint64_t sizeLimit, std::uint64_t byteTotal);
