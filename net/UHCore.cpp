#include "net/UHCore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <objbase.h>

#include "net/ByteOrder.h"
#include "net/HostIdentity.h"
#include "net/MakePeerId.h"
#include "net/NatType.h"
#include "net/PropertyMap.h"
#include "net/StunClient.h"
#include "net/UdpCompletionEngine.h"
#include "net/UHListener.h"
#include "net/UpnpPortMapper.h"

namespace uh {

namespace {

// Used when the caller names no STUN server (property 4).
const char kDefaultStunServer[] = "stun.tovra.net";

const unsigned kPortTries = 100;
const int kSocketBufferBytes = 200000;
const unsigned kLoginPauseEvery = 20;
const unsigned kLoginPauseMs = 30000;
const int kLogoutTries = 3;

// The UPnP object wants an apartment on the thread that uses it.
class ComApartment {
public:
    ComApartment() : m_ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (m_ok)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool m_ok;
};

std::atomic<UHCore::PortMapperFactory> g_mapperFactory(nullptr);

std::unique_ptr<PortMapper> MakePortMapper() {
    const UHCore::PortMapperFactory factory = g_mapperFactory;
    return factory ? factory() : std::unique_ptr<PortMapper>(new UpnpPortMapper());
}

PeerAddress SourceAddress(const sockaddr_in& source) {
    PeerAddress from;
    from.Clear();
    from.endpoint.publicIp = source.sin_addr.s_addr;
    from.endpoint.publicPort = source.sin_port;
    return from;
}

}  // namespace

UHCore::UHCore()
    : m_loggedIn(false),
      m_started(false),
      m_receiveRunning(false),
      m_portHigh(6000),
      m_portLow(5000),
      m_socket(INVALID_SOCKET),
      m_natServerIp(0),
      m_natServerPort(0),
      m_stunServer(kDefaultStunServer),
      m_natType(NAT_NOT_TESTED),
      m_sessions(*this),
      m_portMapper(MakePortMapper()),
      m_queue(kMaxQueuedDatagrams),
      m_pool(kMaxDatagram, 32),
      m_engine(GetUdpEngine()),
      m_engineRegistration(nullptr),
      m_loginIntervalMs(1000),
      m_logoutIntervalMs(100),
      m_keepaliveSeconds(10) {
    m_own.Clear();
}

UHCore::~UHCore() { Stop(); }

// ------------------------------------------------------------------ settings

void UHCore::SetNatServer(std::uint32_t ip, std::uint16_t port) {
    m_natServerIp = ip;
    m_natServerPort = port;
}

void UHCore::SetPortRange(std::uint16_t high, std::uint16_t low) {
    if (high < low)
        return;
    m_portHigh = high;
    m_portLow = low;
}

void UHCore::SetStunServer(const std::string& text) { m_stunServer = text; }

void UHCore::SetPortMapper(std::unique_ptr<PortMapper> mapper) { m_portMapper = std::move(mapper); }

void UHCore::SetPortMapperFactory(PortMapperFactory factory) { g_mapperFactory = factory; }

bool UHCore::GetProperty(int id, std::string& text) const {
    if (id != PPN_PROP_NAT_TYPE)
        return false;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", m_natType.load());
    text = digits;
    return true;
}

PeerAddress UHCore::OwnAddress() const {
    boost::mutex::scoped_lock lock(m_ownMutex);
    return m_own;
}

std::uint16_t UHCore::BoundPort() const { return net::NetToHost16(OwnAddress().endpoint.localPort); }

Ipv4Endpoint UHCore::NatServer() const { return Ipv4Endpoint{m_natServerIp, m_natServerPort}; }

// ------------------------------------------------------------------ start and stop

bool UHCore::BindPort(std::uint16_t port) {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return false;
    std::uint32_t localIp;
    sockaddr_in a;
    ZeroMemory(&a, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    if (!GetLocalIPv4(localIp) || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        return false;
    }
    // Port 0 lets the system choose: the endpoint and the id must carry the
    // port really bound, or every such core of one host has the same id and
    // peers are told to reach it at port 0.
    int length = sizeof a;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        closesocket(s);
        return false;
    }
    port = ntohs(a.sin_port);
    if (m_engine) {
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
    }
    const int size = kSocketBufferBytes;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    m_socket = s;
    boost::mutex::scoped_lock lock(m_ownMutex);
    m_own.Clear();
    m_own.endpoint.localIp = localIp;
    m_own.endpoint.localPort = htons(port);
    m_own.id = MakePeerId(port);
    return true;
}

bool UHCore::StartListen(std::uint16_t port) {
    if (m_started)
        return true;
    if (m_natServerIp == 0 || m_socket != INVALID_SOCKET)
        return false;

    bool bound = false;
    if (port != 0) {
        bound = BindPort(port);
    } else if (m_portLow != m_portHigh) {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        for (unsigned i = 0; i < kPortTries && !bound; ++i)
            bound = BindPort(static_cast<std::uint16_t>(m_portLow + std::rand() % (m_portHigh - m_portLow)));
    } else {
        bound = BindPort(m_portLow);
    }
    if (!bound)
        return false;
    if (StartThreads())
        return true;
    StopThreads();
    CloseSocket();
    return false;
}

bool UHCore::StartThreads() {
    try {
        if (m_engine && m_engine == GetUdpEngine())
            m_engineRegistration = m_engine->Register(m_socket, this);
        m_receiveRunning = true;
        if (!m_engineRegistration)
            m_receiveThread = boost::thread([this] { ReceiveThread(); });
        m_started = true;
        m_listenThread = boost::thread([this] { ListenThread(); });
        m_queue.Open();
        m_packetThread = boost::thread([this] { HandlePacketThread(); });
    } catch (const boost::thread_resource_error&) {
        return false;
    }
    return m_sessions.Start();
}

// Ends the listen and packet threads and the punch table, each woken under
// the mutex it waits with so that none can miss the wake-up.
void UHCore::StopThreads() {
    {
        boost::mutex::scoped_lock lock(m_loginMutex);
        m_started = false;
        m_loginCondition.notify_all();
    }
    // The listen thread logs out and unmaps while the packet thread still
    // runs, so the logout reply can arrive.
    if (m_listenThread.joinable())
        m_listenThread.join();
    m_queue.Close();
    if (m_packetThread.joinable())
        m_packetThread.join();
    m_sessions.Stop();
}

void UHCore::CloseSocket() {
    m_receiveRunning = false;
    if (UdpEngineRegistration* registration = m_engineRegistration.exchange(nullptr))
        m_engine->Unregister(registration);
    const SOCKET s = m_socket;
    if (s != INVALID_SOCKET) {
        // Wakes a recvfrom that is blocked on the socket.
        sockaddr_in self;
        ZeroMemory(&self, sizeof self);
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        self.sin_port = OwnAddress().endpoint.localPort;
        sendto(s, "1", 1, 0, reinterpret_cast<sockaddr*>(&self), sizeof self);
        shutdown(s, SD_BOTH);
        closesocket(s);
        m_socket = INVALID_SOCKET;
    }
    if (m_receiveThread.joinable())
        m_receiveThread.join();
    for (const DatagramQueue::Datagram& d : m_queue.TakeAll())
        GiveBuffer(d.buffer);
}

void UHCore::Stop() {
    if (!m_started)
        return;
    StopThreads();
    CloseSocket();
}

// ------------------------------------------------------------------ listen thread

void UHCore::ListenThread() {
    ComApartment apartment;
    MapPort();
    DetectNatType();
    LoginLoop();
    KeepaliveLoop();
    if (m_loggedIn)
        LogoutLoop();
    UnmapPort();
}

void UHCore::MapPort() {
    const PeerAddress own = OwnAddress();
    in_addr local;
    local.s_addr = own.endpoint.localIp;
    const std::uint16_t port = ntohs(own.endpoint.localPort);
    // The outcome changes nothing: without a mapping the NAT server and hole
    // punching still work for most NATs.
    if (m_portMapper->Init())
        m_portMapper->Add(inet_ntoa(local), port, PortMapper::kUdp, port);
}

void UHCore::UnmapPort() {
    m_portMapper->Remove(BoundPort(), PortMapper::kUdp);
    m_portMapper->Release();
}

void UHCore::DetectNatType() {
    StunIPv4Endpoint server;
    if (!StunParseServerName(m_stunServer.c_str(), server)) {
        m_natType = NAT_TEST_FAILED;
        return;
    }
    const std::uint32_t local = ntohl(OwnAddress().endpoint.localIp);
    m_natType = NatTypeFromStunResult(StunNatTypeTest(server, local, 0));
}

template <typename Done>
void UHCore::WaitLogin(unsigned ms, Done done) {
    boost::mutex::scoped_lock lock(m_loginMutex);
    m_loginCondition.wait_for(lock, boost::chrono::milliseconds(ms), done);
}

// Retried for as long as the core runs; every 20th attempt waits 30 s first.
void UHCore::LoginLoop() {
    unsigned attempts = 0;
    while (!m_loggedIn) {
        if (m_socket == INVALID_SOCKET || !m_started)
            return;
        if (++attempts == kLoginPauseEvery) {
            WaitLogin(kLoginPauseMs, [this] { return !m_started; });
            if (!m_started)
                return;
            attempts = 0;
        }
        SendServerMessage(UH_LOGIN);
        WaitLogin(m_loginIntervalMs, [this] { return !m_started || m_loggedIn; });
    }
}

// A missing keepalive reply changes nothing: there is no new login.
void UHCore::KeepaliveLoop() {
    while (m_started) {
        WaitLogin(m_keepaliveSeconds * 1000, [this] { return !m_started; });
        if (m_started)
            SendServerMessage(UH_KEEPALIVE);
    }
}

void UHCore::LogoutLoop() {
    for (int i = 0; i < kLogoutTries && m_loggedIn; ++i) {
        SendServerMessage(UH_LOGOUT);
        WaitLogin(m_logoutIntervalMs, [this] { return !m_loggedIn; });
    }
}

bool UHCore::WaitLoggedIn(unsigned ms) {
    boost::mutex::scoped_lock lock(m_loginMutex);
    return m_loginCondition.wait_for(lock, boost::chrono::milliseconds(ms), [this] { return m_loggedIn.load(); });
}

void UHCore::SendServerMessage(std::uint8_t code) {
    UhServerMessage m;
    m.code = code;
    m.unused = 0;
    m.natType = static_cast<std::uint8_t>(m_natType.load());
    m.zero = 0;
    m.address = OwnAddress();
    nps::DefaultBlockBuffer buffer;
    EncodeUhServerMessage(buffer, m);
    SendTo(buffer.data, static_cast<int>(buffer.size), ToSockaddr(NatServer()));
}

// ------------------------------------------------------------------ receiving

char* UHCore::TakeBuffer() {
    SectionHolder hold(m_poolLock);
    return static_cast<char*>(m_pool.malloc());
}

void UHCore::GiveBuffer(char* buffer) {
    SectionHolder hold(m_poolLock);
    m_pool.free(buffer);
}

void UHCore::ReceiveThread() {
    while (m_receiveRunning && m_socket != INVALID_SOCKET) {
        char* buffer = TakeBuffer();
        if (!buffer) {
            boost::this_thread::sleep_for(boost::chrono::seconds(1));
            continue;
        }
        sockaddr_in source;
        int received;
        for (;;) {
            int sourceLength = sizeof source;
            received = recvfrom(m_socket, buffer, kMaxDatagram, 0, reinterpret_cast<sockaddr*>(&source),
                                &sourceLength);
            if (received != SOCKET_ERROR)
                break;
            const int e = WSAGetLastError();
            if (e == WSAENOTSOCK || e == WSAENETDOWN || e == WSAESHUTDOWN || !m_receiveRunning) {
                GiveBuffer(buffer);
                return;
            }
        }
        if (received == 0) {
            GiveBuffer(buffer);
            continue;
        }
        if (!m_queue.Push(DatagramQueue::Datagram{buffer, received, source}))
            GiveBuffer(buffer);
    }
}

void UHCore::OnEngineDatagram(SOCKET socket, const char* data, int length, const sockaddr_in& source,
                              int sourceLength, int status) {
    if (socket != m_socket || !data || length < 1 || length > static_cast<int>(kMaxDatagram) || status != 0 ||
        sourceLength < static_cast<int>(sizeof source))
        return;
    char* buffer = TakeBuffer();
    if (!buffer)
        return;
    CopyMemory(buffer, data, length);
    if (!m_queue.Push(DatagramQueue::Datagram{buffer, length, source}))
        GiveBuffer(buffer);
}

void UHCore::HandlePacketThread() {
    DatagramQueue::Datagram d;
    while (m_queue.Pop(d)) {
        ClassifyDatagram(d.buffer, d.length, d.source);
        GiveBuffer(d.buffer);
    }
}

void UHCore::ClassifyDatagram(const char* data, int length, const sockaddr_in& source) {
    PpnHeader header;
    switch (::ClassifyDatagram(data, static_cast<std::uint32_t>(length), header)) {
    case DatagramKind::kRaw:
        DispatchDatagram(data, length, source);
        break;
    case DatagramKind::kUh:
        HandleUhMessage(header, data + kPpnHeaderSize, length - static_cast<int>(kPpnHeaderSize), source);
        break;
    case DatagramKind::kSrudp:
        DispatchPacket(data, length, source);
        break;
    case DatagramKind::kIgnore:
    case DatagramKind::kDrop:
        break;
    }
}

void UHCore::HandleUhMessage(const PpnHeader& header, const char* body, int length, const sockaddr_in& source) {
    UhMessage m;
    if (!DecodeUhMessage(header, body, static_cast<std::uint32_t>(length), m))
        return;
    if (m.kind == UhMessage::kServer)
        HandleServerReply(m.server);
    else
        m_sessions.OnMessage(m.session, FromSockaddr(source));
}

// Replies are not checked against their source: the address inside decides.
void UHCore::HandleServerReply(const UhServerMessage& reply) {
    bool changed = false;
    {
        boost::mutex::scoped_lock lock(m_ownMutex);
        const PeerEndpoint& mine = m_own.endpoint;
        const PeerEndpoint& theirs = reply.address.endpoint;
        if (reply.code == UH_LOGOUT_REPLY) {
            if (reply.address == m_own) {
                m_loggedIn = false;
                changed = true;
            }
        } else if (reply.address.id == m_own.id && theirs.localIp == mine.localIp &&
                   theirs.localPort == mine.localPort) {
            m_own.endpoint.publicIp = theirs.publicIp;
            m_own.endpoint.publicPort = theirs.publicPort;
            if (reply.code == UH_LOGIN_REPLY) {
                m_loggedIn = true;
                changed = true;
            }
        }
    }
    if (changed) {
        boost::mutex::scoped_lock lock(m_loginMutex);
        m_loginCondition.notify_all();
    }
}

// ------------------------------------------------------------------ listeners and sending

void UHCore::AddListener(UHListener* listener) {
    boost::recursive_mutex::scoped_lock lock(m_listenersLock);
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
    m_listeners.push_back(listener);
}

void UHCore::RemoveListener(UHListener* listener) {
    boost::recursive_mutex::scoped_lock lock(m_listenersLock);
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void UHCore::DispatchDatagram(const char* data, int length, const sockaddr_in& from) {
    const PeerAddress address = SourceAddress(from);
    boost::recursive_mutex::scoped_lock lock(m_listenersLock);
    for (UHListener* l : m_listeners)
        l->OnDatagram(data, length, &address);
}

void UHCore::DispatchPacket(const char* data, int length, const sockaddr_in& from) {
    const PeerAddress address = SourceAddress(from);
    boost::recursive_mutex::scoped_lock lock(m_listenersLock);
    for (UHListener* l : m_listeners)
        l->OnPacket(data, length, &address);
}

void UHCore::ReportPunchResult(int result, const UHSession& session) {
    boost::recursive_mutex::scoped_lock lock(m_listenersLock);
    for (UHListener* l : m_listeners)
        l->OnPunchResult(result, 1, 0, &session, session.tag);
}

void UHCore::ReportIncomingSession(const PeerAddress& peer) {
    boost::recursive_mutex::scoped_lock lock(m_listenersLock);
    for (UHListener* l : m_listeners)
        l->OnIncomingSession(1, 0, &peer);
}

bool UHCore::SendTo(const char* data, int length, const sockaddr_in& to) {
    const SOCKET s = m_socket;
    if (!data || length <= 0 || length > static_cast<int>(kMaxDatagram) || s == INVALID_SOCKET)
        return false;
    if (m_engineRegistration)
        return m_engine->Send(s, reinterpret_cast<const sockaddr*>(&to), sizeof to, data, length);
    return sendto(s, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0;
}

bool UHCore::SendDatagram(const char* data, int length, const Ipv4Endpoint& to) {
    const sockaddr_in a = ToSockaddr(to);
    return SendTo(data, length, a);
}

bool UHCore::Punch(const PeerAddress& peer, int type, int tag) {
    if (!m_started || peer.id == OwnAddress().id || peer.endpoint.publicIp == 0 ||
        peer.endpoint.publicPort == 0 || type != 1)
        return false;
    m_sessions.Punch(peer, tag);
    return true;
}

}  // namespace uh
