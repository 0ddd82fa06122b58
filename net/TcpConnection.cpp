#include "net/TcpConnection.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "net/TcpCore.h"
#include "net/TcpHandshake.h"

TcpConnection::TcpConnection(TcpCore& core, bool initiator, const PeerAddress& peer)
    : m_core(core),
      m_state(kHandshake),
      m_initiator(initiator ? 1 : 0),
      m_peer(peer),
      m_send(kInitialSendBuffer),
      m_sendStart(0),
      m_sendEnd(0),
      m_frameReceived(0),
      m_frameLength(0),
      m_headerReceived(0),
      m_busy(false),
      m_disposed(false) {}

void TcpConnection::Dispose() {
    m_state = kClosed;
    CAsyncSocketEx::Close();
    if (m_busy)
        m_disposed = true;
    else
        delete this;
}

void TcpConnection::Leave() {
    m_busy = false;
    if (m_disposed)
        delete this;
}

// ------------------------------------------------------------------ sending

bool TcpConnection::SendFrame(const char* data, std::uint32_t length) {
    if (!data || length == 0 || m_state == kClosed)
        return false;
    boost::mutex::scoped_lock lock(m_sendMutex);
    const std::size_t pendingBefore = m_sendEnd - m_sendStart;
    const std::size_t needed = 4 + static_cast<std::size_t>(length);
    if (m_send.size() - m_sendEnd < needed) {
        const std::size_t pending = pendingBefore + needed;
        const std::uint32_t limit = m_core.MaxQueue();
        if (limit != 0 && pending > limit)
            return false;
        if (m_send.size() < pending) {
            std::vector<char> grown;
            try {
                grown.resize(std::max(m_send.size() * 2, pending));
            } catch (const std::bad_alloc&) {
                return false;
            }
            std::copy(m_send.begin() + m_sendStart, m_send.begin() + m_sendEnd, grown.begin());
            m_send.swap(grown);
        } else {
            std::copy(m_send.begin() + m_sendStart, m_send.begin() + m_sendEnd, m_send.begin());
        }
        m_sendStart = 0;
        m_sendEnd = pendingBefore;
    }
    unsigned char prefix[4] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                               static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 24)};
    std::memcpy(&m_send[m_sendEnd], prefix, 4);
    std::memcpy(&m_send[m_sendEnd + 4], data, length);
    m_sendEnd += needed;
    if (pendingBefore == 0)
        FlushLocked();
    return true;
}

void TcpConnection::FlushLocked() {
    while (m_sendStart < m_sendEnd) {
        const int chunk = static_cast<int>(std::min<std::size_t>(m_sendEnd - m_sendStart, 1u << 30));
        const int n = CAsyncSocketEx::Send(&m_send[m_sendStart], chunk);
        if (n <= 0)
            return;  // a write notice or the close notice follows
        m_sendStart += static_cast<std::size_t>(n);
        m_core.Meter().AddSent(static_cast<std::uint32_t>(n));
    }
    m_sendStart = m_sendEnd = 0;
}

void TcpConnection::OnSend(int error) {
    if (error != 0)
        return;
    boost::mutex::scoped_lock lock(m_sendMutex);
    FlushLocked();
}

void TcpConnection::QueueHandshake(std::uint8_t code, const PeerAddress& addressee) {
    TcpHandshake message;
    message.code = code;
    message.result = 0;
    message.sender = m_core.OwnAddress();
    message.addressee = addressee;
    nps::DefaultBlockBuffer buffer;
    EncodeTcpHandshake(buffer, message);
    SendFrame(buffer.data, static_cast<std::uint32_t>(buffer.size));
}

// ------------------------------------------------------------------ events

void TcpConnection::Fail(int event) { m_core.ReportEvent(this, event); }

void TcpConnection::OnConnect(int error) {
    Enter();
    if (error != 0)
        Fail(2);
    else if (m_initiator)
        QueueHandshake(TCP_HELLO, m_peer);
    Leave();
}

void TcpConnection::OnClose(int error) {
    Enter();
    m_state = kClosed;
    Fail(error != 0 && error != WSAECONNRESET ? 3 : 5);
    Leave();
}

void TcpConnection::OnReceive(int error) {
    if (error != 0)
        return;
    Enter();
    ReceiveFrames();
    Leave();
}

// Reads whatever is waiting, however little: the length prefix too may come
// in pieces, and a later notice only comes once more bytes arrive.
void TcpConnection::ReceiveFrames() {
    while (!m_disposed && m_state != kClosed) {
        if (m_headerReceived < 4) {
            const int n = Receive(m_header + m_headerReceived, static_cast<int>(4 - m_headerReceived));
            if (n <= 0)
                return;  // WSAEWOULDBLOCK waits for the next notice; an end waits for the close notice
            m_headerReceived += static_cast<unsigned>(n);
            m_core.Meter().AddReceived(static_cast<std::uint32_t>(n));
            if (m_headerReceived < 4)
                continue;
            const std::uint32_t length = m_header[0] | (m_header[1] << 8) | (m_header[2] << 16) |
                                         (static_cast<std::uint32_t>(m_header[3]) << 24);
            if (length > kMaxFrame) {
                Fail(3);
                return;
            }
            if (length == 0) {  // nothing to deliver
                m_headerReceived = 0;
                continue;
            }
            if (m_receive.size() < length) {
                try {
                    m_receive.assign(length, 0);
                } catch (const std::bad_alloc&) {
                    Fail(3);
                    return;
                }
            }
            m_frameLength = length;
            m_frameReceived = 0;
        }
        const int n = Receive(&m_receive[m_frameReceived], static_cast<int>(m_frameLength - m_frameReceived));
        if (n <= 0)
            return;
        m_frameReceived += static_cast<std::uint32_t>(n);
        m_core.Meter().AddReceived(static_cast<std::uint32_t>(n));
        if (m_frameReceived == m_frameLength) {
            const std::uint32_t length = m_frameLength;
            m_headerReceived = 0;
            m_frameLength = 0;
            m_frameReceived = 0;
            HandleFrame(length);
        }
    }
}

void TcpConnection::HandleFrame(std::uint32_t length) {
    if (m_state == kEstablished) {
        m_core.ReportData(this, m_receive.data(), static_cast<int>(length));
        return;
    }
    TcpHandshake message;
    if (m_state == kHandshake && DecodeTcpHandshake(m_receive.data(), length, message))
        HandleHandshake(message);
}

void TcpConnection::HandleHandshake(const TcpHandshake& message) {
    if (message.code == TCP_HELLO) {
        if (message.addressee.id != m_core.OwnAddress().id) {
            m_core.Drop(this);
            return;
        }
        m_state = kEstablished;
        PeerAddress none;
        none.Clear();
        QueueHandshake(TCP_HELLO_REPLY, none);
        m_peer = message.sender;
        m_core.ReportEvent(this, 4);
    } else if (message.code == TCP_HELLO_REPLY) {
        if (message.result != 0) {
            CAsyncSocketEx::Close();
            Fail(2);
            return;
        }
        m_state = kEstablished;
        m_peer = message.sender;
        m_core.ReportEvent(this, 1);
    }
}
