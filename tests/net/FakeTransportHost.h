#pragma once

// Stand-ins for what the transports sit between: a UH core that records what
// is sent and punched, a facade that records events and messages, and a clock
// the test moves.
#include "net/Winsock.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>

#include "net/PpnEventSink.h"
#include "net/SrudpMessages.h"
#include "net/TransportHost.h"
#include "net/UHListener.h"
#include "net/UHSession.h"

namespace nettest {

inline PeerAddress MakeAddress(const char* id, std::uint32_t hostIp, std::uint16_t port) {
    PeerAddress a;
    a.Clear();
    a.id = PeerId::FromBytes(id, std::strlen(id));
    a.endpoint.publicIp = a.endpoint.localIp = htonl(hostIp);
    a.endpoint.publicPort = a.endpoint.localPort = htons(port);
    return a;
}

class FakeTransportHost : public uh::TransportHost {
public:
    struct Sent {
        std::string bytes;
        Ipv4Endpoint to;
    };
    struct Punched {
        PeerAddress peer;
        int type, tag;
    };

    explicit FakeTransportHost(const PeerAddress& own) : m_own(own) {}

    PeerAddress OwnAddress() const override { return m_own; }
    bool SendTo(const char* data, int length, const sockaddr_in& to) override {
        if (!data || length <= 0 || length > 1500)
            return false;
        boost::mutex::scoped_lock lock(m_mutex);
        sent.push_back(Sent{std::string(data, static_cast<std::size_t>(length)), FromSockaddr(to)});
        return true;
    }
    bool Punch(const PeerAddress& peer, int type, int tag) override {
        boost::mutex::scoped_lock lock(m_mutex);
        punched.push_back(Punched{peer, type, tag});
        return punchAllowed;
    }
    void AddListener(UHListener* l) override {
        boost::mutex::scoped_lock lock(m_mutex);
        listeners.push_back(l);
    }
    void RemoveListener(UHListener* l) override {
        boost::mutex::scoped_lock lock(m_mutex);
        listeners.erase(std::remove(listeners.begin(), listeners.end(), l), listeners.end());
    }

    // What went out since the last call.
    std::vector<Sent> TakeSent() {
        boost::mutex::scoped_lock lock(m_mutex);
        std::vector<Sent> out;
        out.swap(sent);
        return out;
    }
    // The codes of the reliable-UDP datagrams that went out since the last call.
    std::vector<int> TakeCodes() {
        std::vector<int> codes;
        for (const Sent& s : TakeSent()) {
            SrudpMessage m;
            codes.push_back(DecodeSrudpMessage(s.bytes.data(), static_cast<std::uint32_t>(s.bytes.size()), m)
                                ? m.code
                                : -1);
        }
        return codes;
    }

    bool punchAllowed = true;
    std::vector<Sent> sent;
    std::vector<Punched> punched;
    std::vector<UHListener*> listeners;

private:
    PeerAddress m_own;
    boost::mutex m_mutex;
};

class RecordingSink : public PpnEventSink {
public:
    struct Event {
        PeerAddress peer;
        int event, type;
    };
    struct Data {
        PeerId peer;
        int type;
        std::string bytes;
    };

    void PostEvent(const PeerAddress& peer, int event, int type) override {
        boost::mutex::scoped_lock lock(m_mutex);
        events.push_back(Event{peer, event, type});
    }
    void DeliverData(const PeerId& peer, int type, const char* data, int length) override {
        boost::mutex::scoped_lock lock(m_mutex);
        received.push_back(Data{peer, type, std::string(data, static_cast<std::size_t>(length))});
    }

    std::vector<Event> Events() {
        boost::mutex::scoped_lock lock(m_mutex);
        return events;
    }
    std::vector<int> EventNumbers() {
        std::vector<int> numbers;
        for (const Event& e : Events())
            numbers.push_back(e.event);
        return numbers;
    }
    std::vector<Data> Received() {
        boost::mutex::scoped_lock lock(m_mutex);
        return received;
    }

private:
    std::vector<Event> events;
    std::vector<Data> received;
    boost::mutex m_mutex;
};

// A clock the test sets; the transports' threads read it too.
inline std::atomic<std::int64_t>& FakeNow() {
    static std::atomic<std::int64_t> now(1000000);
    return now;
}
inline std::int64_t FakeClock() { return FakeNow(); }

// A punch session as the UH core reports it.
inline UHSession SessionWith(const PeerAddress& peer) {
    UHSession s;
    std::memset(&s, 0, sizeof s);
    s.peer = peer;
    s.state = UHSession::kPunched;
    s.flags = UHSession::kStartedHere | UHSession::kAnySession;
    return s;
}

// The UH core's `from` for a datagram from endpoint: zero id, the source as
// public endpoint, nothing local.
inline PeerAddress From(const Ipv4Endpoint& e) {
    PeerAddress a;
    a.Clear();
    a.endpoint.publicIp = e.ip;
    a.endpoint.publicPort = e.port;
    return a;
}

}  // namespace nettest
