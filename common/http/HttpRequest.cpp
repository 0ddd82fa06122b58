#include "common/http/HttpRequest.h"

namespace http {

CHttpRequest::CHttpRequest()
    : m_notifyWindow(nullptr), m_notifyMessage(0), m_notifyWParam(0), m_notifyLParam(0)
{
}

CHttpRequest::~CHttpRequest()
{
    Reset();
}

void CHttpRequest::SetNotify(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    boost::mutex::scoped_lock lock(m_lock);
    m_notifyWindow = window;
    m_notifyMessage = message;
    m_notifyWParam = wParam;
    m_notifyLParam = lParam;
}

int CHttpRequest::Send(int asynchronous)
{
    if (IsBusy())
        return 0;
    Stop();
    if (!BeginSend())
        return 0;
    if (!asynchronous) {
        Worker();
        return IsOK();
    }
    try {
        m_worker = boost::thread(&CHttpRequest::Worker, this);
    } catch (const boost::thread_resource_error&) {
        boost::mutex::scoped_lock lock(m_lock);
        m_busy = false;
        return 0;
    }
    return 1;
}

void CHttpRequest::Stop()
{
    m_abort = true;
    // Closing the session makes the worker's blocking calls fail. Wine 8
    // lets a call already waiting on the server wait on, so the join can last
    // until the server answers or hangs up.
    CloseSession();
    if (m_worker.joinable())
        m_worker.join();
    m_abort = false;
}

void CHttpRequest::Reset()
{
    Stop();
    ClearRequest();
}

void CHttpRequest::Worker()
{
    // No headers of our own.
    RunBlocking(std::wstring());
    boost::mutex::scoped_lock lock(m_lock);
    m_busy = false;
    if (m_notifyWindow)
        PostMessageW(m_notifyWindow, m_notifyMessage, m_notifyWParam, m_notifyLParam);
}

} // namespace http
