#include "download/DownloadTask.h"

#include "common/text/FixedText.h"

DownloadTask::DownloadTask()
{
    InitializeCriticalSection(&lock_);
}

DownloadTask::~DownloadTask()
{
    CloseHandles();
    if (thread_)
        CloseHandle(thread_);
    if (stopEvent_)
        CloseHandle(stopEvent_);
    DeleteCriticalSection(&lock_);
}

DownloadTask* DownloadTask::Create(const wchar_t* url, const wchar_t* fileName,
                                   const wchar_t* directory)
{
    // Only a URL that WinInet can split is listed; InternetOpenUrlW reads it
    // whole later.
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    if (!InternetCrackUrlW(url, 0, 0, &parts))
        return nullptr;

    DownloadTask* task = new DownloadTask;
    bool ok = CopyText(task->url_, url) && CopyText(task->fileName_, fileName) &&
              CopyText(task->directory_, directory);
    task->stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ok || !task->stopEvent_) {
        task->Release();
        return nullptr;
    }
    return task;
}

void DownloadTask::AddRef()
{
    InterlockedIncrement(&refs_);
}

void DownloadTask::Release()
{
    if (InterlockedDecrement(&refs_) == 0)
        delete this;
}

bool DownloadTask::AdoptHandle(HINTERNET handle)
{
    EnterCriticalSection(&lock_);
    bool kept = !Stopped();
    if (kept)
        handles_[handles_[0] ? 1 : 0] = handle;
    LeaveCriticalSection(&lock_);
    return kept;
}

void DownloadTask::CloseHandles()
{
    EnterCriticalSection(&lock_);
    HINTERNET session = handles_[0], request = handles_[1];
    handles_[0] = handles_[1] = nullptr;
    LeaveCriticalSection(&lock_);
    if (request)
        InternetCloseHandle(request);
    if (session)
        InternetCloseHandle(session);
}

DWORD DownloadTask::AddBytes(DWORD count)
{
    return static_cast<DWORD>(InterlockedExchangeAdd(&received_, static_cast<LONG>(count))) + count;
}

bool DownloadTask::Stopped() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&stopped_), 0, 0) != 0;
}

void DownloadTask::RequestStop()
{
    // Under the handle lock: a handle adopted after this is refused.
    EnterCriticalSection(&lock_);
    InterlockedExchange(&stopped_, 1);
    LeaveCriticalSection(&lock_);
    SetEvent(stopEvent_);
}

void DownloadTask::SetThread(HANDLE thread)
{
    EnterCriticalSection(&lock_);
    thread_ = thread;
    LeaveCriticalSection(&lock_);
}

HANDLE DownloadTask::TakeThread()
{
    EnterCriticalSection(&lock_);
    HANDLE thread = thread_;
    thread_ = nullptr;
    LeaveCriticalSection(&lock_);
    return thread;
}
