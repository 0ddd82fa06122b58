#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include <boost/thread/thread.hpp>

#include "common/http/RequestState.h"

namespace wtl_http {

using CBuffer = http::CBuffer;
struct AsyncTry;

// The HTTP client of the control, its dialogs and the seeding service. A
// request object is reused: Reset (or PostForm), configure, Send, completion
// message, read the results. Sent asynchronously, a worker thread runs
// WinInet's asynchronous mode for up to `tries` attempts; sent synchronously,
// the request runs on the caller's thread. Whatever the outcome, one message
// (window, message, wParam, 0) is posted per Send.
class CHttpRequest : public http::RequestState {
public:
    CHttpRequest();
    virtual ~CHttpRequest();

    // Abort, then back to the state of a new object (the target stays).
    void Reset();
    void SetNotify(HWND window, UINT message, WPARAM wParam);
    // Attempts of the asynchronous worker (1 after Reset). Ignored while busy.
    void SetTries(int tries);
    // Appends "name: value\r\n" to the extra headers. Ignored while busy.
    void AddHeader(const wchar_t* name, const wchar_t* value);

    // 0 while busy. Asynchronous: 1 once the worker runs (0 when it cannot
    // start). Synchronous: runs here, posts, and answers IsOK.
    int Send(int asynchronous);
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

    boost::thread m_worker;
    int m_tries;
    std::wstring m_agent;       // always empty
    std::wstring m_headers;

    HANDLE m_completeEvent;     // auto-reset: an asynchronous call completed
    HANDLE m_closingEvent;      // auto-reset: a handle of the try reported closing
    HANDLE m_abortEvent;        // manual-reset: Abort, or a call failed in WinInet
    DWORD m_readWait;           // ms to wait for each block of the body

    HWND m_notifyWindow;
    UINT m_notifyMessage;
    WPARAM m_notifyWParam;
};

} // namespace wtl_http
