#include "download/DownloadTask.h"

#include <wchar.h>

namespace {

template <size_t N>
bool CopyText(wchar_t (&to)[N], const wchar_t* from, size_t length)
{
    if (length >= N)
        return false;
    wmemcpy(to, from, length);
    to[length] = L'\0';
    return true;
}

template <size_t N>
bool CopyText(wchar_t (&to)[N], const wchar_t* from)
{
    return CopyText(to, from, wcslen(from));
}

}  // namespace

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
    // The host runs from the host name up to the next "/" (a port stays in
    // it); the path keeps its query. Both are kept for the record only.
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url, 0, 0, &parts))
        return nullptr;

    DownloadTask* task = new DownloadTask;
    const wchar_t* host = parts.lpszHostName ? parts.lpszHostName : L"";
    const wchar_t* hostEnd = wcschr(host, L'/');
    const wchar_t* path = parts.lpszUrlPath ? parts.lpszUrlPath : L"";
    size_t pathLength = parts.dwUrlPathLength + parts.dwExtraInfoLength;
    bool ok = CopyText(task->url_, url) && CopyText(task->fileName_, fileName) &&
              CopyText(task->directory_, directory) &&
              CopyText(task->hostName_, host, hostEnd ? hostEnd - host : wcslen(host)) &&
              CopyText(task->urlPath_, path, wcsnlen(path, pathLength));
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
