#pragma once

// Before Boost: its headers bring in windows.h.
#include "net/Winsock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <boost/pool/pool.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <boost/thread/thread.hpp>

#include "net/DatagramQueue.h"
#include "net/SectionLock.h"
#include "net/PeerAddress.h"
#include "net/PortMapper.h"
#include "net/PunchHost.h"
#include "net/PunchSessions.h"
#include "net/TransportHost.h"
#include "net/UhMessages.h"

class UHListener;
class UdpCompletionEngine;
struct UdpEngineRegistration;

namespace uh {

// Owns the one UDP socket of a network core. It binds the socket in the port
// range, maps the port on the gateway, learns the NAT type by STUN, logs in
// to the NAT server and keeps the login alive; it receives every datagram and
// sorts it: NAT-server replies and hole-punching messages it handles itself,
// reliable-UDP packets and raw datagrams go to its listeners. Every send of
// the stack goes through SendTo.
//
// Threads: the listen thread (UPnP, STUN, login, keepalive, logout), the
// receive thread (recvfrom into the datagram queue), the packet thread
// (classifies and dispatches) and the punch table's worker.
//
// Lock order: listener-list lock, then the punch table's mutex, then the
// own-address mutex. Listeners are called under the first only, so they may
// punch and send; the table never reports while it holds its mutex.
class UHCore : public TransportHost, private PunchHost {
public:
    static const unsigned kMaxDatagram = 1500;
    // Datagrams waiting for the packet thread; beyond this they are dropped.
    static const std::size_t kMaxQueuedDatagrams = 2048;

    UHCore();
    virtual ~UHCore();

    UHCore(const UHCore&) = delete;
    UHCore& operator=(const UHCore&) = delete;

    // Set before StartListen. Address and port in network order.
    void SetNatServer(std::uint32_t ip, std::uint16_t port);
    // Applied only when high >= low.
    void SetPortRange(std::uint16_t high, std::uint16_t low);
    void SetStunServer(const std::string& text);
    void SetLoginInterval(unsigned ms) { m_loginIntervalMs = ms; }
    void SetLogoutInterval(unsigned ms) { m_logoutIntervalMs = ms; }
    void SetKeepaliveInterval(unsigned seconds) { m_keepaliveSeconds = seconds; }
    // Replaces the UPnP mapper (tests use a recording stand-in). Before start.
    void SetPortMapper(std::unique_ptr<PortMapper> mapper);

    // Makes the mapper of every core constructed from now on, for the cores
    // a network facade builds inside itself; null restores the system's UPnP
    // object. Tests and drivers use it: where UPnP is disabled, the system's
    // object takes seconds to fail, which would hold up every login.
    typedef std::unique_ptr<PortMapper> (*PortMapperFactory)();
    static void SetPortMapperFactory(PortMapperFactory factory);

    // Binds port (0: a random port of the range) and starts the threads.
    bool StartListen(std::uint16_t port);
    // Logs out, unmaps, joins every thread and closes the socket.
    void Stop();

    // Id 3: the NAT type as "%d". False for every other id.
    bool GetProperty(int id, std::string& text) const;

    void AddListener(UHListener* listener) override;
    void RemoveListener(UHListener* listener) override;

    // Refuses null data, length 0, more than 1500 bytes and a closed socket;
    // true when more than 0 bytes went out.
    bool SendTo(const char* data, int length, const sockaddr_in& to) override;

    // Starts a hole-punching session towards the peer (type 1 only). False when
    // not started, for the own id, for a peer whose public address or port is
    // 0, and for any other type.
    bool Punch(const PeerAddress& peer, int type, int tag) override;

    // Own id, public endpoint as the NAT server reported it, local endpoint.
    PeerAddress OwnAddress() const override;
    bool LoggedIn() const { return m_loggedIn; }
    // Waits at most ms for the logged-in state.
    bool WaitLoggedIn(unsigned ms);
    std::uint16_t BoundPort() const;

    // A receive of the completion engine ended (several workers at once).
    // Only a datagram of 1 to 1500 bytes with status 0 on this core's socket
    // is queued; everything else is ignored.
    virtual void OnEngineDatagram(SOCKET socket, const char* data, int length, const sockaddr_in& source,
                                  int sourceLength, int status);
    // True when the process-wide engine existed when this core was made.
    bool UsesEngine() const { return m_engine != nullptr; }

protected:
    virtual void DispatchDatagram(const char* data, int length, const sockaddr_in& from);
    virtual void DispatchPacket(const char* data, int length, const sockaddr_in& from);

private:
    // PunchHost
    Ipv4Endpoint NatServer() const override;
    bool SendDatagram(const char* data, int length, const Ipv4Endpoint& to) override;
    void ReportPunchResult(int result, const UHSession& session) override;
    void ReportIncomingSession(const PeerAddress& peer) override;

    bool BindPort(std::uint16_t port);
    bool StartThreads();
    void StopThreads();
    void CloseSocket();

    void ListenThread();
    void ReceiveThread();
    void HandlePacketThread();

    void MapPort();
    void UnmapPort();
    void DetectNatType();
    void LoginLoop();
    void KeepaliveLoop();
    void LogoutLoop();
    template <typename Done>
    void WaitLogin(unsigned ms, Done done);

    void SendServerMessage(std::uint8_t code);
    void ClassifyDatagram(const char* data, int length, const sockaddr_in& source);
    void HandleUhMessage(const PpnHeader& header, const char* body, int length, const sockaddr_in& source);
    void HandleServerReply(const UhServerMessage& reply);

    char* TakeBuffer();
    void GiveBuffer(char* buffer);

    std::atomic<bool> m_loggedIn;
    std::atomic<bool> m_started;
    std::atomic<bool> m_receiveRunning;

    std::uint16_t m_portHigh;
    std::uint16_t m_portLow;
    std::atomic<SOCKET> m_socket;  // read by the receive thread while Stop closes it
    std::uint32_t m_natServerIp;    // network order
    std::uint16_t m_natServerPort;  // network order

    PeerAddress m_own;  // guarded by m_ownMutex: the packet thread refreshes the public part
    mutable boost::mutex m_ownMutex;

    std::string m_stunServer;
    std::atomic<int> m_natType;

    boost::thread m_listenThread;
    boost::thread m_packetThread;
    boost::thread m_receiveThread;

    PunchSessions m_sessions;

    std::vector<UHListener*> m_listeners;  // in the order added
    boost::recursive_mutex m_listenersLock;

    // Wakes the listen thread: stop, login and logout replies.
    boost::mutex m_loginMutex;
    boost::condition_variable m_loginCondition;

    std::unique_ptr<PortMapper> m_portMapper;

    DatagramQueue m_queue;  // open while the packet thread runs

    boost::pool<> m_pool;  // 1500-byte receive buffers
    SectionLock m_poolLock;   // the receive and packet threads take it per datagram

    UdpCompletionEngine* m_engine;              // decided at construction
    std::atomic<UdpEngineRegistration*> m_engineRegistration;  // while the socket receives through it

    std::atomic<unsigned> m_loginIntervalMs;
    std::atomic<unsigned> m_logoutIntervalMs;
    std::atomic<unsigned> m_keepaliveSeconds;
};

}  // namespace uh
