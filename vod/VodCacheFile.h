#pragma once

// winsock2.h before windows.h: the engine includes these beside the network headers.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "vod/FileHandle.h"
#include "vod/VodCacheIndex.h"
#include "vod/VodCacheWriter.h"

// One cached video: a data file named by the content hash in the cache
// folder, holding its blocks in the order they completed, and its ".vd2"
// index (see VodCacheIndex.h). Writes completed blocks, reads them back
// through the index and checks them against their MD5 digests.
//
// Two processes may use one pair at once: the engine writing, the seeding
// service reading. The writer opens the index sharing reads only and retries
// for a second; readers compare the index's size with what they have parsed
// and parse only what was appended.
class CVodCacheFile : public VodCacheIndex, public IVodCacheWriter {
public:
    CVodCacheFile();
    // A copy opens its own read handle when it first reads.
    CVodCacheFile(const CVodCacheFile& other);
    CVodCacheFile& operator=(const CVodCacheFile& other);
    ~CVodCacheFile() override;

    // The folder of the pair; the cache folder unless set.
    void SetFolder(const std::wstring& folder) { m_folder = folder; }
    const std::wstring& GetFolder() const;

    // Empty while the hash is not 32 hexadecimal digits.
    std::wstring GetIndexPath() const;
    std::wstring GetDataPath() const;
    std::string GetIndexFileName() const;
    // From the folder listing; 0 when there is no index file.
    std::uint64_t GetIndexFileSize() const;

    // Parses what was appended to an open index file. An unusable header
    // deletes the data file and empties the index (given write access).
    bool ParseIndex(HANDLE file);
    bool LoadIndex();
    bool WriteBlocks(const VodBlockPieces& blocks) override;
    // The block's bytes (at most `most`); 0 when it is not cached, or when its
    // bytes no longer match their digest: the pair is then deleted.
    std::uint32_t ReadBlock(std::uint32_t block, void* buffer, std::uint32_t most);

    // Sets the full flag when the cache volume runs short of space or the
    // cached bytes exceed the size limit; the flag is never cleared.
    void CheckFull();
    bool IsFull() const { return m_full; }
    // Counts the cached pairs, evicts the one whose index was written longest
    // ago when they exceed the size setting (never this object's own pair),
    // deletes indexes without a data file; returns the bytes counted.
    std::uint64_t ScanAndEvict();
    std::uint64_t GetByteTotal() const { return m_byteTotal; }
    std::uint64_t GetSizeLimit() const { return m_sizeLimit; }

    // Settings of the section "cachedata": "path" and "size" in the per-user
    // file, the rest in the all-users file.
    static void SetCachePath(const std::wstring& folder);
    static int GetCacheSize();                 // megabytes, at least 500
    static bool SetCacheSize(int megabytes);   // refused below 500
    static int GetNetType();                   // 0 to 6
    static void SetNetType(int type);
    static int GetNetUp();
    static void SetNetUp(int value);
    static int GetNetDown();
    static void SetNetDown(int value);
    static int GetDataType();                  // 1 or 2
    static void SetDataType(int type);

private:
    bool AppendBlocks(HANDLE index, const VodBlockPieces& blocks);
    void DeletePair();

    std::uint64_t m_byteTotal = 0;
    bool m_full = false;
    FileHandle m_reader;
    std::uint64_t m_sizeLimit = 0;
    mutable std::wstring m_folder;
};
