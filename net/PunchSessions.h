#pragma once

#include <cstdint>
#include <deque>

#include "net/Ipv4Endpoint.h"
#include "net/UHSessions.h"
#include "net/UhMessages.h"

namespace uh {

// Hole punching between two peers through the NAT server.
//
// Initiator: Punch asks the server to introduce it (19) and sends punches
// (17) straight to the peer's endpoints, on the schedule 400 ms x 1.3^sends,
// up to 10 sends. The responder answers through the server (20) and straight
// back (21); either one tells the initiator the peer's endpoint (state 2) and
// restarts its punches. An 18 (the answer to a punch) ends the session as
// punched (result 1); 10 unanswered sends end it as failed (result 2).
// Responder: a 19 from the server or a 17 from anywhere makes its session; a
// 17 punches it and reports the incoming peer once.
//
// 17 and 19 are handled at once on the packet thread; 18, 20 and 21 are
// queued for the worker, which also steps, expires and fails sessions.
// Listeners are called without the table mutex held.
class PunchSessions : public UHSessions {
public:
    // Milliseconds on a clock that never goes back; tests pass a fake one.
    typedef std::int64_t (*Clock)();

    static const int kMaxSends = 10;
    static const unsigned kCycleMs = 400;
    static const std::int64_t kExpiryMs = 60000;

    explicit PunchSessions(PunchHost& host, Clock clock = nullptr);
    ~PunchSessions() override;

    void Stop() override;

    // Makes an initiator session for the peer (the core checked it) and takes
    // its first step, so the first 19 and 17 leave before this returns.
    void Punch(const PeerAddress& peer, int tag);

    // A session message received from source (packet thread).
    void OnMessage(const UhSessionMessage& message, const Ipv4Endpoint& source);

    // The worker's cycle, step by step, in the order the worker runs them;
    // public so tests can drive the table with a fake clock.

    // 1. Waits until an initiator session is pending or a message is queued,
    // at most waitMs: replies are handled and sessions expire even while
    // nothing is pending.
    void WaitForWork(unsigned waitMs);
    // 2. Sends the next step of every pending initiator session that is due.
    void StepDueSessions();
    // 3. Handles queued 18, 20 and 21 in arrival order until phaseMs have
    // passed and the queue is empty (0: only what is queued now).
    void HandleQueuedMessages(unsigned phaseMs);
    // 4. Once a minute: deletes punched and responder sessions idle for a minute.
    void ExpireIdleSessions();
    // 5. Takes out initiator sessions that reached 10 sends unanswered and
    // reports them failed.
    void FailExhaustedSessions();

protected:
    void WorkRoutine() override;

private:
    struct Queued {
        UhSessionMessage message;
        Ipv4Endpoint source;
    };

    UHSession* FindInitiator(std::uint16_t id);
    UHSession* FindResponder(const PeerId& peer, std::uint16_t id);
    UHSession* FindOrMakeResponder(const UhSessionMessage& message, bool& made);
    bool HasPendingLocked() const;
    bool QueueEmpty();

    void Step(UHSession& session);
    void Send(std::uint8_t code, std::uint8_t flags, const UHSession& session, const PeerAddress& addressee,
              const Ipv4Endpoint& to);
    void SendToEndpoints(std::uint8_t code, std::uint8_t flags, const UHSession& session,
                         const PeerAddress& addressee, const PeerEndpoint& endpoints);

    void OnConnectRequest(const UhSessionMessage& message, const Ipv4Endpoint& source);  // 19
    void OnPunch(const UhSessionMessage& message, const Ipv4Endpoint& source);           // 17
    void OnReply(const UhSessionMessage& message, const Ipv4Endpoint& source);           // 20, 21
    void OnPunchAck(const UhSessionMessage& message, const Ipv4Endpoint& source);        // 18

    Clock m_clock;
    std::int64_t m_lastExpiry;  // worker only

    // Holds the received 18, 20 and 21 for the worker. Lock order: the table
    // mutex before this one.
    std::deque<Queued> m_queue;
    boost::mutex m_queueMutex;
    boost::condition_variable m_queueCondition;
};

}  // namespace uh
