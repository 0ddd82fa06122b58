#pragma once
#include <windows.h>
#include <wininet.h>

#include "download/TovraUpdate.h"

class DownloadTask;

// The library's one process-wide object: the list of downloads by URL, the
// callback settings and the workers, one per started download.
class DownloadContext {
public:
    DownloadContext();
    ~DownloadContext();

    int Init();
    void Exit();
    int Start(const wchar_t* url, const wchar_t* fileName, const wchar_t* directory);
    int Stop(const wchar_t* url);
    void SetCallback(DownloadProgressCallback callback, DWORD blockSize, DWORD pollMs,
                     UINT_PTR user);

    // The worker's body; the task carries one reference for it.
    void Download(DownloadTask* task);

private:
    struct Settings {
        DownloadProgressCallback callback;
        DWORD blockSize;
        DWORD pollMs;
        UINT_PTR user;
    };

    DownloadTask* FindTask(const wchar_t* url);  // with a new reference
    bool RemoveTask(DownloadTask* task);
    void StopWorker(DownloadTask* task);
    Settings ReadSettings();
    bool Report(DownloadTask* task, DWORD length, int percent, DWORD blockBytes);
    void Fetch(DownloadTask* task, HINTERNET request, char* buffer, DWORD blockSize);
    void Transfer(DownloadTask* task, HINTERNET request, HANDLE file, bool lengthKnown,
                  DWORD length, char* buffer, DWORD blockSize);

    // Guards the task list; alive between http_init and http_exit.
    CRITICAL_SECTION listLock_;
    bool initialised_ = false;
    DownloadTask* head_ = nullptr;
    DownloadTask* tail_ = nullptr;

    // Guards the callback settings, which workers read before every block;
    // alive as long as the library is loaded.
    CRITICAL_SECTION settingsLock_;
    Settings settings_;
};
