#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "net/BandWidth.h"
#include "net/PeerAddress.h"
#include "net/PeerId.h"
#include "service/BlockCache.h"
#include "service/FileCompletionPort.h"

namespace ppn {
class PPNCore;
}
class CP2PNetListener;
class CVodRecordList;
class CVodSrvSession;

// Makes the videos of the record list available to peers that connect to
// it: one network core per configured count (each logged in to the NAT
// server), a serving session per connected peer, one block cache, one file
// completion port, and a timer queue on which the sessions' send ticks and
// the reaper of ended sessions run. A seeder never connects to anybody.
//
// Ended sessions are kept at least 10 s (and never while a read of theirs
// is under way) so that late completions and ticks find them intact.
//
// Locks: the session lock guards the session maps and the ended list; it
// is never held while a session's own locks are taken, except by Stop,
// which closes each session under it.
class VodSeeder {
public:
    static constexpr int kDefaultCoreCount = 5;
    static constexpr DWORD kReapPeriodMs = 10000;
    static constexpr DWORD kRetireMs = 10000;

    explicit VodSeeder(CVodRecordList* records);
    ~VodSeeder();

    VodSeeder(const VodSeeder&) = delete;
    VodSeeder& operator=(const VodSeeder&) = delete;

    void SetNatServer(const std::string& host, std::uint16_t port);
    void SetStunServer(const std::string& host);
    void SetPortRange(std::uint16_t low, std::uint16_t high);
    void SetCacheSize(int bytes);
    void SetCoreCount(int count);
    // Kilobytes (1000 bytes) per second; 0 is unlimited.
    void SetUploadLimit(int kilobytesPerSecond);

    // 1 when running (also when it was already), 0 on failure.
    int Start();
    void Stop();
    bool IsStarted() const { return m_started; }

    // 1 when every core is logged in to the NAT server.
    int IsLoggedIn();
    // One 20-byte id per core; 0 (and an empty list) when a core is not
    // logged in or the seeder does not run.
    int GetPeerIds(std::list<std::string>& ids);
    // Each core's own address (id, public and local endpoints), as GetPeerIds.
    int GetAddresses(std::vector<PeerAddress>& addresses);
    // Whether the record list holds the video of this 16-byte content hash.
    bool HasVideo(const unsigned char hash[16]);
    // 1 when a piece message of n bytes may leave now (and counts it).
    int CheckUploadBudget(std::uint32_t bytes);

    // Called by the listeners, with the core that reported.
    void OnNetEvent(ppn::PPNCore* core, const PeerId& peer, int event);
    void OnNetReceive(ppn::PPNCore* core, const PeerId& peer, const char* data, int length);

    // Session bookkeeping, each under the session lock.
    CVodSrvSession* FindSession(ppn::PPNCore* core, const PeerId& peer);
    void AddSession(ppn::PPNCore* core, const PeerId& peer, CVodSrvSession* session);
    CVodSrvSession* RemoveSession(ppn::PPNCore* core, const PeerId& peer);
    void RetireSession(CVodSrvSession* session);

    // What the sessions use.
    CVodRecordList* GetRecordList() const { return m_records; }
    BlockCache* GetBlockCache() { return &m_cache; }
    FileCompletionPort* GetCompletionPort() { return &m_port; }
    HANDLE GetTimerQueue() const { return m_timerQueue; }
    int GetUploadLimit() const { return m_uploadLimit; }

    // Figures for the host program and the tests.
    std::size_t GetSessionCount();
    std::size_t GetEndedSessionCount();
    // Piece messages let through by the upload budget, and refused.
    std::uint64_t GetPiecesPassed() const { return m_piecesPassed; }
    std::uint64_t GetPiecesRefused() const { return m_piecesRefused; }
    std::uint64_t GetBytesPassed() const { return m_bytesPassed; }

private:
    static VOID CALLBACK ReapThunk(PVOID context, BOOLEAN);
    void Reap();
    bool CreateCore();
    void DeleteCores();
    // Takes a session out of service: inactive, its send timer gone.
    void EndSession(CVodSrvSession* session);

    typedef std::map<PeerId, CVodSrvSession*, PeerIdLess> SessionMap;

    int m_coreCount = kDefaultCoreCount;
    std::vector<std::unique_ptr<ppn::PPNCore>> m_cores;
    std::map<ppn::PPNCore*, CP2PNetListener*> m_listeners;
    boost::recursive_mutex m_sessionLock;
    std::map<ppn::PPNCore*, SessionMap> m_sessions;
    std::list<std::pair<CVodSrvSession*, DWORD>> m_ended;
    // Set by Stop under the session lock: from then on no session is made.
    bool m_stopping = false;
    std::string m_natHost;
    std::uint16_t m_natPort = 0;
    std::string m_stunServer;
    std::uint16_t m_portLow = 0;
    std::uint16_t m_portHigh = 0;
    FileCompletionPort m_port;
    CVodRecordList* m_records;
    HANDLE m_timerQueue = nullptr;
    HANDLE m_reaper = nullptr;
    boost::mutex m_lookupLock;
    BlockCache m_cache;
    int m_cacheSize = 0;
    int m_uploadLimit = 0;
    boost::mutex m_meterLock;
    util::BandWidth m_meter;
    bool m_started = false;
    std::atomic<std::uint64_t> m_piecesPassed{0};
    std::atomic<std::uint64_t> m_piecesRefused{0};
    std::atomic<std::uint64_t> m_bytesPassed{0};
};
