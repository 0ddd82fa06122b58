#include "vod/VodCacheIndex.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/md5/Md5.h"

namespace {

bool SameHash(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

void VodIndexHeader::Pack(nps::Pack& pack) const {
    pack.push_uint16(version);
    pack.push_varstr(hash);
    pack.push_varstr(natServer);
    pack.push_varstr(trackerUrl);
    pack.push_uint64(static_cast<std::uint64_t>(contentId));
    pack.push_uint32(blockCount);
}

void VodIndexHeader::Unpack(nps::Unpack& unpack) {
    version = unpack.pop_uint16();
    hash = unpack.pop_varstr().str();
    natServer = unpack.pop_varstr().str();
    trackerUrl = unpack.pop_varstr().str();
    contentId = static_cast<std::int64_t>(unpack.pop_uint64());
    blockCount = unpack.pop_uint32();
}

void VodIndexEntry::Pack(nps::Pack& pack) const {
    pack.push_uint32(block);
    pack.push_uint64(offset);
    pack.push_uint16(length);
    pack.buffer().append(md5, sizeof md5);
}

void VodIndexEntry::Unpack(nps::Unpack& unpack) {
    if (unpack.left < kSize)
        throw nps::unpack_error("index entry cut short");
    block = unpack.pop_uint32();
    offset = unpack.pop_uint64();
    length = unpack.pop_uint16();
    std::memcpy(md5, unpack.pop_fetch_ptr(sizeof md5), sizeof md5);
}

bool IsValidContentHash(const std::string& hash) {
    return hash.size() == 32 && std::all_of(hash.begin(), hash.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

VodCacheIndex::VodCacheIndex() = default;
VodCacheIndex::~VodCacheIndex() = default;

bool VodCacheIndex::IsBlockPresent(std::uint32_t block) const {
    return block < m_present.size() && m_present[block];
}

void VodCacheIndex::SetNatServer(const std::string& host, unsigned port) {
    m_natServer = host + ":" + std::to_string(port);
}

void VodCacheIndex::SetBlockCount(std::uint32_t count) {
    m_blockCount = std::min(count, kMaxBlocks);
    m_present.clear();
    m_present.resize(m_blockCount);
    m_entries.assign(m_blockCount, Entry{});
}

bool VodCacheIndex::GetBlockEntry(std::uint32_t block, std::uint64_t& offset,
                                  std::uint16_t& length) const {
    if (!m_valid || !IsBlockPresent(block))
        return false;
    offset = m_entries[block].offset;
    length = m_entries[block].length;
    return true;
}

bool VodCacheIndex::VerifyBlock(std::uint32_t block, const void* bytes, std::size_t count) {
    if (!IsBlockPresent(block))
        return false;
    unsigned char digest[16];
    Md5Digest(bytes, count, digest);
    if (std::memcmp(digest, m_entries[block].md5, sizeof digest) == 0)
        return true;
    m_valid = false;
    return false;
}

bool VodCacheIndex::BeginParse(std::uint64_t fileSize) {
    if (m_bytesRead > fileSize) {
        m_present.reset();
        m_bytesRead = 0;
    }
    return m_bytesRead != fileSize;
}

bool VodCacheIndex::HeaderFits(const VodIndexHeader& header) const {
    if (header.version != 1 || header.blockCount > kMaxBlocks)
        return false;
    if (m_blockCount != 0 && header.blockCount != m_blockCount)
        return false;
    // The header's hash names the data file from now on: it must be a hash,
    // and the one this object was opened for.
    return IsValidContentHash(header.hash) && (m_hash.empty() || SameHash(m_hash, header.hash));
}

VodCacheIndex::ParseResult VodCacheIndex::ParseAppended(const char* data, std::size_t length,
                                                        std::string& discardName) {
    nps::Unpack unpack(data, static_cast<std::uint32_t>(length));
    try {
        if (m_bytesRead == 0) {
            VodIndexHeader header;
            header.Unpack(unpack);
            if (!HeaderFits(header)) {
                discardName = IsValidContentHash(m_hash) ? m_hash
                              : IsValidContentHash(header.hash) ? header.hash
                                                                : std::string();
                StartOver();
                return kDiscard;
            }
            m_version = header.version;
            m_hash = header.hash;
            m_natServer = header.natServer;
            m_trackerUrl = header.trackerUrl;
            m_contentId = header.contentId;
            SetBlockCount(header.blockCount);
        }
        while (unpack.left != 0) {
            VodIndexEntry entry;
            entry.Unpack(unpack);
            if (entry.block >= m_blockCount) {
                StartOver();
                m_valid = true;
                return kBadEntry;
            }
            StoreEntry(entry);
        }
    } catch (const nps::unpack_error&) {
        return kTruncated;
    }
    m_bytesRead += length;
    return kParsed;
}

VodIndexHeader VodCacheIndex::MakeHeader() const {
    VodIndexHeader header;
    header.version = m_version;
    header.hash = m_hash;
    header.natServer = m_natServer;
    header.trackerUrl = m_trackerUrl;
    header.contentId = m_contentId;
    header.blockCount = m_blockCount;
    return header;
}

void VodCacheIndex::StoreEntry(const VodIndexEntry& entry) {
    if (entry.block >= m_blockCount)
        return;
    Entry& stored = m_entries[entry.block];
    std::memcpy(stored.md5, entry.md5, sizeof stored.md5);
    stored.length = entry.length;
    stored.offset = entry.offset;
    m_present.set(entry.block);
}

void VodCacheIndex::StartOver() {
    m_present.reset();
    m_bytesRead = 0;
}
