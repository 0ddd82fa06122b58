#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "live/LiveCandidate.h"

// The live engine's four candidate tables and the rules that move peers
// between them. Windows-free: the engine passes in its session count, the
// clock and the connect itself (which creates the session; true when the
// network core started the attempt).
//
//   candidates --connect--> connecting --event 1--> connected
//        |                      | event 2 (node type 1, or tries < 3)
//        |                      v                    | event 3
//        +---------------- retry <-------------------+
//                              | upkeep every 10 s: tries + 1, connect
class LiveConnections {
public:
    using Connect = std::function<bool(const LiveCandidate&)>;

    // The engine connects to at most this many peers itself.
    static constexpr std::size_t kMostConnects = 20;
    // The first step of the upkeep connects while fewer are in progress.
    static constexpr std::size_t kTopUpBelow = 10;
    static constexpr std::uint32_t kUpkeepMs = 10000;
    static constexpr std::uint32_t kRetryAfterMs = 10000;
    static constexpr std::uint8_t kMostViewerTries = 3;

    // A later entry with the same id replaces the earlier one.
    void AddCandidates(const std::vector<LiveCandidate>& candidates);
    void ClearCandidates() { m_candidates.clear(); }

    // Source nodes first, all of them; then viewers in id order while fewer
    // than kMostConnects sessions (counting each connect that started) exist.
    // Every candidate tried leaves the table. Answers that count.
    std::size_t ConnectCandidates(std::size_t sessions, const Connect& connect);

    void OnConnected(const PeerId& peer);
    void OnConnectFailed(const PeerId& peer, std::uint32_t now);
    // A session with a source node timing out sets source lost.
    void OnTimedOut(const PeerId& peer, std::uint32_t now, bool source);
    void OnClosed(const PeerId& peer) { m_connected.erase(peer); }
    // An accepted connection replaces whatever we had with the peer,
    // connected or still connecting.
    void OnReplaced(const PeerId& peer)
    {
        m_connected.erase(peer);
        m_connecting.erase(peer);
    }

    // Every 100 ms tick.
    void Maintain(std::size_t sessions, std::uint32_t now, const Connect& connect);

    void Clear();

    const LiveCandidateTable& Candidates() const { return m_candidates; }
    const LiveCandidateTable& Connecting() const { return m_connecting; }
    const LiveCandidateTable& Connected() const { return m_connected; }
    const LiveCandidateTable& Retry() const { return m_retry; }
    bool SourceLost() const { return m_sourceLost; }

private:
    bool ConnectOne(const LiveCandidate& candidate, const Connect& connect);
    void RetryWhere(const std::function<bool(const LiveCandidate&)>& due, const Connect& connect);

    LiveCandidateTable m_candidates;
    LiveCandidateTable m_connecting;
    LiveCandidateTable m_connected;
    LiveCandidateTable m_retry;
    std::uint32_t m_upkeepMs = 0;
    bool m_sourceLost = false;
};
