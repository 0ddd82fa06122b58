#include "download/DownloadContext.h"

#include <stdlib.h>
#include <wchar.h>
#include <wininet.h>

#include "download/DownloadTask.h"

namespace {

const DWORD kDefaultBlockSize = 0x100000;
const DWORD kDefaultPollMs = 20;
// Every download runs on worker 1: the index only shows in the user agent
// and the callback.
const int kThreadIndex = 1;
// A stopped worker between blocks ends at once and closes its own handles.
// One still inside WinInet after the grace has its handles closed by the
// stop, which ends a blocking call on Windows but not under every WinInet;
// past the bound it is left to finish that call and then finds its task
// stopped. Closing from the stop's thread only after the grace keeps the
// stop short where closing a request reads the rest of its body.
const DWORD kStopGraceMs = 500;
const DWORD kStopWaitMs = 5000;

struct WorkerStart {
    DownloadContext* context;
    DownloadTask* task;  // one reference, released by the worker
    HMODULE module;      // one reference, so the code outlives FreeLibrary
};

DWORD WINAPI DownloadWorker(void* param)
{
    WorkerStart start = *static_cast<WorkerStart*>(param);
    delete static_cast<WorkerStart*>(param);
    start.context->Download(start.task);
    start.task->Release();
    FreeLibraryAndExitThread(start.module, 0);
    return 0;
}

// directory + file name, always created anew and pre-filled with zeros to the
// announced length; a file that cannot be created is reopened as it is.
HANDLE PrepareOutputFile(const DownloadTask* task, DWORD length)
{
    wchar_t path[MAX_PATH];
    size_t dirLength = wcslen(task->Directory());
    if (dirLength + wcslen(task->FileName()) >= MAX_PATH)
        return INVALID_HANDLE_VALUE;
    wcscpy(path, task->Directory());
    wcscpy(path + dirLength, task->FileName());

    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end, start = {};
    end.QuadPart = length;
    if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file) ||
        !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

}  // namespace

DownloadContext::DownloadContext()
    : settings_{nullptr, kDefaultBlockSize, kDefaultPollMs, 0}
{
    InitializeCriticalSection(&settingsLock_);
}

DownloadContext::~DownloadContext()
{
    DeleteCriticalSection(&settingsLock_);
}

int DownloadContext::Init()
{
    if (!initialised_) {
        InitializeCriticalSection(&listLock_);
        initialised_ = true;
    }
    return 1;
}

void DownloadContext::Exit()
{
    if (!initialised_)
        return;
    EnterCriticalSection(&listLock_);
    DownloadTask* task = head_;
    head_ = tail_ = nullptr;
    initialised_ = false;
    LeaveCriticalSection(&listLock_);
    while (task) {
        DownloadTask* next = task->next;
        StopWorker(task);
        task->Release();
        task = next;
    }
    DeleteCriticalSection(&listLock_);
}

int DownloadContext::Start(const wchar_t* url, const wchar_t* fileName, const wchar_t* directory)
{
    if (!url || !fileName || !directory || !initialised_)
        return 0;
    EnterCriticalSection(&listLock_);
    for (DownloadTask* listed = head_; listed; listed = listed->next) {
        if (wcscmp(listed->Url(), url) == 0) {
            LeaveCriticalSection(&listLock_);
            return 2;
        }
    }
    DownloadTask* task = DownloadTask::Create(url, fileName, directory);
    if (task) {
        (tail_ ? tail_->next : head_) = task;
        tail_ = task;
        task->AddRef();  // the worker's
    }
    LeaveCriticalSection(&listLock_);
    if (!task)
        return 0;

    HMODULE module = nullptr;
    HANDLE thread = nullptr;
    WorkerStart* start = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&DownloadWorker), &module)) {
        start = new WorkerStart{this, task, module};
        thread = CreateThread(nullptr, 0, DownloadWorker, start, 0, nullptr);
    }
    if (!thread) {
        // The task stays listed; http_stop removes it.
        delete start;
        task->Release();
        if (module)
            FreeLibrary(module);
        return 0;
    }
    task->SetThread(thread);
    return 1;
}

int DownloadContext::Stop(const wchar_t* url)
{
    if (!url || !initialised_)
        return 0;
    DownloadTask* task = FindTask(url);
    if (!task)
        return 0;
    StopWorker(task);
    int removed = RemoveTask(task) ? 1 : 0;
    task->Release();
    return removed;
}

void DownloadContext::SetCallback(DownloadProgressCallback callback, DWORD blockSize,
                                  DWORD pollMs, UINT_PTR user)
{
    EnterCriticalSection(&settingsLock_);
    settings_ = Settings{callback, blockSize, pollMs, user};
    LeaveCriticalSection(&settingsLock_);
}

DownloadTask* DownloadContext::FindTask(const wchar_t* url)
{
    EnterCriticalSection(&listLock_);
    DownloadTask* task = head_;
    while (task && wcscmp(task->Url(), url) != 0)
        task = task->next;
    if (task)
        task->AddRef();
    LeaveCriticalSection(&listLock_);
    return task;
}

bool DownloadContext::RemoveTask(DownloadTask* task)
{
    EnterCriticalSection(&listLock_);
    DownloadTask* previous = nullptr;
    DownloadTask* listed = head_;
    while (listed && listed != task) {
        previous = listed;
        listed = listed->next;
    }
    if (listed) {
        (previous ? previous->next : head_) = listed->next;
        if (tail_ == listed)
            tail_ = previous;
    }
    LeaveCriticalSection(&listLock_);
    if (listed)
        listed->Release();
    return listed != nullptr;
}

void DownloadContext::StopWorker(DownloadTask* task)
{
    task->RequestStop();
    HANDLE thread = task->TakeThread();
    if (!thread)
        return;
    if (WaitForSingleObject(thread, kStopGraceMs) == WAIT_TIMEOUT) {
        task->CloseHandles();
        WaitForSingleObject(thread, kStopWaitMs);
    }
    CloseHandle(thread);
}

DownloadContext::Settings DownloadContext::ReadSettings()
{
    EnterCriticalSection(&settingsLock_);
    Settings settings = settings_;
    LeaveCriticalSection(&settingsLock_);
    return settings;
}

bool DownloadContext::Report(DownloadTask* task, DWORD length, int percent, DWORD blockBytes)
{
    if (task->Stopped())
        return false;
    Settings settings = ReadSettings();
    if (settings.callback)
        settings.callback(task->Url(), task->FileName(), task->Directory(), length,
                          kThreadIndex, percent, blockBytes, settings.user);
    return true;
}

void DownloadContext::Download(DownloadTask* task)
{
    DWORD blockSize = ReadSettings().blockSize;
    if (blockSize == 0)
        blockSize = kDefaultBlockSize;
    char* buffer = static_cast<char*>(malloc(blockSize));
    wchar_t agent[16];
    swprintf(agent, 16, L"WinHTTP%d", kThreadIndex);
    HINTERNET session = buffer ? InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG,
                                               nullptr, nullptr, 0)
                               : nullptr;
    if (session && task->AdoptHandle(session)) {
        HINTERNET request = InternetOpenUrlW(
            session, task->Url(), nullptr, 0,
            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_TRANSFER_BINARY, 0);
        if (request && task->AdoptHandle(request))
            Fetch(task, request, buffer, blockSize);
        else if (request)
            InternetCloseHandle(request);
    } else if (session) {
        InternetCloseHandle(session);
    }
    task->CloseHandles();
    free(buffer);
}

void DownloadContext::Fetch(DownloadTask* task, HINTERNET request, char* buffer, DWORD blockSize)
{
    // An error page is not the file asked for: nothing is written.
    DWORD status = 0, size = sizeof status;
    if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr) &&
        (status < 200 || status > 299))
        return;
    DWORD length = 0;
    size = sizeof length;
    bool lengthKnown = HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                      &length, &size, nullptr) != FALSE;
    if (!lengthKnown)
        length = 0;
    HANDLE file = PrepareOutputFile(task, length);
    if (file == INVALID_HANDLE_VALUE)
        return;
    Transfer(task, request, file, lengthKnown, length, buffer, blockSize);
    CloseHandle(file);
}

// Reads block after block into the file. Only a complete body reaches 100 %:
// the block that reaches a known length, or a last call with 0 bytes at the
// end of a body of unknown length. A body that ends short, a failing read and
// a stop end the download without it.
void DownloadContext::Transfer(DownloadTask* task, HINTERNET request, HANDLE file,
                               bool lengthKnown, DWORD length, char* buffer, DWORD blockSize)
{
    if (lengthKnown && length == 0) {
        Report(task, 0, 100, 0);
        return;
    }
    DWORD received = 0;
    for (;;) {
        DWORD want = blockSize;
        if (lengthKnown && length - received < want)
            want = length - received;
        DWORD got = 0;
        if (task->Stopped() || !InternetReadFile(request, buffer, want, &got))
            return;
        if (got == 0) {
            if (!lengthKnown)
                Report(task, 0, 100, 0);
            return;
        }
        received = task->AddBytes(got);
        DWORD written = 0;
        if (!WriteFile(file, buffer, got, &written, nullptr) || written != got)
            return;
        int percent = lengthKnown ? static_cast<int>(static_cast<double>(received) / length * 100.0)
                                  : 0;
        if (!Report(task, length, percent, got))
            return;
        if (lengthKnown && received >= length)
            return;
        if (WaitForSingleObject(task->StopEvent(), ReadSettings().pollMs) == WAIT_OBJECT_0)
            return;
    }
}
