#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "vod/reader/IReaderHost.h"

namespace boost {
class thread;
}

struct HttpConnection;

// The loopback HTTP server through which a player reads one video: bound to
// 127.0.0.1 only, GET and HTTP/1.1 only, one client at a time (a new
// connection ends the previous one). Serves the whole file, a byte range
// (206), a byte offset named in an ".flv" path behind the re-sent 13-byte FLV
// header, "304 Not Modified" to conditional requests and Flash's
// "/crossdomain.xml".
//
// Threads: the owner's (Start, SetReaderHost, Stop), the accept thread and at
// most one connection thread. The client socket and the captured FLV header
// change only while no connection thread runs: a new connection first ends
// and joins the previous one.
class HttpServer {
public:
    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1 and port (0: the system chooses). True at once
    // when running already.
    bool Start(unsigned short port);
    // Ends the connection and both threads; nothing when not running.
    void Stop();
    // Not owned. Until it is set, accepted connections are closed at once.
    void SetReaderHost(inf::IReaderHost* host);
    // The bound port, 0 before the first successful Start.
    unsigned short GetPort() const { return m_port; }
    // Sends every byte to the current client; false on a send error or when
    // there is no client.
    bool SendAll(const char* bytes, std::size_t length);

private:
    struct ListenThread_Functor {
        HttpServer* server;
        void operator()() const;
    };
    struct WorkThread_Functor {
        HttpServer* server;
        SOCKET socket;
        void operator()() const;
    };

    void ListenThread();
    void WorkThread(SOCKET socket);
    // Shuts the current client down, waits for its thread, then closes it.
    void EndConnection();
    // False once the server stops or the current connection has to end.
    bool ConnectionGoesOn() const;
    bool ReadRequest(HttpConnection& connection);
    void Serve(HttpConnection& connection);
    void SendData(HttpConnection& connection);
    void ReleaseListener();

    SOCKET m_listenSocket;
    SOCKET m_clientSocket;
    std::unique_ptr<boost::thread> m_acceptThread;
    std::unique_ptr<boost::thread> m_connectionThread;
    std::atomic<bool> m_running;
    // Set while the current connection is being ended.
    std::atomic<bool> m_connectionEnding;
    unsigned short m_port;
    std::atomic<inf::IReaderHost*> m_readerHost;
    // The first 9 bytes of the file and a zero previous-tag size, taken by
    // the first connection that reads from offset 0.
    std::string m_flvHeader;
    // Wakes the accept thread for a connection or for Stop.
    WSAEVENT m_acceptEvent;
    HANDLE m_stopEvent;
    bool m_winsockStarted;
};
