#include "common/http/HttpRequest.h"

#include <cwchar>

namespace http {

CHttpRequest::CHttpRequest()
    : m_session(nullptr),
      m_abort(false),
      m_busy(false),
      m_notifyWindow(nullptr),
      m_notifyMessage(0),
      m_notifyWParam(0),
      m_notifyLParam(0)
{
}

CHttpRequest::~CHttpRequest()
{
    Reset();
}

int CHttpRequest::SetURL(const wchar_t* url)
{
    if (IsBusy() || !url || std::wcsncmp(url, L"http", 4) != 0)
        return 0;
    m_url = url;
    return 1;
}

void CHttpRequest::SetPostData(const void* bytes, std::size_t length)
{
    boost::mutex::scoped_lock lock(m_lock);
    if (m_busy)
        return;
    m_postData.reset();
    if (!bytes || length == 0)
        return;
    std::unique_ptr<CBuffer> body(new CBuffer);
    if (body->Append(bytes, length))
        m_postData = std::move(body);
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
    {
        boost::mutex::scoped_lock lock(m_lock);
        m_response = Response();
        m_busy = true;
    }
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

bool CHttpRequest::IsBusy()
{
    boost::mutex::scoped_lock lock(m_lock);
    return m_busy;
}

int CHttpRequest::IsOK()
{
    boost::mutex::scoped_lock lock(m_lock);
    return !m_busy && m_response.Succeeded();
}

int CHttpRequest::GetStatus()
{
    boost::mutex::scoped_lock lock(m_lock);
    return m_busy ? 0 : m_response.status;
}

std::wstring CHttpRequest::GetStatusText()
{
    boost::mutex::scoped_lock lock(m_lock);
    return m_busy ? std::wstring() : m_response.statusText;
}

std::wstring CHttpRequest::GetResponseText(UINT codePage)
{
    boost::mutex::scoped_lock lock(m_lock);
    if (m_busy || !m_response.body)
        return std::wstring();
    return m_response.body->ToString(m_response.body->Size(), codePage);
}

void CHttpRequest::Stop()
{
    m_abort = true;
    HINTERNET session;
    {
        boost::mutex::scoped_lock lock(m_lock);
        session = m_session;
        m_session = nullptr;
    }
    // Closing the session makes the worker's blocking calls fail. Wine 8
    // lets a call already waiting on the server wait on, so the join can last
    // until the server answers or hangs up.
    if (session)
        InternetCloseHandle(session);
    if (m_worker.joinable())
        m_worker.join();
    m_abort = false;
}

void CHttpRequest::Reset()
{
    Stop();
    boost::mutex::scoped_lock lock(m_lock);
    m_url.clear();
    m_headers.clear();
    m_postData.reset();
    m_response = Response();
}

void CHttpRequest::Worker()
{
    HINTERNET session =
        InternetOpenW(m_agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session && AdoptSession(session))
        RunBlockingRequest(session, m_url, m_headers, m_postData.get(), m_abort, m_response);
    Finish();
}

// The session becomes Stop's to close, unless Stop already began.
bool CHttpRequest::AdoptSession(HINTERNET session)
{
    {
        boost::mutex::scoped_lock lock(m_lock);
        if (!m_abort) {
            m_session = session;
            return true;
        }
    }
    InternetCloseHandle(session);
    return false;
}

void CHttpRequest::Finish()
{
    HINTERNET session;
    {
        boost::mutex::scoped_lock lock(m_lock);
        if (m_abort)
            m_response.status = 0;
        session = m_session;
        m_session = nullptr;
    }
    if (session)
        InternetCloseHandle(session);

    boost::mutex::scoped_lock lock(m_lock);
    m_busy = false;
    if (m_notifyWindow)
        PostMessageW(m_notifyWindow, m_notifyMessage, m_notifyWParam, m_notifyLParam);
}

} // namespace http
