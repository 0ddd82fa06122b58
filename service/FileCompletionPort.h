#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <set>

#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

// One overlapped file read. The OVERLAPPED comes first: the port hands the
// record back as the OVERLAPPED pointer.
struct FileReadRecord {
    OVERLAPPED overlapped;
    char* buffer;
    DWORD bytes;  // asked for; on completion the count transferred
    std::uint32_t block;
};

// status: 0, or the error of the failed read.
typedef void (*FileReadCallback)(void* context, FileReadRecord* record, DWORD status);

struct FileCompletionKey {
    HANDLE file;
    FileReadCallback callback;
    void* context;
};

// A completion port with a few worker threads on which a seeder's file
// reads complete. Read records and completion keys are pooled.
class FileCompletionPort {
public:
    static constexpr int kMaxWorkers = 10;

    FileCompletionPort();
    ~FileCompletionPort();

    FileCompletionPort(const FileCompletionPort&) = delete;
    FileCompletionPort& operator=(const FileCompletionPort&) = delete;

    // min(2 x processors, 10).
    static int WorkersFor(DWORD processors);

    int Start();
    void Stop();
    bool IsStarted() const { return m_port != INVALID_HANDLE_VALUE; }
    int GetWorkerCount() const;

    // A key for the file, associated with the port; null on failure.
    FileCompletionKey* Associate(HANDLE file, FileReadCallback callback, void* context);
    FileReadRecord* AllocRecord();
    void ReleaseRecord(FileReadRecord* record);
    void ReleaseKey(FileCompletionKey* key);

private:
    void Work();

    HANDLE m_port = INVALID_HANDLE_VALUE;
    std::unique_ptr<boost::thread> m_workers[kMaxWorkers];
    std::set<FileReadRecord*> m_freeRecords;
    std::set<FileCompletionKey*> m_freeKeys;
    boost::mutex m_keyLock;
    boost::mutex m_recordLock;
};
