#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "live/LiveBasePlayer.h"
#include "live/LiveSockets.h"

// Serves ASF data to Windows Media clients itself, with the "$H"/"$D"
// framing of the Windows Media HTTP streaming protocol, paced to real time
// ("mmsp": records arrive framed; "wmv2": records are bare ASF packets).
// A client's first request gets the header; its next request (or a first
// one asking for a stream switch) makes it a streaming client.
class CLiveWMPushPlayer : public CLiveBasePlayer {
public:
    explicit CLiveWMPushPlayer(bool framed);
    ~CLiveWMPushPlayer() override;
    bool Start(const char* header, std::uint32_t length) override;
    int PushData(const char* record, std::uint32_t length, std::uint32_t pieceLength, bool noPacing) override;
    void Tick(std::uint32_t piece, std::uint32_t elapsedMs, bool noPacing) override;
    void Stop() override;
    std::wstring GetUrl() override;
    // Shuts every streaming client down.
    void Finish() override;

private:
    static DWORD WINAPI ServeThread(LPVOID self);
    void Serve();
    bool FirstRequest(SOCKET client);
    void NextRequest(SOCKET client);
    bool SendReply(SOCKET client, const std::string& reply);
    // Waits up to delayMs (at most 1000) on a one-shot timer; Stop cuts it short.
    void Pace(std::uint32_t delayMs);

    LiveWinsockUse m_winsock;
    std::atomic<bool> m_serving;
    const bool m_framed;
    HANDLE m_serveThread;
    HANDLE m_serveStopped;   // manual-reset, set by Stop: ends a retry wait
    std::atomic<bool> m_running;
    std::atomic<SOCKET> m_listener;
    std::uint16_t m_port;  // kept across Stop: Start tries it first
    std::mutex m_clientLock;          // guards m_streaming, m_packet, m_sequence
    std::vector<SOCKET> m_streaming;
    std::vector<SOCKET> m_pending;  // serve thread only
    std::string m_framedHeader;
    std::uint32_t m_sequence;
    std::string m_packet;
    // Lives as long as the object: a timer armed before Stop may still fire.
    HANDLE m_pacing;
    std::atomic<bool> m_stopping;
    // Feeder thread only: when the current piece's first paced record left,
    // and the shares of its records so far.
    bool m_pieceTimed;
    DWORD m_pieceStart;
    std::uint32_t m_pieceDue;
};
