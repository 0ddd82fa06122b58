#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>

#include "common/wnd/IMyWndMsgHost.h"
#include "common/wnd/MyWnd.h"
#include "net/EventListener.h"
#include "vod/PeerRelayMsg.h"
#include "vod/RelaySequences.h"
#include "vod/VodCandidate.h"
#include "vod/VodInbox.h"
#include "vod/VodStartSteps.h"
#include "vod/VodSessionHost.h"
#include "vod/VodTimer.h"
#include "vod/http/HttpServer.h"
#include "vod/reader/IReader.h"
#include "vod/reader/IReaderHost.h"
#include "common/pack/BitField.h"

namespace http {
class CHttpRequest;
}
namespace ppn {
class PPNCore;
}
class CVodBlockMap;
class CVodCacheFile;
class VodPeerSession;

// The video-on-demand engine of one stored video. The control writes the
// settings, then calls Start and Stop on its own thread; everything else runs
// on the engine's message thread (a CMyWnd), which other threads reach by
// window messages (see VodEngineMessages.h). Players read through the
// engine's IReaderHost and IReader, from their own threads.
class CVodCore : public ppn::EventListener,
                 public inf::IReaderHost,
                 public inf::IReader,
                 public IMyWndMsgHost,
                 private IVodSessionHost {
public:
    CVodCore();
    ~CVodCore() override;
    CVodCore(const CVodCore&) = delete;
    CVodCore& operator=(const CVodCore&) = delete;

    // Settings: written between construction and Start.
    void SetOwnerWindow(HWND owner) { m_owner = owner; }
    void SetReferrer(const std::string& referrer) { m_referrer = referrer; }
    const std::string& ReferrerText() const { return m_referrer; }
    // Kept in lower case: caches and seeds look videos up that way.
    void SetHash(const std::string& hash);
    void SetContentId(std::int64_t cid) { m_cid = cid; }
    void SetSize(std::int64_t size) { m_size = size; }
    void SetBitRate(std::uint32_t bitRate) { m_bitRate = bitRate; }
    void SetMediaType(const std::wstring& type) { m_mediaType = type; }
    void SetNatServer(const std::string& host, std::uint16_t port);
    void SetStunHost(const std::string& host) { m_stunHost = host; }
    void SetPortRange(std::uint16_t low, std::uint16_t high);
    void SetTrackerUrl(const std::wstring& url) { m_trackerUrl = url; }
    void SetDownloadRate(std::uint32_t kbit) { m_downloadRate = kbit; }
    void SetUploadRate(std::uint32_t kbit) { m_uploadRate = kbit; }
    void SetPeersAsked(std::int32_t count) { m_peersAsked = count; }
    void SetConnectionLimit(std::int32_t count) { m_connectionLimit = count; }
    void SetReadAheadSeconds(std::int32_t seconds) { m_readAhead = seconds; }
    void SetBlockMapMemory(std::int32_t mib) { m_blockMapMiB = mib; }
    void SetCacheEnabled(bool enabled);

    // False when running already, without hash or cid, or when the message
    // thread, the file-size request or the timer queue cannot be had.
    bool Start(HINSTANCE instance);
    void Stop();
    bool IsRunning() const { return m_running; }

    // Statistics (control's thread): sessions, and the datagram transport's
    // rates (byte/s) and totals (bytes); false without a network core.
    int GetSessionCount();
    bool GetDownloadRate(int& rate);
    bool GetUploadRate(int& rate);
    bool GetDownloadTotal(std::int64_t& bytes);
    bool GetUploadTotal(std::int64_t& bytes);
    double GetDownloadedFraction() const;
    // Queues a text flooded to the other peers of the video, one a second.
    bool QueueRelayText(const std::string& text);

    void NotifyBuffering();
    void NotifyPlaying();
    void NotifyPaused();
    void NotifyStopped();

    std::int64_t GetSize() override { return m_size; }
    std::uint32_t GetBitRate() const { return m_bitRate; }
    // The window start block: the first block at or after the play start
    // that is not held. Read by the control for its pre-buffering.
    std::uint32_t GetContiguousBlocks() const { return m_contiguous; }
    std::wstring GetPlayUrl();
    // The engine window, for tests and drivers that watch its messages.
    HWND GetWindow() const { return m_window.Handle(); }
    // When the steps towards the first byte were reached (any thread).
    const VodStartSteps& GetStartSteps() const { return m_steps; }

    // inf::IReaderHost and inf::IReader (other threads).
    void Destroy(unsigned int flags) override;
    inf::IReader* Open(const char* name, unsigned long long offset) override;
    int Read(unsigned long long offset, unsigned char* buffer, int length) override;
    std::tm* GetTime() override { return &m_time; }
    bool IsAlive() override;

    // IMyWndMsgHost (engine thread).
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR timerId) override;

    // ppn::EventListener (the network core's threads).
    void OnEvent(const PeerId* peer, int event, int type) override;
    void OnReceive(const PeerId* peer, int type, const char* data, int length) override;

private:
    struct RelayItem {
        PeerRelayMsg message;
        VodPeerSession* source;   // none for a text of this engine's own
    };
    typedef std::map<PeerId, VodPeerSession*, PeerIdLess> SessionTable;

    // IVodSessionHost.
    ppn::PPNCore* Network() override { return m_network.get(); }
    CVodBlockMap* BlockMap() override { return m_blockMap.get(); }
    HWND Window() override { return m_window.Handle(); }
    HANDLE TimerQueue() override { return m_timerQueue; }
    const std::string& Hash() override { return m_hash; }
    const std::string& Referrer() override { return m_referrer; }
    std::uint32_t UploadRateKbit() override { return m_uploadRate; }
    std::uint32_t DownloadRateKbit() override { return m_downloadRate; }
    std::uint64_t ReadPosition() override { return m_readPosition; }
    std::uint32_t WindowEnd() override { return m_windowEnd; }

    void PostOwner(UINT message, WPARAM wParam);
    bool StartNetwork();
    void StopNetwork();
    bool GetStatistic(int id, std::int64_t& value);
    // This engine's address; needLogin as PPNCore::GetLocalAddress. False
    // without a network or when the core cannot tell.
    bool OwnAddress(PeerAddress& self, bool needLogin);
    bool GetRate(int id, int& rate);
    bool SendPeerOn();
    // The reply's bytes; on a failed reply, the request's timer again while
    // failures allow.
    bool ReadReplyOrRetry(http::CHttpRequest& request, int& failures, UINT_PTR timer,
                          std::string& bytes);
    void OnPeerReply(http::CHttpRequest& request);
    void OnPeerEvent(const PeerId& peer, int event);
    void OnPeerData(const PeerId& peer, const char* data, int length);
    // Handles every message the network core queued, in order.
    void TakeInbox();
    void OnSessionTick(VodPeerSession* session, LPARAM step);
    void OnSessionResult(VodPeerSession* session, LPARAM result);
    VodPeerSession* FindSession(VodPeerSession* session) const;
    // Ends the session of peer, if any, and hands its lost pieces back.
    void EndSession(const PeerId& peer);
    void DisposeSession(VodPeerSession* session);
    void ReapSessions();
    bool ConnectPeer(const VodCandidate& candidate);
    bool ConnectCandidates();
    bool StartPlayback();
    void RetryCandidates();
    void AdvanceWindow();
    void Schedule();
    bool ScheduleFromCache();
    bool AskBlock(std::uint32_t block, const nps::BitField& field, std::vector<VodPeerSession*>& list);
    nps::BitField MissingPieces(std::uint32_t block) const;
    void OnSecond();
    void OnRelay(VodPeerSession* source, const PeerRelayMsg& relay);

private:
    void PostStatus(int stage);
    void OnSizeKnown();
    void OpenCache();
    bool SendReqFileInfo();
    bool SendReqPeer(const std::wstring& url);
    bool TrackRequest(http::CHttpRequest* request);
    void OnHttpDone(WPARAM kind, http::CHttpRequest* request);
    void OnFileInfoReply(http::CHttpRequest& request);
    void OnSeek(std::uint64_t offset);
    void OnRead(WPARAM wParam);

    // Settings.
    HWND m_owner = nullptr;
    std::string m_referrer;
    std::string m_hash;
    std::int64_t m_cid = 0;
    // Set on the engine thread once the tracker answers, read by the loopback
    // server's thread: atomic, as a plain 64-bit load is two loads on i686 and
    // could see half of the new size.
    std::atomic<std::int64_t> m_size{0};
    std::uint32_t m_bitRate = 0;
    std::wstring m_mediaType;
    bool m_cacheEnabled = false;
    std::string m_natHost;
    std::uint16_t m_natPort = 0;
    std::string m_stunHost;
    std::uint16_t m_portLow = 0;
    std::uint16_t m_portHigh = 0;
    std::wstring m_trackerUrl;
    std::uint32_t m_downloadRate = 400;
    std::uint32_t m_uploadRate = 400;
    std::int32_t m_peersAsked = 30;
    std::int32_t m_connectionLimit = 20;
    std::int32_t m_readAhead = 20;
    std::int32_t m_blockMapMiB = 20;

    // Runtime state, owned by the engine thread unless noted.
    bool m_running = false;           // control's thread
    CMyWnd m_window;
    HANDLE m_timerQueue = nullptr;
    std::unique_ptr<ppn::PPNCore> m_network;
    SessionTable m_sessions;
    // Messages of the network core's threads for the engine thread.
    VodInbox m_inbox;
    VodStartSteps m_steps;
    // Ended sessions waiting for their pacing timer's deletion, by its event.
    std::map<HANDLE, VodPeerSession*> m_pendingDeletion;
    HANDLE m_scheduleTimer = nullptr;
    HANDLE m_secondTimer = nullptr;
    VodTimerRecord m_scheduleRecord = {};
    VodTimerRecord m_secondRecord = {};
    std::uint32_t m_rerequestMs = 0;
    std::uint32_t m_retryMs = 0;
    RelaySequences m_relaySeen;
    boost::mutex m_relayMutex;
    std::deque<RelayItem> m_relayQueue;
    std::uint32_t m_relaySequence = 0;
    HttpServer m_server;
    std::unique_ptr<CVodBlockMap> m_blockMap;
    std::unique_ptr<CVodCacheFile> m_cache;
    // Set once the block map exists: readers may open from then on.
    std::atomic<bool> m_sizeKnown{false};
    // Requests started and not yet completed; Stop deletes what is left.
    std::set<http::CHttpRequest*> m_requests;
    int m_fileInfoFailures = 0;
    int m_peerFailures = 0;

    VodCandidateTable m_normal;
    VodCandidateTable m_seeds;
    VodCandidateTable m_connecting;
    VodCandidateTable m_connected;
    VodCandidateTable m_retry;

    std::uint32_t m_windowStart = 0;
    std::atomic<std::uint32_t> m_contiguous{0};   // m_windowStart for other threads
    std::uint32_t m_windowEnd = 0;
    std::set<std::uint32_t> m_wantedBlocks;
    std::set<std::uint32_t> m_wantedPieces;
    std::uint64_t m_playStart = 0;
    std::uint64_t m_readPosition = 0;
    bool m_reading = true;
    std::uint32_t m_lastWmvSeekBlock = 0xFFFFFFFFu;
    DWORD m_lastWmvSeekTick = 0;
    std::tm m_time = {};
};
