#include "net/StunClient.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "net/HostIdentity.h"
#include "net/StunNatTest.h"

namespace {

const std::uint32_t kLoopbackHostOrder = 0x7F000001;

// The whole test gives up after this long even while datagrams keep arriving:
// only time-outs move it forward, so a steady stream of stray datagrams would
// otherwise hold the login back for ever. A full run takes at most 14 rounds
// of about 200 ms.
const std::clock_t kTestDeadlineMs = 8000;

std::clock_t ClockMs() { return std::clock() * 1000 / CLOCKS_PER_SEC; }

std::string ErrorText(int error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string narrow;
    for (const wchar_t* p = text; p && *p && *p != L'\r' && *p != L'\n'; ++p)
        narrow += *p < 128 ? static_cast<char>(*p) : '?';
    LocalFree(text);
    return narrow;
}

// A decimal number and nothing else, up to 65535.
bool ParseDecimalPort(const std::string& text, long& port) {
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    port = std::atol(text.c_str());
    return true;
}

}  // namespace

bool StunParseServerName(const char* text, StunIPv4Endpoint& server) {
    std::string host(text, strnlen(text, 512));
    long port = kStunDefaultPort;
    const std::string::size_type colon = host.find(':');
    if (colon != std::string::npos) {
        const std::string after = host.substr(colon + 1);
        host.erase(colon);
        if (after.empty())
            port = 0;
        else if (!ParseDecimalPort(after, port))
            port = kStunDefaultPort;
    }
    server.port = 0xFFFF;
    if (port < 1024 || port > 65534)
        return false;

    std::uint32_t address;
    if (!host.empty() && std::isdigit(static_cast<unsigned char>(host[0]))) {
        address = ntohl(inet_addr(host.c_str()));
    } else {
        const hostent* h = gethostbyname(host.c_str());
        if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0]) {
            std::cerr << "error was " << WSAGetLastError() << std::endl;
            return false;
        }
        std::uint32_t net;
        std::memcpy(&net, h->h_addr_list[0], 4);
        address = ntohl(net);
    }
    server.addr = address;
    server.port = static_cast<std::uint16_t>(port);
    return true;
}

SOCKET OpenUdpPort(std::uint16_t port, std::uint32_t interfaceAddress) {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        std::cerr << "Could not create a UDP socket:" << WSAGetLastError() << std::endl;
        return INVALID_SOCKET;
    }
    sockaddr_in a;
    ZeroMemory(&a, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = interfaceAddress != 0 && interfaceAddress != kLoopbackHostOrder ? htonl(interfaceAddress)
                                                                                        : htonl(INADDR_ANY);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        const int e = WSAGetLastError();
        switch (e) {
        case 0:
            std::cerr << "Could not bind socket" << std::endl;
            break;
        case WSAEADDRINUSE:
            std::cerr << "Port " << port << " for receiving UDP is in use" << std::endl;
            break;
        case WSAEADDRNOTAVAIL:
            break;
        default:
            std::cerr << "Could not bind UDP receive port" << "Error=" << e << " " << ErrorText(e) << std::endl;
            break;
        }
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

bool ReceiveUdpMessage(SOCKET s, char* buffer, int* length, std::uint32_t* sourceAddress,
                       std::uint16_t* sourcePort) {
    sockaddr_in from;
    int fromLength = sizeof from;
    const int capacity = *length;
    const int n = recvfrom(s, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n == SOCKET_ERROR) {
        const int e = WSAGetLastError();
        if (e == WSAENOTSOCK)
            std::cerr << "Error fd not a socket" << std::endl;
        else if (e == WSAECONNRESET)
            std::cerr << "Error connection reset - host not reachable" << std::endl;
        else
            std::cerr << "Socket Error=" << e << std::endl;
        return false;
    }
    if (n == 0) {
        if (StunVerbose())
            std::clog << "socket closed? zero len" << std::endl;
        return false;
    }
    *length = n;
    *sourceAddress = ntohl(from.sin_addr.s_addr);
    *sourcePort = ntohs(from.sin_port);
    if (n >= capacity - 1)
        return false;
    buffer[n] = '\0';
    return true;
}

bool SendUdpMessage(SOCKET s, const char* bytes, int length, std::uint32_t address, std::uint16_t port) {
    int sent;
    if (port == 0) {
        sent = send(s, bytes, length, 0);
    } else {
        sockaddr_in to;
        ZeroMemory(&to, sizeof to);
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(address);
        sent = sendto(s, bytes, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    if (sent == SOCKET_ERROR) {
        const int e = WSAGetLastError();
        switch (e) {
        case WSAEAFNOSUPPORT:
            std::cerr << "err EAFNOSUPPORT in send" << std::endl;
            break;
        case WSAECONNREFUSED:
        case WSAEHOSTDOWN:
        case WSAEHOSTUNREACH:
            break;
        default:
            std::cerr << "err " << e << " " << ErrorText(e) << " in send" << std::endl;
            break;
        }
        return false;
    }
    if (sent == 0) {
        std::cerr << "no data sent in send" << std::endl;
        return false;
    }
    return sent == length;
}

bool StunSendTest(SOCKET s, const StunIPv4Endpoint& destination, int testNumber, StunMessageRecord* sent) {
    const std::uint32_t flags = StunChangeFlagsForTest(testNumber);
    StunMessageRecord request;
    StunBuildBindingRequest(request, static_cast<std::uint8_t>(testNumber), (flags & STUN_CHANGE_IP) != 0,
                            (flags & STUN_CHANGE_PORT) != 0);
    char buffer[2048];
    const std::size_t length = StunEncodeMessage(request, buffer, sizeof buffer);
    const bool ok = SendUdpMessage(s, buffer, static_cast<int>(length), destination.addr, destination.port);
    if (sent)
        *sent = request;
    // Paces the requests: servers drop bursts.
    const std::clock_t start = ClockMs();
    while (ClockMs() - start <= 10) {
    }
    return ok;
}

int StunNatTypeTest(const StunIPv4Endpoint& server, std::uint32_t interfaceAddress, std::uint16_t port) {
    if (port == 0)
        port = static_cast<std::uint16_t>((StunRandom() & 0x3FFF) | 0x4000);
    SOCKET sockets[2];
    sockets[0] = OpenUdpPort(port, interfaceAddress);
    sockets[1] = sockets[0] == INVALID_SOCKET ? INVALID_SOCKET
                                              : OpenUdpPort(static_cast<std::uint16_t>(port + 1), interfaceAddress);
    if (sockets[0] == INVALID_SOCKET || sockets[1] == INVALID_SOCKET) {
        std::cerr << "Some problem opening port/interface to send on" << std::endl;
        if (sockets[0] != INVALID_SOCKET)
            closesocket(sockets[0]);
        return STUN_FAILURE;
    }

    StunNatTest test(server);
    const std::clock_t deadline = ClockMs() + kTestDeadlineMs;
    bool waitFailed = false;
    while (test.Running() && ClockMs() < deadline) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(sockets[0], &readable);
        FD_SET(sockets[1], &readable);
        timeval wait;
        wait.tv_sec = 0;
        wait.tv_usec = static_cast<long>(test.WaitMs()) * 1000;
        const int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == SOCKET_ERROR) {
            const int e = WSAGetLastError();
            std::cerr << "Error " << e << " " << ErrorText(e) << " in select" << std::endl;
            waitFailed = true;
            break;
        }
        if (ready == 0) {
            for (const StunNatTest::Request& r : test.OnTimeout()) {
                StunMessageRecord sent;
                StunSendTest(sockets[r.socket], r.destination, r.test, &sent);
                test.RememberRequest(sent);
            }
            continue;
        }
        for (SOCKET s : sockets) {
            if (!FD_ISSET(s, &readable))
                continue;
            char buffer[2048];
            int length = sizeof buffer;
            std::uint32_t fromAddress;
            std::uint16_t fromPort;
            if (!ReceiveUdpMessage(s, buffer, &length, &fromAddress, &fromPort))
                continue;
            StunMessageRecord answer;
            StunParseMessage(buffer, static_cast<std::size_t>(length), answer);
            test.OnMessage(answer, static_cast<std::size_t>(length));
        }
    }
    closesocket(sockets[0]);
    closesocket(sockets[1]);
    if (waitFailed)
        return STUN_FAILURE;
    const bool mappedIsOwn = test.Answered(kStunTestI) && IsOwnIPv4Address(htonl(test.MappedEndpoint().addr));
    return test.Decide(mappedIsOwn);
}
