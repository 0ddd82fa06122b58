#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "live/LiveFeederHost.h"
#include "live/LivePlayerSelector.h"

// The engine's consumer: one thread takes the channel's complete pieces in
// order, starts the local player each stream header names, tells the owner
// where it can be reached, and pushes every record into it.
class LiveFeeder {
public:
    LiveFeeder(ILiveFeederHost* engine, std::uint32_t bufferingSeconds,
               LivePlayerFactory factory = MakeLivePlayer);
    ~LiveFeeder();
    LiveFeeder(const LiveFeeder&) = delete;
    LiveFeeder& operator=(const LiveFeeder&) = delete;

    // False when a thread exists.
    bool Start();
    // The control's thread: ends a push in progress, waits for the thread,
    // destroys the players. False without a thread.
    bool Stop();
    // The hosted player reports buffering or stopped.
    void Wake();

private:
    static DWORD WINAPI Thread(LPVOID self);
    void Run();
    // Waits ms unless Stop comes first; false once running ended.
    bool Pause(DWORD ms);
    // False when running ended during the change.
    bool ChangeHeader(std::uint32_t id);
    void Countdown();
    void Feed(const char* piece, std::uint32_t length);

    ILiveFeederHost* m_engine;
    LivePlayerFactory m_factory;
    std::unique_ptr<LivePlayerSelector> m_selector;
    HANDLE m_thread;
    std::atomic<bool> m_running;
    std::uint32_t m_nextPiece;
    std::uint32_t m_currentHeader;
    HANDLE m_wake;  // auto-reset: buffering, stopped, Stop
    std::uint32_t m_bufferingSeconds;
    HANDLE m_stopped;  // manual-reset, set by Stop: cuts every pause short
    std::vector<char> m_piece;
};
