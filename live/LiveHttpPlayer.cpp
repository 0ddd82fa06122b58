#include "live/LiveHttpPlayer.h"

#include <cwchar>

CLiveHttpPlayer::CLiveHttpPlayer(const wchar_t* urlFormat)
    : m_serving(false), m_contentLength(0), m_urlFormat(urlFormat), m_acceptThread(nullptr),
      m_acceptStopped(nullptr),
      m_accepting(false), m_listener(INVALID_SOCKET), m_port(0), m_stopping(false)
{
}

bool CLiveHttpPlayer::Start(const char* header, std::uint32_t length)
{
    if (m_serving)
        Stop();
    if (!TakeHeader(header, length))
        return false;
    m_stopping = false;
    m_port = 0;
    SOCKET listener = INVALID_SOCKET;
    if (!LiveListen(m_port, listener)) {
        ClearHeader();
        return false;
    }
    m_listener = listener;
    m_acceptStopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_acceptThread = m_acceptStopped == nullptr
                         ? nullptr
                         : CreateThread(nullptr, 0, AcceptThread, this, CREATE_SUSPENDED, nullptr);
    if (m_acceptThread == nullptr) {
        if (m_acceptStopped != nullptr)
            CloseHandle(m_acceptStopped);
        m_acceptStopped = nullptr;
        closesocket(listener);
        m_listener = INVALID_SOCKET;
        ClearHeader();
        return false;
    }
    m_accepting = true;
    ResumeThread(m_acceptThread);
    m_serving = true;
    return true;
}

void CLiveHttpPlayer::Stop()
{
    if (!m_serving)
        return;
    m_stopping = true;
    StopListener();
    m_serving = false;
    std::lock_guard<std::mutex> lock(m_clientLock);
    for (ClientTable::value_type& client : m_clients)
        LiveCloseSocket(client.first);
    m_clients.clear();
    ClearHeader();
}

std::wstring CLiveHttpPlayer::GetUrl()
{
    if (!m_serving)
        return std::wstring();
    wchar_t url[64];
    std::swprintf(url, 64, m_urlFormat, static_cast<int>(m_port));
    return url;
}

void CLiveHttpPlayer::ClearHeader()
{
    m_header.clear();
    m_contentLength = 0;
}

bool CLiveHttpPlayer::SendTo(SOCKET socket, const char* data, std::size_t length)
{
    return LiveSendAll(socket, data, length, &m_stopping);
}

CLiveHttpPlayer::ClientTable::iterator CLiveHttpPlayer::SendOrDrop(ClientTable::iterator client,
                                                                    const char* data, std::size_t length)
{
    if (SendTo(client->first, data, length))
        return ++client;
    LiveCloseSocket(client->first);
    return m_clients.erase(client);
}

DWORD WINAPI CLiveHttpPlayer::AcceptThread(LPVOID self)
{
    static_cast<CLiveHttpPlayer*>(self)->AcceptLoop();
    return 0;
}

void CLiveHttpPlayer::AcceptLoop()
{
    while (m_accepting && m_listener != INVALID_SOCKET) {
        SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            WaitForSingleObject(m_acceptStopped, kLiveRetryMs);
            continue;
        }
        std::string request;
        std::string reply = Reply();
        if (!LiveReadRequest(client, request, m_accepting) || !SendTo(client, reply.data(), reply.size()) ||
            (!m_header.empty() && !SendTo(client, m_header.data(), m_header.size()))) {
            LiveCloseSocket(client);
            continue;
        }
        std::lock_guard<std::mutex> lock(m_clientLock);
        m_clients[client] = 1;
    }
}

void CLiveHttpPlayer::StopListener()
{
    if (m_acceptThread == nullptr)
        return;
    m_accepting = false;
    SetEvent(m_acceptStopped);
    LiveCloseSocket(m_listener.exchange(INVALID_SOCKET));
    WaitForSingleObject(m_acceptThread, INFINITE);
    CloseHandle(m_acceptThread);
    m_acceptThread = nullptr;
    CloseHandle(m_acceptStopped);
    m_acceptStopped = nullptr;
}
