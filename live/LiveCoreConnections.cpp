// CLiveCore: the tracker dialogue, the peer connections and where playback
// starts. Engine thread.
#include "live/LiveCore.h"

#include <mmsystem.h>

#include "common/http/HttpRequest.h"
#include "live/LiveEngineMessages.h"
#include "live/LivePeerSession.h"
#include "live/LiveStartPiece.h"
#include "live/LiveTrackerMessages.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "vod/VodEngineMessages.h"
#include "vod/VodTrackerRequest.h"

namespace {

const UINT kRetryMs = 2000;
const int kMostReplyRetries = 3;
const UINT kStartChoiceMs = 3000;
const UINT kPeerOnMs = 5000;
const UINT kTickMs = 100;
const std::uint32_t kDefaultBufferingSeconds = 10;

}  // namespace

// ---------------------------------------------------------------- tracker

bool CLiveCore::TrackRequest(http::CHttpRequest* request)
{
    if (request == nullptr)
        return false;
    m_requests.insert(request);
    return true;
}

void CLiveCore::OnHttpDone(WPARAM kind, http::CHttpRequest* request)
{
    if (m_requests.erase(request) == 0)
        return;   // not one of ours
    std::unique_ptr<http::CHttpRequest> owned(request);
    if (kind == LIVE_HTTP_REQPEER)
        OnReqPeerReply(*request);
}

bool CLiveCore::SendReqPeer()
{
    if (m_trackerUrl.empty() || !m_network)
        return false;
    PeerAddress self;
    if (!OwnAddress(self, false))
        return false;
    if (!TrackRequest(PostTrackerRequest(m_messageWindow.Handle(), WM_LIVE_HTTP_DONE, LIVE_HTTP_REQPEER,
                                         m_trackerUrl, BuildLiveReqPeer(m_channel, m_peerType, self.id))))
        return false;
    PostStatus(LIVE_STATUS_ASKING_PEERS);
    return true;
}

void CLiveCore::OnReqPeerReply(http::CHttpRequest& request)
{
    std::string bytes;
    if (!ReadTrackerReply(request, bytes)) {
        if (++m_reqPeerFailures <= kMostReplyRetries)
            SetTimer(m_messageWindow.Handle(), LIVE_TIMER_REQPEER, kRetryMs, nullptr);
        return;
    }
    LivePeerReply reply;
    if (ParseLivePeerReply(bytes.data(), bytes.size(), reply) && reply.success) {
        m_connections.AddCandidates(reply.candidates);
        if (reply.hasTime)
            m_livePoint = reply.time;
        if (!reply.pwd.empty()) {
            LRESULT answer = 0;
            if (m_owner != nullptr)
                answer = SendMessageW(m_owner, WM_VOD_PASSWORD, reinterpret_cast<WPARAM>(reply.pwd.data()),
                                      static_cast<LPARAM>(reply.pwd.size()));
            if (answer == 0)
                m_connections.ClearCandidates();
        }
    }
    WPARAM outcome = 0;
    if (!m_connections.Candidates().empty()) {
        PostStatus(LIVE_STATUS_PEERS_FOUND);
        if (ConnectCandidates()) {
            PostStatus(LIVE_STATUS_CONNECTING);
            outcome = 1;
        }
    } else {
        PostStatus(LIVE_STATUS_NO_PEERS);
    }
    PostOwner(WM_LIVE_CONNECTED, outcome);
}

bool CLiveCore::SendPeerOn()
{
    if (!m_network || m_trackerUrl.empty())
        return false;
    PeerAddress self;
    if (!OwnAddress(self, true))
        return false;
    return TrackRequest(PostTrackerRequest(m_messageWindow.Handle(), WM_LIVE_HTTP_DONE, LIVE_HTTP_PEERON,
                                           m_trackerUrl, BuildLivePeerOn(m_channel, m_peerType, self.id)));
}

// ---------------------------------------------------------------- sessions

LivePeerSession* CLiveCore::FindSession(const LivePeerSession* session) const
{
    for (const auto& entry : m_sessions)
        if (entry.second == session)
            return entry.second;
    return nullptr;
}

void CLiveCore::DisposeSession(LivePeerSession* session, bool closeConnection)
{
    const bool reaped = closeConnection ? session->Close() : session->StopSendTimer();
    if (!reaped)
        delete session;
}

void CLiveCore::EndSession(const PeerId& peer, bool closeConnection)
{
    auto it = m_sessions.find(peer);
    if (it == m_sessions.end())
        return;
    LivePeerSession* session = it->second;
    m_sessions.erase(it);
    m_sessionCount = static_cast<int>(m_sessions.size());
    DisposeSession(session, closeConnection);
}

bool CLiveCore::ConnectTo(const LiveCandidate& candidate)
{
    const PeerId& peer = candidate.address.id;
    if (!m_network || m_sessions.count(peer) != 0)
        return false;
    try {
        m_network->ConnectTo(candidate.address, PPN_CONN_SRUDP);
    } catch (const ppn::PPNException&) {
        return false;
    }
    LivePeerSession* session = new LivePeerSession(*this, peer, candidate.nodeType);
    session->SetInitiator(true);
    m_sessions[peer] = session;
    m_sessionCount = static_cast<int>(m_sessions.size());
    return true;
}

bool CLiveCore::ConnectCandidates()
{
    if (!m_network)
        return false;
    return m_connections.ConnectCandidates(m_sessions.size(),
                                           [this](const LiveCandidate& c) { return ConnectTo(c); }) > 0;
}

void CLiveCore::OnPeerEventMsg(const PeerId& peer, int event)
{
    auto it = m_sessions.find(peer);
    LivePeerSession* session = it == m_sessions.end() ? nullptr : it->second;
    const std::uint32_t now = timeGetTime();
    switch (event) {
    case PPN_EVENT_CONNECTED:
        if (session != nullptr)
            session->SendHello();
        m_connections.OnConnected(peer);
        break;
    case PPN_EVENT_CONNECT_FAILED:
        EndSession(peer, false);
        m_connections.OnConnectFailed(peer, now);
        break;
    case PPN_EVENT_TIMEOUT:
        m_connections.OnTimedOut(peer, now, session != nullptr && session->NodeType() != 0);
        EndSession(peer, true);
        break;
    case PPN_EVENT_ACCEPTED:
        // The core kept this connection of two simultaneous ones: the old
        // session only goes, its connection is the one just accepted.
        EndSession(peer, false);
        m_connections.OnReplaced(peer);
        m_sessions[peer] = new LivePeerSession(*this, peer, 0);
        m_sessionCount = static_cast<int>(m_sessions.size());
        break;
    case PPN_EVENT_CLOSED:
        EndSession(peer, true);
        m_connections.OnClosed(peer);
        break;
    default:
        break;
    }
}

void CLiveCore::MaintainConnections()
{
    m_connections.Maintain(m_sessions.size(), timeGetTime(),
                           [this](const LiveCandidate& c) { return ConnectTo(c); });
}

void CLiveCore::OnSessionResult(LivePeerSession* session, LPARAM result)
{
    // Posted: the session may have ended since.
    if (FindSession(session) == nullptr)
        return;
    if (result == LIVE_SESSION_REFUSED) {
        EndSession(session->Peer(), true);
        return;
    }
    if (result != LIVE_SESSION_ACCEPTED || PlaybackStarted())
        return;
    if (session->NodeType() != 0) {
        m_sourcePeer = true;
        const LiveAvailability& held = session->Availability();
        StartPlayback(held.Start() + static_cast<std::uint32_t>(held.Bits().size()));
    } else if (!m_startTimerArmed) {
        m_startTimerArmed = true;
        SetTimer(m_messageWindow.Handle(), LIVE_TIMER_START, kStartChoiceMs, nullptr);
    }
}

// ---------------------------------------------------------------- playback start

void CLiveCore::ChooseStartPiece()
{
    if (PlaybackStarted())
        return;
    std::vector<LivePeerHolding> peers;
    for (const auto& entry : m_sessions) {
        const LivePeerSession* session = entry.second;
        if (session->IsHandshaken())
            peers.push_back({session->Availability().Start(),
                             static_cast<std::uint32_t>(session->Availability().Bits().size())});
    }
    const LiveStartChoice choice = ChooseLiveStartPiece(peers, m_livePoint);
    m_startFloor = choice.floor;
    StartPlayback(choice.piece);
}

bool CLiveCore::StartPlayback(std::uint32_t piece)
{
    if (PlaybackStarted())
        return true;
    const std::uint32_t start = LiveWindowStart(piece, m_livePoint, m_startLag, m_sourcePeer ? 0 : m_startFloor);
    m_scheduler.StartWanted(start);
    m_window.SetStart(start);
    m_tickRecord = {m_messageWindow.Handle(), WM_LIVE_SCHEDULE, 0, 0};
    if (!CreateTimerQueueTimer(&m_tickTimer, m_timerQueue, VodTimerCallback, &m_tickRecord, kTickMs, kTickMs,
                               WT_EXECUTEDEFAULT)) {
        m_tickTimer = nullptr;
        return false;
    }
    SetTimer(m_messageWindow.Handle(), LIVE_TIMER_PEERON, kPeerOnMs, nullptr);
    // The feeder starts here with these seconds of buffering; a start from a
    // source needs no countdown.
    if (m_bufferingSeconds == 0 && !m_sourcePeer)
        m_bufferingSeconds = kDefaultBufferingSeconds;
    std::lock_guard<std::mutex> lock(m_feederLock);
    m_feeder.reset(new LiveFeeder(this, m_bufferingSeconds));
    if (!m_feeder->Start()) {
        // No feeder would ever read: the owner hears the status of a start
        // that failed (6, string 116) instead of a playback that never comes.
        m_feeder.reset();
        PostStatus(LIVE_STATUS_NO_PEERS);
        return false;
    }
    return true;
}
