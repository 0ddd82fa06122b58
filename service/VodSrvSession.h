#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include "net/PeerId.h"
#include "service/IReadNotify2.h"
#include "service/SendPacer.h"

namespace ppn {
class PPNCore;
}
class BlockReader;
class VodSeeder;
struct VodHelloMsg;
struct VodRequestMsg;

// Serves one peer connected to a seeder: answers its hello with the video's
// availability, queues the pieces its requests name, reads them through a
// BlockReader and sends them as raw datagrams paced by a send timer whose
// rate follows the loss the peer reports, and confirms each request whose
// pieces all left with a done message.
//
// Threads: OnPacket on the core's notify or packet thread, the send tick on
// the seeder's timer-queue threads, OnReadDone on the completion workers;
// all three may run at once. Locks in the order statistics, request, ready;
// the timer lock is taken last and alone.
class CVodSrvSession : public IReadNotify2 {
public:
    static constexpr int kMaxPending = 5;       // pieces being read or waiting to leave
    static constexpr int kStartRate = 800000;   // bits per second
    static constexpr int kMinRate = 40000;
    static constexpr int kMaxRate = 12800000;
    static constexpr int kRateStep = 40000;
    static constexpr int kMaxStep = 16;
    static constexpr int kWindowMs = 3000;      // rate adjusted at most this often

    CVodSrvSession(VodSeeder* seeder, ppn::PPNCore* core, const PeerId& peer);
    // Deletes the send timer (waiting for a tick), gives the ready buffers
    // back and releases the reader, which closes the data files it opened.
    ~CVodSrvSession() override;

    CVodSrvSession(const CVodSrvSession&) = delete;
    CVodSrvSession& operator=(const CVodSrvSession&) = delete;

    void OnPacket(const char* data, int length);
    void OnReadDone(std::uint32_t piece, char* buffer, std::uint32_t length,
                    bool failed) override;

    // Closes the peer's reliable connection, then Deactivate.
    void Close();
    // Stops serving: inactive, and the send timer deleted after its running
    // tick (if any) ended. Never called on a timer-queue thread of this session.
    void Deactivate();

    bool IsActive() const { return m_active; }
    int GetReadsInFlight() const { return m_readsInFlight; }
    const PeerId& GetPeer() const { return m_peer; }
    int GetRate();

private:
    struct Ready {
        std::uint32_t piece;
        char* buffer;
        std::uint32_t length;
    };

    static VOID CALLBACK SendTickThunk(PVOID context, BOOLEAN);
    void SendTick();
    void OnHello(const VodHelloMsg& hello);
    void OnRequest(const VodRequestMsg& request);
    void AdjustRate();
    void SetPacing();
    bool SendOnePiece();
    void StartReads();
    void SendPiece(const Ready& ready);
    void SendReliable(const char* data, std::uint32_t length);
    void StartSendTimer();
    void DeleteSendTimer();
    void DropQueues();

    std::atomic<bool> m_active{false};
    VodSeeder* m_seeder;
    ppn::PPNCore* m_core;
    PeerId m_peer;
    unsigned char m_hash[16] = {};
    std::unique_ptr<BlockReader> m_reader;

    boost::recursive_mutex m_requestLock;
    std::deque<std::uint32_t> m_requests;
    std::uint32_t m_lastRequest = 0;
    std::uint32_t m_lastDone = 0;

    boost::recursive_mutex m_readyLock;
    std::deque<Ready> m_ready;
    std::atomic<int> m_readsInFlight{0};

    boost::recursive_mutex m_statsLock;
    float m_averageRatio1 = 0, m_averageRatio2 = 0;
    float m_sum1 = 0, m_sum2 = 0;
    int m_reportCount = 0;
    int m_elapsedMs = 0;
    int m_direction = 1;  // 0 down, 1 hold, 2 up
    int m_step = 0;
    int m_rate = kStartRate;
    int m_periodMs = 1;
    float m_exactPeriodMs = 0;
    SendPacer m_pacer;

    boost::mutex m_timerLock;
    HANDLE m_sendTimer = nullptr;
    // Set while a send tick runs: a tick that finds it set returns at once.
    std::atomic<bool> m_ticking{false};
};
