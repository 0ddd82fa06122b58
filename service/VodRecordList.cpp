#include "service/VodRecordList.h"

#include <vector>

#include "vod/CacheFolder.h"
#include "vod/FileHandle.h"

namespace {

const char kIndexSuffix[] = ".vd2";
const int kLoadTries = 10;
const DWORD kLoadRetryMs = 100;

// Cache file names are ASCII (hash and ".vd2"); others never match a record.
std::string Narrow(const std::wstring& wide) {
    std::string narrow;
    for (wchar_t c : wide)
        narrow += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring Widen(const std::string& narrow) {
    return std::wstring(narrow.begin(), narrow.end());
}

bool EndsWithIndexSuffix(const std::string& name) {
    if (name.size() < 4)
        return false;
    const std::string tail = name.substr(name.size() - 4);
    return lstrcmpiA(tail.c_str(), kIndexSuffix) == 0;
}

}  // namespace

CVodRecordList::CVodRecordList() = default;

CVodRecordList::~CVodRecordList() {
    Stop();
}

std::wstring CVodRecordList::PathOf(const std::string& name) const {
    return m_folder + L"\\" + Widen(name);
}

void CVodRecordList::Reset() {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    m_records.clear();
    m_indexNames.clear();
    m_groups.clear();
    m_addedNames.clear();
    m_scanned = false;
}

void CVodRecordList::SetNotify(IRecordNotify* notify) {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    m_notify = notify;
}

void CVodRecordList::AddToGroup(const CVodCacheFile& record) {
    for (VodRecordGroup& group : m_groups) {
        if (group.natServer == record.GetNatServer() &&
            group.trackerUrl == record.GetTrackerUrl()) {
            group.videos[record.GetHash()] = record.GetContentId();
            return;
        }
    }
    VodRecordGroup group;
    group.natServer = record.GetNatServer();
    group.trackerUrl = record.GetTrackerUrl();
    group.videos[record.GetHash()] = record.GetContentId();
    m_groups.push_back(group);
}

void CVodRecordList::RemoveFromGroup(const CVodCacheFile& record) {
    for (VodRecordGroup& group : m_groups) {
        if (group.natServer == record.GetNatServer() &&
            group.trackerUrl == record.GetTrackerUrl())
            group.videos.erase(record.GetHash());
    }
}

void CVodRecordList::StoreRecord(const std::string& indexName, const CVodCacheFile& record) {
    auto old = m_records.find(record.GetHash());
    if (old != m_records.end())
        RemoveFromGroup(old->second);
    m_records[record.GetHash()] = record;
    m_indexNames[indexName] = record.GetHash();
    AddToGroup(record);
}

int CVodRecordList::Scan() {
    Reset();
    m_folder = GetCacheFolder(false);
    RemoveOldIndexFiles(m_folder);
    ForEachFileWithExtension(m_folder, L".vd2", [this](const WIN32_FIND_DATAW& found) {
        const std::string name = Narrow(found.cFileName);
        try {
            FileHandle file(CreateFileW(PathOf(name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.IsValid())
                return;
            CVodCacheFile record;
            record.SetFolder(m_folder);
            const bool parsed = record.ParseIndex(file.Get());
            file.Close();
            if (!parsed || record.GetBytesRead() == 0 || !IsValidContentHash(record.GetHash()) ||
                !IsExistingFile(record.GetDataPath()))
                return;
            boost::recursive_mutex::scoped_lock lock(m_lock);
            StoreRecord(name, record);
        } catch (const std::exception&) {
            // One unreadable index does not stop the scan.
        }
    });
    m_scanned = true;
    Start(m_folder, FILE_NOTIFY_CHANGE_FILE_NAME);
    return 1;
}

void CVodRecordList::Rescan() {
    std::set<std::string> work;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        work = m_addedNames;
        if (m_addedNames.size() != m_records.size()) {
            for (const auto& record : m_records) {
                const std::string name = record.second.GetIndexFileName();
                if (record.second.GetIndexFileSize() == record.second.GetBytesRead())
                    work.erase(name);
                else
                    work.insert(name);
            }
        }
    }
    for (const std::string& name : work)
        OnChange(FILE_ACTION_MODIFIED, Widen(name));
}

void CVodRecordList::OnChange(DWORD action, const std::wstring& wideName) {
    const std::string name = Narrow(wideName);
    bool qualifies = EndsWithIndexSuffix(name);
    if (!qualifies && action == FILE_ACTION_REMOVED) {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        qualifies = m_records.count(name) != 0;
    }
    if (!qualifies)
        return;

    switch (action) {
    case FILE_ACTION_REMOVED:
    case FILE_ACTION_RENAMED_OLD_NAME:
        OnRemoved(name);
        break;
    case FILE_ACTION_MODIFIED: {
        {
            boost::recursive_mutex::scoped_lock lock(m_lock);
            auto index = m_indexNames.find(name);
            if (index != m_indexNames.end()) {
                auto record = m_records.find(index->second);
                if (record != m_records.end()) {
                    record->second.LoadIndex();
                    return;
                }
            }
        }
        OnAdded(name);
        break;
    }
    case FILE_ACTION_ADDED:
    case FILE_ACTION_RENAMED_NEW_NAME:
        OnAdded(name);
        break;
    default:
        break;
    }
}

void CVodRecordList::OnRemoved(const std::string& name) {
    Change change;
    bool found = false;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        auto index = m_indexNames.find(name);
        const bool isIndexName = index != m_indexNames.end();
        auto record = m_records.find(isIndexName ? index->second : name);
        if (record != m_records.end()) {
            found = true;
            RemoveFromGroup(record->second);
            change.kind = IRecordNotify::kRemoved;
            change.hash = record->second.GetHash();
            change.trackerUrl = record->second.GetTrackerUrl();
            change.contentId = record->second.GetContentId();
            m_records.erase(record);
        }
        if (!isIndexName) {
            // The data file went: its index goes with it.
            for (auto it = m_indexNames.begin(); it != m_indexNames.end(); ++it) {
                if (it->second == name) {
                    DeleteFileW(PathOf(it->first).c_str());
                    m_addedNames.erase(it->first);
                    m_indexNames.erase(it);
                    break;
                }
            }
        } else {
            m_indexNames.erase(index);
            m_addedNames.erase(name);
        }
    }
    if (found && change.contentId != 0)
        Notify(change);
}

void CVodRecordList::OnAdded(const std::string& name) {
    const std::string stem = name.substr(0, name.size() - 4);
    CVodCacheFile record;
    bool loaded = false;
    // A new index is usually still open in its writer (which shares no
    // access) or cut inside its header: try for as long as writers do. One
    // that stays unreadable is only remembered, for the rescan.
    for (int attempt = 0; attempt < kLoadTries && IsValidContentHash(stem); ++attempt) {
        if (attempt != 0)
            Sleep(kLoadRetryMs);
        record = CVodCacheFile();
        record.SetFolder(m_folder);
        record.SetHash(stem);
        loaded = record.LoadIndex() && record.GetBytesRead() != 0 && record.GetHash() == stem;
        if (loaded || !IsExistingFile(PathOf(name)))
            break;
    }
    Change change;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        m_addedNames.insert(name);
        if (!loaded)
            return;
        StoreRecord(name, record);
        change.kind = IRecordNotify::kAdded;
        change.hash = record.GetHash();
        change.trackerUrl = record.GetTrackerUrl();
        change.contentId = record.GetContentId();
    }
    Notify(change);
}

void CVodRecordList::Notify(const Change& change) {
    IRecordNotify* notify;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        notify = m_notify;
    }
    if (notify)
        notify->OnRecordChange(change.kind, change.trackerUrl, change.hash, change.contentId);
}

bool CVodRecordList::HasRecord(const std::string& hash) {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    return m_records.count(hash) != 0;
}

bool CVodRecordList::HasBlock(const std::string& hash, std::uint32_t block, std::string& name) {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    auto record = m_records.find(hash);
    if (record == m_records.end() || !record->second.IsBlockPresent(block))
        return false;
    name = record->second.GetHash();
    return true;
}

std::uint64_t CVodRecordList::GetBlockOffset(const std::string& hash, std::uint32_t block,
                                             std::uint16_t& length) {
    length = 0;
    std::uint64_t offset = 0;
    boost::recursive_mutex::scoped_lock lock(m_lock);
    auto record = m_records.find(hash);
    if (hash.empty() || record == m_records.end() ||
        !record->second.GetBlockEntry(block, offset, length)) {
        length = 0;
        return 0;
    }
    return offset;
}

bool CVodRecordList::VerifyBlock(const std::string& hash, std::uint32_t block, const void* data,
                                 std::size_t length) {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    auto record = m_records.find(hash);
    return !hash.empty() && record != m_records.end() &&
           record->second.VerifyBlock(block, data, length);
}

HANDLE CVodRecordList::OpenDataFile(const std::string& hash, std::uint32_t block,
                                    std::string& name) {
    if (!HasBlock(hash, block, name))
        return nullptr;
    HANDLE file = CreateFileW(PathOf(name).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_READONLY,
                              nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool CVodRecordList::GetBlockMap(const std::string& hash, nps::BitField& blocks) {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    auto record = m_records.find(hash);
    if (record == m_records.end() || !record->second.IsValid())
        return false;
    blocks = record->second.GetPresentBits();
    return true;
}

std::deque<VodRecordGroup> CVodRecordList::GetGroups() {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    return m_groups;
}

std::size_t CVodRecordList::GetRecordCount() {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    return m_records.size();
}
