#include "service/DirectoryWatcher.h"

#include <cstring>
#include <vector>

namespace {
const DWORD kReadyWaitMs = 10000;
}

CDirectoryWatcher::CDirectoryWatcher() {
    std::memset(&m_overlapped, 0, sizeof(m_overlapped));
    std::memset(m_buffer, 0, sizeof(m_buffer));
}

CDirectoryWatcher::~CDirectoryWatcher() {
    Stop();
}

int CDirectoryWatcher::Start(const std::wstring& folder, DWORD filter) {
    if (m_thread)
        Stop();
    if (folder.empty())
        return 0;
    m_folder = folder;
    m_directory = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr);
    if (m_directory == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE port = CreateIoCompletionPort(m_directory, m_port, reinterpret_cast<ULONG_PTR>(this), 0);
    if (!port) {
        CloseHandle(m_directory);
        m_directory = INVALID_HANDLE_VALUE;
        return 0;
    }
    m_port = port;
    m_filter = filter;
    m_ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    try {
        if (!m_ready)
            throw boost::thread_resource_error();
        m_thread.reset(new boost::thread([this] { Run(); }));
    } catch (const boost::thread_resource_error&) {
        if (m_ready)
            CloseHandle(m_ready);
        m_ready = nullptr;
        CloseHandle(m_port);
        m_port = nullptr;
        CloseHandle(m_directory);
        m_directory = INVALID_HANDLE_VALUE;
        return 0;
    }
    m_state = kIssueRead;
    PostQueuedCompletionStatus(m_port, 4, reinterpret_cast<ULONG_PTR>(this), &m_overlapped);
    HANDLE ready = m_ready;
    while (WaitForSingleObject(ready, kReadyWaitMs) == WAIT_TIMEOUT) {
    }
    return 1;
}

void CDirectoryWatcher::Stop() {
    if (m_thread) {
        PostQueuedCompletionStatus(m_port, 0, 0, nullptr);
        m_thread->join();
        m_thread.reset();
        CloseHandle(m_port);
        m_port = nullptr;
    }
    if (m_ready) {
        CloseHandle(m_ready);
        m_ready = nullptr;
    }
    m_folder.clear();
}

bool CDirectoryWatcher::IssueRead() {
    std::memset(m_buffer, 0, sizeof(m_buffer));
    return ReadDirectoryChangesW(m_directory, m_buffer, sizeof(m_buffer), FALSE, m_filter,
                                 nullptr, &m_overlapped, nullptr) != 0;
}

void CDirectoryWatcher::Run() {
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(m_port, &bytes, &key, &overlapped, INFINITE);
        if (key == 0 || (!ok && !overlapped))
            break;
        if (m_state == kIssueRead) {
            IssueRead();
            m_state = kReading;
            SetEvent(m_ready);
        } else if (m_state == kReading) {
            if (ok && bytes != 0)
                Deliver();
            else
                OnChange(0, std::wstring());
            IssueRead();
        }
    }
    // The outstanding read writes into our buffer: let it end before the
    // watcher can go away.
    if (m_state == kReading && CancelIo(m_directory)) {
        DWORD bytes = 0;
        GetOverlappedResult(m_directory, &m_overlapped, &bytes, TRUE);
    }
    m_state = 0;
    CloseHandle(m_directory);
    m_directory = INVALID_HANDLE_VALUE;
}

void CDirectoryWatcher::Deliver() {
    const char* base = reinterpret_cast<const char*>(m_buffer);
    std::size_t at = 0;
    for (;;) {
        if (at + sizeof(FILE_NOTIFY_INFORMATION) > sizeof(m_buffer))
            break;
        const FILE_NOTIFY_INFORMATION* record =
            reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + at);
        const std::size_t nameOffset = at + offsetof(FILE_NOTIFY_INFORMATION, FileName);
        std::size_t nameBytes = record->FileNameLength;
        if (nameOffset + nameBytes > sizeof(m_buffer))
            nameBytes = sizeof(m_buffer) - nameOffset;
        std::wstring name(record->FileName, nameBytes / sizeof(wchar_t));
        OnChange(record->Action, name);
        if (record->NextEntryOffset == 0)
            break;
        at += record->NextEntryOffset;
    }
}
