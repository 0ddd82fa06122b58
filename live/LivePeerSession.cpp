#include "live/LivePeerSession.h"

#include <algorithm>

#include "common/pack/PackError.h"
#include "live/LiveEngineMessages.h"
#include "live/LivePieceWindow.h"
#include "live/LiveUnits.h"
#include "net/PPNException.h"

namespace {

const std::uint32_t kMostSessions = 40;
const std::int32_t kMatchEveryArrivals = 10;
const int kMatchesPerCheck = 5;
const std::uint32_t kRatioBlocks = 30;
const DWORD kRatioMs = 2000;

}  // namespace

LivePeerSession::LivePeerSession(ILiveSessionHost& host, const PeerId& peer, std::uint32_t nodeType)
    : m_host(host),
      m_nodeType(nodeType),
      m_peer(peer),
      m_peerRate(LiveAssumedPeerRate(host.AssumedPeerRateKbit())),
      m_statsTime(host.Now()),
      m_rate(host.InitialSendRateKbit()) {
    m_timerRecord = {host.Window(), WM_LIVE_SESSION_TICK, reinterpret_cast<WPARAM>(this),
                     LIVE_SESSION_TICK_TAG};
    SetSendInterval();
}

LivePeerSession::~LivePeerSession() {
    // Waits for a running callback: only the engine's Stop gets here with a
    // timer, after the engine thread has ended.
    if (m_sendTimer != nullptr)
        DeleteTimerQueueTimer(m_host.TimerQueue(), m_sendTimer, INVALID_HANDLE_VALUE);
}

bool LivePeerSession::SendLive(const LiveMessage& message) {
    try {
        nps::DefaultBlockBuffer buffer;
        PackLiveMessage(message, buffer);
        m_host.SendToPeer(m_peer, LiveTransportOf(message.type), buffer.data, static_cast<int>(buffer.size));
        return true;
    } catch (const ppn::PPNException&) {
    } catch (const nps::base_pack_error&) {
    }
    return false;
}

bool LivePeerSession::Send(const char* data, int length, bool reliable) {
    if (!m_handshaken)
        return false;
    try {
        m_host.SendToPeer(m_peer, reliable ? 1 : 2, data, length);
        return true;
    } catch (const ppn::PPNException&) {
        return false;
    }
}

void LivePeerSession::OnPacket(const void* data, std::uint32_t length) {
    LiveMessage message;
    if (ReadLiveMessage(data, length, message))
        Dispatch(message);
}

void LivePeerSession::Dispatch(const LiveMessage& message) {
    switch (message.type) {
    case LIVE_MSG_HELLO:
        OnHello(message.hello);
        break;
    case LIVE_MSG_HELLO_REPLY:
        OnHelloReply(message.hello);
        break;
    case LIVE_MSG_AVAILABILITY:
        m_availability.Replace(message.start, message.availability);
        break;
    case LIVE_MSG_HAVE:
        m_availability.ApplyHave(message.flags, message.start, m_nodeType);
        m_host.OnPieceInfo(message.lengths);
        break;
    case LIVE_MSG_PIECE_INFO_REQUEST:
        OnPieceInfoRequest(message.pieces);
        break;
    case LIVE_MSG_PIECE_INFO:
        m_host.OnPieceInfo(message.lengths);
        break;
    case LIVE_MSG_REQUEST:
        OnRequest(message.request);
        break;
    case LIVE_MSG_BLOCK:
        OnBlock(message.block);
        break;
    case LIVE_MSG_HEADER_REQUEST:
        OnHeaderRequest(message.headerId);
        break;
    case LIVE_MSG_HEADER:
        if (message.headerPresent != 0)
            m_host.OnHeader(message.headerId, message.header);
        break;
    case LIVE_MSG_HEADER_LIST:
        OnHeaderList(message.flags);
        break;
    case LIVE_MSG_RELAY:
        m_host.OnRelay(*this, message.relay);
        break;
    case LIVE_MSG_DONE:
        OnDone(message.done);
        break;
    }
}

// ---------------------------------------------------------------- hellos

void LivePeerSession::SendHello() {
    LiveMessage message;
    message.type = LIVE_MSG_HELLO;
    message.hello.kind = LIVE_MSG_HELLO;
    message.hello.flags = LiveHelloMsg::kFlagAvailability;
    message.hello.channel = m_host.ChannelId();
    m_host.PieceWindow().Snapshot(message.hello.start, message.hello.availability);
    m_host.GetHeaderIds(message.hello.headerIds);
    SendLive(message);
}

void LivePeerSession::SendHelloReply(bool accept) {
    LiveMessage message;
    message.type = LIVE_MSG_HELLO_REPLY;
    message.hello.kind = LIVE_MSG_HELLO_REPLY;
    message.hello.channel = m_host.ChannelId();
    if (accept) {
        message.hello.flags = LiveHelloMsg::kFlagAvailability | LiveHelloMsg::kFlagAccepted;
        m_host.PieceWindow().Snapshot(message.hello.start, message.hello.availability);
        m_host.GetHeaderIds(message.hello.headerIds);
    }
    SendLive(message);
}

void LivePeerSession::AddHeaderIds(const LivePieceSet& ids) {
    for (std::uint32_t id : ids) {
        if (m_headerIds.size() >= kLiveMostHeaderIdsPerPeer)
            break;
        m_headerIds.insert(id);
    }
}

void LivePeerSession::TakeHelloContents(const LiveHelloMsg& hello) {
    if (!(hello.flags & LiveHelloMsg::kFlagAvailability))
        return;
    m_availability.Replace(hello.start, hello.availability);
    AddHeaderIds(hello.headerIds);
}

void LivePeerSession::OnHello(const LiveHelloMsg& hello) {
    if (m_initiator || m_helloTaken)
        return;
    m_helloTaken = true;
    const bool accept = hello.version == LiveHelloMsg::kVersion && hello.channel == m_host.ChannelId() &&
                        m_host.SessionCount() <= kMostSessions;
    // A refused peer stays not handshaken: it is served no blocks and sent
    // no broadcasts on the way out.
    if (accept) {
        m_handshaken = true;
        m_nodeType = hello.peerType;
        TakeHelloContents(hello);
    }
    SendHelloReply(accept);
}

void LivePeerSession::OnHelloReply(const LiveHelloMsg& hello) {
    if (!m_initiator || m_helloTaken)
        return;
    m_helloTaken = true;
    if (hello.flags & LiveHelloMsg::kFlagAccepted) {
        m_handshaken = true;
        TakeHelloContents(hello);
        PostMessageW(m_host.Window(), WM_LIVE_SESSION_RESULT, reinterpret_cast<WPARAM>(this),
                     LIVE_SESSION_ACCEPTED);
    } else {
        PostMessageW(m_host.Window(), WM_LIVE_SESSION_RESULT, reinterpret_cast<WPARAM>(this),
                     LIVE_SESSION_REFUSED);
    }
}

void LivePeerSession::OnHeaderList(const BlockFlagMap& ids) {
    for (const auto& entry : ids) {
        if (entry.second == 0)
            m_headerIds.erase(entry.first);
        else if (m_headerIds.size() < kLiveMostHeaderIdsPerPeer)
            m_headerIds.insert(entry.first);
    }
}

void LivePeerSession::OnPieceInfoRequest(const LivePieceSet& pieces) {
    LiveMessage message;
    message.type = LIVE_MSG_PIECE_INFO;
    m_host.PieceWindow().GetPieceSizes(pieces, message.lengths);
    if (!message.lengths.empty())
        SendLive(message);
}

void LivePeerSession::OnHeaderRequest(std::uint32_t id) {
    std::string bytes;
    if (!m_host.FindHeader(id, bytes) || bytes.empty())
        return;
    LiveMessage message;
    message.type = LIVE_MSG_HEADER;
    message.headerId = id;
    message.headerPresent = 1;
    message.header = {bytes.data(), static_cast<std::uint32_t>(bytes.size())};
    SendLive(message);
}

void LivePeerSession::SendHeaderRequest(std::uint32_t id) {
    LiveMessage message;
    message.type = LIVE_MSG_HEADER_REQUEST;
    message.headerId = id;
    SendLive(message);
}

// ---------------------------------------------------------------- serving

void LivePeerSession::OnRequest(const LiveRequestMsg& request) {
    if (!m_handshaken)
        return;
    m_lastRequest = request.number;
    for (const auto& entry : request.pieces) {
        const nps::BitField& bits = entry.second;
        for (auto i = bits.find_first(); i != nps::BitField::npos; i = bits.find_next(i)) {
            // The u16 "queued" field counts no further; more is dropped.
            if (m_sendQueue.size() >= kLiveMostQueuedBlocks)
                break;
            m_sendQueue.push_back(LiveBlockKey(entry.first, static_cast<std::uint32_t>(i)));
        }
    }
    AddLossSample(request.lossPercent * 0.01f, request.secondLossPercent * 0.01f);
    StartSendTimer();
}

void LivePeerSession::SetSendInterval() {
    m_rate.SetSendInterval();
    if (m_sendTimer != nullptr)
        ChangeTimerQueueTimer(m_host.TimerQueue(), m_sendTimer, m_rate.Period(), m_rate.Period());
}

bool LivePeerSession::StartSendTimer() {
    if (m_sendTimer != nullptr)
        return true;
    HANDLE queue = m_host.TimerQueue();
    if (queue == nullptr)
        return false;
    m_timerRecord = {m_host.Window(), WM_LIVE_SESSION_TICK, reinterpret_cast<WPARAM>(this),
                     LIVE_SESSION_TICK_TAG};
    if (!CreateTimerQueueTimer(&m_sendTimer, queue, VodTimerCallback, &m_timerRecord, m_rate.Period(),
                               m_rate.Period(), WT_EXECUTEDEFAULT)) {
        m_sendTimer = nullptr;
        return false;
    }
    return true;
}

void LivePeerSession::OnSendTick() {
    if (!m_handshaken)
        return;
    for (std::uint32_t due = m_rate.Tick(); due != 0; --due)
        SendNextBlock();
}

void LivePeerSession::SendNextBlock() {
    if (!m_sendQueue.empty()) {
        const std::uint64_t key = m_sendQueue.front();
        m_sendQueue.pop_front();
        LiveMessage message;
        const char* data;
        std::uint32_t length;
        if (!m_host.PieceWindow().GetBlock(LiveKeyPiece(key), LiveKeyBlock(key), data, length))
            return;
        message.type = LIVE_MSG_BLOCK;
        message.block.piece = LiveKeyPiece(key);
        message.block.block = static_cast<std::uint16_t>(LiveKeyBlock(key));
        message.block.queued = static_cast<std::uint16_t>(m_sendQueue.size());
        message.block.rate = static_cast<std::uint16_t>(std::min<std::uint32_t>(m_rate.Rate() / 1000, 0xFFFF));
        message.block.data = {data, length};
        SendLive(message);
        return;
    }
    if (m_lastRequest > m_lastDone) {
        LiveMessage message;
        message.type = LIVE_MSG_DONE;
        message.done = m_lastRequest;
        if (SendLive(message))
            m_lastDone = m_lastRequest;
    }
}

void LivePeerSession::AddLossSample(float loss, float secondLoss) {
    if (m_rate.AddLossSample(loss, secondLoss))
        SetSendInterval();
}

void LivePeerSession::UpdateSendRate() {
    m_rate.UpdateSendRate();
    SetSendInterval();
}

// ---------------------------------------------------------------- receiving

void LivePeerSession::OnBlock(const LiveBlockMsg& block) {
    if (!m_handshaken)
        return;
    m_host.PieceWindow().StoreBlock(block.piece, block.block, block.data.size, block.data.data);
    m_peerQueue = block.queued;
    m_peerRate = std::max<std::uint32_t>(std::uint32_t(block.rate) * 1000, 1000);
    const std::uint64_t key = LiveBlockKey(block.piece, block.block);
    if (m_lost.erase(key) != 0) {
        // Declared lost too early: it counts back.
        if (m_lostCount > 0)
            --m_lostCount;
    } else {
        m_received.insert(key);
        ++m_accountedCount;
    }
    if (++m_unmatched >= kMatchEveryArrivals)
        MatchArrivals();
}

void LivePeerSession::MatchArrivals() {
    int counted = 0;
    while (!m_outstanding.empty() && counted < kMatchesPerCheck) {
        const Outstanding oldest = m_outstanding.front();
        m_outstanding.pop_front();
        if (m_unmatched > 0)
            --m_unmatched;
        const std::uint64_t key = LiveBlockKey(oldest.piece, oldest.block);
        if (m_received.erase(key) != 0) {
            ++counted;
            continue;
        }
        m_lost.insert(key);
        if (m_availability.Shows(oldest.piece)) {
            ++m_lostCount;
            ++m_accountedCount;
            ++counted;
        }
    }
    if (m_outstanding.empty()) {
        m_received.clear();
        m_unmatched = 0;
    }
    if (m_accountedCount >= kRatioBlocks || m_host.Now() - m_statsTime >= kRatioMs)
        ComputeLossStats();
}

void LivePeerSession::OnDone(std::uint64_t number) {
    while (!m_outstanding.empty() && m_outstanding.front().request <= number) {
        const Outstanding oldest = m_outstanding.front();
        m_outstanding.pop_front();
        if (m_unmatched > 0)
            --m_unmatched;
        const std::uint64_t key = LiveBlockKey(oldest.piece, oldest.block);
        if (m_received.erase(key) != 0)
            continue;
        m_lost.insert(key);
        // The opposite test to MatchArrivals', kept as peers expect it.
        if (!m_availability.Shows(oldest.piece)) {
            ++m_lostCount;
            ++m_accountedCount;
        }
        if (m_peerQueue > 0)
            --m_peerQueue;
    }
    if (m_outstanding.empty()) {
        m_received.clear();
        m_unmatched = 0;
        m_peerQueue = 0;
    }
}

void LivePeerSession::ComputeLossStats() {
    if (m_accountedCount == 0)
        return;
    m_lossRatio = static_cast<float>(m_lostCount) / static_cast<float>(m_accountedCount);
    m_secondRatio = static_cast<float>(m_secondCount) / static_cast<float>(m_accountedCount);
    m_statsTime = m_host.Now();
    m_lostCount = m_secondCount = m_accountedCount = 0;
}

void LivePeerSession::SendRequest(const BlockBitFieldMap& pieces) {
    LiveMessage message;
    message.type = LIVE_MSG_REQUEST;
    message.request.number = ++m_requestCounter;
    message.request.pieces = pieces;
    message.request.lossPercent = static_cast<std::uint8_t>(std::min(255.0f, m_lossRatio * 100));
    message.request.secondLossPercent = static_cast<std::uint8_t>(std::min(255.0f, m_secondRatio * 100));
    if (!SendLive(message))
        return;
    m_peerQueue += CountAvailableBlocks(pieces);
    for (const auto& entry : pieces) {
        const nps::BitField& bits = entry.second;
        for (auto i = bits.find_first(); i != nps::BitField::npos; i = bits.find_next(i))
            m_outstanding.push_back({m_requestCounter, static_cast<std::uint32_t>(i), entry.first});
    }
}

bool LivePeerSession::CanTakeRequests() const {
    return LiveDrainsInHalfSecond(m_peerQueue, m_peerRate);
}

void LivePeerSession::AssignRequests(BlockBitFieldMap& wanted) {
    std::uint64_t budget = m_peerQueue;
    BlockBitFieldMap share;
    for (auto it = wanted.begin(); it != wanted.end() && LiveDrainsInHalfSecond(budget, m_peerRate);) {
        if (!m_availability.Shows(it->first)) {
            ++it;
            continue;
        }
        budget += it->second.count();
        share.insert(std::move(*it));
        it = wanted.erase(it);
    }
    if (!share.empty())
        SendRequest(share);
}

void LivePeerSession::RequestPieceInfo(LivePieceSet& pieces) {
    LiveMessage message;
    message.type = LIVE_MSG_PIECE_INFO_REQUEST;
    for (auto it = pieces.begin(); it != pieces.end();) {
        if (m_availability.Shows(*it)) {
            message.pieces.insert(*it);
            it = pieces.erase(it);
        } else {
            ++it;
        }
    }
    if (!message.pieces.empty())
        SendLive(message);
}

void LivePeerSession::TakeLost(std::set<std::uint64_t>& blocks) {
    blocks.insert(m_lost.begin(), m_lost.end());
    m_lost.clear();
}

// ---------------------------------------------------------------- ending

bool LivePeerSession::Close() {
    Reset();
    return StopSendTimer();
}

void LivePeerSession::Reset() {
    try {
        m_host.ClosePeer(m_peer);
    } catch (const ppn::PPNException&) {
    }
    m_handshaken = false;
    m_availability.Clear();
    m_headerIds.clear();
    m_sendQueue.clear();
    m_lastRequest = m_lastDone = 0;
    m_outstanding.clear();
    m_requestCounter = 0;
    m_lost.clear();
    m_received.clear();
    m_unmatched = 0;
    m_peerQueue = 0;
    m_peerRate = 0;
    m_lostCount = m_secondCount = m_accountedCount = 0;
    m_lossRatio = m_secondRatio = 0;
    m_rate.Reset(0);
}

bool LivePeerSession::StopSendTimer() {
    if (m_sendTimer == nullptr)
        return false;
    // Deleting with an event returns at once; a tick that is running now
    // still reaches this session, so it lives until the event is set.
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DeleteTimerQueueTimer(m_host.TimerQueue(), m_sendTimer, done != nullptr ? done : INVALID_HANDLE_VALUE);
    m_sendTimer = nullptr;
    if (done == nullptr)
        return false;
    m_host.ReapLater(done, this);
    return true;
}
