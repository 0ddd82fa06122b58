// tcpdriver: plain Winsock TCP on 127.0.0.1, the reference the transport
// benchmark (bench/bench_transport.py) measures the reliable UDP transport
// against under the same Wine.
//
// usage: tcpdriver sink              prints PORT <port>; takes one connection,
//                                    reads to its end, prints RECEIVED <bytes> <ms>
//        tcpdriver echo              prints PORT <port>; echoes framed messages
//        tcpdriver send <port> <bytes> <message size>
//                                    sends that many bytes as framed messages
//        tcpdriver ping <port> <count> <size>
//                                    one framed message at a time, waits for its
//                                    echo; prints PINGS <count> <p50 us> <p99 us> <mean us>
// A framed message is a u32 length (little-endian) and its bytes.
#include "net/Winsock.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void NoDelay(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

SOCKET Listen() {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = ToSockaddr(Ipv4Endpoint{htonl(INADDR_LOOPBACK), 0});
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(s, 1);
    int length = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    std::printf("PORT %u\n", ntohs(a.sin_port));
    std::fflush(stdout);
    const SOCKET c = accept(s, nullptr, nullptr);
    closesocket(s);
    NoDelay(c);
    return c;
}

SOCKET Connect(int port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in a = ToSockaddr(Ipv4Endpoint{htonl(INADDR_LOOPBACK), htons(static_cast<u_short>(port))});
    if (connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        return INVALID_SOCKET;
    NoDelay(s);
    return s;
}

bool ReadAll(SOCKET s, char* data, int n) {
    while (n > 0) {
        const int got = recv(s, data, n, 0);
        if (got <= 0)
            return false;
        data += got;
        n -= got;
    }
    return true;
}

bool WriteAll(SOCKET s, const char* data, int n) {
    while (n > 0) {
        const int put = send(s, data, n, 0);
        if (put <= 0)
            return false;
        data += put;
        n -= put;
    }
    return true;
}

bool WriteFrame(SOCKET s, const std::string& message) {
    const std::uint32_t n = static_cast<std::uint32_t>(message.size());
    char header[4];
    std::memcpy(header, &n, 4);
    return WriteAll(s, header, 4) && WriteAll(s, message.data(), static_cast<int>(n));
}

bool ReadFrame(SOCKET s, std::string& message) {
    char header[4];
    if (!ReadAll(s, header, 4))
        return false;
    std::uint32_t n;
    std::memcpy(&n, header, 4);
    message.resize(n);
    return n == 0 || ReadAll(s, &message[0], static_cast<int>(n));
}

int Sink() {
    const SOCKET c = Listen();
    std::vector<char> buffer(1 << 16);
    std::uint64_t total = 0;
    double first = 0;
    for (int n; (n = recv(c, buffer.data(), static_cast<int>(buffer.size()), 0)) > 0;) {
        if (total == 0)
            first = NowMs();
        total += static_cast<std::uint64_t>(n);
    }
    std::printf("RECEIVED %llu %d\n", static_cast<unsigned long long>(total), static_cast<int>(NowMs() - first));
    closesocket(c);
    return 0;
}

int Echo() {
    const SOCKET c = Listen();
    std::string message;
    while (ReadFrame(c, message) && WriteFrame(c, message)) {
    }
    closesocket(c);
    return 0;
}

int Send(int port, long long bytes, int size) {
    const SOCKET s = Connect(port);
    if (s == INVALID_SOCKET)
        return 1;
    const std::string message(static_cast<std::size_t>(size), 'm');
    for (long long sent = 0; sent < bytes; sent += size + 4)
        if (!WriteFrame(s, message))
            return 1;
    shutdown(s, SD_SEND);
    closesocket(s);
    return 0;
}

int Ping(int port, int count, int size) {
    const SOCKET s = Connect(port);
    if (s == INVALID_SOCKET)
        return 1;
    const std::string message(static_cast<std::size_t>(size), 'p');
    std::string echo;
    std::vector<double> rtt;
    for (int i = 0; i < count; ++i) {
        const double start = NowMs();
        if (!WriteFrame(s, message) || !ReadFrame(s, echo))
            break;
        rtt.push_back((NowMs() - start) * 1000.0);
    }
    closesocket(s);
    if (rtt.empty())
        return 1;
    double sum = 0;
    for (double r : rtt)
        sum += r;
    std::sort(rtt.begin(), rtt.end());
    const auto at = [&](double q) { return rtt[std::min(rtt.size() - 1, std::size_t(q * rtt.size()))]; };
    std::printf("PINGS %zu %d %d %d\n", rtt.size(), int(at(0.5)), int(at(0.99)), int(sum / rtt.size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0 || argc < 2)
        return 2;
    const std::string mode = argv[1];
    int status = 2;
    if (mode == "sink")
        status = Sink();
    else if (mode == "echo")
        status = Echo();
    else if (mode == "send" && argc == 5)
        status = Send(std::atoi(argv[2]), std::atoll(argv[3]), std::atoi(argv[4]));
    else if (mode == "ping" && argc == 5)
        status = Ping(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    std::fflush(stdout);
    WSACleanup();
    return status;
}
