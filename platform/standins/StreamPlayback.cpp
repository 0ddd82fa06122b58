#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/standins/StreamPlayback.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/standins/HttpUrl.h"

namespace standins {

namespace {

// The Content-Length of a reply's head; -1 without one.
long long ContentLength(const std::string& head)
{
    std::string lower = head;
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return -1;
    return std::strtoll(lower.c_str() + at + 17, nullptr, 10);
}

}  // namespace

StreamPlayback::StreamPlayback()
{
    InitializeCriticalSection(&lock_);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

StreamPlayback::~StreamPlayback()
{
    JoinReader();
    WSACleanup();
    DeleteCriticalSection(&lock_);
}

void StreamPlayback::Start(const std::wstring& url, Feed feed)
{
    JoinReader();
    url_ = url;
    feed_ = feed;
    facts_ = StreamFacts();
    positionMs_ = 0;
    state_ = State::Connecting;
    thread_ = CreateThread(nullptr, 0, ReadThread, this, 0, nullptr);
    if (!thread_)
        state_ = State::Error;
}

void StreamPlayback::JoinReader()
{
    if (!thread_)
        return;
    EnterCriticalSection(&lock_);
    if (socket_ != INVALID_SOCKET) {
        shutdown(socket_, SD_BOTH);
        closesocket(socket_);   // a blocked recv returns
        socket_ = INVALID_SOCKET;
    }
    facts_.ended = true;        // the reader stops at its next look
    LeaveCriticalSection(&lock_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

void StreamPlayback::Stop()
{
    JoinReader();
    positionMs_ = 0;
    state_ = State::Stopped;
}

void StreamPlayback::Pause()
{
    if (state_ == State::Playing || state_ == State::Buffering)
        state_ = State::Paused;
}

bool StreamPlayback::Resume()
{
    if (state_ != State::Paused)
        return false;
    state_ = State::Buffering;
    return true;
}

void StreamPlayback::SetPositionMs(std::uint32_t positionMs)
{
    positionMs_ = positionMs;
    clockBase_ = GetTickCount() - positionMs;
}

StreamFacts StreamPlayback::Facts() const
{
    EnterCriticalSection(&lock_);
    StreamFacts facts = facts_;
    LeaveCriticalSection(&lock_);
    return facts;
}

StreamPlayback::State StreamPlayback::Tick()
{
    if (state_ == State::Idle || state_ == State::Stopped || state_ == State::Ended ||
        state_ == State::Error || state_ == State::Paused)
        return state_;
    StreamFacts facts = Facts();
    if (facts.bad) {
        state_ = State::Error;
        return state_;
    }
    if (state_ == State::Connecting && facts.headers)
        state_ = State::Buffering;
    if (state_ == State::Buffering &&
        (facts.ended || facts.bufferedMs >= positionMs_ + kPrerollMs)) {
        state_ = State::Playing;
        clockBase_ = GetTickCount() - positionMs_;
    }
    if (state_ == State::Playing) {
        positionMs_ = GetTickCount() - clockBase_;
        if (positionMs_ >= facts.bufferedMs) {
            positionMs_ = facts.bufferedMs;
            state_ = facts.ended ? State::Ended : State::Buffering;
        }
    }
    return state_;
}

DWORD WINAPI StreamPlayback::ReadThread(void* self)
{
    static_cast<StreamPlayback*>(self)->Read();
    return 0;
}

void StreamPlayback::Publish(const StreamFacts& facts)
{
    EnterCriticalSection(&lock_);
    if (!facts_.ended)   // a stop came first: keep its word
        facts_ = facts;
    LeaveCriticalSection(&lock_);
}

void StreamPlayback::Read()
{
    StreamFacts facts;
    HttpUrl parts;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* address = nullptr;
    if (!SplitHttpUrl(url_, &parts) || parts.host.empty() || parts.port <= 0 ||
        parts.port > 65535 ||
        getaddrinfo(parts.host.c_str(), std::to_string(parts.port).c_str(), &hints, &address) != 0) {
        facts.bad = true;
        Publish(facts);
        return;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EnterCriticalSection(&lock_);
    bool stopped = facts_.ended;
    if (!stopped)
        socket_ = s;
    LeaveCriticalSection(&lock_);
    if (stopped) {
        closesocket(s);
        freeaddrinfo(address);
        return;
    }
    bool connected = connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0;
    freeaddrinfo(address);
    std::string request = "GET " + parts.path + " HTTP/1.1\r\nHost: " + parts.host + ":" + std::to_string(parts.port) +
                          "\r\nConnection: close\r\n\r\n";
    if (!connected || send(s, request.data(), static_cast<int>(request.size()), 0) !=
                          static_cast<int>(request.size())) {
        facts.bad = true;
        Publish(facts);
        return;
    }
    // The reply's head, then the body piece by piece, up to its length.
    std::string head;
    std::vector<char> buffer(16384);
    bool inBody = false;
    long long left = -1;   // body bytes still to come; -1: until the end
    for (;;) {
        int got = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (got <= 0) {
            if (got == 0 && inBody)
                facts.ended = true;
            else
                facts.bad = true;   // ignored when a stop closed the socket
            break;
        }
        const std::uint8_t* body = reinterpret_cast<const std::uint8_t*>(buffer.data());
        std::size_t size = static_cast<std::size_t>(got);
        std::string rest;
        if (!inBody) {
            head.append(buffer.data(), size);
            std::size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (head.size() > 65536) {
                    facts.bad = true;
                    break;
                }
                continue;
            }
            if ((head.compare(0, 9, "HTTP/1.1 ") != 0 && head.compare(0, 9, "HTTP/1.0 ") != 0) ||
                head.compare(9, 3, "200") != 0) {
                facts.bad = true;
                break;
            }
            inBody = true;
            left = ContentLength(head.substr(0, end + 2));
            rest = head.substr(end + 4);
            body = reinterpret_cast<const std::uint8_t*>(rest.data());
            size = rest.size();
        }
        if (left >= 0 && static_cast<long long>(size) > left)
            size = static_cast<std::size_t>(left);
        if (size)
            feed_(body, size, facts);
        if (left >= 0) {
            left -= static_cast<long long>(size);
            if (left == 0)
                facts.ended = true;
        }
        Publish(facts);
        if (facts.bad || facts.ended)
            break;
    }
    Publish(facts);
}

}  // namespace standins
