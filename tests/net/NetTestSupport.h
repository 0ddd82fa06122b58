#pragma once

// Helpers of the Winsock tests: Winsock for the whole run, the fixtures'
// ports and control routes, a plain UDP socket on 127.0.0.1.
#include "net/Winsock.h"

#include <cstdint>
#include <string>

#include "net/Ipv4Endpoint.h"

namespace nettest {

// The port a fixture announced in the environment; 0 when the variable is missing.
std::uint16_t FixturePort(const char* variable);
// "http://127.0.0.1:<port>" and the path, the port the fixture announced.
std::string FixtureUrl(const char* variable, const std::string& path = std::string());

// One HTTP/1.0 request to 127.0.0.1:port; answers the body, or "" on failure.
std::string HttpCall(std::uint16_t port, const char* method, const std::string& path,
                     const std::string& body = std::string());

// The control routes of a fixture (tests/fixtures/http_routes.py).
class FixtureControl {
public:
    explicit FixtureControl(const char* portVariable) : m_port(FixturePort(portVariable)) {}

    bool Ready() const { return m_port != 0; }
    // POST /_control with a JSON object.
    void Set(const std::string& json) const { HttpCall(m_port, "POST", "/_control", json); }
    // GET /_count?query: the number of log entries that match.
    int Count(const std::string& query) const;
    // GET /_wait: waits at most timeoutSeconds for n matching entries; the count then.
    int WaitCount(const std::string& query, int n, double timeoutSeconds) const;
    std::string Get(const std::string& path) const { return HttpCall(m_port, "GET", path); }

private:
    std::uint16_t m_port;
};

// A UDP socket bound to 127.0.0.1 on a port of the system's choice.
class UdpSocket {
public:
    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    std::uint16_t Port() const;  // host order
    Ipv4Endpoint Endpoint() const;
    bool SendTo(const void* data, int length, const Ipv4Endpoint& to) const;
    // Waits at most timeoutMs; the datagram's length, or -1.
    int Receive(char* buffer, int capacity, int timeoutMs, Ipv4Endpoint* from = nullptr) const;

private:
    SOCKET m_socket;
};

Ipv4Endpoint Loopback(std::uint16_t hostOrderPort);

}  // namespace nettest
