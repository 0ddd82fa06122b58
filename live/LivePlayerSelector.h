#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "live/LiveBasePlayer.h"

// Picks the local player a stream header's type tag names and keeps one
// player of each kind for reuse. Select runs on the feeder's thread,
// StopCurrent also on the control's: the current-player lock keeps the two
// from interleaving, so a Stop cannot miss a player Select just started.
// Makes the player of a known tag; null for a tag that selects none.
typedef CLiveBasePlayer* (*LivePlayerFactory)(const std::string& tag);
CLiveBasePlayer* MakeLivePlayer(const std::string& tag);

class LivePlayerSelector {
public:
    explicit LivePlayerSelector(LivePlayerFactory factory = MakeLivePlayer);
    // Stops every cached player before deleting it (an accept or serve
    // thread must not outlive its object).
    ~LivePlayerSelector();
    LivePlayerSelector(const LivePlayerSelector&) = delete;
    LivePlayerSelector& operator=(const LivePlayerSelector&) = delete;

    // Stops the current player, then starts the one of header's tag; false
    // (no current player) for an unknown or "kxep" tag, a malformed header,
    // or a player that fails to start.
    bool Select(const char* header, std::uint32_t length);
    void StopCurrent();
    std::wstring GetUrl();
    std::wstring GetTitle();
    // The player the feeder pushes into; it lives as long as the selector.
    CLiveBasePlayer* Current();

private:
    // The cached player of tag, made on first use; null for none.
    CLiveBasePlayer* PlayerFor(const std::string& tag);

    static const int kSlots = 6;
    LivePlayerFactory m_factory;

    std::mutex m_currentLock;  // guards every field below
    CLiveBasePlayer* m_current;
    std::unique_ptr<CLiveBasePlayer> m_players[kSlots];
    std::wstring m_title;
};
