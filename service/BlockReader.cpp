#include "service/BlockReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "service/BlockCache.h"
#include "service/IReadNotify2.h"
#include "service/VodRecordList.h"
#include "vod/VodUnits.h"

BlockReader::BlockReader(FileCompletionPort* port, CVodRecordList* records, BlockCache* cache,
                         IReadNotify2* session, const unsigned char hash[16])
    : m_session(session), m_records(records), m_cache(cache), m_port(port) {
    std::memcpy(m_hash, hash, sizeof(m_hash));
    m_hashText = HashText(m_hash);
}

BlockReader::~BlockReader() {
    boost::recursive_mutex::scoped_lock lock(m_lock);
    while (m_pending > 0)
        m_idle.wait(lock);
    for (auto& open : m_files) {
        CloseHandle(open.second.file);
        m_port->ReleaseKey(open.second.key);
    }
    m_files.clear();
}

FileCompletionKey* BlockReader::KeyFor(std::uint32_t block, std::string& name) {
    auto open = m_files.find(name);
    if (open != m_files.end())
        return open->second.key;
    std::string opened;
    HANDLE file = m_records->OpenDataFile(m_hashText, block, opened);
    if (!file)
        return nullptr;
    FileCompletionKey* key = m_port->Associate(file, &BlockReader::OnCompleteThunk, this);
    if (!key) {
        CloseHandle(file);
        return nullptr;
    }
    m_files[name] = OpenFile{file, key};
    return key;
}

void BlockReader::ForgetBlock(std::uint32_t block, char* buffer, std::uint32_t piece,
                              FileReadRecord* record) {
    m_inFlight.erase(block);
    m_waiting.erase(piece);
    m_cache->ReleaseBuffer(buffer);
    m_port->ReleaseRecord(record);
}

int BlockReader::Read(std::uint32_t piece, char* buffer, std::uint32_t capacity) {
    if (!buffer || capacity == 0)
        return -1;
    const std::uint32_t block = piece / kVodPiecesPerBlock;
    boost::recursive_mutex::scoped_lock lock(m_lock);

    std::uint32_t length = capacity;
    if (m_cache->Lookup(m_hash, piece, buffer, length) && length > 0)
        return static_cast<int>(length);

    if (m_inFlight.count(block)) {
        m_waiting.insert(std::make_pair(piece, Waiting{buffer, capacity}));
        return 0;
    }
    std::string name;
    if (!m_records->HasBlock(m_hashText, block, name))
        return -1;
    FileCompletionKey* key = KeyFor(block, name);
    if (!key)
        return -1;
    char* blockBuffer = nullptr;
    std::uint32_t size = 0;
    if (!m_cache->AllocBuffer(blockBuffer, size))
        return -1;
    m_inFlight[block] = blockBuffer;
    m_waiting.insert(std::make_pair(piece, Waiting{buffer, capacity}));

    std::uint16_t blockLength = 0;
    const std::uint64_t offset = m_records->GetBlockOffset(m_hashText, block, blockLength);
    FileReadRecord* record = m_port->AllocRecord();
    if (blockLength == 0 || blockLength > size) {
        ForgetBlock(block, blockBuffer, piece, record);
        return -1;
    }
    record->overlapped.Offset = static_cast<DWORD>(offset);
    record->overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    record->buffer = blockBuffer;
    record->bytes = blockLength;
    record->block = block;
    ++m_pending;
    if (!ReadFile(key->file, blockBuffer, blockLength, nullptr, &record->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        // Nothing reaches the port for a read that failed at once, also not
        // for one that starts at or past the end of the file.
        --m_pending;
        ForgetBlock(block, blockBuffer, piece, record);
        return -1;
    }
    return 0;
}

void BlockReader::OnCompleteThunk(void* context, FileReadRecord* record, DWORD status) {
    static_cast<BlockReader*>(context)->OnComplete(record, status);
}

void BlockReader::OnComplete(FileReadRecord* record, DWORD status) {
    const std::uint32_t block = record->block;
    const std::uint32_t bytes = record->bytes;
    std::vector<std::pair<Done, bool>> done;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        const bool failed =
            status != 0 || !m_records->VerifyBlock(m_hashText, block, record->buffer, bytes);
        auto flight = m_inFlight.find(block);
        if (flight != m_inFlight.end()) {
            char* blockBuffer = flight->second;
            m_inFlight.erase(flight);
            const std::uint32_t first = block * kVodPiecesPerBlock;
            auto it = m_waiting.lower_bound(first);
            while (it != m_waiting.end() && it->first < first + kVodPiecesPerBlock) {
                const std::uint32_t start = (it->first % kVodPiecesPerBlock) * kVodPieceSize;
                std::uint32_t length = 0;
                if (!failed && start < bytes) {
                    length = std::min(it->second.capacity, bytes - start);
                    std::memcpy(it->second.buffer, blockBuffer + start, length);
                }
                // A piece past the end of its block has no bytes: it fails.
                done.push_back(std::make_pair(Done{it->first, it->second.buffer, length},
                                              failed || length == 0));
                it = m_waiting.erase(it);
            }
            if (failed || !m_cache->Insert(m_hash, block, blockBuffer, bytes))
                m_cache->ReleaseBuffer(blockBuffer);
        }
    }
    for (const auto& piece : done)
        m_session->OnReadDone(piece.first.piece, piece.first.buffer, piece.first.length,
                              piece.second);
    boost::recursive_mutex::scoped_lock lock(m_lock);
    --m_pending;
    m_idle.notify_all();
}
