#pragma once

#include <winsock2.h>

#include <string>

// A blocking Winsock client for tests of servers on 127.0.0.1. Every receive
// is bounded by a time-out, so a stalled server fails the test instead of
// hanging it.
class LoopbackClient {
public:
    static const int kReceiveTimeoutMs = 10000;

    LoopbackClient();
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    // Connects to address:port (address in dotted form, 127.0.0.0/8 only).
    bool Connect(unsigned short port, const char* address = "127.0.0.1");
    bool Send(const std::string& bytes);
    // Up to `count` bytes (fewer at the end of the stream); "" on end or error.
    std::string Receive(std::size_t count);
    // Everything until the server closes. timedOut tells a stall from an end.
    std::string ReceiveAll(bool* timedOut = nullptr);
    void Close();

private:
    SOCKET m_socket;
};

// Sends one request on a fresh connection and returns everything the server
// sent before it closed ("" when it closed without a reply).
std::string Exchange(unsigned short port, const std::string& request);
