#include "tests/net/NetTestSupport.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace nettest {

namespace {

// Winsock for the whole test program, as the network facade starts it.
class WinsockEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }
};

const ::testing::Environment* const g_winsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

}  // namespace

std::uint16_t FixturePort(const char* variable) {
    const char* text = std::getenv(variable);
    return text ? static_cast<std::uint16_t>(std::atoi(text)) : 0;
}

std::string FixtureUrl(const char* variable, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(FixturePort(variable)) + path;
}

std::string HttpCall(std::uint16_t port, const char* method, const std::string& path, const std::string& body) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return std::string();
    const DWORD timeoutMs = 60000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    const sockaddr_in to = ToSockaddr(Loopback(port));
    std::string response;
    if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        const std::string request = std::string(method) + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                                    "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char chunk[4096];
        for (int n; (n = recv(s, chunk, sizeof chunk, 0)) > 0;)
            response.append(chunk, static_cast<std::size_t>(n));
    }
    closesocket(s);
    const std::string::size_type split = response.find("\r\n\r\n");
    return split == std::string::npos ? std::string() : response.substr(split + 4);
}

int FixtureControl::Count(const std::string& query) const {
    return std::atoi(Get("/_count?" + query).c_str());
}

int FixtureControl::WaitCount(const std::string& query, int n, double timeoutSeconds) const {
    return std::atoi(
        Get("/_wait?n=" + std::to_string(n) + "&timeout=" + std::to_string(timeoutSeconds) + "&" + query).c_str());
}

Ipv4Endpoint Loopback(std::uint16_t hostOrderPort) {
    return Ipv4Endpoint{htonl(INADDR_LOOPBACK), htons(hostOrderPort)};
}

UdpSocket::UdpSocket() : m_socket(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    const sockaddr_in a = ToSockaddr(Loopback(0));
    bind(m_socket, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

UdpSocket::~UdpSocket() { closesocket(m_socket); }

Ipv4Endpoint UdpSocket::Endpoint() const {
    sockaddr_in a;
    int length = sizeof a;
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &length);
    return FromSockaddr(a);
}

std::uint16_t UdpSocket::Port() const { return ntohs(Endpoint().port); }

bool UdpSocket::SendTo(const void* data, int length, const Ipv4Endpoint& to) const {
    const sockaddr_in a = ToSockaddr(to);
    return sendto(m_socket, static_cast<const char*>(data), length, 0, reinterpret_cast<const sockaddr*>(&a),
                  sizeof a) == length;
}

int UdpSocket::Receive(char* buffer, int capacity, int timeoutMs, Ipv4Endpoint* from) const {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket, &readable);
    timeval wait;
    wait.tv_sec = timeoutMs / 1000;
    wait.tv_usec = (timeoutMs % 1000) * 1000;
    if (select(0, &readable, nullptr, nullptr, &wait) != 1)
        return -1;
    sockaddr_in source;
    int length = sizeof source;
    const int n = recvfrom(m_socket, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&source), &length);
    if (n >= 0 && from)
        *from = FromSockaddr(source);
    return n;
}

}  // namespace nettest
