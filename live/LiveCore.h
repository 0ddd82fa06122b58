#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "common/wnd/IMyWndMsgHost.h"
#include "common/wnd/MyWnd.h"
#include "live/LiveConnections.h"
#include "live/LiveFeeder.h"
#include "live/LiveFeederHost.h"
#include "live/LiveHeldTexts.h"
#include "live/LiveNetwork.h"
#include "live/LivePieceWindow.h"
#include "live/LiveReapTable.h"
#include "live/LiveScheduler.h"
#include "live/LiveSessionHost.h"
#include "net/EventListener.h"
#include "vod/PeerRelayMsg.h"
#include "vod/RelaySequences.h"
#include "vod/VodTimer.h"

namespace http {
class CHttpRequest;
}
class LivePeerSession;

// A relay (chat) text waiting to be flooded: the session it came from (null
// for one of our own) and the message.
struct LiveRelayItem {
    LivePeerSession* source = nullptr;
    PeerRelayMsg message;
};

// The engine of one live channel. The control writes the settings, then
// calls Start and Stop on its own thread; every decision runs on the engine's
// message thread (a CMyWnd), which the network core, the timer queue, the
// tracker requests and the feeder reach by the messages of
// LiveEngineMessages.h. It asks the tracker for peers, keeps up to 40 peer
// sessions, collects the channel's pieces in a window of 180 and reports to
// the owner window.
class CLiveCore : public ppn::EventListener,
                  public IMyWndMsgHost,
                  public ILiveFeederHost,
                  private ILiveSessionHost {
public:
    static constexpr std::uint32_t kDefaultStartLag = 20;
    static constexpr std::int32_t kDefaultRateKbit = 400;

    CLiveCore();
    ~CLiveCore() override;
    CLiveCore(const CLiveCore&) = delete;
    CLiveCore& operator=(const CLiveCore&) = delete;

    // Settings: written between construction and Start.
    void SetOwnerWindow(HWND owner) { m_owner = owner; }
    void SetChannelId(std::uint64_t cid) { m_channel = cid; }
    void SetNatServer(const std::string& host, std::uint16_t port);
    void SetStunHost(const std::string& host) { m_stunHost = host; }
    void SetPortRange(std::uint16_t low, std::uint16_t high);
    void SetTrackerUrl(const std::wstring& url) { m_trackerUrl = url; }
    // 0 keeps the default of 20 pieces.
    void SetStartLag(std::uint32_t pieces);
    void SetBufferingSeconds(std::uint32_t seconds) { m_bufferingSeconds = seconds; }
    void SetInitialSendRate(std::int32_t kbit) { m_initialSendKbit = kbit; }
    void SetAssumedPeerRate(std::int32_t kbit) { m_assumedPeerKbit = kbit; }

    // False when started already, for channel 0, or when the message thread,
    // the network core or the timer queue cannot be had (what was made is
    // undone). The engine is not started again after Stop.
    bool Start(HINSTANCE instance);
    void Stop();
    bool IsStarted() const { return m_started; }

    // Control's thread.
    int GetSessionCount() const { return m_sessionCount.load(); }
    // The datagram transport's receive and send rates and totals; false
    // without a network core or when it cannot tell.
    bool GetDownloadRate(std::int32_t& rate);
    bool GetUploadRate(std::int32_t& rate);
    bool GetDownloadTotal(std::int64_t& bytes);
    bool GetUploadTotal(std::int64_t& bytes);
    // Queues a chat text for every peer of the channel, one text a second.
    bool QueueRelayText(const std::string& text);
    // The hosted player's state; nothing without the engine's window.
    void NotifyBuffering();
    void NotifyPlaying();
    void NotifyPaused();
    void NotifyStopped();
    // The local player's URL, once WM_LIVE_STREAM_READY arrived.
    std::wstring GetPlayerUrl() const;
    // This peer's id and endpoints; needLogin: only once logged in to the
    // NAT server. False without a network core or when it cannot tell.
    bool GetOwnAddress(PeerAddress& self, bool needLogin) { return OwnAddress(self, needLogin); }

    // ILiveFeederHost (the feeder's thread).
    std::int32_t GetPiece(std::uint32_t piece, char* buffer, std::uint32_t& length) override;
    std::uint32_t GetWindowStart() override { return m_window.GetStart(); }
    bool RequestHeader(std::uint32_t id, std::string& bytes) override;
    LRESULT NotifyHost(UINT message, WPARAM wParam, LPARAM lParam, bool post) override;
    LRESULT NotifyHostTimeout(UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs) override;
    const wchar_t* HoldHostText(const std::wstring& text) override { return m_heldTexts.Hold(text); }
    void SetPlayerUrl(const std::wstring& url) override;
    bool NoPacing() override { return m_noPacing.load(); }

    // IMyWndMsgHost (engine thread).
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR timerId) override;

    // ppn::EventListener (the network core's threads).
    void OnEvent(const PeerId* peer, int event, int type) override;
    void OnReceive(const PeerId* peer, int type, const char* data, int length) override;

protected:
    // The network core Start uses; tests give a stand-in.
    virtual std::unique_ptr<ILiveNetwork> MakeNetwork();

private:
    // The tests' view of the engine's state; nothing of it ships.
    friend class LiveCoreProbe;
    typedef std::map<PeerId, LivePeerSession*, PeerIdLess> SessionTable;

    bool PlaybackStarted() const { return m_tickTimer != nullptr; }

    // ILiveSessionHost.
    void SendToPeer(const PeerId& peer, int transport, const char* data, int length) override;
    void ClosePeer(const PeerId& peer) override;
    LivePieceWindow& PieceWindow() override { return m_window; }
    HWND Window() override { return m_messageWindow.Handle(); }
    HANDLE TimerQueue() override { return m_timerQueue; }
    DWORD Now() override;
    std::uint64_t ChannelId() override { return m_channel; }
    std::uint32_t SessionCount() override { return static_cast<std::uint32_t>(m_sessions.size()); }
    std::int32_t InitialSendRateKbit() override { return m_initialSendKbit; }
    std::int32_t AssumedPeerRateKbit() override { return m_assumedPeerKbit; }
    void GetHeaderIds(LivePieceSet& ids) override { m_scheduler.GetHeaderIds(ids); }
    bool FindHeader(std::uint32_t id, std::string& bytes) override { return m_scheduler.FindHeader(id, bytes); }
    void OnHeader(std::uint32_t id, const nps::ByteRange& bytes) override { m_scheduler.OnHeader(id, bytes); }
    void OnPieceInfo(const LivePieceLengths& lengths) override { m_scheduler.OnPieceInfo(lengths); }
    void OnRelay(LivePeerSession& session, const PeerRelayMsg& relay) override;
    void ReapLater(HANDLE event, LivePeerSession* session) override { m_reap->Add(event, session); }

    // Lifecycle and messages (LiveCore.cpp).
    bool StartNetwork();
    void StopNetwork();
    void DeleteSessions();
    void PostStatus(int stage);
    void PostOwner(UINT message, WPARAM wParam);
    void NotifyPlayer(UINT message);
    bool GetStatistic(int id, std::int64_t& value);
    bool OwnAddress(PeerAddress& self, bool needLogin);
    void OnPeerData(const PeerId& peer, const char* data, int length);
    void OnSessionTick(LivePeerSession* session, LPARAM tag);
    void OnTick();
    LiveScheduler::Sessions SessionList() const;
    void FlushRelay();
    bool PushRelay(const LiveRelayItem& item);

    // Tracker, connections and playback start (LiveCoreConnections.cpp).
    bool TrackRequest(http::CHttpRequest* request);
    void OnHttpDone(WPARAM kind, http::CHttpRequest* request);
    bool SendReqPeer();
    void OnReqPeerReply(http::CHttpRequest& request);
    bool SendPeerOn();
    bool ConnectTo(const LiveCandidate& candidate);
    bool ConnectCandidates();
    void OnPeerEventMsg(const PeerId& peer, int event);
    void MaintainConnections();
    void OnSessionResult(LivePeerSession* session, LPARAM result);
    void ChooseStartPiece();
    bool StartPlayback(std::uint32_t piece);
    LivePeerSession* FindSession(const LivePeerSession* session) const;
    // Takes the peer's session out of the table and ends it: closing its
    // connection, or only stopping its send timer.
    void EndSession(const PeerId& peer, bool closeConnection);
    void DisposeSession(LivePeerSession* session, bool closeConnection);
    LiveCandidateTable::size_type ConnectingCount() const { return m_connections.Connecting().size(); }

    // Settings.
    HWND m_owner = nullptr;
    std::uint64_t m_channel = 0;
    std::int32_t m_peerType = 0;   // this client always announces a viewer
    std::string m_natHost;
    std::uint16_t m_natPort = 0;
    std::string m_stunHost;
    std::uint16_t m_portLow = 0;
    std::uint16_t m_portHigh = 0;
    std::wstring m_trackerUrl;
    std::uint32_t m_startLag = kDefaultStartLag;
    std::atomic<std::uint32_t> m_bufferingSeconds{0};
    std::int32_t m_initialSendKbit = kDefaultRateKbit;
    std::int32_t m_assumedPeerKbit = kDefaultRateKbit;

    // Runtime state: the engine thread's, unless noted.
    bool m_started = false;   // control's thread
    std::unique_ptr<ILiveNetwork> m_network;   // made and deleted on the control's thread
    SessionTable m_sessions;
    std::atomic<int> m_sessionCount{0};   // m_sessions.size() for the control's thread
    LiveConnections m_connections;
    std::unique_ptr<LiveReapTable> m_reap;
    CMyWnd m_messageWindow;
    LivePieceWindow m_window;
    LiveScheduler m_scheduler;
    int m_reqPeerFailures = 0;
    HANDLE m_timerQueue = nullptr;
    HANDLE m_tickTimer = nullptr;   // playback has started exactly when it exists
    VodTimerRecord m_tickRecord = {};
    std::uint32_t m_secondMs = 0;
    std::uint32_t m_livePoint = 0;
    bool m_startTimerArmed = false;
    std::uint32_t m_startFloor = 0;
    bool m_sourcePeer = false;
    std::atomic<bool> m_noPacing{false};
    // Requests started and not completed; Stop deletes what is left.
    std::set<http::CHttpRequest*> m_requests;

    // Made on the engine thread at playback start, stopped by Stop on the
    // control's thread.
    void StopFeeder();
    std::mutex m_feederLock;  // guards m_feeder
    std::unique_ptr<LiveFeeder> m_feeder;

    mutable std::mutex m_playerUrlLock;   // guards m_playerUrl
    std::wstring m_playerUrl;
    LiveHeldTexts m_heldTexts;

    RelaySequences m_relaySequences;
    std::mutex m_relayLock;   // guards m_relayQueue and m_relaySequence
    std::deque<LiveRelayItem> m_relayQueue;
    std::uint32_t m_relaySequence = 0;
};
