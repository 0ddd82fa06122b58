#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <deque>
#include <set>

#include "live/LiveAvailability.h"
#include "live/LiveMessages.h"
#include "live/LiveSendRate.h"
#include "live/LiveSessionHost.h"
#include "net/PeerId.h"
#include "vod/BlockFieldMaps.h"
#include "vod/VodTimer.h"

// The live engine's state for one connected peer.
//
// Serving: the blocks the peer asks for are queued and sent as raw datagrams
// at a paced rate (LiveSendRate) that follows the loss the peer reports with
// each request; a timer-queue timer sends WM_LIVE_SESSION_TICK (this, 19) into
// the engine window, whose handler calls OnSendTick.
//
// Receiving: the peer's availability, its queue and rate as its blocks report
// them, the blocks asked of it in order, and the accounting that declares
// blocks lost (they go back to the scheduler through TakeLost).
//
// Engine thread only. Made by the engine with its creator setting the
// initiator; ended by Close, after which the session is deleted at once, or
// by the engine's reap once its send timer's deletion completed.
class LivePeerSession {
public:
    LivePeerSession(ILiveSessionHost& host, const PeerId& peer, std::uint32_t nodeType);
    ~LivePeerSession();
    LivePeerSession(const LivePeerSession&) = delete;
    LivePeerSession& operator=(const LivePeerSession&) = delete;

    // A whole message from the peer; malformed ones are dropped.
    void OnPacket(const void* data, std::uint32_t length);

    void SendHello();
    void OnHello(const LiveHelloMsg& hello);
    void SendHelloReply(bool accept);
    void OnHelloReply(const LiveHelloMsg& hello);

    // Serving side.
    void OnRequest(const LiveRequestMsg& request);
    // The broadcasts' and relay texts' send: nothing while not handshaken;
    // false when nothing left.
    bool Send(const char* data, int length, bool reliable);
    void SetSendInterval();
    bool StartSendTimer();
    void OnSendTick();
    void SendNextBlock();
    void AddLossSample(float loss, float secondLoss);
    void UpdateSendRate();

    // Receiving side.
    void OnBlock(const LiveBlockMsg& block);
    void MatchArrivals();
    void OnDone(std::uint64_t number);
    void ComputeLossStats();
    void SendRequest(const BlockBitFieldMap& pieces);
    // Moves into one request the pieces of wanted this peer shows, while what
    // is queued at it drains in less than half a second.
    void AssignRequests(BlockBitFieldMap& wanted);
    // Takes out of pieces those this peer shows and asks it their lengths.
    void RequestPieceInfo(LivePieceSet& pieces);
    void SendHeaderRequest(std::uint32_t id);
    // Less than half a second of blocks is queued at the peer for us.
    bool CanTakeRequests() const;
    // Moves the blocks declared lost into blocks.
    void TakeLost(std::set<std::uint64_t>& blocks);

    // Closes the connection and clears the session. True when the send timer
    // is being deleted: the session then went into the engine's reap table
    // and must not be deleted by the caller.
    bool Close();
    void Reset();
    // True when the session went into the reap table.
    bool StopSendTimer();

    void SetInitiator(bool initiator) { m_initiator = initiator; }
    bool IsInitiator() const { return m_initiator; }
    bool IsHandshaken() const { return m_handshaken; }
    std::uint32_t NodeType() const { return m_nodeType; }
    const PeerId& Peer() const { return m_peer; }
    const LiveAvailability& Availability() const { return m_availability; }
    const LivePieceSet& HeaderIds() const { return m_headerIds; }
    std::size_t QueuedBlocks() const { return m_sendQueue.size(); }
    std::size_t OutstandingBlocks() const { return m_outstanding.size(); }
    std::uint32_t PeerQueue() const { return m_peerQueue; }
    std::uint32_t PeerRate() const { return m_peerRate; }
    std::uint32_t LostCount() const { return m_lostCount; }
    std::uint32_t AccountedCount() const { return m_accountedCount; }
    float LossRatio() const { return m_lossRatio; }
    const LiveSendRate& Rate() const { return m_rate; }
    bool HasSendTimer() const { return m_sendTimer != nullptr; }

private:
    struct Outstanding {
        std::uint64_t request;
        std::uint32_t block;
        std::uint32_t piece;
    };

    // Sends one message on the transport of its type; false when the network
    // core refused it.
    bool SendLive(const LiveMessage& message);
    void TakeHelloContents(const LiveHelloMsg& hello);
    void AddHeaderIds(const LivePieceSet& ids);
    void OnHeaderList(const BlockFlagMap& ids);
    void OnPieceInfoRequest(const LivePieceSet& pieces);
    void OnHeaderRequest(std::uint32_t id);
    void Dispatch(const LiveMessage& message);

    ILiveSessionHost& m_host;
    bool m_initiator = false;
    bool m_handshaken = false;
    // The hello (accepting side) or its reply (connecting side) was taken;
    // any later one is ignored, a refused one included.
    bool m_helloTaken = false;
    std::uint32_t m_nodeType;
    PeerId m_peer;
    LiveAvailability m_availability;
    LivePieceSet m_headerIds;
    std::deque<std::uint64_t> m_sendQueue;
    std::uint64_t m_lastRequest = 0;
    std::uint64_t m_lastDone = 0;
    std::deque<Outstanding> m_outstanding;
    std::uint64_t m_requestCounter = 0;
    std::set<std::uint64_t> m_lost;
    std::set<std::uint64_t> m_received;
    std::int32_t m_unmatched = 0;
    std::uint32_t m_peerQueue = 0;
    std::uint32_t m_peerRate;
    std::uint32_t m_lostCount = 0;
    std::uint32_t m_secondCount = 0;  // never raised: the second ratio stays 0
    std::uint32_t m_accountedCount = 0;
    float m_lossRatio = 0;
    float m_secondRatio = 0;
    DWORD m_statsTime;
    LiveSendRate m_rate;
    HANDLE m_sendTimer = nullptr;
    VodTimerRecord m_timerRecord;
};
