#include "vod/VodCore.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "common/http/HttpRequest.h"
#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "net/PropertyMap.h"
#include "vod/VodBlockMap.h"
#include "vod/VodCandidates.h"
#include "vod/VodPeerSession.h"
#include "vod/VodCacheFile.h"
#include "vod/VodEngineMessages.h"
#include "vod/VodTrackerMessages.h"
#include "vod/VodTrackerRequest.h"
#include "vod/VodUnits.h"
#include "vod/reader/PlayUrl.h"
#include "vod/reader/ReadRecord.h"
#include "vod/reader/ReaderHostRegistry.h"

namespace {

// Private to the engine: Start hands the steps that touch engine state to the
// engine thread. wParam: StartRecord*, owned by the sender.
const UINT WM_VOD_BEGIN = 1290;

struct StartRecord {
    bool ok;
};

// Private: SetCacheEnabled while running. wParam: the new flag.
const UINT WM_VOD_CACHE_FLAG = 1291;

// Private: writes the number of sessions (the table is the engine thread's)
// to the int wParam points at.
const UINT WM_VOD_SESSION_COUNT = 1292;

const UINT kReqPeerFirstMs = 500;
const UINT kRetryMs = 2000;
const UINT kReapMs = 5000;
const int kMostTransferRetries = 3;
const UINT kReadTimeoutMs = 1000;
const UINT kAliveTimeoutMs = 2000;
const std::uint32_t kDefaultBitRate = 1000000;
const std::uint32_t kWindowBlocks = 30;
const DWORD kWmvSeekRepeatMs = 5000;

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int count = static_cast<int>(text.size());
    const int need = WideCharToMultiByte(CP_ACP, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(need, 0)), '\0');
    if (need > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), count, &out[0], need, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int count = static_cast<int>(text.size());
    const int need = MultiByteToWideChar(CP_ACP, 0, text.data(), count, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(need, 0)), L'\0');
    if (need > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), count, &out[0], need);
    return out;
}

}  // namespace

CVodCore::CVodCore() : m_window(this) {}

CVodCore::~CVodCore()
{
    Stop();
}

void CVodCore::SetHash(const std::string& hash)
{
    m_hash = hash;
    std::transform(m_hash.begin(), m_hash.end(), m_hash.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
}

void CVodCore::SetNatServer(const std::string& host, std::uint16_t port)
{
    m_natHost = host;
    m_natPort = port;
}

void CVodCore::SetPortRange(std::uint16_t low, std::uint16_t high)
{
    m_portLow = low;
    m_portHigh = high;
}

void CVodCore::SetCacheEnabled(bool enabled)
{
    // While running, the cache and the block map belong to the engine thread.
    if (m_running)
        SendMessageW(m_window.Handle(), WM_VOD_CACHE_FLAG, enabled ? 1 : 0, 0);
    else
        m_cacheEnabled = enabled;
}

bool CVodCore::Start(HINSTANCE instance)
{
    if (m_running || m_hash.empty() || m_cid == 0)
        return false;
    // A size the block map cannot hold is taken for unknown: the tracker is asked.
    if (m_size < 0 || m_size > kVodMaxFileSize)
        m_size = 0;
    m_steps.Begin();
    timeBeginPeriod(1);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    if (m_window.Create(instance) != 1) {
        timeEndPeriod(1);
        return false;
    }
    StartRecord record = {false};
    if (StartNetwork()) {
        PostStatus(VOD_STATUS_LOGIN);
        // Made before anything on the engine thread can start a session
        // whose pacing timer lives in it.
        m_timerQueue = CreateTimerQueue();
        if (m_timerQueue != nullptr)
            SendMessageW(m_window.Handle(), WM_VOD_BEGIN, reinterpret_cast<WPARAM>(&record), 0);
    }
    if (!record.ok) {
        m_running = true;   // so that Stop undoes what was started
        Stop();
        return false;
    }
    m_server.Start(0);
    m_server.SetReaderHost(this);
    inf::RegisterReaderHost(this);
    m_running = true;
    m_steps.Mark(VOD_STEP_STARTED);
    return true;
}

bool CVodCore::StartNetwork()
{
    PropertyMap properties;
    properties[PPN_PROP_NAT_SERVER] = m_natHost;
    properties[PPN_PROP_NAT_PORT] = std::to_string(m_natPort);
    properties[PPN_PROP_STUN_SERVER] = m_stunHost;
    properties[PPN_PROP_PORT_HIGH] = std::to_string(m_portHigh);
    properties[PPN_PROP_PORT_LOW] = std::to_string(m_portLow);
    properties[PPN_PROP_LOGIN_INTERVAL] = "1000";
    properties[PPN_PROP_LOGOUT_INTERVAL] = "100";
    properties[PPN_PROP_KEEPALIVE_INTERVAL] = "10";
    std::unique_ptr<ppn::PPNCore> network(new ppn::PPNCore);
    try {
        network->AddListener(this);
        network->SetProperties(properties);
        network->StartListen(0);
    } catch (const ppn::PPNException&) {
        try {
            network->RemoveListener(this);
            network->Stop();
        } catch (const ppn::PPNException&) {
        }
        return false;
    }
    m_network = std::move(network);
    return true;
}

void CVodCore::StopNetwork()
{
    if (!m_network)
        return;
    try {
        m_network->RemoveListener(this);
        m_network->Stop();
    } catch (const ppn::PPNException&) {
    }
    m_network.reset();
}

void CVodCore::Stop()
{
    if (!m_running)
        return;
    inf::UnregisterReaderHost(this);
    KillTimer(m_window.Handle(), VOD_TIMER_REAP);
    m_server.Stop();
    // Ends the thread, its window and its window timers; nothing of the
    // engine thread runs after this, and messages sent to it fail.
    m_window.Destroy();
    StopNetwork();
    // Messages queued after the thread ended; none come any more.
    m_inbox.Clear();
    // The timer queue goes before the sessions whose pacing timers it runs:
    // once it is deleted no callback holds a session record any more.
    if (m_timerQueue != nullptr) {
        DeleteTimerQueueEx(m_timerQueue, INVALID_HANDLE_VALUE);
        m_timerQueue = nullptr;
    }
    m_scheduleTimer = m_secondTimer = nullptr;
    for (auto& entry : m_sessions)
        delete entry.second;
    m_sessions.clear();
    for (auto& entry : m_pendingDeletion) {
        CloseHandle(entry.first);
        delete entry.second;
    }
    m_pendingDeletion.clear();
    timeEndPeriod(1);
    // Requests whose completion never arrived: deleting one joins its worker,
    // which may have to finish its transfer first.
    for (http::CHttpRequest* request : m_requests)
        delete request;
    m_requests.clear();
    m_sizeKnown = false;
    m_windowStart = m_windowEnd = 0;
    m_contiguous = 0;
    // Blocks completed since the last batch reach the cache before it closes.
    if (m_blockMap && m_cache)
        m_blockMap->FlushToCache();
    m_cache.reset();
    m_blockMap.reset();
    m_normal.clear();
    m_seeds.clear();
    m_connecting.clear();
    m_connected.clear();
    m_retry.clear();
    m_wantedBlocks.clear();
    m_wantedPieces.clear();
    {
        boost::mutex::scoped_lock lock(m_relayMutex);
        m_relayQueue.clear();
    }
    m_relaySeen.Clear();
    m_running = false;
}

int CVodCore::GetSessionCount()
{
    // The window procedure's answer is not handed back: the count comes
    // through a variable of this call. While this thread waits it still takes
    // the messages the engine sends to the owner window; a destroyed window
    // fails the call at once.
    int count = 0;
    if (m_window.Handle() != nullptr)
        SendMessageW(m_window.Handle(), WM_VOD_SESSION_COUNT, reinterpret_cast<WPARAM>(&count), 0);
    return count;
}

bool CVodCore::GetStatistic(int id, std::int64_t& value)
{
    if (!m_network)
        return false;
    try {
        PropertyMap properties;
        properties[id] = std::string();
        m_network->GetProperties(properties);
        value = std::strtoll(properties[id].c_str(), nullptr, 10);
        return true;
    } catch (const ppn::PPNException&) {
        return false;
    }
}

bool CVodCore::GetRate(int id, int& rate)
{
    std::int64_t value = 0;
    if (!GetStatistic(id, value))
        return false;
    rate = static_cast<int>(value);
    return true;
}

bool CVodCore::GetDownloadRate(int& rate)
{
    return GetRate(PPN_STAT_SUDT_RECV_RATE, rate);
}

bool CVodCore::GetUploadRate(int& rate)
{
    return GetRate(PPN_STAT_SUDT_SEND_RATE, rate);
}

bool CVodCore::GetDownloadTotal(std::int64_t& bytes)
{
    return GetStatistic(PPN_STAT_SUDT_BYTES_RECEIVED, bytes);
}

bool CVodCore::GetUploadTotal(std::int64_t& bytes)
{
    return GetStatistic(PPN_STAT_SUDT_BYTES_SENT, bytes);
}

double CVodCore::GetDownloadedFraction() const
{
    if (m_size <= 0)
        return 0;
    return double(m_contiguous.load()) * kVodBlockSize / double(m_size);
}

bool CVodCore::OwnAddress(PeerAddress& self, bool needLogin)
{
    if (!m_network)
        return false;
    try {
        m_network->GetLocalAddress(self, needLogin);
        return true;
    } catch (const ppn::PPNException&) {
        return false;
    }
}

bool CVodCore::QueueRelayText(const std::string& text)
{
    if (text.empty())
        return true;
    if (!m_network)
        return false;
    PeerAddress self;
    if (!OwnAddress(self, false))
        return false;
    boost::mutex::scoped_lock lock(m_relayMutex);
    RelayItem item;
    item.message = PeerRelayMsg::OwnText(self.id, ++m_relaySequence, text);
    item.source = nullptr;
    m_relayQueue.push_back(item);
    return true;
}

void CVodCore::NotifyBuffering()
{
    PostMessageW(m_window.Handle(), WM_VOD_PLAYER_BUFFERING, 0, 0);
}

void CVodCore::NotifyPlaying()
{
    PostMessageW(m_window.Handle(), WM_VOD_PLAYER_PLAYING, 0, 0);
}

void CVodCore::NotifyPaused()
{
    PostMessageW(m_window.Handle(), WM_VOD_PLAYER_PAUSED, 0, 0);
}

void CVodCore::NotifyStopped()
{
    PostMessageW(m_window.Handle(), WM_VOD_PLAYER_STOPPED, 0, 0);
}

std::wstring CVodCore::GetPlayUrl()
{
    return vod::FormatPlayUrl(m_mediaType, static_cast<inf::IReaderHost*>(this), m_server.GetPort());
}

// ---------------------------------------------------------------- readers

void CVodCore::Destroy(unsigned int)
{
    delete this;
}

inf::IReader* CVodCore::Open(const char*, unsigned long long offset)
{
    if (!m_sizeKnown)
        return nullptr;
    SendMessageW(m_window.Handle(), WM_VOD_SEEK, static_cast<WPARAM>(offset & 0xFFFFFFFFu),
                 static_cast<LPARAM>(offset >> 32));
    return this;
}

int CVodCore::Read(unsigned long long offset, unsigned char* buffer, int length)
{
    if (m_window.Handle() == nullptr)
        return 0;
    return inf::SendReadRecord(m_window.Handle(), WM_VOD_READ, offset, buffer, length, kReadTimeoutMs);
}

bool CVodCore::IsAlive()
{
    DWORD_PTR answer = 0;
    if (m_window.Handle() == nullptr)
        return false;
    return SendMessageTimeoutW(m_window.Handle(), WM_NULL, 0, 0, 0, kAliveTimeoutMs, &answer) != 0;
}

// ---------------------------------------------------------------- engine thread

LRESULT CVodCore::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_VOD_BEGIN: {
        StartRecord* record = reinterpret_cast<StartRecord*>(wParam);
        if (m_size > 0) {
            OnSizeKnown();
            record->ok = true;
        } else {
            record->ok = SendReqFileInfo();
        }
        if (record->ok)
            SetTimer(m_window.Handle(), VOD_TIMER_REAP, kReapMs, nullptr);
        break;
    }
    case WM_VOD_SESSION_COUNT:
        *reinterpret_cast<int*>(wParam) = static_cast<int>(m_sessions.size());
        break;
    case WM_VOD_PEER_EVENT:
        // What the core delivered before the event comes first.
        TakeInbox();
        OnPeerEvent(*reinterpret_cast<const PeerId*>(wParam), static_cast<int>(lParam));
        break;
    case WM_VOD_PEER_DATA:
        TakeInbox();
        break;
    case WM_VOD_SESSION_TICK:
        OnSessionTick(reinterpret_cast<VodPeerSession*>(wParam), lParam);
        break;
    case WM_VOD_SESSION_RESULT:
        OnSessionResult(reinterpret_cast<VodPeerSession*>(wParam), lParam);
        break;
    case WM_VOD_SCHEDULE:
        TakeInbox();
        Schedule();
        break;
    case WM_VOD_SECOND:
        OnSecond();
        break;
    case WM_VOD_CACHE_FLAG:
        m_cacheEnabled = wParam != 0;
        if (m_blockMap && m_cacheEnabled)
            OpenCache();
        else if (m_blockMap)
            m_blockMap->SetCacheFile(nullptr);   // an open cache is still read from
        break;
    case WM_VOD_HTTP_DONE:
        OnHttpDone(wParam, reinterpret_cast<http::CHttpRequest*>(lParam));
        break;
    case WM_VOD_SEEK:
        OnSeek((static_cast<std::uint64_t>(static_cast<std::uint32_t>(lParam)) << 32) |
               static_cast<std::uint32_t>(wParam));
        break;
    case WM_VOD_READ:
        TakeInbox();
        OnRead(wParam);
        break;
    case WM_VOD_PLAYER_PLAYING:
        m_reading = true;
        break;
    case WM_VOD_PLAYER_STOPPED:
        m_reading = false;
        break;
    default:
        break;
    }
    return 0;
}

void CVodCore::OnTimer(UINT_PTR timerId)
{
    switch (timerId) {
    case VOD_TIMER_REQPEER:
        PostStatus(VOD_STATUS_LOGGED_IN);
        if (SendReqPeer(m_trackerUrl))
            KillTimer(m_window.Handle(), VOD_TIMER_REQPEER);
        else
            PostStatus(VOD_STATUS_NO_PEERS);
        break;
    case VOD_TIMER_REQFILEINFO:
        if (SendReqFileInfo())
            KillTimer(m_window.Handle(), VOD_TIMER_REQFILEINFO);
        break;
    case VOD_TIMER_REAP:
        ReapSessions();
        break;
    case VOD_TIMER_PEERON:
        if (SendPeerOn())
            KillTimer(m_window.Handle(), VOD_TIMER_PEERON);
        break;
    default:
        break;
    }
}

void CVodCore::PostStatus(int stage)
{
    if (m_owner != nullptr)
        PostMessageW(m_owner, WM_VOD_STATUS, static_cast<WPARAM>(stage), VodStatusStringId(stage));
}

void CVodCore::OnSizeKnown()
{
    m_blockMap.reset(new CVodBlockMap(m_size, m_blockMapMiB));
    if (m_bitRate == 0)
        m_bitRate = kDefaultBitRate;
    if (m_cacheEnabled)
        OpenCache();
    m_sizeKnown = true;
    SetTimer(m_window.Handle(), VOD_TIMER_REQPEER, kReqPeerFirstMs, nullptr);
}

void CVodCore::OpenCache()
{
    if (!m_cache) {
        m_cache.reset(new CVodCacheFile);
        m_cache->SetHash(m_hash);
        m_cache->SetNatServer(m_natHost, m_natPort);
        m_cache->SetTrackerUrl(Narrow(m_trackerUrl));
        m_cache->SetContentId(m_cid);
        m_cache->SetBlockCount(m_blockMap->GetBlockCount());
        m_cache->ScanAndEvict();
        m_cache->LoadIndex();
    }
    m_blockMap->SetCacheFile(m_cache.get());
}

// ---------------------------------------------------------------- tracker

bool CVodCore::TrackRequest(http::CHttpRequest* request)
{
    if (request == nullptr)
        return false;
    m_requests.insert(request);
    return true;
}

bool CVodCore::SendReqFileInfo()
{
    if (m_trackerUrl.empty() || m_hash.empty())
        return false;
    return TrackRequest(PostTrackerRequest(m_window.Handle(), WM_VOD_HTTP_DONE, VOD_HTTP_REQFILEINFO,
                                           m_trackerUrl, BuildReqFileInfo(m_hash)));
}

bool CVodCore::SendReqPeer(const std::wstring& url)
{
    if (url.empty() || m_hash.empty() || !m_network)
        return false;
    PeerAddress self;
    if (!OwnAddress(self, false))
        return false;
    if (!TrackRequest(PostTrackerRequest(m_window.Handle(), WM_VOD_HTTP_DONE, VOD_HTTP_REQPEER, url,
                                         BuildReqPeer(m_cid, self.id, m_hash, m_peersAsked))))
        return false;
    PostStatus(VOD_STATUS_ASKING_PEERS);
    m_steps.Mark(VOD_STEP_PEERS_ASKED);
    return true;
}

bool CVodCore::SendPeerOn()
{
    if (!m_network || m_trackerUrl.empty())
        return false;
    PeerAddress self;
    if (!OwnAddress(self, true))
        return false;
    return TrackRequest(PostTrackerRequest(m_window.Handle(), WM_VOD_HTTP_DONE, VOD_HTTP_PEERON,
                                           m_trackerUrl, BuildPeerOn(m_cid, self.id, m_hash)));
}

void CVodCore::OnHttpDone(WPARAM kind, http::CHttpRequest* request)
{
    if (m_requests.erase(request) == 0)
        return;   // not one of ours, or already deleted
    std::unique_ptr<http::CHttpRequest> owned(request);
    if (kind == VOD_HTTP_REQFILEINFO)
        OnFileInfoReply(*request);
    else if (kind == VOD_HTTP_REQPEER)
        OnPeerReply(*request);
}

bool CVodCore::ReadReplyOrRetry(http::CHttpRequest& request, int& failures, UINT_PTR timer,
                                std::string& bytes)
{
    if (ReadTrackerReply(request, bytes))
        return true;
    if (++failures <= kMostTransferRetries)
        SetTimer(m_window.Handle(), timer, kRetryMs, nullptr);
    return false;
}

void CVodCore::OnPeerReply(http::CHttpRequest& request)
{
    std::string bytes;
    if (!ReadReplyOrRetry(request, m_peerFailures, VOD_TIMER_REQPEER, bytes))
        return;
    VodPeerReply reply;
    std::wstring redirect;
    if (ParsePeerReply(bytes.data(), bytes.size(), reply) && reply.success) {
        if (reply.hasPeerList) {
            StoreCandidates(reply.candidates, m_normal, m_seeds);
            if (!reply.pwd.empty()) {
                LRESULT answer = 0;
                if (m_owner != nullptr)
                    answer = SendMessageW(m_owner, WM_VOD_PASSWORD,
                                          reinterpret_cast<WPARAM>(reply.pwd.data()),
                                          static_cast<LPARAM>(reply.pwd.size()));
                if (answer == 0) {
                    m_normal.clear();
                    m_seeds.clear();
                }
            }
        } else {
            redirect = Widen(reply.redirect);
        }
    }
    if (!redirect.empty() && redirect != m_trackerUrl) {
        if (!SendReqPeer(redirect))
            PostStatus(VOD_STATUS_NO_PEERS);
        return;
    }
    if (m_normal.empty() && m_seeds.empty()) {
        PostStatus(VOD_STATUS_NO_PEERS);
        PostOwner(WM_VOD_CONNECTED, 0);
        return;
    }
    PostStatus(VOD_STATUS_PEERS_FOUND);
    m_steps.Mark(VOD_STEP_PEERS_FOUND);
    if (ConnectCandidates()) {
        PostStatus(VOD_STATUS_CONNECTING);
        PostOwner(WM_VOD_CONNECTED, 1);
    } else {
        PostOwner(WM_VOD_CONNECTED, 0);
    }
}

void CVodCore::PostOwner(UINT message, WPARAM wParam)
{
    if (m_owner != nullptr)
        PostMessageW(m_owner, message, wParam, 0);
}

void CVodCore::OnFileInfoReply(http::CHttpRequest& request)
{
    std::string bytes;
    if (!ReadReplyOrRetry(request, m_fileInfoFailures, VOD_TIMER_REQFILEINFO, bytes))
        return;
    VodFileInfo info;
    if (m_blockMap || !ParseFileInfoReply(bytes.data(), bytes.size(), info))
        return;
    m_size = info.size;
    m_bitRate = info.bitRate;
    if (m_size != 0) {
        m_steps.Mark(VOD_STEP_SIZE_KNOWN);
        OnSizeKnown();
    }
    if (m_bitRate == 0)
        m_bitRate = kDefaultBitRate;
}

// ---------------------------------------------------------------- seek and read

void CVodCore::OnSeek(std::uint64_t offset)
{
    if (!m_blockMap || offset >= static_cast<std::uint64_t>(m_size))
        return;
    if (m_mediaType == L"wmv") {
        const std::uint32_t block = static_cast<std::uint32_t>(offset / kVodBlockSize);
        const DWORD now = GetTickCount();
        if (block == m_lastWmvSeekBlock && now - m_lastWmvSeekTick < kWmvSeekRepeatMs)
            return;
        m_lastWmvSeekBlock = block;
        m_lastWmvSeekTick = now;
        offset = offset > kVodBlockSize ? offset - kVodBlockSize : 0;
    }
    m_wantedBlocks.clear();
    m_wantedPieces.clear();
    const std::uint32_t blockCount = m_blockMap->GetBlockCount();
    const std::uint32_t seekBlock = static_cast<std::uint32_t>(offset / kVodBlockSize);
    std::uint32_t start = seekBlock;
    while (start < blockCount && m_blockMap->IsBlockComplete(start))
        ++start;
    m_windowStart = start;
    m_contiguous = start;
    m_windowEnd = std::min<std::uint64_t>(std::uint64_t(start) + kWindowBlocks, blockCount - 1);
    for (std::uint32_t b = start + 1; b <= m_windowEnd; ++b)
        if (!m_blockMap->IsBlockComplete(b))
            m_wantedBlocks.insert(b);
    const std::uint32_t seekPiece = static_cast<std::uint32_t>(offset / kVodPieceSize);
    if (seekBlock == start && seekPiece % kVodPiecesPerBlock != 0)
        m_blockMap->AddMissingPieces(start, m_wantedPieces, seekPiece);
    else if (start < blockCount)
        m_wantedBlocks.insert(start);
    m_playStart = offset;
    m_readPosition = offset;
    m_reading = true;
}

void CVodCore::OnRead(WPARAM wParam)
{
    inf::ReceivedReadRecord record(wParam);
    if (!record)
        return;
    int n = 0;
    if (m_reading && m_blockMap)
        n = m_blockMap->Read(static_cast<std::int64_t>(record->offset), record->buffer,
                             static_cast<std::uint32_t>(std::max(record->length, 0)));
    if (!m_reading || !m_blockMap || (n == 0 && m_connected.empty())) {
        record->result = -1;
        return;
    }
    record->result = n;
    if (n > 0)
        m_steps.Mark(VOD_STEP_FIRST_READ);
    m_readPosition = n >= record->length ? record->offset + std::uint64_t(n) : record->offset;
}
