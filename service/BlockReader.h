#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "service/FileCompletionPort.h"

class BlockCache;
class CVodRecordList;
class IReadNotify2;

// Reads the pieces of one served video for one session: from the block
// cache when the block is there, else the whole block with one overlapped
// read into a cache buffer, checked against its digest, cached, and handed
// piece by piece to the session.
//
// Locks: the reader's lock, then the record list's or the cache's. The
// session is called back with no lock of the reader held.
class BlockReader {
public:
    BlockReader(FileCompletionPort* port, CVodRecordList* records, BlockCache* cache,
                IReadNotify2* session, const unsigned char hash[16]);
    // Waits for the reads still under way (their pieces reach the session),
    // then closes the data files. The session releases its reader before
    // anything its callback touches goes.
    ~BlockReader();

    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // The length of a piece copied at once from the cache; 0 when it will
    // arrive through IReadNotify2::OnReadDone; -1 when it cannot be read.
    int Read(std::uint32_t piece, char* buffer, std::uint32_t capacity);

    const std::string& GetHashText() const { return m_hashText; }

private:
    struct Waiting {
        char* buffer;
        std::uint32_t capacity;
    };
    struct OpenFile {
        HANDLE file;
        FileCompletionKey* key;
    };
    struct Done {
        std::uint32_t piece;
        char* buffer;
        std::uint32_t length;
    };

    static void OnCompleteThunk(void* context, FileReadRecord* record, DWORD status);
    void OnComplete(FileReadRecord* record, DWORD status);
    FileCompletionKey* KeyFor(std::uint32_t block, std::string& name);
    void ForgetBlock(std::uint32_t block, char* buffer, std::uint32_t piece,
                     FileReadRecord* record);

    unsigned char m_hash[16];
    std::string m_hashText;
    IReadNotify2* m_session;
    CVodRecordList* m_records;
    BlockCache* m_cache;
    boost::recursive_mutex m_lock;
    // A piece asked for twice while its block is read is kept twice.
    std::multimap<std::uint32_t, Waiting> m_waiting;
    std::map<std::uint32_t, char*> m_inFlight;
    FileCompletionPort* m_port;
    std::map<std::string, OpenFile> m_files;
    // Reads issued whose completion has not finished calling back.
    int m_pending = 0;
    boost::condition_variable_any m_idle;
};
