#include "common/http/WtlHttpRequest.h"

#include <cwchar>

#include "common/http/AsyncTry.h"
#include "common/http/UrlParts.h"

namespace wtl_http {

namespace {

const DWORD kReadWait = 5000;
// How long a try waits for its handles to report closing. Windows cancels
// what is pending on a closed handle at once; Wine 8 completes it first,
// which may take until the server answers.
const DWORD kClosingWait = 2000;

const wchar_t* OrNull(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

bool Signalled(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

} // namespace

CHttpRequest::CHttpRequest()
    : m_tries(1),
      m_completeEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_closingEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_abortEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_readWait(kReadWait),
      m_notifyWindow(nullptr),
      m_notifyMessage(0),
      m_notifyWParam(0)
{
}

CHttpRequest::~CHttpRequest()
{
    Reset();
    CloseHandle(m_completeEvent);
    CloseHandle(m_closingEvent);
    CloseHandle(m_abortEvent);
}

void CHttpRequest::Reset()
{
    Abort();
    ResetEvent(m_completeEvent);
    ResetEvent(m_closingEvent);
    ResetEvent(m_abortEvent);
    ClearRequest();
    boost::mutex::scoped_lock lock(m_lock);
    m_headers.clear();
    m_tries = 1;
    m_readWait = kReadWait;
}

void CHttpRequest::SetNotify(HWND window, UINT message, WPARAM wParam)
{
    boost::mutex::scoped_lock lock(m_lock);
    m_notifyWindow = window;
    m_notifyMessage = message;
    m_notifyWParam = wParam;
}

void CHttpRequest::SetTries(int tries)
{
    boost::mutex::scoped_lock lock(m_lock);
    if (!m_busy)
        m_tries = tries;
}

void CHttpRequest::AddHeader(const wchar_t* name, const wchar_t* value)
{
    boost::mutex::scoped_lock lock(m_lock);
    if (m_busy)
        return;
    m_headers += name ? name : L"";
    m_headers += L": ";
    m_headers += value ? value : L"";
    m_headers += L"\r\n";
}

int CHttpRequest::Send(int asynchronous)
{
    if (IsBusy())
        return 0;
    Abort();
    // Events left set by an earlier request (an error completion sets the
    // abort event) must not end this one.
    ResetEvent(m_completeEvent);
    ResetEvent(m_closingEvent);
    ResetEvent(m_abortEvent);
    if (!BeginSend())
        return 0;
    if (!asynchronous)
        return RunSync();
    try {
        m_worker = boost::thread(&CHttpRequest::AsyncWorker, this);
    } catch (const boost::thread_resource_error&) {
        boost::mutex::scoped_lock lock(m_lock);
        m_busy = false;
        return 0;
    }
    return 1;
}

void CHttpRequest::Abort()
{
    m_abort = true;
    // A synchronous request running on another thread: closing its session
    // makes its blocking calls fail.
    CloseSession();
    // The asynchronous worker waits only on events: the abort event wakes it,
    // and it closes its own handles, children before the session.
    if (m_worker.joinable()) {
        SetEvent(m_abortEvent);
        m_worker.join();
        ResetEvent(m_abortEvent);
    }
    m_abort = false;
}

int CHttpRequest::PostForm(const wchar_t* url, const void* body, int length, HWND window,
                           UINT message, WPARAM wParam, int tries)
{
    Reset();
    SetNotify(window, message, wParam);
    SetTries(tries);
    if (!SetURL(url))
        return 0;
    AddHeader(L"Content-Type", L"application/x-www-form-urlencoded");
    SetPostData(body, length > 0 ? static_cast<std::size_t>(length) : 0);
    wchar_t text[16];
    swprintf(text, 16, L"%d", length);
    AddHeader(L"Content-Length", text);
    return Send(1);
}

void CHttpRequest::AsyncWorker()
{
    for (int attempt = 0; attempt < m_tries; ++attempt) {
        RunAsyncTry();
        // An error inside WinInet also sets the abort event: no more tries.
        if (Signalled(m_abortEvent) || m_response.Succeeded())
            break;
    }
    PostCompletion();
}

void CHttpRequest::RunAsyncTry()
{
    HINTERNET session = InternetOpenW(m_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                      nullptr, INTERNET_FLAG_ASYNC);
    if (!session)
        return;
    // The closings of the previous try must not end this one's waits.
    ResetEvent(m_closingEvent);
    AsyncTry* attempt = BeginTry(m_postData != nullptr, m_headers, m_postData.get(),
                                 m_completeEvent, m_closingEvent, m_abortEvent);
    InternetSetStatusCallbackW(session, AsyncTryCallback);
    HINTERNET handle = attempt->post ? StartPost(session, *attempt) : StartGet(session, *attempt);
    if (handle)
        ReadAsyncResponse(handle, *attempt);
    CloseTryHandles(*attempt);
    InternetSetStatusCallbackW(session, nullptr);
    InternetCloseHandle(session);
    EndTry(attempt);
}

// Waits for the pending call; only its completion (not a closing, an abort,
// an error or the time-out) counts.
bool CHttpRequest::WaitForCompletion(DWORD timeout)
{
    HANDLE events[] = {m_completeEvent, m_closingEvent, m_abortEvent};
    return WaitForMultipleObjects(3, events, FALSE, timeout) == WAIT_OBJECT_0;
}

HINTERNET CHttpRequest::StartGet(HINTERNET session, AsyncTry& attempt)
{
    ResetEvent(m_completeEvent);
    HINTERNET url = InternetOpenUrlW(session, m_url.c_str(), OrNull(attempt.headers),
                                     static_cast<DWORD>(attempt.headers.size()),
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                         INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_PRAGMA_NOCACHE,
                                     attempt.id);
    if (url) {
        RecordReturned(attempt, &AsyncTry::url, url);
        return url;
    }
    if (GetLastError() != ERROR_IO_PENDING)
        return nullptr;
    MarkPending(attempt);
    if (!WaitForCompletion(INFINITE))
        return nullptr;
    return RecordedHandle(attempt, &AsyncTry::url);
}

HINTERNET CHttpRequest::StartPost(HINTERNET session, AsyncTry& attempt)
{
    ResetEvent(m_completeEvent);
    http::UrlParts parts;
    if (!http::CrackUrl(m_url, parts))
        return nullptr;
    HINTERNET connection = InternetConnectW(session, parts.host.c_str(), parts.port,
                                            OrNull(parts.user), OrNull(parts.password),
                                            INTERNET_SERVICE_HTTP, 0, attempt.id);
    if (!connection)
        return nullptr;
    RecordReturned(attempt, &AsyncTry::connection, connection);
    HINTERNET request = HttpOpenRequestW(connection, L"POST", OrNull(parts.path), nullptr, nullptr,
                                         nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                         attempt.id);
    if (!request)
        return nullptr;
    RecordReturned(attempt, &AsyncTry::request, request);
    if (HttpSendRequestW(request, OrNull(attempt.headers),
                         static_cast<DWORD>(attempt.headers.size()), attempt.body.data(),
                         static_cast<DWORD>(attempt.body.size())))
        return request;
    if (GetLastError() != ERROR_IO_PENDING)
        return nullptr;
    MarkPending(attempt);
    return WaitForCompletion(INFINITE) ? request : nullptr;
}

// Status code first, then the body block by block. A body that ends by a
// time-out, an error or an abort before WinInet's final empty read, or that
// falls short of its Content-Length, is cut: the request fails, and the
// bytes received stay readable.
void CHttpRequest::ReadAsyncResponse(HINTERNET handle, AsyncTry& attempt)
{
    if (!http::QueryStatus(handle, m_response))
        return;
    m_response.body.reset(new CBuffer);
    m_response.complete = false;
    for (;;) {
        ResetEvent(m_completeEvent);
        attempt.buffers = INTERNET_BUFFERSA();
        attempt.buffers.dwStructSize = sizeof attempt.buffers;
        attempt.buffers.lpvBuffer = attempt.block;
        attempt.buffers.dwBufferLength = AsyncTry::kReadBlock;
        if (!InternetReadFileExA(handle, &attempt.buffers, IRF_ASYNC, attempt.id)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return;
            MarkPending(attempt);
            if (!WaitForCompletion(m_readWait))
                return;
        } else if (Signalled(m_abortEvent)) {
            return;
        }
        DWORD got = attempt.buffers.dwBufferLength;
        if (got == 0)
            break;
        if (!m_response.body->Append(attempt.block, got))
            return;
    }
    m_response.complete = !http::BodyShortOfLength(handle, m_response.body->Size());
}

// Closes the try's handles and waits, bounded, for each to report closing:
// only then may the object start another try, be reused or be deleted.
void CHttpRequest::CloseTryHandles(AsyncTry& attempt)
{
    HINTERNET first;
    HINTERNET second;
    StartClosing(attempt, first, second);
    ResetEvent(m_closingEvent);
    if (first)
        InternetCloseHandle(first);
    if (second)
        InternetCloseHandle(second);
    DWORD start = GetTickCount();
    for (;;) {
        if (HandlesClosed(attempt))
            return;
        DWORD spent = GetTickCount() - start;
        if (spent >= kClosingWait)
            return;
        WaitForSingleObject(m_closingEvent, kClosingWait - spent);
    }
}

int CHttpRequest::RunSync()
{
    RunBlocking(m_headers);
    PostCompletion();
    return IsOK();
}

void CHttpRequest::PostCompletion()
{
    boost::mutex::scoped_lock lock(m_lock);
    m_busy = false;
    if (m_notifyWindow)
        PostMessageW(m_notifyWindow, m_notifyMessage, m_notifyWParam, 0);
}

} // namespace wtl_http
