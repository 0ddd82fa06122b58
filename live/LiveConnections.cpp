#include "live/LiveConnections.h"

namespace {

const std::uint32_t kTickMs = 100;

}  // namespace

void LiveConnections::AddCandidates(const std::vector<LiveCandidate>& candidates)
{
    for (const LiveCandidate& candidate : candidates)
        m_candidates[candidate.address.id] = candidate;
}

bool LiveConnections::ConnectOne(const LiveCandidate& candidate, const Connect& connect)
{
    if (!connect(candidate))
        return false;
    m_connecting[candidate.address.id] = candidate;
    return true;
}

std::size_t LiveConnections::ConnectCandidates(std::size_t sessions, const Connect& connect)
{
    if (m_candidates.empty())
        return 0;
    std::size_t count = sessions;
    for (auto it = m_candidates.begin(); it != m_candidates.end();) {
        if (it->second.nodeType == 0) {
            ++it;
            continue;
        }
        const LiveCandidate candidate = it->second;
        it = m_candidates.erase(it);
        if (ConnectOne(candidate, connect))
            ++count;
    }
    while (count < kMostConnects && !m_candidates.empty()) {
        const LiveCandidate candidate = m_candidates.begin()->second;
        m_candidates.erase(m_candidates.begin());
        if (ConnectOne(candidate, connect))
            ++count;
    }
    return count;
}

void LiveConnections::OnConnected(const PeerId& peer)
{
    auto it = m_connecting.find(peer);
    if (it == m_connecting.end())
        return;
    LiveCandidate candidate = it->second;
    m_connecting.erase(it);
    candidate.tries = 0;
    m_connected[peer] = candidate;
}

void LiveConnections::OnConnectFailed(const PeerId& peer, std::uint32_t now)
{
    auto it = m_connecting.find(peer);
    if (it == m_connecting.end())
        return;
    LiveCandidate candidate = it->second;
    m_connecting.erase(it);
    if (candidate.nodeType == LiveCandidate::kNodeSeed || candidate.tries < kMostViewerTries) {
        candidate.failureTime = now;
        m_retry[peer] = candidate;
    }
}

void LiveConnections::OnTimedOut(const PeerId& peer, std::uint32_t now, bool source)
{
    if (source)
        m_sourceLost = true;
    auto it = m_connected.find(peer);
    if (it == m_connected.end())
        return;
    LiveCandidate candidate = it->second;
    m_connected.erase(it);
    candidate.tries = 0;
    candidate.failureTime = now;
    m_retry[peer] = candidate;
}

void LiveConnections::RetryWhere(const std::function<bool(const LiveCandidate&)>& due, const Connect& connect)
{
    for (auto it = m_retry.begin(); it != m_retry.end();) {
        if (!due(it->second)) {
            ++it;
            continue;
        }
        LiveCandidate candidate = it->second;
        ++candidate.tries;
        it = m_retry.erase(it);
        ConnectOne(candidate, connect);
    }
}

void LiveConnections::Maintain(std::size_t sessions, std::uint32_t now, const Connect& connect)
{
    if (m_connecting.size() + sessions <= kTopUpBelow && !m_candidates.empty())
        ConnectCandidates(sessions, connect);
    m_upkeepMs += kTickMs;
    if (m_upkeepMs < kUpkeepMs)
        return;
    m_upkeepMs = 0;
    if (sessions >= kMostConnects) {
        if (m_sourceLost)
            RetryWhere([](const LiveCandidate& c) { return c.nodeType != 0; }, connect);
        m_sourceLost = false;
        return;
    }
    RetryWhere([now](const LiveCandidate& c) { return now - c.failureTime >= kRetryAfterMs; }, connect);
}

void LiveConnections::Clear()
{
    m_candidates.clear();
    m_connecting.clear();
    m_connected.clear();
    m_retry.clear();
    m_upkeepMs = 0;
    m_sourceLost = false;
}
