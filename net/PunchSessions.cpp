#include "net/PunchSessions.h"

#include <chrono>
#include <cmath>
#include <vector>

#include <boost/chrono.hpp>

#include "net/PunchHost.h"

namespace uh {

namespace {

// One counter for every core of the process; ids are its low 16 bits, so the
// first is 1 and they wrap after 65535.
std::atomic<std::uint32_t> g_sessionCounter(0);

std::uint16_t NextSessionId() { return static_cast<std::uint16_t>(++g_sessionCounter); }

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A flood of replies must not grow without limit; real sessions need a few.
const std::size_t kMaxQueued = 1024;

// Flags of a message this host sends for its own session: bit 0 repeats
// bit 1 of the session (always set), bit 1 is always set.
std::uint8_t InitiatorFlags(const UHSession& s) {
    return static_cast<std::uint8_t>(((s.flags >> 1) & 1) | UHSession::kAnySession);
}

bool Due(const UHSession& s, std::int64_t now) {
    const double wait = PunchSessions::kCycleMs * std::pow(1.3, s.sendCount);
    return double(now) >= double(s.activityMs) + wait;
}

bool Pending(const UHSession& s) {
    return s.StartedHere() && !s.Punched() && s.sendCount < PunchSessions::kMaxSends;
}

}  // namespace

PunchSessions::PunchSessions(PunchHost& host, Clock clock)
    : UHSessions(host), m_clock(clock ? clock : &SteadyMs), m_lastExpiry(m_clock()) {}

PunchSessions::~PunchSessions() { Stop(); }

void PunchSessions::Stop() {
    {
        boost::mutex::scoped_lock lock(m_queueMutex);
        m_running = false;
        m_queueCondition.notify_all();
    }
    UHSessions::Stop();
    boost::mutex::scoped_lock lock(m_queueMutex);
    m_queue.clear();
}

// ------------------------------------------------------------------ lookups

UHSession* PunchSessions::FindInitiator(std::uint16_t id) {
    for (auto& s : m_sessions)
        if (s->StartedHere() && s->id == id)
            return s.get();
    return nullptr;
}

UHSession* PunchSessions::FindResponder(const PeerId& peer, std::uint16_t id) {
    for (auto& s : m_sessions)
        if (!s->StartedHere() && s->id == id && s->peer.id == peer)
            return s.get();
    return nullptr;
}

UHSession* PunchSessions::FindOrMakeResponder(const UhSessionMessage& message, bool& made) {
    made = false;
    if (UHSession* s = FindResponder(message.sender.id, message.sessionId))
        return s;
    std::unique_ptr<UHSession> s(new UHSession());
    s->peer = message.sender;
    s->own = m_host.OwnAddress();
    s->id = message.sessionId;
    s->state = UHSession::kAsked;
    s->flags = UHSession::kAnySession;
    s->one = 1;
    s->sendCount = 0;
    s->tag = 0;
    s->activityMs = m_clock();
    m_sessions.push_back(std::move(s));
    made = true;
    return m_sessions.back().get();
}

bool PunchSessions::HasPendingLocked() const {
    for (const auto& s : m_sessions)
        if (Pending(*s))
            return true;
    return false;
}

bool PunchSessions::QueueEmpty() {
    boost::mutex::scoped_lock lock(m_queueMutex);
    return m_queue.empty();
}

// ------------------------------------------------------------------ sending

void PunchSessions::Send(std::uint8_t code, std::uint8_t flags, const UHSession& session,
                         const PeerAddress& addressee, const Ipv4Endpoint& to) {
    UhSessionMessage m;
    m.code = code;
    m.flags = flags;
    m.sessionId = session.id;
    m.one = session.one;
    m.zero = 0;
    m.sender = session.own;
    m.addressee = addressee;
    nps::DefaultBlockBuffer buffer;
    EncodeUhSessionMessage(buffer, m);
    m_host.SendDatagram(buffer.data, static_cast<int>(buffer.size), to);
}

// To the public endpoint when known, and to the local one too when it differs.
void PunchSessions::SendToEndpoints(std::uint8_t code, std::uint8_t flags, const UHSession& session,
                                    const PeerAddress& addressee, const PeerEndpoint& endpoints) {
    if (endpoints.Public().IsSet())
        Send(code, flags, session, addressee, endpoints.Public());
    if (endpoints.Local() != endpoints.Public() && endpoints.Local().IsSet())
        Send(code, flags, session, addressee, endpoints.Local());
}

void PunchSessions::Step(UHSession& s) {
    if (s.sendCount >= kMaxSends)
        return;
    ++s.sendCount;
    s.activityMs = m_clock();
    if (s.state == UHSession::kAsked)
        Send(UH_CONNECT_REQUEST, InitiatorFlags(s), s, s.peer, m_host.NatServer());
    if (s.state == UHSession::kAsked || s.state == UHSession::kPeerKnown)
        SendToEndpoints(UH_PUNCH, InitiatorFlags(s), s, s.peer, s.peer.endpoint);
}

// ------------------------------------------------------------------ entry points

void PunchSessions::Punch(const PeerAddress& peer, int tag) {
    std::unique_ptr<UHSession> s(new UHSession());
    s->peer = peer;
    s->own = m_host.OwnAddress();
    s->id = NextSessionId();
    s->state = UHSession::kAsked;
    s->flags = UHSession::kStartedHere | UHSession::kAnySession;
    s->one = 1;
    s->sendCount = 0;
    s->tag = tag;
    s->activityMs = m_clock();
    boost::mutex::scoped_lock lock(m_tableMutex);
    Step(*s);
    m_sessions.push_back(std::move(s));
    m_tableCondition.notify_all();
}

void PunchSessions::OnMessage(const UhSessionMessage& message, const Ipv4Endpoint& source) {
    if (!(message.flags & UHSession::kStartedHere))
        return;
    switch (message.code) {
    case UH_CONNECT_REQUEST:
        OnConnectRequest(message, source);
        return;
    case UH_PUNCH:
        OnPunch(message, source);
        return;
    case UH_PUNCH_ACK:
    case UH_CONNECT_REPLY:
    case UH_CONNECT_HELLO:
        break;
    default:
        return;
    }
    {
        boost::mutex::scoped_lock lock(m_queueMutex);
        if (m_queue.size() >= kMaxQueued)
            return;
        m_queue.push_back(Queued{message, source});
        m_queueCondition.notify_all();
    }
    boost::mutex::scoped_lock lock(m_tableMutex);
    m_tableCondition.notify_all();
}

// 19, responder side: the NAT server introduces an initiator.
void PunchSessions::OnConnectRequest(const UhSessionMessage& m, const Ipv4Endpoint& source) {
    if (m.addressee != m_host.OwnAddress() || source != m_host.NatServer())
        return;
    boost::mutex::scoped_lock lock(m_tableMutex);
    bool made;
    UHSession* s = FindOrMakeResponder(m, made);
    if (s->Punched())
        return;
    s->activityMs = m_clock();
    Send(UH_CONNECT_REPLY, m.flags, *s, m.sender, source);
    SendToEndpoints(UH_CONNECT_HELLO, m.flags, *s, m.sender, m.sender.endpoint);
}

// 17, responder side: a punch from the initiator, from wherever it came.
void PunchSessions::OnPunch(const UhSessionMessage& m, const Ipv4Endpoint& source) {
    if (m.addressee.id != m_host.OwnAddress().id)
        return;
    PeerAddress peer;
    bool report = false;
    {
        boost::mutex::scoped_lock lock(m_tableMutex);
        bool made;
        UHSession* s = FindOrMakeResponder(m, made);
        s->activityMs = m_clock();
        s->peer.endpoint.publicIp = source.ip;
        s->peer.endpoint.publicPort = source.port;
        Send(UH_PUNCH_ACK, m.flags, *s, s->peer, source);
        if (!s->Punched()) {
            s->state = UHSession::kPunched;
            peer = s->peer;
            report = true;
        }
    }
    if (report)
        m_host.ReportIncomingSession(peer);
}

// 20 (through the server) and 21 (straight from the responder), initiator side.
void PunchSessions::OnReply(const UhSessionMessage& m, const Ipv4Endpoint& source) {
    if (m.addressee.id != m_host.OwnAddress().id)
        return;
    if (m.code == UH_CONNECT_REPLY && source != m_host.NatServer())
        return;
    boost::mutex::scoped_lock lock(m_tableMutex);
    UHSession* s = FindInitiator(m.sessionId);
    if (!s || s->Punched())
        return;
    if (s->state == UHSession::kAsked) {
        // What the peer saw of us is news even when the rest does not match.
        s->own.endpoint.publicIp = m.addressee.endpoint.publicIp;
        s->own.endpoint.publicPort = m.addressee.endpoint.publicPort;
        if (m.addressee.endpoint.Local() != s->own.endpoint.Local() || m.sender.id != s->peer.id)
            return;
        if (m.code == UH_CONNECT_REPLY) {
            s->peer.endpoint = m.sender.endpoint;
        } else {
            s->peer.endpoint.publicIp = source.ip;
            s->peer.endpoint.publicPort = source.port;
        }
    } else if (m.code == UH_CONNECT_HELLO) {
        s->peer.endpoint.publicIp = source.ip;
        s->peer.endpoint.publicPort = source.port;
    }
    s->state = UHSession::kPeerKnown;
    s->activityMs = m_clock();
    s->sendCount = 0;
    Step(*s);
}

// 18, initiator side: our punch got through.
void PunchSessions::OnPunchAck(const UhSessionMessage& m, const Ipv4Endpoint& source) {
    if (m.addressee.id != m_host.OwnAddress().id)
        return;
    UHSession done;
    {
        boost::mutex::scoped_lock lock(m_tableMutex);
        UHSession* s = FindInitiator(m.sessionId);
        if (!s || s->Punched())
            return;
        s->peer.endpoint.publicIp = source.ip;
        s->peer.endpoint.publicPort = source.port;
        s->state = UHSession::kPunched;
        s->activityMs = m_clock();
        done = *s;
    }
    m_host.ReportPunchResult(1, done);
}

// ------------------------------------------------------------------ the worker's cycle

void PunchSessions::WaitForWork(unsigned waitMs) {
    boost::mutex::scoped_lock lock(m_tableMutex);
    m_tableCondition.wait_for(lock, boost::chrono::milliseconds(waitMs),
                              [this] { return !m_running || HasPendingLocked() || !QueueEmpty(); });
}

void PunchSessions::StepDueSessions() {
    boost::mutex::scoped_lock lock(m_tableMutex);
    const std::int64_t now = m_clock();
    for (auto& s : m_sessions)
        if (Pending(*s) && Due(*s, now))
            Step(*s);
}

void PunchSessions::HandleQueuedMessages(unsigned phaseMs) {
    const boost::chrono::steady_clock::time_point end =
        boost::chrono::steady_clock::now() + boost::chrono::milliseconds(phaseMs);
    for (;;) {
        Queued q;
        {
            boost::mutex::scoped_lock lock(m_queueMutex);
            while (m_queue.empty() && m_running && boost::chrono::steady_clock::now() < end)
                m_queueCondition.wait_until(lock, end);
            if (m_queue.empty())
                return;
            q = m_queue.front();
            m_queue.pop_front();
        }
        if (q.message.code == UH_PUNCH_ACK)
            OnPunchAck(q.message, q.source);
        else
            OnReply(q.message, q.source);
    }
}

void PunchSessions::ExpireIdleSessions() {
    boost::mutex::scoped_lock lock(m_tableMutex);
    const std::int64_t now = m_clock();
    if ((now - m_lastExpiry) / 1000 <= kExpiryMs / 1000)
        return;
    m_lastExpiry = now;
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        const UHSession& s = **it;
        if ((s.Punched() || !s.StartedHere()) && now - s.activityMs > kExpiryMs)
            it = m_sessions.erase(it);
        else
            ++it;
    }
}

void PunchSessions::FailExhaustedSessions() {
    std::vector<std::unique_ptr<UHSession>> failed;
    {
        boost::mutex::scoped_lock lock(m_tableMutex);
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            if ((*it)->StartedHere() && !(*it)->Punched() && (*it)->sendCount >= kMaxSends) {
                failed.push_back(std::move(*it));
                it = m_sessions.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& s : failed)
        m_host.ReportPunchResult(2, *s);
}

void PunchSessions::WorkRoutine() {
    while (m_running) {
        WaitForWork(kCycleMs);
        if (!m_running)
            break;
        StepDueSessions();
        HandleQueuedMessages(kCycleMs);
        ExpireIdleSessions();
        FailExhaustedSessions();
    }
}

}  // namespace uh
