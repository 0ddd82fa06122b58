#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <utility>

#include "common/pack/BitField.h"
#include "net/PeerId.h"
#include "vod/BlockFieldMaps.h"
#include "vod/VodMessages.h"
#include "vod/VodSessionHost.h"
#include "vod/VodTimer.h"

// The engine's side of one connection to another peer: hellos, pieces served
// at a paced rate that follows the loss the remote reports, pieces asked on
// behalf of the scheduler, and the arrival checks that find the lost ones.
// Engine thread only; the pacing timer sends WM_VOD_SESSION_TICK (this, 3).
class VodPeerSession {
public:
    VodPeerSession(IVodSessionHost& host, const PeerId& peer, bool seed, bool initiator);
    ~VodPeerSession();
    VodPeerSession(const VodPeerSession&) = delete;
    VodPeerSession& operator=(const VodPeerSession&) = delete;

    void SendHello();
    void SendHelloReply(bool accept);
    void OnHello(const VodHelloMsg& hello);
    void OnHelloReply(const VodHelloMsg& hello);
    void OnRequest(const VodRequestMsg& request);
    void OnPiece(const VodPieceMsg& piece);
    void OnDone(std::uint32_t number);
    void OnHave(const BlockFlagMap& have);
    void SendRequest(const BlockBitFieldMap& wanted);
    void OnPacingTick();
    void SendNextPiece();
    void CheckArrivals();
    bool CanTakeMore() const;
    // Closes the connection and clears the session; its outstanding pieces
    // join the lost ones, which stay for the engine to take. Answers the event
    // that is set once the pacing timer is gone (the session must live until
    // then), or null when the session may be deleted at once.
    HANDLE End();

    bool IsActive() const { return m_active; }
    bool IsSeed() const { return m_seed; }
    bool IsInitiator() const { return m_initiator; }
    const PeerId& Peer() const { return m_peer; }
    std::uint32_t PeerRate() const { return m_peerRate; }
    std::uint32_t SendRate() const { return m_sendRate; }
    double PacingPeriod() const { return m_exactPeriod; }
    float LossRatio() const { return m_lossRatio; }
    std::size_t QueuedPieceCount() const { return m_sendQueue.size(); }
    // The remote holds the block: bits beyond its field read as not held.
    bool HoldsBlock(std::uint32_t block) const;
    // Moves the lost pieces into pieces.
    void TakeLost(std::set<std::uint32_t>& pieces);

    // A remote may ask for at most this many pieces ahead of the ones sent.
    static constexpr std::size_t kMostQueuedPieces = 48 * 256;

private:
    void Send(int type, const VodMessage& message);
    void TakeAvailability(const VodHelloMsg& hello);
    nps::BitField OwnAvailability(std::uint8_t& kind) const;
    void ComputePacing();
    void Adapt();
    void SettleOldest(bool countInFlight);

    IVodSessionHost& m_host;
    bool m_initiator;
    bool m_active = false;
    bool m_seed;
    PeerId m_peer;
    bool m_holdsAll = false;       // availability 2 taken before the block count was known
    nps::BitField m_remote;        // one bit per block of the file
    std::deque<std::uint32_t> m_sendQueue;
    std::uint32_t m_lastRequestIn = 0;
    std::uint32_t m_lastConfirmed = 0;
    std::deque<std::pair<std::uint32_t, std::uint32_t>> m_outstanding;
    std::uint32_t m_requestCounter = 0;
    std::set<std::uint32_t> m_lost;
    std::set<std::uint32_t> m_received;
    std::int32_t m_sinceCheck = 0;
    std::uint32_t m_inFlight = 0;
    std::uint32_t m_peerRate;
    std::uint32_t m_lostCount = 0;
    std::uint32_t m_counted = 0;
    float m_lossRatio = 0;
    float m_secondRatio = 0;
    DWORD m_ratioTime;
    float m_lossAverage = 0;
    float m_secondAverage = 0;
    float m_lossSum = 0;
    float m_secondSum = 0;
    std::uint32_t m_reports = 0;
    std::uint32_t m_sendingMs = 0;
    std::uint32_t m_state = 1;
    std::int32_t m_step = 0;
    std::uint32_t m_sendRate;
    std::uint32_t m_period = 1;
    double m_exactPeriod = 1;
    double m_accumulator = 0;
    HANDLE m_pacingTimer = nullptr;
    VodTimerRecord m_record;
};
