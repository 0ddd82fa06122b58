#pragma once

// Before Boost: its headers bring in windows.h.
#include "net/Winsock.h"

#include <cstddef>
#include <deque>

#include "net/SectionLock.h"

namespace uh {

// Received datagrams on their way from the receive thread to the packet
// thread. Bounded: a flood must not grow it without limit, so a datagram that
// finds it full is dropped (its buffer stays with the caller).
class DatagramQueue {
public:
    struct Datagram {
        char* buffer;
        int length;
        sockaddr_in source;
    };

    explicit DatagramQueue(std::size_t limit);
    ~DatagramQueue();

    DatagramQueue(const DatagramQueue&) = delete;
    DatagramQueue& operator=(const DatagramQueue&) = delete;

    void Open();
    // Wakes the waiting Pop; Pop answers false from then on.
    void Close();

    // False when full.
    bool Push(const Datagram& datagram);
    // Waits for a datagram; false once the queue is closed. One thread pops.
    bool Pop(Datagram& datagram);
    // Takes out whatever is left, for its buffers to be freed.
    std::deque<Datagram> TakeAll();

private:
    const std::size_t m_limit;
    bool m_open;
    std::deque<Datagram> m_datagrams;
    bool m_waiting;   // the packet thread waits for m_arrived
    SectionLock m_lock;  // guards m_open, m_datagrams and m_waiting
    // Set by Push only when the packet thread waits for it, and by Close:
    // a steady stream of datagrams sets it seldom.
    HANDLE m_arrived;
};

}  // namespace uh
