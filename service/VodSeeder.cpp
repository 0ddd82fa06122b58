#include "service/VodSeeder.h"

#include <mmsystem.h>

#include <cstdio>

#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "net/PropertyMap.h"
#include "service/P2PNetListener.h"
#include "service/VodRecordList.h"
#include "service/VodSrvSession.h"

VodSeeder::VodSeeder(CVodRecordList* records) : m_records(records) {}

VodSeeder::~VodSeeder() {
    Stop();
    m_sessions.clear();
}

void VodSeeder::SetNatServer(const std::string& host, std::uint16_t port) {
    m_natHost = host;
    m_natPort = port;
}

void VodSeeder::SetStunServer(const std::string& host) { m_stunServer = host; }

void VodSeeder::SetPortRange(std::uint16_t low, std::uint16_t high) {
    m_portLow = low;
    m_portHigh = high;
}

void VodSeeder::SetCacheSize(int bytes) { m_cacheSize = bytes; }
void VodSeeder::SetCoreCount(int count) { m_coreCount = count; }
void VodSeeder::SetUploadLimit(int kilobytesPerSecond) {
    m_uploadLimit = kilobytesPerSecond > 0 ? kilobytesPerSecond : 0;
}

// ------------------------------------------------------------------ start and stop

int VodSeeder::Start() {
    if (m_started)
        return 1;
    timeBeginPeriod(1);
    m_cache.SetCapacity(m_cacheSize / static_cast<int>(BlockCache::kBufferSize));
    if (!m_port.Start()) {
        timeEndPeriod(1);
        return 0;
    }
    {
        boost::recursive_mutex::scoped_lock lock(m_sessionLock);
        m_stopping = false;
    }
    for (int i = 0; i < m_coreCount; ++i) {
        if (!CreateCore()) {
            DeleteCores();
            m_port.Stop();
            timeEndPeriod(1);
            return 0;
        }
    }
    m_timerQueue = CreateTimerQueue();
    if (!m_timerQueue ||
        !CreateTimerQueueTimer(&m_reaper, m_timerQueue, &VodSeeder::ReapThunk, this,
                               kReapPeriodMs, kReapPeriodMs, WT_EXECUTEDEFAULT)) {
        if (m_timerQueue)
            DeleteTimerQueueEx(m_timerQueue, INVALID_HANDLE_VALUE);
        m_timerQueue = nullptr;
        m_reaper = nullptr;
        DeleteCores();
        m_port.Stop();
        timeEndPeriod(1);
        return 0;
    }
    m_started = true;
    return 1;
}

bool VodSeeder::CreateCore() {
    std::unique_ptr<ppn::PPNCore> core(new ppn::PPNCore());
    std::unique_ptr<CP2PNetListener> listener(new CP2PNetListener(this, core.get()));
    PropertyMap properties;
    properties[PPN_PROP_NAT_SERVER] = m_natHost;
    properties[PPN_PROP_NAT_PORT] = std::to_string(m_natPort);
    properties[PPN_PROP_STUN_SERVER] = m_stunServer;
    properties[PPN_PROP_PORT_HIGH] = std::to_string(m_portHigh);
    properties[PPN_PROP_PORT_LOW] = std::to_string(m_portLow);
    properties[PPN_PROP_LOGIN_INTERVAL] = "5000";
    properties[PPN_PROP_LOGOUT_INTERVAL] = "1000";
    properties[PPN_PROP_KEEPALIVE_INTERVAL] = "20";
    {
        boost::recursive_mutex::scoped_lock lock(m_sessionLock);
        m_sessions[core.get()];
    }
    try {
        core->AddListener(listener.get());
        core->SetProperties(properties);
        core->StartListen(0);
    } catch (const ppn::PPNException&) {
        core->RemoveListener(listener.get());
        boost::recursive_mutex::scoped_lock lock(m_sessionLock);
        m_sessions.erase(core.get());
        return false;
    }
    m_listeners[core.get()] = listener.release();
    m_cores.push_back(std::move(core));
    return true;
}

void VodSeeder::DeleteCores() {
    for (std::unique_ptr<ppn::PPNCore>& core : m_cores) {
        auto listener = m_listeners.find(core.get());
        try {
            if (listener != m_listeners.end())
                core->RemoveListener(listener->second);
            core->Stop();
        } catch (const ppn::PPNException&) {
        }
        if (listener != m_listeners.end()) {
            delete listener->second;
            m_listeners.erase(listener);
        }
        core.reset();
    }
    m_cores.clear();
    m_listeners.clear();
}

void VodSeeder::Stop() {
    if (!m_started)
        return;
    DeleteTimerQueueTimer(m_timerQueue, m_reaper, INVALID_HANDLE_VALUE);
    m_reaper = nullptr;
    // The listeners go first: once RemoveListener returned, no event or
    // message is being handled (the call in progress has ended), so none can
    // still end a session or start a send timer on the queue deleted below.
    for (auto& listener : m_listeners)
        listener.first->RemoveListener(listener.second);
    {
        boost::recursive_mutex::scoped_lock lock(m_sessionLock);
        m_stopping = true;
        for (auto& core : m_sessions)
            for (auto& session : core.second)
                session.second->Close();
    }
    DeleteTimerQueueEx(m_timerQueue, INVALID_HANDLE_VALUE);
    m_timerQueue = nullptr;
    DeleteCores();
    m_port.Stop();
    {
        boost::recursive_mutex::scoped_lock lock(m_sessionLock);
        for (auto& core : m_sessions)
            for (auto& session : core.second)
                delete session.second;
        m_sessions.clear();
        for (auto& ended : m_ended)
            delete ended.first;
        m_ended.clear();
    }
    m_cache.Clear();
    timeEndPeriod(1);
    m_started = false;
}

// ------------------------------------------------------------------ queries

int VodSeeder::IsLoggedIn() {
    std::vector<PeerAddress> addresses;
    return GetAddresses(addresses);
}

int VodSeeder::GetPeerIds(std::list<std::string>& ids) {
    ids.clear();
    std::vector<PeerAddress> addresses;
    if (!GetAddresses(addresses))
        return 0;
    for (const PeerAddress& address : addresses)
        ids.push_back(std::string(reinterpret_cast<const char*>(address.id.bytes), PeerId::kSize));
    return 1;
}

int VodSeeder::GetAddresses(std::vector<PeerAddress>& addresses) {
    addresses.clear();
    if (!m_started)
        return 0;
    try {
        for (const std::unique_ptr<ppn::PPNCore>& core : m_cores) {
            PeerAddress address;
            core->GetLocalAddress(address, true);
            addresses.push_back(address);
        }
    } catch (const ppn::PPNException&) {
        addresses.clear();
        return 0;
    }
    return 1;
}

bool VodSeeder::HasVideo(const unsigned char hash[16]) {
    boost::mutex::scoped_lock lock(m_lookupLock);
    return m_records->HasRecord(HashText(hash));
}

int VodSeeder::CheckUploadBudget(std::uint32_t bytes) {
    if (m_uploadLimit != 0) {
        boost::mutex::scoped_lock lock(m_meterLock);
        const long long average = m_meter.CurrentSendRate();
        if (static_cast<long long>(m_uploadLimit) * 1000 < average) {
            ++m_piecesRefused;
            return 0;
        }
        m_meter.AddSent(bytes);
    }
    ++m_piecesPassed;
    m_bytesPassed += bytes;
    return 1;
}

// ------------------------------------------------------------------ sessions

CVodSrvSession* VodSeeder::FindSession(ppn::PPNCore* core, const PeerId& peer) {
    boost::recursive_mutex::scoped_lock lock(m_sessionLock);
    auto sessions = m_sessions.find(core);
    if (sessions == m_sessions.end())
        return nullptr;
    auto found = sessions->second.find(peer);
    return found == sessions->second.end() ? nullptr : found->second;
}

void VodSeeder::AddSession(ppn::PPNCore* core, const PeerId& peer, CVodSrvSession* session) {
    boost::recursive_mutex::scoped_lock lock(m_sessionLock);
    m_sessions[core][peer] = session;
}

CVodSrvSession* VodSeeder::RemoveSession(ppn::PPNCore* core, const PeerId& peer) {
    boost::recursive_mutex::scoped_lock lock(m_sessionLock);
    auto sessions = m_sessions.find(core);
    if (sessions == m_sessions.end())
        return nullptr;
    auto found = sessions->second.find(peer);
    if (found == sessions->second.end())
        return nullptr;
    CVodSrvSession* session = found->second;
    sessions->second.erase(found);
    return session;
}

void VodSeeder::RetireSession(CVodSrvSession* session) {
    boost::recursive_mutex::scoped_lock lock(m_sessionLock);
    m_ended.push_back(std::make_pair(session, timeGetTime()));
}

void VodSeeder::EndSession(CVodSrvSession* session) {
    session->Deactivate();
    RetireSession(session);
}

std::size_t VodSeeder::GetSessionCount() {
    boost::recursive_mutex::scoped_lock lock(m_sessionLock);
    std::size_t count = 0;
    for (const auto& core : m_sessions)
        count += core.second.size();
    return count;
}

std::size_t VodSeeder::GetEndedSessionCount() {
    boost::recursive_mutex::scoped_lock lock(m_sessionLock);
    return m_ended.size();
}

// ------------------------------------------------------------------ from the listeners

void VodSeeder::OnNetEvent(ppn::PPNCore* core, const PeerId& peer, int event) {
    if (event == PPN_EVENT_ACCEPTED) {
        std::unique_ptr<CVodSrvSession> fresh(new CVodSrvSession(this, core, peer));
        CVodSrvSession* replaced;
        {
            boost::recursive_mutex::scoped_lock lock(m_sessionLock);
            if (m_stopping)
                return;
            replaced = RemoveSession(core, peer);
            AddSession(core, peer, fresh.release());
        }
        if (replaced)
            EndSession(replaced);
    } else if (event == PPN_EVENT_TIMEOUT || event == PPN_EVENT_CLOSED) {
        if (CVodSrvSession* ended = RemoveSession(core, peer))
            EndSession(ended);
    }
}

void VodSeeder::OnNetReceive(ppn::PPNCore* core, const PeerId& peer, const char* data,
                             int length) {
    // Called outside the session lock: a session found in the live map is
    // deleted no sooner than 10 s after it left it.
    if (CVodSrvSession* session = FindSession(core, peer))
        session->OnPacket(data, length);
}

VOID CALLBACK VodSeeder::ReapThunk(PVOID context, BOOLEAN) {
    static_cast<VodSeeder*>(context)->Reap();
}

void VodSeeder::Reap() {
    const DWORD now = timeGetTime();
    boost::recursive_mutex::scoped_lock lock(m_sessionLock);
    for (auto it = m_ended.begin(); it != m_ended.end();) {
        // A session whose reads are still under way waits for the next round:
        // their completions call it back.
        if (now - it->second >= kRetireMs && it->first->GetReadsInFlight() == 0) {
            delete it->first;
            it = m_ended.erase(it);
        } else {
            ++it;
        }
    }
}
