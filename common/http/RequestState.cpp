#include "common/http/RequestState.h"

#include <cwchar>

namespace http {

RequestState::RequestState() : m_session(nullptr), m_abort(false), m_busy(false) {}

int RequestState::SetURL(const wchar_t* url)
{
    boost::mutex::scoped_lock lock(m_lock);
    if (m_busy || !url || std::wcsncmp(url, L"http", 4) != 0)
        return 0;
    m_url = url;
    return 1;
}

void RequestState::SetPostData(const void* bytes, std::size_t length)
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

bool RequestState::IsBusy()
{
    boost::mutex::scoped_lock lock(m_lock);
    return m_busy;
}

int RequestState::IsOK()
{
    boost::mutex::scoped_lock lock(m_lock);
    return !m_busy && m_response.Succeeded();
}

int RequestState::GetStatus()
{
    boost::mutex::scoped_lock lock(m_lock);
    return m_busy ? 0 : m_response.status;
}

std::wstring RequestState::GetStatusText()
{
    boost::mutex::scoped_lock lock(m_lock);
    return m_busy ? std::wstring() : m_response.statusText;
}

std::wstring RequestState::GetURL()
{
    boost::mutex::scoped_lock lock(m_lock);
    return m_url;
}

std::wstring RequestState::GetResponseText(UINT codePage)
{
    boost::mutex::scoped_lock lock(m_lock);
    if (m_busy || !m_response.body)
        return std::wstring();
    return m_response.body->ToString(m_response.body->Size(), codePage);
}

bool RequestState::BeginSend()
{
    boost::mutex::scoped_lock lock(m_lock);
    if (m_busy)
        return false;
    m_response = Response();
    m_busy = true;
    return true;
}

void RequestState::ClearRequest()
{
    boost::mutex::scoped_lock lock(m_lock);
    if (m_busy)
        return;
    m_url.clear();
    m_postData.reset();
    m_response = Response();
}

void RequestState::RunBlocking(const std::wstring& headers)
{
    // No agent string of our own.
    HINTERNET session = InternetOpenW(L"", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session) {
        bool adopted = false;
        {
            boost::mutex::scoped_lock lock(m_lock);
            if (!m_abort) {
                m_session = session;
                adopted = true;
            }
        }
        if (adopted)
            RunBlockingRequest(session, m_url, headers, m_postData.get(), m_abort, m_response);
        else
            InternetCloseHandle(session);
    }
    {
        boost::mutex::scoped_lock lock(m_lock);
        if (m_abort)
            m_response.status = 0;
    }
    CloseSession();
}

void RequestState::CloseSession()
{
    HINTERNET session;
    {
        boost::mutex::scoped_lock lock(m_lock);
        session = m_session;
        m_session = nullptr;
    }
    if (session)
        InternetCloseHandle(session);
}

} // namespace http
