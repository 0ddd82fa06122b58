#include "live/LiveScheduler.h"

#include <algorithm>

#include "live/LivePeerSession.h"
#include "live/LivePieceWindow.h"
#include "live/LiveUnits.h"

namespace {

const std::uint32_t kTickMs = 100;
const std::uint32_t kHeadRewantMs = 1000;
const std::uint32_t kPieceInfoMs = 1000;
const std::uint32_t kHeaderRequestMs = 3000;
const std::uint32_t kUpkeepMs = 10000;
// Upkeep trims the headers to this many once more are stored ...
const std::size_t kUpkeepHeaderLimit = 19;
// ... by removing this many of the lowest ids.
const std::size_t kUpkeepHeadersRemoved = 10;

}  // namespace

LiveScheduler::LiveScheduler(LivePieceWindow& window, std::uint32_t seed) : m_window(window), m_random(seed) {}

LiveScheduler::Sessions LiveScheduler::Shuffled(const Sessions& sessions) {
    Sessions order(sessions);
    std::shuffle(order.begin(), order.end(), m_random);
    return order;
}

void LiveScheduler::Broadcast(const Sessions& sessions, const LiveMessage& message) {
    nps::DefaultBlockBuffer buffer;
    try {
        PackLiveMessage(message, buffer);
    } catch (const nps::base_pack_error&) {
        return;
    }
    // Sources feed us; only viewer peers are told what we hold. A session
    // that is not handshaken (a refused peer) gets nothing.
    for (LivePeerSession* session : sessions)
        if (session->NodeType() == 0)
            session->Send(buffer.data, static_cast<int>(buffer.size), true);
}

void LiveScheduler::StartWanted(std::uint32_t first) {
    m_wantedPieces.clear();
    m_rerequest.clear();
    m_wantedFirst = first;
    m_wantedLast = first + kWantedPieces - 1;
    for (std::uint32_t piece = m_wantedFirst; piece <= m_wantedLast; ++piece)
        m_wantedPieces.insert(piece);
    m_headRewantMs = 0;
}

void LiveScheduler::AdvanceWantedWindow() {
    while (m_window.IsComplete(m_wantedFirst)) {
        ++m_wantedFirst;
        ++m_wantedLast;
        m_headRewantMs = 0;
        m_wantedPieces.insert(m_wantedLast);
    }
}

void LiveScheduler::CreateWantedSlots() {
    for (std::uint32_t piece = m_wantedFirst; piece <= m_wantedLast; ++piece) {
        if (m_window.HasSlot(piece))
            continue;
        auto size = m_pieceSizes.find(piece);
        if (size == m_pieceSizes.end()) {
            m_unknownSize.insert(piece);
            continue;
        }
        if (m_window.AddPiece(piece, size->second, nullptr))
            m_pieceSizes.erase(size);
        m_unknownSize.erase(piece);
    }
}

void LiveScheduler::RewantHead() {
    m_headRewantMs += kTickMs;
    if (m_headRewantMs < kHeadRewantMs)
        return;
    m_headRewantMs = 0;
    if (!m_window.IsComplete(m_wantedFirst))
        m_wantedPieces.insert(m_wantedFirst);
}

void LiveScheduler::RequestPieceInfo(const Sessions& sessions) {
    m_pieceInfoMs += kTickMs;
    if (m_unknownSize.empty() || m_pieceInfoMs < kPieceInfoMs)
        return;
    m_pieceInfoMs = 0;
    LivePieceSet pieces = m_unknownSize;
    for (LivePeerSession* session : Shuffled(sessions)) {
        if (pieces.empty())
            break;
        session->RequestPieceInfo(pieces);
    }
}

void LiveScheduler::RequestHeaders(const Sessions& sessions) {
    m_headerRequestMs += kTickMs;
    if (m_wantedHeaderIds.empty() || m_headerRequestMs < kHeaderRequestMs)
        return;
    m_headerRequestMs = 0;
    // Each wanted id is asked of at most one peer a pass.
    LivePieceSet ids = m_wantedHeaderIds;
    for (LivePeerSession* session : Shuffled(sessions)) {
        if (ids.empty())
            break;
        for (auto it = ids.begin(); it != ids.end();) {
            if (session->HeaderIds().count(*it) != 0) {
                session->SendHeaderRequest(*it);
                it = ids.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void LiveScheduler::SendHave(const Sessions& sessions) {
    LivePieceWindow::HaveChanges changes;
    m_window.TakeHaveChanges(changes);
    if (changes.completed.empty())
        return;
    LiveMessage message;
    message.type = LIVE_MSG_HAVE;
    message.flags = std::move(changes.completed);
    message.start = changes.start;
    message.lengths = std::move(changes.lengths);
    Broadcast(sessions, message);
}

void LiveScheduler::SendHeaderList(const Sessions& sessions) {
    if (m_newHeaderIds.empty())
        return;
    LiveMessage message;
    message.type = LIVE_MSG_HEADER_LIST;
    message.flags.swap(m_newHeaderIds);
    Broadcast(sessions, message);
}

LiveScheduler::Sessions LiveScheduler::CollectEligibleSessions(const Sessions& sessions) {
    Sessions eligible;
    for (LivePeerSession* session : sessions) {
        if (!session->IsHandshaken())
            continue;
        if (session->CanTakeRequests())
            eligible.push_back(session);
        session->TakeLost(m_rerequest);
    }
    return eligible;
}

void LiveScheduler::ScheduleRequests(const Sessions& eligible) {
    BlockBitFieldMap wanted;
    for (auto it = m_rerequest.begin(); it != m_rerequest.end();) {
        const std::uint32_t piece = LiveKeyPiece(*it);
        if (piece < m_wantedFirst || piece > m_wantedLast)
            it = m_rerequest.erase(it);
        else
            ++it;
    }
    m_window.CollectLostBlocks(m_rerequest, wanted);
    m_window.CollectMissingBlocks(m_wantedPieces, wanted);
    if (wanted.empty())
        return;
    for (LivePeerSession* session : Shuffled(eligible)) {
        if (wanted.empty())
            break;
        session->AssignRequests(wanted);
    }
    if (!wanted.empty())
        ReturnUnassigned(wanted);
}

void LiveScheduler::ReturnUnassigned(const BlockBitFieldMap& wanted) {
    for (const auto& entry : wanted) {
        const nps::BitField& bits = entry.second;
        if (bits.all()) {
            m_wantedPieces.insert(entry.first);
            continue;
        }
        for (auto i = bits.find_first(); i != nps::BitField::npos; i = bits.find_next(i))
            m_rerequest.insert(LiveBlockKey(entry.first, static_cast<std::uint32_t>(i)));
    }
}

void LiveScheduler::UpkeepTables() {
    m_upkeepMs += kTickMs;
    if (m_upkeepMs < kUpkeepMs)
        return;
    m_upkeepMs = 0;
    if (m_headers.size() > kUpkeepHeaderLimit) {
        for (std::size_t n = 0; n < kUpkeepHeadersRemoved; ++n)
            m_headers.erase(m_headers.begin());
    }
    m_pieceSizes.erase(m_pieceSizes.begin(), m_pieceSizes.lower_bound(m_window.GetStart()));
}

void LiveScheduler::OnPieceInfo(const LivePieceLengths& lengths) {
    const std::uint64_t start = m_window.GetStart();
    for (const auto& entry : lengths) {
        if (entry.first < start || entry.first - start >= kLiveMostAheadPieces ||
            entry.second > kLiveMostPieceBytes)
            continue;
        m_pieceSizes.emplace(entry.first, entry.second);
        m_unknownSize.erase(entry.first);
    }
}

void LiveScheduler::OnHeader(std::uint32_t id, const nps::ByteRange& bytes) {
    if (bytes.size > kLiveMostHeaderBytes)
        return;
    m_wantedHeaderIds.erase(id);
    m_headers[id] = bytes.str();
    m_newHeaderIds[id] = 1;
    while (m_headers.size() > kLiveMostStoredHeaders)
        m_headers.erase(m_headers.begin());
}

bool LiveScheduler::FindHeader(std::uint32_t id, std::string& bytes) const {
    auto it = m_headers.find(id);
    if (it == m_headers.end() || it->second.empty())
        return false;
    bytes = it->second;
    return true;
}

void LiveScheduler::GetHeaderIds(LivePieceSet& ids) const {
    ids.clear();
    for (const auto& entry : m_headers)
        ids.insert(entry.first);
}

bool LiveScheduler::OnGetHeader(std::uint32_t id, std::string& bytes) {
    auto it = m_headers.find(id);
    if (it != m_headers.end()) {
        bytes = it->second;
        return !bytes.empty();
    }
    bytes.clear();
    m_wantedHeaderIds.insert(id);
    return false;
}

void LiveScheduler::Clear() {
    m_wantedFirst = m_wantedLast = 0;
    m_headRewantMs = m_pieceInfoMs = m_headerRequestMs = m_upkeepMs = 0;
    m_wantedPieces.clear();
    m_rerequest.clear();
    m_headers.clear();
    m_newHeaderIds.clear();
    m_wantedHeaderIds.clear();
    m_pieceSizes.clear();
    m_unknownSize.clear();
}
