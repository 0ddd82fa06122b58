#include "live/LiveSockets.h"

#include <cstring>

bool LiveListen(std::uint16_t& port, SOCKET& listener)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    sockaddr_in address;
    std::memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    int size = sizeof(address);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0 || listen(s, 2) != 0) {
        closesocket(s);
        return false;
    }
    port = ntohs(address.sin_port);
    listener = s;
    return true;
}

bool LiveReadRequest(SOCKET socket, std::string& request, const std::atomic<bool>& keepGoing)
{
    request.clear();
    DWORD started = GetTickCount();
    char buffer[1000];
    while (keepGoing && GetTickCount() - started < kLiveRequestWaitMs) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval wait = {0, 100000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        int got = recv(socket, buffer, sizeof(buffer), 0);
        if (got <= 0)
            return false;
        std::size_t searchFrom = request.size() < 3 ? 0 : request.size() - 3;
        request.append(buffer, static_cast<std::size_t>(got));
        if (request.find("\r\n\r\n", searchFrom) != std::string::npos)
            return true;
        if (request.size() >= kLiveRequestLimit)
            return false;
    }
    return false;
}

bool LiveSendAll(SOCKET socket, const char* data, std::size_t length, const std::atomic<bool>* abort)
{
    if (socket == INVALID_SOCKET)
        return false;
    while (length > 0) {
        if (abort != nullptr && *abort)
            return false;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(socket, &writable);
        timeval wait = {0, 100000};
        int ready = select(0, nullptr, &writable, nullptr, &wait);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        int chunk = length > 65536 ? 65536 : static_cast<int>(length);
        int sent = send(socket, data, chunk, 0);
        if (sent <= 0)
            return false;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

void LiveCloseSocket(SOCKET socket)
{
    if (socket == INVALID_SOCKET)
        return;
    shutdown(socket, SD_BOTH);
    closesocket(socket);
}

LiveWinsockUse::LiveWinsockUse()
{
    WSADATA data;
    m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

LiveWinsockUse::~LiveWinsockUse()
{
    if (m_started)
        WSACleanup();
}
