#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include <boost/thread/mutex.hpp>

#include "common/http/BlockingRequest.h"
#include "common/http/HttpBuffer.h"

namespace http {

// What both request classes share: the target, the body to post, the busy
// flag and the results, all under one lock, and the session of a blocking
// request that a stop from another thread closes.
class RequestState {
public:
    RequestState(const RequestState&) = delete;
    RequestState& operator=(const RequestState&) = delete;

    // 1 when stored; 0 while busy, for null, or unless it begins with "http".
    int SetURL(const wchar_t* url);
    // A body makes the request a POST; null or 0 bytes a GET. Ignored while busy.
    void SetPostData(const void* bytes, std::size_t length);

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

protected:
    RequestState();
    ~RequestState() = default;

    // False while busy; otherwise clears the results and turns busy.
    bool BeginSend();
    // Forgets target, body and results (not while busy).
    void ClearRequest();
    // One blocking request with the stored target and body on this thread,
    // in a session of its own that CloseSession can close meanwhile; a stop
    // leaves status 0. The session is closed before this returns.
    void RunBlocking(const std::wstring& headers);
    // Takes the session out (under the lock) and closes it: blocking calls
    // on it fail at once.
    void CloseSession();

    boost::mutex m_lock;        // guards the session hand-over, busy, results and target
    HINTERNET m_session;        // a blocking request's, until a stop or its end takes it out
    std::atomic<bool> m_abort;  // set while a stop runs
    bool m_busy;

    std::wstring m_url;
    std::unique_ptr<CBuffer> m_postData;
    Response m_response;        // written by the worker while busy
};

} // namespace http
