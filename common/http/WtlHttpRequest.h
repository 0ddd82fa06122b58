#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "common/http/BlockingRequest.h"
#include "common/http/HttpBuffer.h"

namespace wtl_http {

using CBuffer = http::CBuffer;
struct AsyncTry;

// The HTTP client of the control, its dialogs and the seeding service. A
// request object is reused: Reset (or PostForm), configure, Send, completion
// message, read the results. Sent asynchronously, a worker thread runs
// WinInet's asynchronous mode for up to `tries` attempts; sent synchronously,
// the request runs on the caller's thread. Whatever the outcome, one message
// (window, message, wParam, 0) is posted per Send.
class CHttpRequest {
public:
    CHttpRequest();
    virtual ~CHttpRequest();
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    // Abort, then back to the state of a new object (the target stays).
    void Reset();
    void SetNotify(HWND window, UINT message, WPARAM wParam);
    // Attempts of the asynchronous worker (1 after Reset). Ignored while busy.
    void SetTries(int tries);
    // 1 when stored; 0 while busy, for null, or unless it begins with "http".
    int SetURL(const wchar_t* url);
    // Appends "name: value\r\n" to the extra headers. Ignored while busy.
    void AddHeader(const wchar_t* name, const wchar_t* value);
    // A body makes the request a POST; null or 0 bytes a GET. Ignored while busy.
    void SetPostData(const void* bytes, std::size_t length);

    // 0 while busy. Asynchronous: 1 once the worker runs (0 when it cannot
    // start). Synchronous: runs here, posts, and answers IsOK.
    int Send(int asynchronous);
    // Busy from Send until the worker has closed its handles, which it does
    // before posting: the receiver of the completion never sees it busy.
    bool IsBusy();
    // Not busy, status 200 to 299 and the whole body received.
    int IsOK();
    int GetStatus();
    std::wstring GetStatusText();
    std::wstring GetURL();
    // Empty while busy or without a body; kept when the body was cut short.
    std::wstring GetResponseText(UINT codePage);

    // Ends a running request and waits for its worker; the completion is
    // still posted.
    void Abort();

    // Reset, then a form POST with Content-Type and Content-Length headers;
    // 1 when sent asynchronously.
    int PostForm(const wchar_t* url, const void* body, int length, HWND window, UINT message,
                 WPARAM wParam, int tries);

private:
    void AsyncWorker();
    void RunAsyncTry();
    HINTERNET StartGet(HINTERNET session, AsyncTry& attempt);
    HINTERNET StartPost(HINTERNET session, AsyncTry& attempt);
    bool WaitForCompletion(DWORD timeout);
    void ReadAsyncResponse(HINTERNET handle, AsyncTry& attempt);
    void CloseTryHandles(AsyncTry& attempt);
    int RunSync();
    void PostCompletion();

    boost::mutex m_lock;        // guards the session hand-over, busy, results and target
    boost::thread m_worker;
    HINTERNET m_session;        // the synchronous request's session while it runs
    std::atomic<bool> m_abort;  // set while Abort runs
    bool m_busy;
    int m_tries;

    std::wstring m_url;
    std::wstring m_agent;       // always empty
    std::wstring m_headers;
    std::unique_ptr<CBuffer> m_postData;
    http::Response m_response;  // written by the worker while busy

    HANDLE m_completeEvent;     // auto-reset: an asynchronous call completed
    HANDLE m_closingEvent;      // auto-reset: a handle of the try reported closing
    HANDLE m_abortEvent;        // manual-reset: Abort, or a call failed in WinInet
    DWORD m_readWait;           // ms to wait for each block of the body

    HWND m_notifyWindow;
    UINT m_notifyMessage;
    WPARAM m_notifyWParam;
};

} // namespace wtl_http
