#pragma once

// Before Boost: its headers bring in windows.h.
#include "net/Winsock.h"

#include <cstddef>
#include <deque>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

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

    explicit DatagramQueue(std::size_t limit) : m_limit(limit), m_open(false) {}

    DatagramQueue(const DatagramQueue&) = delete;
    DatagramQueue& operator=(const DatagramQueue&) = delete;

    void Open();
    // Wakes the waiting Pop; Pop answers false from then on.
    void Close();

    // False when full.
    bool Push(const Datagram& datagram);
    // Waits for a datagram; false once the queue is closed.
    bool Pop(Datagram& datagram);
    // Takes out whatever is left, for its buffers to be freed.
    std::deque<Datagram> TakeAll();

private:
    const std::size_t m_limit;
    bool m_open;
    std::deque<Datagram> m_datagrams;
    boost::mutex m_mutex;  // guards m_open and m_datagrams
    boost::condition_variable m_arrived;
};

}  // namespace uh
