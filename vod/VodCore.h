#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <set>
#include <string>

#include "common/wnd/IMyWndMsgHost.h"
#include "common/wnd/MyWnd.h"
#include "vod/VodCandidate.h"
#include "vod/http/HttpServer.h"
#include "vod/reader/IReader.h"
#include "vod/reader/IReaderHost.h"

namespace http {
class CHttpRequest;
}
class CVodBlockMap;
class CVodCacheFile;

// The video-on-demand engine of one stored video. The control writes the
// settings, then calls Start and Stop on its own thread; everything else runs
// on the engine's message thread (a CMyWnd), which other threads reach by
// window messages (see VodEngineMessages.h). Players read through the
// engine's IReaderHost and IReader, from their own threads.
class CVodCore : public inf::IReaderHost, public inf::IReader, public IMyWndMsgHost {
public:
    CVodCore();
    ~CVodCore() override;
    CVodCore(const CVodCore&) = delete;
    CVodCore& operator=(const CVodCore&) = delete;

    // Settings: written between construction and Start.
    void SetOwnerWindow(HWND owner) { m_owner = owner; }
    void SetReferrer(const std::string& referrer) { m_referrer = referrer; }
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

    // inf::IReaderHost and inf::IReader (other threads).
    void Destroy(unsigned int flags) override;
    inf::IReader* Open(const char* name, unsigned long long offset) override;
    int Read(unsigned long long offset, unsigned char* buffer, int length) override;
    std::tm* GetTime() override { return &m_time; }
    bool IsAlive() override;

    // IMyWndMsgHost (engine thread).
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR timerId) override;

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
    std::int64_t m_size = 0;
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
