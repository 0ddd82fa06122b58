#include "LoopbackClient.h"

LoopbackClient::LoopbackClient() : m_socket(INVALID_SOCKET) {}

LoopbackClient::~LoopbackClient()
{
    Close();
}

bool LoopbackClient::Connect(unsigned short port, const char* address)
{
    Close();
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_socket == INVALID_SOCKET)
        return false;
    DWORD timeout = kReceiveTimeoutMs;
    setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr(address);
    to.sin_port = htons(port);
    return connect(m_socket, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == 0;
}

bool LoopbackClient::Send(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int n = send(m_socket, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string LoopbackClient::Receive(std::size_t count)
{
    std::string bytes(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const int n = recv(m_socket, &bytes[done], static_cast<int>(count - done), 0);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

std::string LoopbackClient::ReceiveAll(bool* timedOut)
{
    std::string bytes;
    char chunk[65536];
    if (timedOut != nullptr)
        *timedOut = false;
    for (;;) {
        const int n = recv(m_socket, chunk, sizeof(chunk), 0);
        if (n > 0) {
            bytes.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && WSAGetLastError() == WSAETIMEDOUT && timedOut != nullptr)
            *timedOut = true;
        return bytes;
    }
}

void LoopbackClient::Close()
{
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

std::string Exchange(unsigned short port, const std::string& request)
{
    LoopbackClient client;
    if (!client.Connect(port) || !client.Send(request))
        return "<no connection>";
    return client.ReceiveAll();
}
