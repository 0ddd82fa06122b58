#pragma once

#include "net/AsyncSocketEx.h"

#include <cstdint>
#include <vector>

#include <boost/thread/mutex.hpp>

#include "net/PeerAddress.h"

class TcpCore;
struct TcpHandshake;

// One TCP connection of the transport: frames of a u32 length (little-endian)
// and that many bytes, the first each way being the handshake. Its handlers
// run on the thread that created its socket.
class TcpConnection : public CAsyncSocketEx {
public:
    enum State { kHandshake = 1, kEstablished = 2, kClosed = 3 };
    static const std::size_t kInitialSendBuffer = 32000;
    // A longer length from the peer closes the connection.
    static const std::uint32_t kMaxFrame = 16u * 1024 * 1024;

    TcpConnection(TcpCore& core, bool initiator, const PeerAddress& peer);

    // Queues one frame; false for no data, a closed connection, or a full queue.
    bool SendFrame(const char* data, std::uint32_t length);

    int State() const { return m_state; }
    void SetState(int state) { m_state = state; }
    const PeerAddress& Peer() const { return m_peer; }

    // Closes the socket and deletes the connection, at once or, inside one
    // of its own handlers, when that handler returns.
    void Dispose();

    void OnClose(int error) override;
    void OnConnect(int error) override;
    void OnReceive(int error) override;
    void OnSend(int error) override;

private:
    ~TcpConnection() override = default;  // through Dispose

    // Marks a handler running; Leave deletes a connection disposed meanwhile.
    void Enter() { m_busy = true; }
    void Leave();
    void FlushLocked();
    void QueueHandshake(std::uint8_t code, const PeerAddress& addressee);
    void ReceiveFrames();
    void HandleFrame(std::uint32_t length);
    void HandleHandshake(const TcpHandshake& message);
    void Fail(int event);

    TcpCore& m_core;
    int m_state;
    std::uint8_t m_initiator;
    PeerAddress m_peer;

    boost::mutex m_sendMutex;
    std::vector<char> m_send;
    std::size_t m_sendStart;
    std::size_t m_sendEnd;

    std::vector<char> m_receive;
    std::uint32_t m_frameReceived;
    std::uint32_t m_frameLength;
    // The length prefix, gathered over as many reads as it takes.
    unsigned char m_header[4];
    unsigned m_headerReceived;

    bool m_busy;
    bool m_disposed;
};
