#pragma once
#include <windows.h>
#include <wininet.h>

// One listed download, keyed by its URL. The list and the worker each hold a
// reference, so a worker that outlives http_stop (a read that Wine cannot
// interrupt) still works on a live record and finds it stopped.
class DownloadTask {
public:
    enum { kUrlChars = 260, kPartChars = 256 };

    // Null when a text does not fit or the URL cannot be split.
    static DownloadTask* Create(const wchar_t* url, const wchar_t* fileName,
                                const wchar_t* directory);

    void AddRef();
    void Release();

    const wchar_t* Url() const { return url_; }
    const wchar_t* FileName() const { return fileName_; }
    const wchar_t* Directory() const { return directory_; }

    // Worker side: keeps a WinInet handle so that a stop can close it. False
    // when the task was stopped first; the caller then closes the handle.
    bool AdoptHandle(HINTERNET handle);
    // Closes the kept handles, once: the worker on its way out, or a stop
    // whose worker is blocked inside WinInet.
    void CloseHandles();
    DWORD AddBytes(DWORD count);
    bool Stopped() const;
    HANDLE StopEvent() const { return stopEvent_; }

    // Host side: marks the task stopped and wakes the worker's poll.
    void RequestStop();
    void SetThread(HANDLE thread);
    // The worker's handle, once; the caller waits on it and closes it.
    HANDLE TakeThread();

    DownloadTask* next = nullptr;  // list link, guarded by the list's lock

private:
    DownloadTask();
    ~DownloadTask();
    DownloadTask(const DownloadTask&) = delete;
    DownloadTask& operator=(const DownloadTask&) = delete;

    volatile LONG refs_ = 1;
    volatile LONG stopped_ = 0;
    volatile LONG received_ = 0;
    HANDLE stopEvent_ = nullptr;  // manual reset: every later poll sees it
    CRITICAL_SECTION lock_;       // guards handles_ and thread_
    HINTERNET handles_[2] = {};   // session, URL
    HANDLE thread_ = nullptr;
    wchar_t url_[kUrlChars] = {};
    wchar_t directory_[kPartChars] = {};
    wchar_t fileName_[kPartChars] = {};
};
