// CLiveCore: settings, Start and Stop, the message and timer dispatch, the
// 100 ms tick, the statistics and the relay texts.
#include "live/LiveCore.h"

#include <mmsystem.h>

#include <cstdlib>

#include "common/http/HttpRequest.h"
#include "live/LiveEngineMessages.h"
#include "live/LivePeerSession.h"
#include "live/LivePpnNetwork.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "vod/RelayText.h"
#include "vod/VodEngineMessages.h"

namespace {

// Private: arms the engine's first window timers, which only the window's
// own thread can set.
const UINT WM_LIVE_BEGIN = 1550;

const UINT kReqPeerFirstMs = 500;
const UINT kReapMs = 5000;
const std::uint32_t kTickMs = 100;
const std::uint32_t kSecondMs = 1000;
// Bounds of what other peers can make this engine keep.
const std::size_t kMostRelayQueue = 256;

// What lParam of WM_LIVE_PEER_DATA points at.
struct LivePeerData {
    const char* data;
    std::int32_t length;
};

}  // namespace

CLiveCore::CLiveCore() : m_messageWindow(this), m_window(kLiveWindowCapacity), m_scheduler(m_window) {}

CLiveCore::~CLiveCore()
{
    // The control stops the engine first; this only covers a forgotten Stop.
    Stop();
}

void CLiveCore::SetNatServer(const std::string& host, std::uint16_t port)
{
    m_natHost = host;
    m_natPort = port;
}

void CLiveCore::SetPortRange(std::uint16_t low, std::uint16_t high)
{
    m_portLow = low;
    m_portHigh = high;
}

void CLiveCore::SetStartLag(std::uint32_t pieces)
{
    if (pieces != 0)
        m_startLag = pieces;
}

std::unique_ptr<ILiveNetwork> CLiveCore::MakeNetwork()
{
    return std::unique_ptr<ILiveNetwork>(new LivePpnNetwork);
}

// ---------------------------------------------------------------- lifecycle

bool CLiveCore::Start(HINSTANCE instance)
{
    if (m_started || m_channel == 0)
        return false;
    timeBeginPeriod(1);
    m_reap.reset(new LiveReapTable);
    if (m_messageWindow.Create(instance) != 1) {
        timeEndPeriod(1);
        return false;
    }
    // Everything below is undone by Stop. The timer queue comes before the
    // network core: the core calls back as soon as it runs.
    m_started = true;
    m_timerQueue = CreateTimerQueue();
    if (m_timerQueue == nullptr || !StartNetwork()) {
        Stop();
        return false;
    }
    PostStatus(LIVE_STATUS_LOGIN);
    SendMessageW(m_messageWindow.Handle(), WM_LIVE_BEGIN, 0, 0);
    return true;
}

bool CLiveCore::StartNetwork()
{
    PropertyMap properties;
    properties[PPN_PROP_NAT_SERVER] = m_natHost;
    properties[PPN_PROP_NAT_PORT] = std::to_string(m_natPort);
    properties[PPN_PROP_STUN_SERVER] = m_stunHost;
    properties[PPN_PROP_PORT_HIGH] = std::to_string(m_portHigh);
    properties[PPN_PROP_PORT_LOW] = std::to_string(m_portLow);
    // Set before the core starts: its threads call back at once, and the
    // engine thread sends through m_network.
    m_network = MakeNetwork();
    try {
        m_network->Start(properties, this);
    } catch (const ppn::PPNException&) {
        StopNetwork();
        return false;
    }
    return true;
}

void CLiveCore::StopNetwork()
{
    if (!m_network)
        return;
    m_network->Stop(this);
    m_network.reset();
}

void CLiveCore::StopFeeder()
{
    // Taken out under the lock and stopped outside it: the feeder thread may
    // be waiting on the engine thread, which may be waiting for the lock.
    std::unique_ptr<LiveFeeder> feeder;
    {
        std::lock_guard<std::mutex> lock(m_feederLock);
        feeder = std::move(m_feeder);
    }
    if (feeder)
        feeder->Stop();
}

void CLiveCore::Stop()
{
    if (!m_started)
        return;
    // The feeder, once there is one, stops here, before the engine thread;
    // again after it, for one a playback start made meanwhile.
    StopFeeder();
    // Ends the thread with its window timers: nothing of the engine thread
    // runs after this, and messages sent to it fail at once.
    m_messageWindow.Destroy();
    StopFeeder();
    StopNetwork();
    DeleteSessions();
    if (m_timerQueue != nullptr) {
        DeleteTimerQueueEx(m_timerQueue, INVALID_HANDLE_VALUE);
        m_timerQueue = nullptr;
    }
    m_tickTimer = nullptr;
    // Waits for the send timers being deleted; the queue's deletion above
    // has let every callback finish.
    m_reap.reset();
    timeEndPeriod(1);
    // Requests whose completion never arrived: deleting one ends its worker.
    for (http::CHttpRequest* request : m_requests)
        delete request;
    m_requests.clear();
    m_connections.Clear();
    m_scheduler.Clear();
    m_relaySequences.Clear();
    {
        std::lock_guard<std::mutex> lock(m_relayLock);
        m_relayQueue.clear();
    }
    m_started = false;
}

void CLiveCore::DeleteSessions()
{
    // Each waits for a running callback of its send timer.
    for (auto& entry : m_sessions)
        delete entry.second;
    m_sessions.clear();
    m_sessionCount = 0;
}

// ---------------------------------------------------------------- control's calls

bool CLiveCore::GetStatistic(int id, std::int64_t& value)
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

bool CLiveCore::GetDownloadRate(std::int32_t& rate)
{
    std::int64_t value = 0;
    if (!GetStatistic(PPN_STAT_SUDT_RECV_RATE, value))
        return false;
    rate = static_cast<std::int32_t>(value);
    return true;
}

bool CLiveCore::GetUploadRate(std::int32_t& rate)
{
    std::int64_t value = 0;
    if (!GetStatistic(PPN_STAT_SUDT_SEND_RATE, value))
        return false;
    rate = static_cast<std::int32_t>(value);
    return true;
}

bool CLiveCore::GetDownloadTotal(std::int64_t& bytes)
{
    return GetStatistic(PPN_STAT_SUDT_BYTES_RECEIVED, bytes);
}

bool CLiveCore::GetUploadTotal(std::int64_t& bytes)
{
    return GetStatistic(PPN_STAT_SUDT_BYTES_SENT, bytes);
}

bool CLiveCore::OwnAddress(PeerAddress& self, bool needLogin)
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

bool CLiveCore::PushRelay(const LiveRelayItem& item)
{
    std::lock_guard<std::mutex> lock(m_relayLock);
    if (m_relayQueue.size() >= kMostRelayQueue)
        return false;
    m_relayQueue.push_back(item);
    return true;
}

bool CLiveCore::QueueRelayText(const std::string& text)
{
    if (text.empty())
        return true;
    PeerAddress self;
    if (!OwnAddress(self, false))
        return false;
    std::lock_guard<std::mutex> lock(m_relayLock);
    if (m_relayQueue.size() >= kMostRelayQueue)
        return false;
    LiveRelayItem item;
    item.message = PeerRelayMsg::OwnText(self.id, ++m_relaySequence, text);
    m_relayQueue.push_back(item);
    return true;
}

void CLiveCore::NotifyPlayer(UINT message)
{
    // Without a window (before Start, after Stop) a null handle would post
    // to the caller's own queue.
    HWND window = m_messageWindow.Handle();
    if (window != nullptr)
        PostMessageW(window, message, 0, 0);
}

void CLiveCore::NotifyBuffering()
{
    NotifyPlayer(WM_LIVE_PLAYER_BUFFERING);
}

void CLiveCore::NotifyPlaying()
{
    NotifyPlayer(WM_LIVE_PLAYER_PLAYING);
}

void CLiveCore::NotifyPaused()
{
    NotifyPlayer(WM_LIVE_PLAYER_PAUSED);
}

void CLiveCore::NotifyStopped()
{
    NotifyPlayer(WM_LIVE_PLAYER_STOPPED);
}

std::wstring CLiveCore::GetPlayerUrl() const
{
    std::lock_guard<std::mutex> lock(m_playerUrlLock);
    return m_playerUrl;
}

// ---------------------------------------------------------------- feeder's calls

std::int32_t CLiveCore::GetPiece(std::uint32_t piece, char* buffer, std::uint32_t& length)
{
    return m_window.GetPiece(piece, buffer, length);
}

bool CLiveCore::RequestHeader(std::uint32_t id, std::string& bytes)
{
    bytes.clear();
    HWND window = m_messageWindow.Handle();
    if (window != nullptr)
        SendMessageW(window, WM_LIVE_GET_HEADER, id, reinterpret_cast<LPARAM>(&bytes));
    return !bytes.empty();
}

LRESULT CLiveCore::NotifyHost(UINT message, WPARAM wParam, LPARAM lParam, bool post)
{
    if (m_owner == nullptr)
        return 0;
    if (post)
        return PostMessageW(m_owner, message, wParam, lParam);
    return SendMessageW(m_owner, message, wParam, lParam);
}

LRESULT CLiveCore::NotifyHostTimeout(UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs)
{
    if (m_owner == nullptr)
        return 0;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(m_owner, message, wParam, lParam, 0, timeoutMs, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

void CLiveCore::SetPlayerUrl(const std::wstring& url)
{
    std::lock_guard<std::mutex> lock(m_playerUrlLock);
    m_playerUrl = url;
}

// ---------------------------------------------------------------- listener

void CLiveCore::OnEvent(const PeerId* peer, int event, int type)
{
    if (type == PPN_CONN_SRUDP && peer != nullptr)
        SendMessageW(m_messageWindow.Handle(), WM_LIVE_PEER_EVENT, reinterpret_cast<WPARAM>(peer), event);
}

void CLiveCore::OnReceive(const PeerId* peer, int, const char* data, int length)
{
    if (peer == nullptr || data == nullptr || length <= 0)
        return;
    LivePeerData record = {data, length};
    SendMessageW(m_messageWindow.Handle(), WM_LIVE_PEER_DATA, reinterpret_cast<WPARAM>(peer),
                 reinterpret_cast<LPARAM>(&record));
}

// ---------------------------------------------------------------- engine thread

LRESULT CLiveCore::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LIVE_PEER_EVENT:
        OnPeerEventMsg(*reinterpret_cast<const PeerId*>(wParam), static_cast<int>(lParam));
        break;
    case WM_LIVE_PEER_DATA: {
        const LivePeerData* data = reinterpret_cast<const LivePeerData*>(lParam);
        OnPeerData(*reinterpret_cast<const PeerId*>(wParam), data->data, data->length);
        break;
    }
    case WM_LIVE_SESSION_TICK:
        OnSessionTick(reinterpret_cast<LivePeerSession*>(wParam), lParam);
        break;
    case WM_LIVE_SESSION_RESULT:
        OnSessionResult(reinterpret_cast<LivePeerSession*>(wParam), lParam);
        break;
    case WM_LIVE_HTTP_DONE:
        OnHttpDone(wParam, reinterpret_cast<http::CHttpRequest*>(lParam));
        break;
    case WM_LIVE_SCHEDULE:
        OnTick();
        break;
    case WM_LIVE_GET_HEADER:
        m_scheduler.OnGetHeader(static_cast<std::uint32_t>(wParam), *reinterpret_cast<std::string*>(lParam));
        break;
    case WM_LIVE_PLAYER_BUFFERING:
    case WM_LIVE_PLAYER_PLAYING:
    case WM_LIVE_PLAYER_PAUSED:
    case WM_LIVE_PLAYER_STOPPED:
        m_noPacing = message == WM_LIVE_PLAYER_BUFFERING;
        if (message == WM_LIVE_PLAYER_BUFFERING || message == WM_LIVE_PLAYER_STOPPED) {
            std::lock_guard<std::mutex> lock(m_feederLock);
            if (m_feeder)
                m_feeder->Wake();
        }
        break;
    case WM_LIVE_BEGIN:
        SetTimer(m_messageWindow.Handle(), LIVE_TIMER_REAP, kReapMs, nullptr);
        SetTimer(m_messageWindow.Handle(), LIVE_TIMER_REQPEER, kReqPeerFirstMs, nullptr);
        break;
    default:
        break;
    }
    return 0;
}

void CLiveCore::OnTimer(UINT_PTR timerId)
{
    HWND window = m_messageWindow.Handle();
    switch (timerId) {
    case LIVE_TIMER_REQPEER:
        PostStatus(LIVE_STATUS_LOGGED_IN);
        if (SendReqPeer())
            KillTimer(window, LIVE_TIMER_REQPEER);
        else
            PostStatus(LIVE_STATUS_NO_PEERS);
        break;
    case LIVE_TIMER_REAP:
        m_reap->Reap();
        break;
    case LIVE_TIMER_START:
        ChooseStartPiece();
        KillTimer(window, LIVE_TIMER_START);
        break;
    case LIVE_TIMER_PEERON: {
        PeerAddress self;
        if (OwnAddress(self, true)) {
            SendPeerOn();
            KillTimer(window, LIVE_TIMER_PEERON);
        }
        break;
    }
    default:
        break;
    }
}

void CLiveCore::PostStatus(int stage)
{
    if (m_owner != nullptr)
        PostMessageW(m_owner, WM_LIVE_STATUS, static_cast<WPARAM>(stage), LiveStatusStringId(stage));
}

void CLiveCore::PostOwner(UINT message, WPARAM wParam)
{
    if (m_owner != nullptr)
        PostMessageW(m_owner, message, wParam, 0);
}

DWORD CLiveCore::Now()
{
    return timeGetTime();
}

void CLiveCore::SendToPeer(const PeerId& peer, int transport, const char* data, int length)
{
    m_network->Send(peer, transport, data, length);
}

void CLiveCore::ClosePeer(const PeerId& peer)
{
    m_network->Close(peer, PPN_CONN_SRUDP);
}

void CLiveCore::OnPeerData(const PeerId& peer, const char* data, int length)
{
    auto it = m_sessions.find(peer);
    if (it != m_sessions.end())
        it->second->OnPacket(data, static_cast<std::uint32_t>(length));
}

void CLiveCore::OnSessionTick(LivePeerSession* session, LPARAM tag)
{
    // The pointer is only looked up, never read, until it is known to be a
    // session of the table: a closed session waiting in the reap table, or
    // one already deleted, ticks nothing.
    if (tag != LIVE_SESSION_TICK_TAG || FindSession(session) == nullptr)
        return;
    session->OnSendTick();
}

LiveScheduler::Sessions CLiveCore::SessionList() const
{
    LiveScheduler::Sessions list;
    list.reserve(m_sessions.size());
    for (const auto& entry : m_sessions)
        list.push_back(entry.second);
    return list;
}

void CLiveCore::OnTick()
{
    m_scheduler.AdvanceWantedWindow();
    m_scheduler.CreateWantedSlots();
    m_scheduler.RewantHead();
    MaintainConnections();
    const LiveScheduler::Sessions sessions = SessionList();
    m_scheduler.RequestPieceInfo(sessions);
    m_scheduler.RequestHeaders(sessions);
    m_secondMs += kTickMs;
    if (m_secondMs >= kSecondMs) {
        m_secondMs = 0;
        m_scheduler.SendHave(sessions);
        m_scheduler.SendHeaderList(sessions);
        FlushRelay();
    }
    const LiveScheduler::Sessions eligible = m_scheduler.CollectEligibleSessions(SessionList());
    if (!eligible.empty()) {
        m_scheduler.ScheduleRequests(eligible);
        m_scheduler.UpkeepTables();
    }
}

// ---------------------------------------------------------------- relay texts

void CLiveCore::FlushRelay()
{
    std::lock_guard<std::mutex> lock(m_relayLock);
    if (m_relayQueue.empty())
        return;
    const LiveRelayItem item = m_relayQueue.front();
    m_relayQueue.pop_front();
    LiveMessage message;
    message.type = LIVE_MSG_RELAY;
    message.relay = item.message;
    nps::DefaultBlockBuffer buffer;
    try {
        PackLiveMessage(message, buffer);
    } catch (const nps::base_pack_error&) {
        return;
    }
    for (const auto& entry : m_sessions) {
        LivePeerSession* session = entry.second;
        if (session == item.source || !session->IsHandshaken())
            continue;
        if (item.message.kind == PeerRelayMsg::kKindText && session->NodeType() != 0)
            continue;
        session->Send(buffer.data, static_cast<int>(buffer.size), false);
    }
}

void CLiveCore::OnRelay(LivePeerSession& session, const PeerRelayMsg& relay)
{
    if (relay.hops == 0)
        return;
    PeerAddress self;
    if (!OwnAddress(self, false) || relay.origin == self.id)
        return;
    if (!m_relaySequences.Take(relay.origin, relay.sequence))
        return;
    if (relay.kind == PeerRelayMsg::kKindText)
        PostRelayText(m_owner, WM_LIVE_RELAY_TEXT, relay.text);
    if (relay.hops > 1) {
        LiveRelayItem item;
        item.source = &session;
        item.message = relay;
        --item.message.hops;
        PushRelay(item);
    }
}
