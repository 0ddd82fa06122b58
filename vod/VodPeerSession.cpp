#include "vod/VodPeerSession.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>

#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "vod/VodBlockMap.h"
#include "vod/VodEngineMessages.h"
#include "vod/VodUnits.h"

namespace {

const double kPieceBits = 6400000.0;       // 800 bytes a piece, in bits x 1000 ms
const std::uint32_t kLowestSendRate = 10000;
const std::uint32_t kHighestSendRate = 12800000;
const std::uint32_t kRateStep = 40000;
const std::uint32_t kAdaptEveryMs = 3000;
const std::int32_t kMostStep = 16;
const std::uint32_t kReleaseOnFull = 5;
const int kChecksPerArrival = 5;
const std::uint32_t kPiecesPerCheck = 9;
const std::uint32_t kRatioPieces = 30;
const DWORD kRatioMs = 2000;

std::uint32_t BlockCount(IVodSessionHost& host)
{
    CVodBlockMap* map = host.BlockMap();
    return map ? map->GetBlockCount() : 0;
}

}  // namespace

VodPeerSession::VodPeerSession(IVodSessionHost& host, const PeerId& peer, bool seed, bool initiator)
    : m_host(host), m_initiator(initiator), m_seed(seed), m_peer(peer)
{
    m_ratioTime = timeGetTime();
    m_sendRate = host.UploadRateKbit() * 1000;
    m_peerRate = std::max<std::uint32_t>(host.DownloadRateKbit(), seed ? 1600 : 400) * 1000;
    m_record = {host.Window(), WM_VOD_SESSION_TICK, reinterpret_cast<WPARAM>(this), 3};
    ComputePacing();
}

VodPeerSession::~VodPeerSession() = default;

void VodPeerSession::Send(int type, const VodMessage& message)
{
    ppn::PPNCore* core = m_host.Network();
    if (core == nullptr)
        return;
    try {
        nps::DefaultBlockBuffer buffer;
        PackVodMessage(message, buffer);
        core->Send(m_peer, type, buffer.data, static_cast<int>(buffer.size));
    } catch (const ppn::PPNException&) {
    } catch (const nps::base_pack_error&) {
    }
}

nps::BitField VodPeerSession::OwnAvailability(std::uint8_t& kind) const
{
    CVodBlockMap* map = m_host.BlockMap();
    if (map == nullptr) {
        // Nothing can be held before the size is known.
        kind = VodHelloMsg::kHoldsNone;
        return nps::BitField();
    }
    kind = VodHelloMsg::kHoldsField;
    return map->GetCompleteBits();
}

void VodPeerSession::SendHello()
{
    VodMessage message;
    message.type = VOD_MSG_HELLO;
    message.hello.form = VodHelloMsg::kFormStrings;
    message.hello.flags = VodHelloMsg::kFlagAvailability;
    message.hello.hash = m_host.Hash();
    message.hello.name = m_host.Referrer();
    message.hello.blocks = OwnAvailability(message.hello.availability);
    Send(PPN_CONN_SRUDP, message);
}

void VodPeerSession::SendHelloReply(bool accept)
{
    VodMessage message;
    message.type = VOD_MSG_HELLO_REPLY;
    message.hello.form = VodHelloMsg::kFormNoStrings;
    if (accept) {
        message.hello.flags = VodHelloMsg::kFlagAvailability | VodHelloMsg::kFlagAccepted;
        message.hello.blocks = OwnAvailability(message.hello.availability);
    }
    Send(PPN_CONN_SRUDP, message);
}

void VodPeerSession::TakeAvailability(const VodHelloMsg& hello)
{
    if (!(hello.flags & VodHelloMsg::kFlagAvailability))
        return;
    const std::uint32_t blocks = BlockCount(m_host);
    m_holdsAll = false;
    m_remote.clear();
    m_remote.resize(blocks, false);
    if (hello.availability == VodHelloMsg::kHoldsAll) {
        m_remote.set();
        m_holdsAll = blocks == 0;
    } else if (hello.availability == VodHelloMsg::kHoldsField) {
        // Only the bits of the file's blocks are read; a shorter field leaves
        // the rest not held.
        const std::size_t n = std::min<std::size_t>(blocks, hello.blocks.size());
        for (std::size_t b = 0; b < n; ++b)
            m_remote[b] = hello.blocks[b];
    }
}

void VodPeerSession::OnHello(const VodHelloMsg& hello)
{
    // Only an accepted remote trades: one of another video (or version) is
    // refused and must not be served pieces on the way out.
    const bool accept = hello.version == VodHelloMsg::kVersion && hello.hash == m_host.Hash();
    if (accept) {
        m_active = true;
        TakeAvailability(hello);
    }
    PostMessageW(m_host.Window(), WM_VOD_SESSION_TICK, reinterpret_cast<WPARAM>(this),
                 accept ? 0x10002 : 2);
}

void VodPeerSession::OnHelloReply(const VodHelloMsg& hello)
{
    if (hello.flags & VodHelloMsg::kFlagAccepted) {
        m_active = true;
        TakeAvailability(hello);
        PostMessageW(m_host.Window(), WM_VOD_SESSION_RESULT, reinterpret_cast<WPARAM>(this), 2);
    } else {
        PostMessageW(m_host.Window(), WM_VOD_SESSION_RESULT, reinterpret_cast<WPARAM>(this), 1);
    }
}

bool VodPeerSession::HoldsBlock(std::uint32_t block) const
{
    if (m_holdsAll)
        return block < BlockCount(m_host);
    return block < m_remote.size() && m_remote[block];
}

void VodPeerSession::OnHave(const BlockFlagMap& have)
{
    const std::uint32_t blocks = BlockCount(m_host);
    if (m_remote.size() != blocks) {
        // The field is sized once the block count is known.
        const bool all = m_holdsAll;
        m_remote.resize(blocks, all);
        m_holdsAll = false;
    }
    for (const auto& entry : have)
        if (entry.first < m_remote.size())
            m_remote[entry.first] = entry.second != 0;
}

// ---------------------------------------------------------------- serving

void VodPeerSession::ComputePacing()
{
    m_exactPeriod = kPieceBits / static_cast<double>(std::max<std::uint32_t>(m_sendRate, 1));
    m_period = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::floor(m_exactPeriod)));
    if (m_pacingTimer != nullptr)
        ChangeTimerQueueTimer(m_host.TimerQueue(), m_pacingTimer, m_period, m_period);
}

void VodPeerSession::OnRequest(const VodRequestMsg& request)
{
    if (!m_active)
        return;
    m_lastRequestIn = request.number;
    const std::uint32_t blocks = BlockCount(m_host);
    for (const auto& entry : request.blocks) {
        // Blocks beyond the file name no piece; their numbers could wrap.
        if (entry.first >= blocks)
            continue;
        const nps::BitField& bits = entry.second;
        for (std::size_t i = 0; i < bits.size() && i < kVodPiecesPerBlock; ++i)
            if (bits[i] && m_sendQueue.size() < kMostQueuedPieces)
                m_sendQueue.push_back(entry.first * kVodPiecesPerBlock + static_cast<std::uint32_t>(i));
    }
    m_lossSum += request.lossPercent * 0.01f;
    m_secondSum += request.secondRatio * 0.01f;
    ++m_reports;
    if (m_pacingTimer == nullptr && m_host.TimerQueue() != nullptr) {
        if (!CreateTimerQueueTimer(&m_pacingTimer, m_host.TimerQueue(), VodTimerCallback, &m_record,
                                   m_period, m_period, WT_EXECUTEDEFAULT))
            m_pacingTimer = nullptr;
    }
}

void VodPeerSession::Adapt()
{
    m_lossAverage = m_reports ? m_lossSum / m_reports : 0;
    m_secondAverage = m_reports ? m_secondSum / m_reports : 0;
    const std::uint32_t state = m_lossAverage > 0.2f ? 0 : (m_lossAverage <= 0.05f ? 2 : 1);
    if (state == m_state) {
        m_step = std::max(-kMostStep, std::min(kMostStep, m_step * 2));
    } else {
        m_state = state;
        m_step = static_cast<std::int32_t>(state) - 1;
    }
    if (!(m_step > 0 && m_sendRate >= kHighestSendRate)) {
        const std::int64_t rate = std::int64_t(m_sendRate) + std::int64_t(m_step) * kRateStep;
        m_sendRate = static_cast<std::uint32_t>(
            std::max<std::int64_t>(kLowestSendRate, std::min<std::int64_t>(kHighestSendRate, rate)));
    }
    m_sendRate = std::max(kLowestSendRate, std::min(kHighestSendRate, m_sendRate));
    ComputePacing();
    m_lossSum = m_secondSum = 0;
    m_reports = 0;
    m_sendingMs = 0;
}

void VodPeerSession::OnPacingTick()
{
    if (!m_active)
        return;
    m_sendingMs += m_period;
    m_accumulator += m_period;
    while (m_exactPeriod <= m_accumulator) {
        SendNextPiece();
        m_accumulator -= m_exactPeriod;
    }
    if (m_sendingMs >= kAdaptEveryMs)
        Adapt();
}

void VodPeerSession::SendNextPiece()
{
    if (!m_sendQueue.empty()) {
        const std::uint32_t piece = m_sendQueue.front();
        m_sendQueue.pop_front();
        CVodBlockMap* map = m_host.BlockMap();
        const VodPieceBuffer* bytes = map ? map->GetPiece(piece) : nullptr;
        if (bytes == nullptr)
            return;
        VodMessage message;
        message.type = VOD_MSG_PIECE;
        message.piece.piece = piece;
        message.piece.queued = static_cast<std::uint16_t>(std::min<std::size_t>(m_sendQueue.size(), 0xFFFF));
        message.piece.rate = static_cast<std::uint16_t>(std::min<std::uint32_t>(m_sendRate / 1000, 0xFFFF));
        message.piece.data = {bytes->data, bytes->length};
        Send(PPN_CONN_SUDT, message);
        return;
    }
    if (m_lastRequestIn > m_lastConfirmed) {
        VodMessage message;
        message.type = VOD_MSG_DONE;
        message.done = m_lastRequestIn;
        Send(PPN_CONN_SRUDP, message);
        m_lastConfirmed = m_lastRequestIn;
    }
}

// ---------------------------------------------------------------- receiving

void VodPeerSession::OnPiece(const VodPieceMsg& piece)
{
    if (!m_active)
        return;
    CVodBlockMap* map = m_host.BlockMap();
    if (map != nullptr) {
        const std::uint32_t length = piece.data.size;
        if (map->StorePiece(piece.piece, piece.data.data, length, true) == CVodBlockMap::kStoreFull) {
            map->ReleaseOutside(static_cast<std::uint32_t>(m_host.ReadPosition() / kVodBlockSize),
                                m_host.WindowEnd(), kReleaseOnFull);
            map->StorePiece(piece.piece, piece.data.data, length, true);
        }
    }
    m_inFlight = piece.queued;
    m_peerRate = piece.rate > 1 ? std::uint32_t(piece.rate) * 1000 : 1000;
    if (m_lost.erase(piece.piece) != 0) {
        if (m_lostCount > 0)
            --m_lostCount;
    } else {
        m_received.insert(piece.piece);
        ++m_counted;
    }
    if (static_cast<std::uint32_t>(++m_sinceCheck) > kPiecesPerCheck)
        CheckArrivals();
}

void VodPeerSession::CheckArrivals()
{
    int steps = 0;
    while (steps < kChecksPerArrival && !m_outstanding.empty()) {
        if (m_sinceCheck > 0)
            --m_sinceCheck;
        const std::uint32_t piece = m_outstanding.front().second;
        m_outstanding.pop_front();
        if (m_received.erase(piece) != 0) {
            ++steps;
            continue;
        }
        m_lost.insert(piece);
        if (HoldsBlock(piece / kVodPiecesPerBlock)) {
            ++m_lostCount;
            ++m_counted;
            ++steps;
        }
    }
    if (m_outstanding.empty()) {
        m_received.clear();
        m_sinceCheck = 0;
    }
    const DWORD now = timeGetTime();
    if (m_counted >= kRatioPieces || now - m_ratioTime >= kRatioMs) {
        m_lossRatio = m_counted ? static_cast<float>(m_lostCount) / static_cast<float>(m_counted) : 0.0f;
        m_secondRatio = 0;
        m_lostCount = m_counted = 0;
        m_ratioTime = now;
    }
}

void VodPeerSession::SettleOldest(bool countInFlight)
{
    if (m_sinceCheck > 0)
        --m_sinceCheck;
    const std::uint32_t piece = m_outstanding.front().second;
    m_outstanding.pop_front();
    if (m_received.erase(piece) != 0)
        return;
    m_lost.insert(piece);
    if (countInFlight && m_inFlight > 0)
        --m_inFlight;
    if (HoldsBlock(piece / kVodPiecesPerBlock)) {
        ++m_lostCount;
        ++m_counted;
    }
}

void VodPeerSession::OnDone(std::uint32_t number)
{
    while (!m_outstanding.empty() && m_outstanding.front().first <= number)
        SettleOldest(true);
    if (m_outstanding.empty()) {
        m_received.clear();
        m_sinceCheck = 0;
        m_inFlight = 0;
    }
}

void VodPeerSession::SendRequest(const BlockBitFieldMap& wanted)
{
    VodMessage message;
    message.type = VOD_MSG_REQUEST;
    message.request.number = ++m_requestCounter;
    message.request.blocks = wanted;
    message.request.lossPercent = static_cast<std::uint8_t>(std::min(255.0f, m_lossRatio * 100));
    message.request.secondRatio = static_cast<std::uint8_t>(std::min(255.0f, m_secondRatio * 100));
    Send(PPN_CONN_SRUDP, message);
    m_inFlight += CountAvailableBlocks(wanted);
    for (const auto& entry : wanted)
        for (std::size_t i = 0; i < entry.second.size() && i < kVodPiecesPerBlock; ++i)
            if (entry.second[i])
                m_outstanding.emplace_back(m_requestCounter,
                                           entry.first * kVodPiecesPerBlock + static_cast<std::uint32_t>(i));
}

bool VodPeerSession::CanTakeMore() const
{
    const double seconds = double(m_inFlight) * 6400.0 / double(std::max<std::uint32_t>(m_peerRate, 1));
    return seconds < (m_seed ? 2.0 : 0.5);
}

void VodPeerSession::TakeLost(std::set<std::uint32_t>& pieces)
{
    pieces.insert(m_lost.begin(), m_lost.end());
    m_lost.clear();
}

HANDLE VodPeerSession::End()
{
    for (const auto& entry : m_outstanding)
        if (m_received.erase(entry.second) == 0)
            m_lost.insert(entry.second);
    if (ppn::PPNCore* core = m_host.Network()) {
        try {
            core->Close(m_peer, PPN_CONN_SRUDP);
        } catch (const ppn::PPNException&) {
        }
    }
    // Cleared, except the lost pieces: the engine asks for them again.
    m_active = m_seed = m_initiator = false;
    m_holdsAll = false;
    m_remote.clear();
    m_sendQueue.clear();
    m_outstanding.clear();
    m_received.clear();
    m_lastRequestIn = m_lastConfirmed = m_requestCounter = 0;
    m_sinceCheck = 0;
    m_inFlight = m_peerRate = m_sendRate = 0;
    m_lostCount = m_counted = 0;
    if (m_pacingTimer == nullptr)
        return nullptr;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (done == nullptr) {
        // Without an event, wait here for the timer's callbacks to end.
        DeleteTimerQueueTimer(m_host.TimerQueue(), m_pacingTimer, INVALID_HANDLE_VALUE);
        m_pacingTimer = nullptr;
        return nullptr;
    }
    DeleteTimerQueueTimer(m_host.TimerQueue(), m_pacingTimer, done);
    m_pacingTimer = nullptr;
    return done;
}
