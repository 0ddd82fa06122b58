#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/pack/Unpack.h"
#include "live/LiveMessages.h"
#include "vod/BlockFieldMaps.h"

class LivePeerSession;
class LivePieceWindow;

// The engine's side of the piece exchange, owned by CLiveCore and run on its
// thread: which pieces are wanted and from whom, the byte lengths peers
// announce, the stream headers, and the once-a-second HAVE and header-list
// broadcasts. The engine's 100 ms tick calls, in order:
//
//   AdvanceWantedWindow, CreateWantedSlots, RewantHead   (step 1)
//   RequestPieceInfo, RequestHeaders                     (step 3)
//   every 10th tick: SendHave, SendHeaderList            (step 4)
//   CollectEligibleSessions; when any: ScheduleRequests, UpkeepTables (step 5)
//
// Sessions are passed in as the engine's table holds them; the random orders
// come from a generator the owner may seed.
class LiveScheduler {
public:
    using Sessions = std::vector<LivePeerSession*>;

    static constexpr std::uint32_t kWantedPieces = 10;

    explicit LiveScheduler(LivePieceWindow& window, std::uint32_t seed = 0);

    void Seed(std::uint32_t seed) { m_random.seed(seed); }

    // Playback starts at first: the wanted window is first .. first + 9, all
    // wanted; earlier wants and re-requests are dropped.
    void StartWanted(std::uint32_t first);

    void AdvanceWantedWindow();
    void CreateWantedSlots();
    void RewantHead();
    void RequestPieceInfo(const Sessions& sessions);
    void RequestHeaders(const Sessions& sessions);
    void SendHave(const Sessions& sessions);
    void SendHeaderList(const Sessions& sessions);
    // The handshaken sessions that may take requests; every handshaken
    // session's lost blocks move into the re-request blocks.
    Sessions CollectEligibleSessions(const Sessions& sessions);
    void ScheduleRequests(const Sessions& eligible);
    void ReturnUnassigned(const BlockBitFieldMap& wanted);
    void UpkeepTables();

    // Lengths a peer announced. Only lengths up to 16 MiB of pieces from the
    // window's start to 65,536 past it are kept; a known length stays.
    void OnPieceInfo(const LivePieceLengths& lengths);

    // Stream headers: at most 64, each at most 1 MiB; past 64 the lowest ids
    // go. A stored header is announced in the next header list.
    void OnHeader(std::uint32_t id, const nps::ByteRange& bytes);
    bool FindHeader(std::uint32_t id, std::string& bytes) const;
    void GetHeaderIds(LivePieceSet& ids) const;
    // The feeder's question: true with the stored header; otherwise the
    // header is wanted from the peers from now on.
    bool OnGetHeader(std::uint32_t id, std::string& bytes);

    // Everything back to empty (the engine's Stop).
    void Clear();

    std::uint32_t WantedFirst() const { return m_wantedFirst; }
    std::uint32_t WantedLast() const { return m_wantedLast; }
    const LivePieceSet& WantedPieces() const { return m_wantedPieces; }
    const std::set<std::uint64_t>& RerequestBlocks() const { return m_rerequest; }
    const LivePieceLengths& PieceSizes() const { return m_pieceSizes; }
    const LivePieceSet& UnknownSizePieces() const { return m_unknownSize; }
    const std::map<std::uint32_t, std::string>& Headers() const { return m_headers; }
    const LivePieceSet& WantedHeaderIds() const { return m_wantedHeaderIds; }

private:
    Sessions Shuffled(const Sessions& sessions);
    void Broadcast(const Sessions& sessions, const LiveMessage& message);

    LivePieceWindow& m_window;
    std::mt19937 m_random;
    std::uint32_t m_wantedFirst = 0;
    std::uint32_t m_wantedLast = 0;
    std::uint32_t m_headRewantMs = 0;
    std::uint32_t m_pieceInfoMs = 0;
    std::uint32_t m_headerRequestMs = 0;
    std::uint32_t m_upkeepMs = 0;
    LivePieceSet m_wantedPieces;
    std::set<std::uint64_t> m_rerequest;  // piece x 2^32 + block
    std::map<std::uint32_t, std::string> m_headers;
    BlockFlagMap m_newHeaderIds;
    LivePieceSet m_wantedHeaderIds;
    LivePieceLengths m_pieceSizes;
    LivePieceSet m_unknownSize;
};
