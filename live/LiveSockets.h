#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// Socket steps shared by the local players.

// How long a loop waits before calling accept or select again after it
// failed (out of sockets or buffers), rather than failing again at once.
const DWORD kLiveRetryMs = 100;

// A TCP listener on every address with port (0: the system picks), backlog 2;
// port is read back. False (nothing left open) on any failure.
bool LiveListen(std::uint16_t& port, SOCKET& listener);

// Reads a request until its blank line. Every address may connect, so at
// most kLiveRequestLimit bytes are taken, and the wait is bounded by
// kLiveRequestWaitMs; it also ends once keepGoing turns false. True when the
// blank line arrived; request holds whatever arrived.
const std::size_t kLiveRequestLimit = 8192;
const DWORD kLiveRequestWaitMs = 10000;
bool LiveReadRequest(SOCKET socket, std::string& request, const std::atomic<bool>& keepGoing);

// Sends every byte; false on an error, an invalid socket, or once abort turns
// true (checked every 100 ms while the peer's window is full), so a Stop on
// another thread ends a push to a client that never reads.
bool LiveSendAll(SOCKET socket, const char* data, std::size_t length,
                 const std::atomic<bool>* abort = nullptr);

// Shuts a socket down both ways and closes it.
void LiveCloseSocket(SOCKET socket);

// Keeps Winsock started while an object that uses it lives.
class LiveWinsockUse {
public:
    LiveWinsockUse();
    ~LiveWinsockUse();
    LiveWinsockUse(const LiveWinsockUse&) = delete;
    LiveWinsockUse& operator=(const LiveWinsockUse&) = delete;

private:
    bool m_started;
};
