#include "platform/standins/MovieFetch.h"

#include <winsock2.h>

#include <string>

#include "platform/standins/HttpUrl.h"

namespace standins {

namespace {

const DWORD kWaitMs = 5000;

struct Target {
    sockaddr_in address = {};
    std::string hostPort, path;
};

// "http://" a dotted loopback address, an optional port, then the path.
bool ParseLoopbackUrl(const std::wstring& url, Target* target, std::wstring* why)
{
    HttpUrl parts;
    if (!SplitHttpUrl(url, &parts)) {
        *why = L"not http";
        return false;
    }
    const unsigned long ip = inet_addr(parts.host.c_str());
    if (parts.host.empty() || ip == INADDR_NONE || (ntohl(ip) >> 24) != 127) {
        *why = L"not a loopback address";
        return false;
    }
    const int port = parts.port;
    if (port <= 0 || port > 65535) {
        *why = L"bad port";
        return false;
    }
    target->address.sin_family = AF_INET;
    target->address.sin_addr.s_addr = ip;
    target->address.sin_port = htons(static_cast<u_short>(port));
    target->hostPort = parts.authority;
    target->path = parts.path;
    return true;
}

// The status code and body length of one GET, or the reason it failed.
std::wstring Get(const Target& target)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return L"not fetched (no socket)";
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kWaitMs), sizeof kWaitMs);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&kWaitMs), sizeof kWaitMs);
    std::wstring outcome;
    if (connect(s, reinterpret_cast<const sockaddr*>(&target.address), sizeof target.address) != 0) {
        outcome = L"not fetched (cannot connect)";
    } else {
        const std::string request = "GET " + target.path + " HTTP/1.1\r\nHost: " + target.hostPort +
                                    "\r\nConnection: close\r\n\r\n";
        std::string answer;
        if (send(s, request.data(), static_cast<int>(request.size()), 0) ==
            static_cast<int>(request.size())) {
            char chunk[4096];
            int got;
            // The test servers' movies are small: read to the close.
            while (answer.size() < (1u << 20) && (got = recv(s, chunk, sizeof chunk, 0)) > 0)
                answer.append(chunk, static_cast<size_t>(got));
        }
        const size_t end = answer.find("\r\n\r\n");
        if (answer.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos || answer.size() < 12)
            outcome = L"not fetched (no answer)";
        else
            outcome = std::wstring(answer.begin() + 9, answer.begin() + 12) + L", " +
                      std::to_wstring(answer.size() - end - 4) + L" bytes";
    }
    closesocket(s);
    return outcome;
}

}  // namespace

std::wstring FetchMovie(const std::wstring& url)
{
    Target target;
    std::wstring why;
    if (!ParseLoopbackUrl(url, &target, &why))
        return url + L": not fetched (" + why + L")";
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return url + L": not fetched (no Winsock)";
    const std::wstring outcome = Get(target);
    WSACleanup();
    return url + L": " + outcome;
}

}  // namespace standins
