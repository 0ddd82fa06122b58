#include "service/FileCompletionPort.h"

#include <algorithm>
#include <cstring>

FileCompletionPort::FileCompletionPort() = default;

FileCompletionPort::~FileCompletionPort() {
    Stop();
}

int FileCompletionPort::WorkersFor(DWORD processors) {
    return static_cast<int>(std::min<DWORD>(2 * std::max<DWORD>(processors, 1), kMaxWorkers));
}

int FileCompletionPort::Start() {
    if (m_port != INVALID_HANDLE_VALUE)
        return 0;
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (!port)
        return 0;
    m_port = port;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const int count = WorkersFor(info.dwNumberOfProcessors);
    try {
        for (int i = 0; i < count; ++i)
            m_workers[i].reset(new boost::thread([this] { Work(); }));
    } catch (const boost::thread_resource_error&) {
        Stop();
        return 0;
    }
    return 1;
}

int FileCompletionPort::GetWorkerCount() const {
    int count = 0;
    for (const auto& worker : m_workers)
        count += worker ? 1 : 0;
    return count;
}

void FileCompletionPort::Stop() {
    if (m_port == INVALID_HANDLE_VALUE)
        return;
    for (const auto& worker : m_workers) {
        if (worker)
            PostQueuedCompletionStatus(m_port, 0, 0, nullptr);
    }
    for (auto& worker : m_workers) {
        if (worker) {
            worker->join();
            worker.reset();
        }
    }
    {
        boost::mutex::scoped_lock lock(m_keyLock);
        for (FileCompletionKey* key : m_freeKeys)
            delete key;
        m_freeKeys.clear();
    }
    {
        boost::mutex::scoped_lock lock(m_recordLock);
        for (FileReadRecord* record : m_freeRecords)
            delete record;
        m_freeRecords.clear();
    }
    CloseHandle(m_port);
    m_port = INVALID_HANDLE_VALUE;
}

void FileCompletionPort::Work() {
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(m_port, &bytes, &key, &overlapped, INFINITE);
        if (!overlapped)
            break;  // the stop packet, or a failed wait
        DWORD status = 0;
        if (!ok)
            status = GetLastError() ? GetLastError() : ERROR_READ_FAULT;
        FileReadRecord* record = reinterpret_cast<FileReadRecord*>(overlapped);
        FileCompletionKey* owner = reinterpret_cast<FileCompletionKey*>(key);
        record->bytes = bytes;
        if (owner && owner->callback)
            owner->callback(owner->context, record, status);
        ReleaseRecord(record);
    }
}

FileCompletionKey* FileCompletionPort::Associate(HANDLE file, FileReadCallback callback,
                                                 void* context) {
    if (m_port == INVALID_HANDLE_VALUE)
        return nullptr;
    FileCompletionKey* key = nullptr;
    {
        boost::mutex::scoped_lock lock(m_keyLock);
        if (!m_freeKeys.empty()) {
            key = *m_freeKeys.begin();
            m_freeKeys.erase(m_freeKeys.begin());
        }
    }
    if (!key)
        key = new FileCompletionKey;
    key->file = file;
    key->callback = callback;
    key->context = context;
    if (!CreateIoCompletionPort(file, m_port, reinterpret_cast<ULONG_PTR>(key), 0)) {
        ReleaseKey(key);
        return nullptr;
    }
    return key;
}

FileReadRecord* FileCompletionPort::AllocRecord() {
    FileReadRecord* record = nullptr;
    {
        boost::mutex::scoped_lock lock(m_recordLock);
        if (!m_freeRecords.empty()) {
            record = *m_freeRecords.begin();
            m_freeRecords.erase(m_freeRecords.begin());
        }
    }
    if (!record)
        record = new FileReadRecord;
    std::memset(record, 0, sizeof(*record));
    return record;
}

void FileCompletionPort::ReleaseRecord(FileReadRecord* record) {
    if (!record)
        return;
    boost::mutex::scoped_lock lock(m_recordLock);
    m_freeRecords.insert(record);
}

void FileCompletionPort::ReleaseKey(FileCompletionKey* key) {
    if (!key)
        return;
    boost::mutex::scoped_lock lock(m_keyLock);
    m_freeKeys.insert(key);
}
