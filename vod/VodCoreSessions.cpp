// CVodCore: peer sessions, connections, the download scheduler and the relay
// texts. Engine thread, except the two listener calls at the top.
#include "vod/VodCore.h"

#include <mmsystem.h>

#include <algorithm>
#include <vector>

#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "vod/VodBlockMap.h"
#include "vod/VodCacheFile.h"
#include "vod/VodCandidates.h"
#include "vod/VodEngineMessages.h"
#include "vod/VodMessages.h"
#include "vod/RelayText.h"
#include "vod/VodPeerSession.h"
#include "vod/VodUnits.h"

namespace {

const UINT kScheduleMs = 100;
const UINT kSecondMs = 1000;
const UINT kPeerOnMs = 5000;
const std::uint32_t kWindowBlocks = 30;
const std::uint32_t kLowPieceRoom = 1440;
const std::uint32_t kReleaseOnLowRoom = 20;
const std::uint32_t kRerequestMs = 1000;
const std::uint32_t kRetryEveryMs = 10000;
const DWORD kRetryAfterMs = 10000;
const std::uint8_t kMostTries = 3;
// Bounds of what other peers can make this engine keep.
const std::size_t kMostRelayQueue = 256;

}  // namespace

// ---------------------------------------------------------------- listener

void CVodCore::OnEvent(const PeerId* peer, int event, int type)
{
    if (type == PPN_CONN_SRUDP && peer != nullptr)
        SendMessageW(m_window.Handle(), WM_VOD_PEER_EVENT, reinterpret_cast<WPARAM>(peer), event);
}

void CVodCore::OnReceive(const PeerId* peer, int, const char* data, int length)
{
    if (peer == nullptr || data == nullptr || length <= 0)
        return;
    // Pieces wait for the engine's next read or scheduler tick, which take
    // the inbox first; everything else is handled at once.
    const bool piece = static_cast<std::uint8_t>(data[0]) == VOD_MSG_PIECE;
    if (piece)
        m_steps.Mark(VOD_STEP_FIRST_PIECE);
    bool wake = false;
    if (m_inbox.Push(*peer, data, static_cast<std::size_t>(length), !piece, wake) && wake)
        PostMessageW(m_window.Handle(), WM_VOD_PEER_DATA, 0, 0);
}

void CVodCore::TakeInbox()
{
    for (const VodInbox::Item& item : m_inbox.TakeAll())
        OnPeerData(item.peer, item.bytes.data(), static_cast<int>(item.bytes.size()));
}

// ---------------------------------------------------------------- sessions

VodPeerSession* CVodCore::FindSession(VodPeerSession* session) const
{
    for (const auto& entry : m_sessions)
        if (entry.second == session)
            return session;
    return nullptr;
}

void CVodCore::DisposeSession(VodPeerSession* session)
{
    HANDLE done = session->End();
    session->TakeLost(m_wantedPieces);
    if (done != nullptr)
        m_pendingDeletion[done] = session;
    else
        delete session;
}

void CVodCore::EndSession(const PeerId& peer)
{
    auto it = m_sessions.find(peer);
    if (it == m_sessions.end())
        return;
    VodPeerSession* session = it->second;
    m_sessions.erase(it);
    DisposeSession(session);
}

void CVodCore::ReapSessions()
{
    for (auto it = m_pendingDeletion.begin(); it != m_pendingDeletion.end();) {
        if (WaitForSingleObject(it->first, 0) == WAIT_OBJECT_0) {
            CloseHandle(it->first);
            delete it->second;
            it = m_pendingDeletion.erase(it);
        } else {
            ++it;
        }
    }
}

void CVodCore::OnPeerEvent(const PeerId& peer, int event)
{
    auto session = m_sessions.find(peer);
    const bool has = session != m_sessions.end();
    const DWORD now = timeGetTime();
    switch (event) {
    case PPN_EVENT_CONNECTED: {
        m_steps.Mark(VOD_STEP_CONNECTED);
        if (has)
            PostMessageW(m_window.Handle(), WM_VOD_SESSION_TICK, reinterpret_cast<WPARAM>(session->second), 1);
        auto c = m_connecting.find(peer);
        if (c != m_connecting.end()) {
            VodCandidate candidate = c->second;
            candidate.tries = 0;
            m_connecting.erase(c);
            m_connected[peer] = candidate;
        }
        break;
    }
    case PPN_EVENT_CONNECT_FAILED: {
        if (has) {
            VodPeerSession* s = session->second;
            m_sessions.erase(session);
            DisposeSession(s);
        }
        auto c = m_connecting.find(peer);
        if (c != m_connecting.end()) {
            VodCandidate candidate = c->second;
            m_connecting.erase(c);
            if (candidate.tries < kMostTries) {
                candidate.failureTime = now;
                m_retry[peer] = candidate;
            }
        }
        break;
    }
    case PPN_EVENT_TIMEOUT: {
        EndSession(peer);
        auto c = m_connected.find(peer);
        if (c != m_connected.end()) {
            VodCandidate candidate = c->second;
            m_connected.erase(c);
            candidate.tries = 0;
            candidate.failureTime = now;
            m_retry[peer] = candidate;
        }
        break;
    }
    case PPN_EVENT_ACCEPTED:
        if (has) {
            EndSession(peer);
            m_connected.erase(peer);
        }
        m_sessions[peer] = new VodPeerSession(*this, peer, false, false);
        break;
    case PPN_EVENT_CLOSED:
        EndSession(peer);
        m_connected.erase(peer);
        break;
    default:
        break;
    }
}

void CVodCore::OnPeerData(const PeerId& peer, const char* data, int length)
{
    auto it = m_sessions.find(peer);
    if (it == m_sessions.end())
        return;
    VodPeerSession* session = it->second;
    VodMessage message;
    if (!ReadVodMessage(data, static_cast<std::uint32_t>(length), message))
        return;
    switch (message.type) {
    case VOD_MSG_HELLO:
        session->OnHello(message.hello);
        break;
    case VOD_MSG_HELLO_REPLY:
        session->OnHelloReply(message.hello);
        break;
    case VOD_MSG_REQUEST:
        session->OnRequest(message.request);
        break;
    case VOD_MSG_PIECE:
        session->OnPiece(message.piece);
        break;
    case VOD_MSG_DONE:
        session->OnDone(message.done);
        break;
    case VOD_MSG_HAVE:
        session->OnHave(message.have);
        break;
    case VOD_MSG_RELAY:
        OnRelay(session, message.relay);
        break;
    default:
        break;
    }
}

void CVodCore::OnSessionTick(VodPeerSession* session, LPARAM step)
{
    if (FindSession(session) == nullptr)
        return;
    switch (step & 0xFFFF) {
    case 1:
        session->SendHello();
        break;
    case 2:
        session->SendHelloReply((step >> 16) != 0);
        break;
    case 3:
        session->OnPacingTick();
        break;
    default:
        break;
    }
}

void CVodCore::OnSessionResult(VodPeerSession* session, LPARAM result)
{
    if (FindSession(session) == nullptr)
        return;
    if (result == 1) {
        EndSession(session->Peer());
    } else if (result == 2 && m_scheduleTimer == nullptr) {
        m_steps.Mark(VOD_STEP_ACCEPTED);
        StartPlayback();
    }
}

// ---------------------------------------------------------------- connections

bool CVodCore::ConnectPeer(const VodCandidate& candidate)
{
    const PeerId& peer = candidate.address.id;
    if (!m_network || m_sessions.count(peer) != 0)
        return false;
    try {
        m_network->ConnectTo(candidate.address, PPN_CONN_SRUDP);
    } catch (const ppn::PPNException&) {
        return false;
    }
    m_sessions[peer] = new VodPeerSession(*this, peer, candidate.IsSeed(), true);
    m_connecting[peer] = candidate;
    return true;
}

bool CVodCore::ConnectCandidates()
{
    return ::ConnectCandidates(m_seeds, m_normal, static_cast<int>(m_sessions.size()), m_connectionLimit,
                               [this](const VodCandidate& c) { return ConnectPeer(c); }) > 0;
}

void CVodCore::RetryCandidates()
{
    m_retryMs += kScheduleMs;
    if (m_retryMs < kRetryEveryMs)
        return;
    m_retryMs = 0;
    const DWORD now = timeGetTime();
    for (auto it = m_retry.begin(); it != m_retry.end();) {
        if (now - it->second.failureTime >= kRetryAfterMs) {
            VodCandidate candidate = it->second;
            ++candidate.tries;
            it = m_retry.erase(it);
            ConnectPeer(candidate);
        } else {
            ++it;
        }
    }
}

// ---------------------------------------------------------------- scheduler

bool CVodCore::StartPlayback()
{
    if (!m_blockMap || m_blockMap->GetBlockCount() == 0 || m_timerQueue == nullptr)
        return false;
    const std::uint32_t count = m_blockMap->GetBlockCount();
    m_wantedBlocks.clear();
    m_wantedPieces.clear();
    m_windowStart = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_playStart / kVodBlockSize, count - 1));
    m_windowEnd = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t(m_windowStart) + kWindowBlocks, count - 1));
    for (std::uint32_t b = m_windowStart; b <= m_windowEnd; ++b)
        m_wantedBlocks.insert(b);
    m_scheduleRecord = {m_window.Handle(), WM_VOD_SCHEDULE, 0, 0};
    m_secondRecord = {m_window.Handle(), WM_VOD_SECOND, 0, 0};
    if (!CreateTimerQueueTimer(&m_scheduleTimer, m_timerQueue, VodTimerCallback, &m_scheduleRecord, kScheduleMs,
                               kScheduleMs, WT_EXECUTEDEFAULT)) {
        m_scheduleTimer = nullptr;
        return false;
    }
    if (!CreateTimerQueueTimer(&m_secondTimer, m_timerQueue, VodTimerCallback, &m_secondRecord, kSecondMs,
                               kSecondMs, WT_EXECUTEDEFAULT))
        m_secondTimer = nullptr;
    SetTimer(m_window.Handle(), VOD_TIMER_PEERON, kPeerOnMs, nullptr);
    return true;
}

void CVodCore::AdvanceWindow()
{
    const std::uint32_t count = m_blockMap->GetBlockCount();
    const std::uint32_t playBlock = static_cast<std::uint32_t>(m_playStart / kVodBlockSize);
    const std::uint32_t playPiece = static_cast<std::uint32_t>(m_playStart / kVodPieceSize);
    for (;;) {
        if (m_windowStart >= count)
            break;
        const bool held = m_blockMap->IsBlockComplete(m_windowStart) ||
                          (m_windowStart == playBlock && m_blockMap->IsBlockCompleteFrom(m_windowStart, playPiece));
        if (!held)
            break;
        ++m_windowStart;
        m_rerequestMs = 0;
        if (m_windowStart > m_windowEnd)
            break;
        if (m_windowEnd + 1 < count) {
            ++m_windowEnd;
            if (!m_blockMap->IsBlockComplete(m_windowEnd))
                m_wantedBlocks.insert(m_windowEnd);
        }
    }
    m_contiguous = m_windowStart;
}

nps::BitField CVodCore::MissingPieces(std::uint32_t block) const
{
    const std::uint64_t pieces = (static_cast<std::uint64_t>(m_size) + kVodPieceSize - 1) / kVodPieceSize;
    const std::uint64_t first = std::uint64_t(block) * kVodPiecesPerBlock;
    const std::size_t n = static_cast<std::size_t>(
        first >= pieces ? 0 : std::min<std::uint64_t>(kVodPiecesPerBlock, pieces - first));
    nps::BitField field(n);
    for (std::size_t i = 0; i < n; ++i)
        field[i] = !m_blockMap->IsPiecePresent(static_cast<std::uint32_t>(first + i));
    return field;
}

bool CVodCore::AskBlock(std::uint32_t block, const nps::BitField& field, std::vector<VodPeerSession*>& list)
{
    for (auto it = list.begin(); it != list.end();) {
        VodPeerSession* session = *it;
        if (!session->CanTakeMore()) {
            it = list.erase(it);
            continue;
        }
        if (session->HoldsBlock(block)) {
            BlockBitFieldMap request;
            request[block] = field;
            session->SendRequest(request);
            m_steps.Mark(VOD_STEP_REQUESTED);
            return true;
        }
        ++it;
    }
    return false;
}

bool CVodCore::ScheduleFromCache()
{
    std::set<std::uint32_t> blocks = m_wantedBlocks;
    for (std::uint32_t piece : m_wantedPieces)
        blocks.insert(piece / kVodPiecesPerBlock);
    std::vector<char> buffer(kVodBlockSize);
    for (std::uint32_t block : blocks) {
        if (block >= m_blockMap->GetBlockCount())
            continue;
        const std::uint32_t got = m_cache->ReadBlock(block, buffer.data(), kVodBlockSize);
        if (got == 0)
            continue;
        for (std::uint32_t k = 0; k * kVodPieceSize < got && k < kVodPiecesPerBlock; ++k) {
            const std::uint32_t piece = block * kVodPiecesPerBlock + k;
            const std::uint32_t length = std::min(kVodPieceSize, got - k * kVodPieceSize);
            if (m_blockMap->StorePiece(piece, buffer.data() + k * kVodPieceSize, length, false) ==
                CVodBlockMap::kStoreFull)
                return true;
            m_wantedPieces.erase(piece);
        }
        m_wantedBlocks.erase(block);
        return true;
    }
    return false;
}

void CVodCore::Schedule()
{
    if (!m_blockMap)
        return;
    AdvanceWindow();
    if (m_windowEnd < m_windowStart || !m_reading)
        return;
    CVodBlockMap& map = *m_blockMap;
    if (map.GetPieceCapacity() - map.GetStoredCount() < kLowPieceRoom)
        map.ReleaseOutside(static_cast<std::uint32_t>(m_readPosition / kVodBlockSize), m_windowEnd, kReleaseOnLowRoom);
    if (map.HasFreeRoom()) {
        m_rerequestMs += kScheduleMs;
        if (m_rerequestMs > kRerequestMs) {
            m_rerequestMs = 0;
            if (!map.IsBlockComplete(m_windowStart))
                m_wantedBlocks.insert(m_windowStart);
        }
        if (m_sessions.size() <= static_cast<std::size_t>(std::max(m_connectionLimit, 0)) / 2 &&
            (!m_normal.empty() || !m_seeds.empty()))
            ConnectCandidates();
        RetryCandidates();
    }

    std::vector<VodPeerSession*> list;
    for (const auto& entry : m_sessions) {
        VodPeerSession* session = entry.second;
        if (!session->IsActive())
            continue;
        if (session->CanTakeMore())
            list.push_back(session);
        session->TakeLost(m_wantedPieces);
    }
    for (auto it = m_wantedPieces.begin(); it != m_wantedPieces.end();)
        it = m_wantedBlocks.count(*it / kVodPiecesPerBlock) ? m_wantedPieces.erase(it) : std::next(it);
    std::stable_sort(list.begin(), list.end(),
                     [](VodPeerSession* a, VodPeerSession* b) { return a->PeerRate() > b->PeerRate(); });

    // Seeds serve when the buffer runs low: not at all with more than twice
    // the read-ahead time buffered, after every other peer with more than once.
    const std::uint64_t w = std::uint64_t(m_windowStart) * kVodBlockSize;
    const std::uint64_t r = m_readPosition;
    const std::uint64_t b = std::uint64_t(m_bitRate / 8) * std::uint64_t(std::max(m_readAhead, 0));
    if (w > r + 2 * b) {
        list.erase(std::remove_if(list.begin(), list.end(), [](VodPeerSession* s) { return s->IsSeed(); }),
                   list.end());
    } else if (w > r + b) {
        std::stable_partition(list.begin(), list.end(), [](VodPeerSession* s) { return !s->IsSeed(); });
    }
    if (list.empty())
        return;
    if (m_cache && ScheduleFromCache())
        return;
    if (!map.HasFreeRoom() || (m_wantedBlocks.empty() && m_wantedPieces.empty()))
        return;

    const std::uint32_t count = map.GetBlockCount();
    if (m_wantedBlocks.count(m_windowStart)) {
        if (m_windowStart >= count) {
            m_wantedBlocks.erase(m_windowStart);
        } else {
            const nps::BitField field = MissingPieces(m_windowStart);
            if (field.none() || AskBlock(m_windowStart, field, list))
                m_wantedBlocks.erase(m_windowStart);
        }
    }

    std::set<std::uint32_t> pieces;
    for (std::uint32_t piece : m_wantedPieces) {
        const std::uint32_t block = piece / kVodPiecesPerBlock;
        if (block >= m_windowStart && block <= m_windowEnd)
            pieces.insert(piece);
    }
    m_wantedPieces.clear();
    for (const auto& group : map.GroupWantedPieces(pieces)) {
        if (group.second.none())
            continue;
        if (list.empty() || !AskBlock(group.first, group.second, list))
            for (std::size_t i = 0; i < group.second.size(); ++i)
                if (group.second[i])
                    m_wantedPieces.insert(group.first * kVodPiecesPerBlock + static_cast<std::uint32_t>(i));
    }

    for (auto it = m_wantedBlocks.begin(); it != m_wantedBlocks.end() && !list.empty();) {
        const std::uint32_t block = *it;
        if (block >= count) {
            it = m_wantedBlocks.erase(it);
            continue;
        }
        const nps::BitField field = MissingPieces(block);
        if (field.none() || AskBlock(block, field, list))
            it = m_wantedBlocks.erase(it);
        else
            ++it;
    }
}

// ---------------------------------------------------------------- relay texts

void CVodCore::OnSecond()
{
    RelayItem item;
    {
        boost::mutex::scoped_lock lock(m_relayMutex);
        if (m_relayQueue.empty())
            return;
        item = m_relayQueue.front();
        m_relayQueue.pop_front();
    }
    VodMessage message;
    message.type = VOD_MSG_RELAY;
    message.relay = item.message;
    nps::DefaultBlockBuffer buffer;
    try {
        PackVodMessage(message, buffer);
    } catch (const nps::base_pack_error&) {
        return;
    }
    for (const auto& entry : m_sessions) {
        VodPeerSession* session = entry.second;
        if (session == item.source || (item.message.kind == PeerRelayMsg::kKindText && session->IsSeed()))
            continue;
        try {
            m_network->Send(entry.first, PPN_CONN_SUDT, buffer.data, static_cast<int>(buffer.size));
        } catch (const ppn::PPNException&) {
        }
    }
}

void CVodCore::OnRelay(VodPeerSession* source, const PeerRelayMsg& relay)
{
    if (relay.hops == 0 || !m_network)
        return;
    PeerAddress self;
    if (!OwnAddress(self, false))
        return;
    if (relay.origin == self.id)
        return;
    if (!m_relaySeen.Take(relay.origin, relay.sequence))
        return;
    if (relay.kind == PeerRelayMsg::kKindText)
        PostRelayText(m_owner, WM_VOD_RELAY_TEXT, relay.text);
    if (relay.hops > 1) {
        boost::mutex::scoped_lock lock(m_relayMutex);
        if (m_relayQueue.size() < kMostRelayQueue) {
            RelayItem item;
            item.message = relay;
            --item.message.hops;
            item.source = source;
            m_relayQueue.push_back(item);
        }
    }
}
