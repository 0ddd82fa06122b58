#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>

#include <boost/thread/recursive_mutex.hpp>

#include "common/pack/BitField.h"
#include "service/DirectoryWatcher.h"
#include "vod/VodCacheFile.h"

// Told when a cached video appears or goes.
class IRecordNotify {
public:
    enum { kAdded = 1, kRemoved = 2 };
    virtual void OnRecordChange(int kind, const std::string& trackerUrl, const std::string& hash,
                                std::int64_t contentId) = 0;

protected:
    ~IRecordNotify() = default;
};

// Videos announced to one tracker through one NAT server.
struct VodRecordGroup {
    std::string natServer;   // "host:port" as the index headers hold it
    std::string trackerUrl;
    std::map<std::string, std::int64_t> videos;  // content hash -> content id
};

// The cached videos of the cache folder, one loaded index per video, kept
// current by the folder watcher (names added, removed, renamed) and by
// Rescan (indexes that grew). The serving side asks it where blocks lie and
// whether their bytes are intact.
//
// Every query copies what it hands out under the list's lock: the watcher
// thread may replace or remove a record at any time.
class CVodRecordList : public CDirectoryWatcher {
public:
    CVodRecordList();
    ~CVodRecordList();

    // Builds the list from the cache folder and starts the watcher; 1.
    int Scan();
    // The periodic check for indexes that grew or names still to load.
    void Rescan();
    void Reset();
    // Set once, after the scan; called after the lock is released.
    void SetNotify(IRecordNotify* notify);

    bool HasRecord(const std::string& hash);
    // True when the video holds the block; name receives the data file's name.
    bool HasBlock(const std::string& hash, std::uint32_t block, std::string& name);
    // 0 (and length 0) when the block cannot be given out.
    std::uint64_t GetBlockOffset(const std::string& hash, std::uint32_t block,
                                 std::uint16_t& length);
    // False for a missing block or a digest mismatch, which makes the record
    // invalid until its index is loaded again.
    bool VerifyBlock(const std::string& hash, std::uint32_t block, const void* data,
                     std::size_t length);
    // An overlapped read-only handle the caller owns, or null.
    HANDLE OpenDataFile(const std::string& hash, std::uint32_t block, std::string& name);
    // A copy of the availability of a valid record; false otherwise.
    bool GetBlockMap(const std::string& hash, nps::BitField& blocks);

    std::deque<VodRecordGroup> GetGroups();
    std::size_t GetRecordCount();
    const std::wstring& GetFolder() const { return m_folder; }

protected:
    void OnChange(DWORD action, const std::wstring& name) override;

private:
    struct Change {
        int kind = 0;
        std::string trackerUrl, hash;
        std::int64_t contentId = 0;
    };

    void AddToGroup(const CVodCacheFile& record);
    void RemoveFromGroup(const CVodCacheFile& record);
    void StoreRecord(const std::string& indexName, const CVodCacheFile& record);
    void OnRemoved(const std::string& name);
    void OnAdded(const std::string& name);
    void Notify(const Change& change);
    std::wstring PathOf(const std::string& name) const;

    std::map<std::string, CVodCacheFile> m_records;
    std::map<std::string, std::string> m_indexNames;  // "hash.vd2" -> hash
    std::deque<VodRecordGroup> m_groups;
    std::set<std::string> m_addedNames;
    IRecordNotify* m_notify = nullptr;
    std::wstring m_folder;
    boost::recursive_mutex m_lock;
    bool m_scanned = false;
};
