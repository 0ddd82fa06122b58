#include "vod/http/HttpServer.h"

#include <boost/thread/thread.hpp>

#include <algorithm>
#include <climits>
#include <ctime>
#include <vector>

#include "vod/http/ChunkPacer.h"
#include "vod/http/HttpConnection.h"
#include "vod/http/HttpReply.h"
#include "vod/http/HttpRequest.h"

namespace {

const int kRequestChunk = 1000;
const int kDataChunk = 36864;
// Longest wait on the client's socket before the connection thread looks
// whether it has to end.
const long kSocketWaitMs = 100;
// After a read that found no data yet.
const DWORD kRetryPauseMs = 100;
// Full data chunks go at most one per 10 ms: the pacing of the player's feed.
const std::uint64_t kChunkPeriodUs = 10000;
const std::size_t kFlvHeaderBytes = 9;
const std::size_t kFlvHeaderWithTagSize = 13;

void SetNonBlocking(SOCKET s)
{
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
}

// Waits up to timeoutMs until s is readable (when `readable` is given) or
// writable (when `writable` is given); fills in which. False on an error.
bool Wait(SOCKET s, bool* readable, bool* writable, long timeoutMs)
{
    fd_set readSet;
    fd_set writeSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_SET(s, &readSet);
    FD_SET(s, &writeSet);
    timeval timeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, readable != nullptr ? &readSet : nullptr,
               writable != nullptr ? &writeSet : nullptr, nullptr, &timeout) == SOCKET_ERROR)
        return false;
    if (readable != nullptr)
        *readable = FD_ISSET(s, &readSet) != 0;
    if (writable != nullptr)
        *writable = FD_ISSET(s, &writeSet) != 0;
    return true;
}

std::uint64_t NowUs()
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<std::uint64_t>(now.QuadPart / frequency) * 1000000u +
           static_cast<std::uint64_t>(now.QuadPart % frequency) * 1000000u / static_cast<std::uint64_t>(frequency);
}

}  // namespace

HttpServer::HttpServer()
    : m_listenSocket(INVALID_SOCKET),
      m_clientSocket(INVALID_SOCKET),
      m_running(false),
      m_connectionEnding(false),
      m_port(0),
      m_readerHost(nullptr),
      m_acceptEvent(WSA_INVALID_EVENT),
      m_stopEvent(nullptr),
      m_winsockStarted(false)
{
}

HttpServer::~HttpServer()
{
    Stop();
}

bool HttpServer::Start(unsigned short port)
{
    if (m_running)
        return true;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    m_winsockStarted = true;

    m_listenSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int length = sizeof(address);
    m_acceptEvent = WSACreateEvent();
    m_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_listenSocket == INVALID_SOCKET || m_acceptEvent == WSA_INVALID_EVENT ||
        m_stopEvent == nullptr ||
        bind(m_listenSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(m_listenSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        listen(m_listenSocket, 1) != 0 ||
        WSAEventSelect(m_listenSocket, m_acceptEvent, FD_ACCEPT) != 0) {
        ReleaseListener();
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_running = true;
    try {
        m_acceptThread.reset(new boost::thread(ListenThread_Functor{this}));
    } catch (const boost::thread_resource_error&) {
        m_running = false;
        ReleaseListener();
        return false;
    }
    return true;
}

void HttpServer::Stop()
{
    if (!m_running.exchange(false))
        return;
    SetEvent(m_stopEvent);
    m_acceptThread->join();
    m_acceptThread.reset();
    EndConnection();
    ReleaseListener();
}

void HttpServer::ReleaseListener()
{
    if (m_listenSocket != INVALID_SOCKET) {
        closesocket(m_listenSocket);
        m_listenSocket = INVALID_SOCKET;
    }
    if (m_acceptEvent != WSA_INVALID_EVENT) {
        WSACloseEvent(m_acceptEvent);
        m_acceptEvent = WSA_INVALID_EVENT;
    }
    if (m_stopEvent != nullptr) {
        CloseHandle(m_stopEvent);
        m_stopEvent = nullptr;
    }
    if (m_winsockStarted) {
        WSACleanup();
        m_winsockStarted = false;
    }
}

void HttpServer::SetReaderHost(inf::IReaderHost* host)
{
    m_readerHost = host;
}

// The client socket is non-blocking: a send that cannot go on waits on the
// socket a bounded time and gives up once the connection has to end, so a
// client that stops reading can neither hold a new client off nor keep Stop
// waiting.
bool HttpServer::SendAll(const char* bytes, std::size_t length)
{
    const SOCKET s = m_clientSocket;
    if (s == INVALID_SOCKET)
        return false;
    while (length > 0) {
        const int piece = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
        const int sent = send(s, bytes, piece, 0);
        if (sent > 0) {
            bytes += sent;
            length -= static_cast<std::size_t>(sent);
            continue;
        }
        bool writable = false;
        if (sent == 0 || WSAGetLastError() != WSAEWOULDBLOCK || !ConnectionGoesOn() ||
            !Wait(s, nullptr, &writable, kSocketWaitMs))
            return false;
    }
    return true;
}

bool HttpServer::ConnectionGoesOn() const
{
    return m_running && !m_connectionEnding;
}

void HttpServer::ListenThread_Functor::operator()() const
{
    server->ListenThread();
}

void HttpServer::WorkThread_Functor::operator()() const
{
    server->WorkThread(socket);
}

void HttpServer::ListenThread()
{
    const HANDLE events[2] = {m_stopEvent, m_acceptEvent};
    while (m_running) {
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;
        WSANETWORKEVENTS happened;
        WSAEnumNetworkEvents(m_listenSocket, m_acceptEvent, &happened);
        const SOCKET client = accept(m_listenSocket, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            continue;
        // An accepted socket inherits the listener's event selection.
        WSAEventSelect(client, nullptr, 0);
        SetNonBlocking(client);
        if (!m_running || m_readerHost.load() == nullptr) {
            closesocket(client);
            continue;
        }
        EndConnection();
        m_clientSocket = client;
        m_connectionEnding = false;
        try {
            m_connectionThread.reset(new boost::thread(WorkThread_Functor{this, client}));
        } catch (const boost::thread_resource_error&) {
            closesocket(client);
            m_clientSocket = INVALID_SOCKET;
        }
    }
}

// The connection thread is told to end and its socket shut down, which
// wakes it where it waits on the socket; the socket is closed only after that
// thread has ended, so the thread never uses a handle the system may already
// have given to another socket.
void HttpServer::EndConnection()
{
    m_connectionEnding = true;
    if (m_clientSocket != INVALID_SOCKET)
        shutdown(m_clientSocket, SD_BOTH);
    if (m_connectionThread) {
        m_connectionThread->join();
        m_connectionThread.reset();
    }
    if (m_clientSocket != INVALID_SOCKET) {
        closesocket(m_clientSocket);
        m_clientSocket = INVALID_SOCKET;
    }
}

void HttpServer::WorkThread(SOCKET socket)
{
    HttpConnection connection(socket);
    Serve(connection);
    shutdown(socket, SD_BOTH);
}

bool HttpServer::ReadRequest(HttpConnection& connection)
{
    char chunk[kRequestChunk];
    while (ConnectionGoesOn() && connection.requestBytes.size() <= kMaxRequestBytes) {
        const int received = recv(connection.socket, chunk, kRequestChunk, 0);
        if (received > 0) {
            connection.requestBytes.append(chunk, static_cast<std::size_t>(received));
            const std::size_t end =
                FindRequestEnd(connection.requestBytes.data(), connection.requestBytes.size());
            if (end != 0) {
                connection.requestBytes.resize(end);
                return end <= kMaxRequestBytes;
            }
            continue;
        }
        bool readable = false;
        if (received == 0 || WSAGetLastError() != WSAEWOULDBLOCK ||
            !Wait(connection.socket, &readable, nullptr, kSocketWaitMs))
            return false;
    }
    return false;
}

void HttpServer::Serve(HttpConnection& connection)
{
    if (!ReadRequest(connection) ||
        !ParseHttpRequest(connection.requestBytes, &connection.request))
        return;
    const HttpRequest& request = connection.request;
    if (request.path == "/crossdomain.xml") {
        const std::string& reply = CrossDomainReply();
        SendAll(reply.data(), reply.size());
        return;
    }
    inf::IReaderHost* host = m_readerHost;
    if (host == nullptr)
        return;
    connection.reader = host->Open(request.path.c_str(), request.startOffset);
    if (connection.reader == nullptr)
        return;
    const long long size = connection.reader->GetSize();
    if (size < 0)
        return;
    const HttpReply reply = BuildReply(request, static_cast<std::uint64_t>(size),
                                       m_flvHeader.size(), FormatHttpDate(_time64(nullptr)));
    if (!SendAll(reply.header.data(), reply.header.size()))
        return;
    if (reply.kind == ReplyKind::Unsatisfiable)
        return;
    if (request.flvOffset && !SendAll(m_flvHeader.data(), m_flvHeader.size()))
        return;
    if (reply.kind != ReplyKind::NotModified)
        SendData(connection);
}

// Feeds the data from the start offset while the client takes it; bytes the
// client sends meanwhile are read and dropped.
void HttpServer::SendData(HttpConnection& connection)
{
    const SOCKET s = connection.socket;
    std::vector<unsigned char> buffer(kDataChunk);
    std::uint64_t offset = connection.request.startOffset;
    ChunkPacer pacer(kChunkPeriodUs);
    while (ConnectionGoesOn()) {
        bool readable = false;
        bool writable = false;
        if (!Wait(s, &readable, &writable, kSocketWaitMs))
            return;
        if (readable) {
            u_long pending = 0;
            ioctlsocket(s, FIONREAD, &pending);
            const int wanted = static_cast<int>(
                std::max<u_long>(1, std::min<u_long>(pending, kDataChunk)));
            const int got = recv(s, reinterpret_cast<char*>(buffer.data()), wanted, 0);
            if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK))
                return;
        }
        if (!writable)
            continue;
        int n = connection.reader->Read(offset, buffer.data(), kDataChunk);
        if (n == 0) {
            Sleep(kRetryPauseMs);
            continue;
        }
        if (n < 0)
            return;
        n = std::min(n, kDataChunk);
        if (offset == 0 && n > static_cast<int>(kFlvHeaderBytes - 1)) {
            m_flvHeader.assign(reinterpret_cast<const char*>(buffer.data()), kFlvHeaderBytes);
            m_flvHeader.resize(kFlvHeaderWithTagSize, '\0');
        }
        offset += static_cast<std::uint64_t>(n);
        if (n == kDataChunk) {
            const std::uint64_t waitUs = pacer.WaitBefore(NowUs());
            if (waitUs > 0)
                Sleep(static_cast<DWORD>((waitUs + 999) / 1000));
        }
        if (!SendAll(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(n)))
            return;
    }
}
