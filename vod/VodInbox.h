#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include "net/PeerId.h"

// Messages of the network core on their way to the engine thread. The core's
// threads queue a copy of each; the engine takes everything queued, in
// arrival order, whenever it is woken and before it schedules or answers a
// read. Only an urgent message (anything but a piece) wakes it, or a backlog
// of kWakeAt, and only when no wake is pending: a stream of pieces costs the
// engine a window message per batch, not a cross-thread SendMessage each
// (under Wine several wineserver round trips per datagram). Bounded: what
// finds it full is dropped, as a full socket buffer would drop it; the engine
// asks again for pieces that did not come.
class VodInbox {
public:
    struct Item {
        PeerId peer;
        std::string bytes;
    };

    static constexpr std::size_t kMostQueued = 4096;
    static constexpr std::size_t kWakeAt = 256;

    // Queues a copy of the message. wake is set when the caller must wake the
    // engine thread. False when full: nothing queued.
    bool Push(const PeerId& peer, const char* data, std::size_t length, bool urgent, bool& wake);
    // Everything queued, in order; the next Push wakes again.
    std::deque<Item> TakeAll();
    // Drops everything; the next Push wakes again.
    void Clear();

private:
    std::mutex m_mutex;   // guards both members
    std::deque<Item> m_items;
    bool m_wakePending = false;
};
