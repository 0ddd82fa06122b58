#include "vod/VodCacheFile.h"

#include <algorithm>
#include <vector>

#include "common/md5/Md5.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "vod/CacheFolder.h"
#include "vod/CacheRules.h"
#include "vod/VodUnits.h"

namespace {

// An index this large cannot come from us (every block of the largest video
// we index, written twice); it is treated as an unusable header.
const std::uint64_t kMaxIndexBytes = 64u << 20;
const int kIndexOpenTries = 10;
const DWORD kIndexRetryMs = 100;

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

bool Seek(HANDLE file, std::uint64_t offset, DWORD from = FILE_BEGIN) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, from) != 0;
}

bool Position(HANDLE file, std::uint64_t& offset) {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(file, zero, &at, FILE_CURRENT))
        return false;
    offset = static_cast<std::uint64_t>(at.QuadPart);
    return true;
}

// Reads up to n bytes at the file's position; the count read.
std::size_t ReadAll(HANDLE file, char* out, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        DWORD chunk = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - got, 1u << 20));
        if (!ReadFile(file, out + got, want, &chunk, nullptr) || chunk == 0)
            break;
        got += chunk;
    }
    return got;
}

bool WriteAll(HANDLE file, const char* bytes, std::size_t n, DWORD& written) {
    return WriteFile(file, bytes, static_cast<DWORD>(n), &written, nullptr) && written == n;
}

}  // namespace

CVodCacheFile::CVodCacheFile() = default;

CVodCacheFile::CVodCacheFile(const CVodCacheFile& other)
    : VodCacheIndex(other),
      m_byteTotal(other.m_byteTotal),
      m_full(other.m_full),
      m_sizeLimit(other.m_sizeLimit),
      m_folder(other.m_folder) {}

CVodCacheFile& CVodCacheFile::operator=(const CVodCacheFile& other) {
    if (this != &other) {
        VodCacheIndex::operator=(other);
        m_byteTotal = other.m_byteTotal;
        m_full = other.m_full;
        m_reader.Close();
        m_sizeLimit = other.m_sizeLimit;
        m_folder = other.m_folder;
    }
    return *this;
}

CVodCacheFile::~CVodCacheFile() = default;

const std::wstring& CVodCacheFile::GetFolder() const {
    if (m_folder.empty())
        m_folder = GetCacheFolder(false);
    return m_folder;
}

std::wstring CVodCacheFile::GetDataPath() const {
    if (!IsValidContentHash(GetHash()))
        return std::wstring();
    return GetFolder() + L"\\" + Widen(GetHash());
}

std::wstring CVodCacheFile::GetIndexPath() const {
    const std::wstring data = GetDataPath();
    return data.empty() ? data : data + L".vd2";
}

std::string CVodCacheFile::GetIndexFileName() const {
    return GetHash() + ".vd2";
}

std::uint64_t CVodCacheFile::GetIndexFileSize() const {
    const std::wstring path = GetIndexPath();
    WIN32_FIND_DATAW found;
    HANDLE find = path.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(path.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(find);
    return (std::uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

bool CVodCacheFile::ParseIndex(HANDLE file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return false;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(size.QuadPart);
    if (!BeginParse(fileSize))
        return true;

    ParseResult result = kDiscard;
    std::string discardName = IsValidContentHash(GetHash()) ? GetHash() : std::string();
    const std::uint64_t appended = fileSize - GetBytesRead();
    if (appended <= kMaxIndexBytes && Seek(file, GetBytesRead())) {
        std::vector<char> bytes(static_cast<std::size_t>(appended));
        const std::size_t got = ReadAll(file, bytes.data(), bytes.size());
        result = ParseAppended(bytes.data(), got, discardName);
    } else {
        StartOver();
    }
    if (result == kDiscard) {
        if (!discardName.empty())
            DeleteFileW((GetFolder() + L"\\" + Widen(discardName)).c_str());
        // Fails harmlessly on a handle opened for reading only.
        if (Seek(file, 0))
            SetEndOfFile(file);
    }
    return result == kParsed;
}

bool CVodCacheFile::LoadIndex() {
    SetValid(true);
    const std::wstring path = GetIndexPath();
    if (path.empty() || !IsExistingFile(path))
        return false;
    FileHandle index(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!index.IsValid())
        return false;
    if (ParseIndex(index.Get())) {
        if (!IsExistingFile(GetDataPath())) {
            index.Close();
            DeleteFileW(path.c_str());
            StartOver();
        }
    } else {
        StartOver();
    }
    return true;
}

bool CVodCacheFile::WriteBlocks(const VodBlockPieces& blocks) {
    if (blocks.empty())
        return true;
    CheckFull();
    if (!IsValidContentHash(GetHash()) || GetNatServer().empty() || GetTrackerUrl().empty() ||
        GetContentId() == 0 || m_full)
        return false;

    const std::wstring path = GetIndexPath();
    FileHandle index;
    for (int attempt = 0; attempt < kIndexOpenTries && !index.IsValid(); ++attempt) {
        if (attempt != 0)
            Sleep(kIndexRetryMs);
        index = FileHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!index.IsValid())
        return false;

    LARGE_INTEGER size;
    if (!GetFileSizeEx(index.Get(), &size))
        return false;
    // Another writer added to the index. When what is there cannot be read to
    // its end, the index is written anew from its start.
    if (static_cast<std::uint64_t>(size.QuadPart) != GetBytesRead() && !ParseIndex(index.Get()))
        StartOver();
    return AppendBlocks(index.Get(), blocks);
}

bool CVodCacheFile::AppendBlocks(HANDLE index, const VodBlockPieces& blocks) {
    VodBlockPieces fresh;
    for (const auto& block : blocks) {
        if (block.first < GetBlockCount() && !IsBlockPresent(block.first))
            fresh.insert(block);
    }
    if (fresh.empty())
        return true;

    FileHandle data(CreateFileW(GetDataPath().c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!data.IsValid() || !Seek(data.Get(), 0, FILE_END))
        return false;
    bool allWritten = true;
    std::vector<VodIndexEntry> entries;
    std::vector<char> bytes;
    for (const auto& block : fresh) {
        bytes.clear();
        for (const VodPieceBytes& piece : block.second)
            bytes.insert(bytes.end(), piece.bytes, piece.bytes + piece.length);
        VodIndexEntry entry;
        entry.block = block.first;
        DWORD written = 0;
        if (bytes.empty() || bytes.size() > kVodBlockSize || !Position(data.Get(), entry.offset)) {
            allWritten = false;
            continue;
        }
        const bool whole = WriteAll(data.Get(), bytes.data(), bytes.size(), written);
        m_byteTotal += written;
        if (!whole) {
            allWritten = false;
            continue;
        }
        entry.length = static_cast<std::uint16_t>(bytes.size());
        Md5Digest(bytes.data(), bytes.size(), entry.md5);
        entries.push_back(entry);
    }
    data.Close();
    if (entries.empty())
        return false;

    nps::DefaultBlockBuffer record;
    nps::Pack pack(record);
    if (GetBytesRead() == 0)
        MakeHeader().Pack(pack);
    for (const VodIndexEntry& entry : entries)
        entry.Pack(pack);
    DWORD written = 0;
    if (!Seek(index, GetBytesRead()) || !WriteAll(index, record.data, record.size, written)) {
        // Cut what part of the record got written, so no reader takes it for entries.
        if (Seek(index, GetBytesRead()))
            SetEndOfFile(index);
        return false;
    }
    for (const VodIndexEntry& entry : entries)
        StoreEntry(entry);
    SetBytesRead(GetBytesRead() + written);
    // An index written anew from its start may be shorter than what was there.
    SetEndOfFile(index);
    return allWritten;
}

std::uint32_t CVodCacheFile::ReadBlock(std::uint32_t block, void* buffer, std::uint32_t most) {
    if (GetIndexFileSize() != GetBytesRead())
        LoadIndex();
    std::uint64_t offset = 0;
    std::uint16_t length = 0;
    // A buffer too small for the whole block could never match its digest.
    if (!GetBlockEntry(block, offset, length) || length == 0 || length > most)
        return 0;
    if (!m_reader.IsValid()) {
        m_reader = FileHandle(CreateFileW(GetDataPath().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_READONLY,
                                          nullptr));
        if (!m_reader.IsValid())
            return 0;
    }
    std::size_t got = 0;
    if (Seek(m_reader.Get(), offset))
        got = ReadAll(m_reader.Get(), static_cast<char*>(buffer), length);
    if (!VerifyBlock(block, buffer, got)) {
        DeletePair();
        return 0;
    }
    return static_cast<std::uint32_t>(got);
}

void CVodCacheFile::DeletePair() {
    m_reader.Close();
    DeleteFileW(GetDataPath().c_str());
    DeleteFileW(GetIndexPath().c_str());
    StartOver();
}

void CVodCacheFile::CheckFull() {
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExW(GetFolder().c_str(), nullptr, nullptr, &freeBytes))
        freeBytes.QuadPart = ~0ull;  // unknown: only the size limit counts
    if (IsCacheFull(freeBytes.QuadPart, m_sizeLimit, m_byteTotal))
        m_full = true;
}

std::uint64_t CVodCacheFile::ScanAndEvict() {
    m_sizeLimit = std::uint64_t(GetCacheSize()) * 1048576;
    std::uint64_t total = 0;

    struct Pair {
        std::wstring index, data;
        std::uint64_t bytes;
        ULONGLONG seconds;
    };
    bool haveOldest = false;
    Pair oldest;
    std::vector<std::wstring> orphans;
    const std::wstring& folder = GetFolder();
    ForEachFileWithExtension(folder, L".vd2", [&](const WIN32_FIND_DATAW& found) {
        Pair pair;
        pair.index = folder + L"\\" + found.cFileName;
        pair.data = pair.index.substr(0, pair.index.size() - 4);
        pair.bytes = (std::uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        WIN32_FILE_ATTRIBUTE_DATA data;
        const bool hasData =
            GetFileAttributesExW(pair.data.c_str(), GetFileExInfoStandard, &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        if (hasData)
            pair.bytes += (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        total += pair.bytes;
        if (!hasData) {
            orphans.push_back(pair.index);
            return;
        }
        FILETIME local;
        if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local))
            return;
        pair.seconds = ((ULONGLONG(local.dwHighDateTime) << 32) | local.dwLowDateTime) / 10000000;
        if (!haveOldest || pair.seconds < oldest.seconds) {
            oldest = pair;
            haveOldest = true;
        }
    });

    if (total > m_sizeLimit && haveOldest &&
        lstrcmpiW(oldest.index.c_str(), GetIndexPath().c_str()) != 0) {
        // The index goes only with its data: a data file without an index
        // would never be counted or evicted again.
        if (DeleteFileW(oldest.data.c_str()) && DeleteFileW(oldest.index.c_str()))
            total -= oldest.bytes;
    }
    for (const std::wstring& orphan : orphans)
        DeleteFileW(orphan.c_str());
    m_byteTotal = total;
    return total;
}
