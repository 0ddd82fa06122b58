#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/pack/BitField.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

// The ".vd2" index of a cached video, all integers little-endian:
//
//   header, written once into an empty index:
//   +--------+------------+------------------+-------------------+---------+-----------+
//   | u16 ver| str16 hash | str16 NAT server | str16 tracker URL | u64 cid | u32 blocks|
//   |   1    |            | "host:port"      |                   |         |           |
//   +--------+------------+------------------+-------------------+---------+-----------+
//
//   then one 30-byte entry per stored block, appended as blocks are written:
//   +-----------+------------+------------+-------------------------------+
//   | u32 block | u64 offset | u16 length | 16 bytes MD5 of the block     |
//   +-----------+------------+------------+-------------------------------+
//
// The data file beside it holds the blocks back to back in the order they
// were written.
struct VodIndexHeader {
    std::uint16_t version = 1;
    std::string hash;
    std::string natServer;
    std::string trackerUrl;
    std::int64_t contentId = 0;
    std::uint32_t blockCount = 0;

    void Pack(nps::Pack& pack) const;
    void Unpack(nps::Unpack& unpack);
};

struct VodIndexEntry {
    static constexpr std::uint32_t kSize = 30;

    std::uint32_t block = 0;
    std::uint64_t offset = 0;
    std::uint16_t length = 0;
    unsigned char md5[16] = {};

    void Pack(nps::Pack& pack) const;
    void Unpack(nps::Unpack& unpack);
};

// A content hash is 32 hexadecimal digits; only such a hash names a cache file.
bool IsValidContentHash(const std::string& hash);

// The Windows-free half of a cache file: the header fields, one entry per
// block, which blocks have an entry, and how far the index file has been
// parsed. The file side reads the appended bytes and acts on the result.
class VodCacheIndex {
public:
    // Indexes of more blocks (36 GiB of video) are refused, so that a header
    // cannot make us allocate entries without bound.
    static constexpr std::uint32_t kMaxBlocks = 1u << 20;

    enum ParseResult {
        kParsed,      // everything up to the end was taken
        kDiscard,     // unusable header: the pair is to be removed
        kBadEntry,    // an entry names a block beyond the count: start over
        kTruncated,   // the bytes end inside the header or an entry
    };

    VodCacheIndex();
    virtual ~VodCacheIndex();

    std::uint16_t GetVersion() const { return m_version; }
    const std::string& GetHash() const { return m_hash; }
    const std::string& GetNatServer() const { return m_natServer; }
    const std::string& GetTrackerUrl() const { return m_trackerUrl; }
    std::int64_t GetContentId() const { return m_contentId; }
    std::uint32_t GetBlockCount() const { return m_blockCount; }
    std::uint64_t GetBytesRead() const { return m_bytesRead; }
    bool IsValid() const { return m_valid; }
    const nps::BitField& GetPresentBits() const { return m_present; }
    bool IsBlockPresent(std::uint32_t block) const;

    void SetHash(const std::string& hash) { m_hash = hash; }
    void SetNatServer(const std::string& hostAndPort) { m_natServer = hostAndPort; }
    void SetNatServer(const std::string& host, unsigned port);
    void SetTrackerUrl(const std::string& url) { m_trackerUrl = url; }
    void SetContentId(std::int64_t cid) { m_contentId = cid; }
    // Clears every entry; counts above kMaxBlocks are cut to it.
    void SetBlockCount(std::uint32_t count);

    // (offset, length) of a present block while the index is valid.
    bool GetBlockEntry(std::uint32_t block, std::uint64_t& offset, std::uint16_t& length) const;
    // True when the block is present and the bytes have its digest; a
    // mismatch makes the index invalid.
    bool VerifyBlock(std::uint32_t block, const void* bytes, std::size_t count);

    // First step of a parse, given the index file's size: false when nothing
    // was appended since the last parse. A file shorter than what was read
    // (replaced or cut) is read again from its start.
    bool BeginParse(std::uint64_t fileSize);
    // Parses the bytes from GetBytesRead() to the end of the file. On
    // kDiscard, discardName is the hash naming the data file to delete (empty
    // when no safe name is known).
    ParseResult ParseAppended(const char* data, std::size_t length, std::string& discardName);

protected:
    // The header this object writes at the start of an empty index.
    VodIndexHeader MakeHeader() const;
    void StoreEntry(const VodIndexEntry& entry);
    // Forgets every entry; the index file is read from its start next time.
    void StartOver();
    void SetBytesRead(std::uint64_t bytes) { m_bytesRead = bytes; }
    void SetValid(bool valid) { m_valid = valid; }

private:
    struct Entry {
        unsigned char md5[16];
        std::uint16_t length;
        std::uint64_t offset;
    };

    bool HeaderFits(const VodIndexHeader& header) const;

    std::uint16_t m_version = 1;
    std::int64_t m_contentId = 0;
    std::uint64_t m_bytesRead = 0;
    std::uint32_t m_blockCount = 0;
    std::vector<Entry> m_entries;
    nps::BitField m_present;
    bool m_valid = true;
    std::string m_hash;
    std::string m_natServer;
    std::string m_trackerUrl;
};
