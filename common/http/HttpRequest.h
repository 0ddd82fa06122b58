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

namespace http {

// One tracker request of a streaming engine: a blocking WinInet request on a
// worker thread of its own. Whatever the outcome, the worker posts the
// caller's message with the caller's wParam and lParam; the engines pass the
// request itself as lParam, and the receiver reads and deletes it.
class CHttpRequest {
public:
    CHttpRequest();
    virtual ~CHttpRequest();
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    // 1 when stored; 0 while busy, for null, or unless it begins with "http".
    int SetURL(const wchar_t* url);
    // A body makes the request a POST; null or 0 bytes a GET. Ignored while busy.
    void SetPostData(const void* bytes, std::size_t length);
    // window 0: no completion message.
    void SetNotify(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // 0 while busy. Asynchronous: 1 once the worker runs. Synchronous: runs
    // on this thread (posting too) and answers IsOK.
    int Send(int asynchronous);
    // Busy from Send until the worker has closed its handles, which it does
    // before posting: the receiver of the completion never sees it busy.
    bool IsBusy();
    // Not busy, status 200 to 299 and the whole body received.
    int IsOK();
    int GetStatus();
    std::wstring GetStatusText();
    // Empty while busy or without a body; kept when the body was cut short.
    std::wstring GetResponseText(UINT codePage);

    // Cancels by closing the session and waits for the worker, which still
    // posts its completion (status 0).
    void Stop();
    // Stop, then forgets URL, bodies and status.
    void Reset();

private:
    void Worker();
    bool AdoptSession(HINTERNET session);
    void Finish();

    boost::mutex m_lock;       // guards the session hand-over, busy, results and target
    boost::thread m_worker;
    HINTERNET m_session;       // the worker's, until Stop or the worker takes it out
    std::atomic<bool> m_abort; // set while Stop runs
    bool m_busy;

    std::wstring m_url;
    std::wstring m_agent;      // always empty
    std::wstring m_headers;    // always empty: no headers of our own
    std::unique_ptr<CBuffer> m_postData;
    Response m_response;       // written by the worker while busy

    HWND m_notifyWindow;
    UINT m_notifyMessage;
    WPARAM m_notifyWParam;
    LPARAM m_notifyLParam;
};

} // namespace http
