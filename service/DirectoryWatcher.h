#pragma once

#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <string>

#include <boost/thread/thread.hpp>

// Follows the changes of one folder on a thread of its own: the thread waits
// on a completion port with which the folder is associated, and keeps one
// ReadDirectoryChangesW outstanding. Each change reaches OnChange on that
// thread.
class CDirectoryWatcher {
public:
    CDirectoryWatcher();
    // Derived classes stop the watcher in their own destructor, before their
    // members go: OnChange may run until Stop returns.
    ~CDirectoryWatcher();

    CDirectoryWatcher(const CDirectoryWatcher&) = delete;
    CDirectoryWatcher& operator=(const CDirectoryWatcher&) = delete;

    // 1 once the first read is under way; 0 when the folder cannot be opened
    // or watched. A running watcher is stopped first.
    int Start(const std::wstring& folder, DWORD filter);
    void Stop();
    bool IsRunning() const { return m_thread != nullptr; }

protected:
    // action: FILE_ACTION_*; name relative to the folder. A read that
    // carried no records gives action 0 and an empty name.
    virtual void OnChange(DWORD action, const std::wstring& name) = 0;

private:
    enum State { kIssueRead = 1, kReading = 5 };
    static constexpr DWORD kBufferSize = 4096;

    void Run();
    bool IssueRead();
    void Deliver();

    std::wstring m_folder;
    std::unique_ptr<boost::thread> m_thread;
    DWORD m_filter = 0;
    HANDLE m_port = nullptr;
    HANDLE m_directory = INVALID_HANDLE_VALUE;
    HANDLE m_ready = nullptr;
    OVERLAPPED m_overlapped;
    DWORD m_state = 0;
    // DWORD-aligned, as ReadDirectoryChangesW requires.
    DWORD m_buffer[kBufferSize / sizeof(DWORD)];
};
