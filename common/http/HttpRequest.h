#pragma once

#include <windows.h>
#include <wininet.h>

#include <boost/thread/thread.hpp>

#include "common/http/RequestState.h"

namespace http {

// One tracker request of a streaming engine: a blocking WinInet request on a
// worker thread of its own. Whatever the outcome, the worker posts the
// caller's message with the caller's wParam and lParam; the engines pass the
// request itself as lParam, and the receiver reads and deletes it.
class CHttpRequest : public RequestState {
public:
    CHttpRequest();
    virtual ~CHttpRequest();

    // window 0: no completion message.
    void SetNotify(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // 0 while busy. Asynchronous: 1 once the worker runs. Synchronous: runs
    // on this thread (posting too) and answers IsOK.
    int Send(int asynchronous);

    // Cancels by closing the session and waits for the worker, which still
    // posts its completion (status 0).
    void Stop();
    // Stop, then forgets URL, body and status.
    void Reset();

private:
    void Worker();

    boost::thread m_worker;
    HWND m_notifyWindow;
    UINT m_notifyMessage;
    WPARAM m_notifyWParam;
    LPARAM m_notifyLParam;
};

} // namespace http
