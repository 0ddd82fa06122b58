#include "net/DatagramQueue.h"

namespace uh {

DatagramQueue::DatagramQueue(std::size_t limit)
    : m_limit(limit), m_open(false), m_waiting(false), m_arrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DatagramQueue::~DatagramQueue() {
    if (m_arrived != nullptr)
        CloseHandle(m_arrived);
}

void DatagramQueue::Open() {
    SectionHolder hold(m_lock);
    m_open = true;
}

void DatagramQueue::Close() {
    {
        SectionHolder hold(m_lock);
        m_open = false;
    }
    SetEvent(m_arrived);
}

bool DatagramQueue::Push(const Datagram& datagram) {
    bool wake = false;
    {
        SectionHolder hold(m_lock);
        if (m_datagrams.size() >= m_limit)
            return false;
        m_datagrams.push_back(datagram);
        wake = m_waiting;
        m_waiting = false;
    }
    if (wake)
        SetEvent(m_arrived);
    return true;
}

bool DatagramQueue::Pop(Datagram& datagram) {
    for (;;) {
        {
            SectionHolder hold(m_lock);
            if (!m_open)
                return false;
            if (!m_datagrams.empty()) {
                datagram = m_datagrams.front();
                m_datagrams.pop_front();
                return true;
            }
            m_waiting = true;
        }
        // A wake left over from an earlier Push or Close only loops once more.
        if (WaitForSingleObject(m_arrived, INFINITE) != WAIT_OBJECT_0)
            Sleep(1);   // no event could be made: poll
    }
}

std::deque<DatagramQueue::Datagram> DatagramQueue::TakeAll() {
    SectionHolder hold(m_lock);
    std::deque<Datagram> left;
    left.swap(m_datagrams);
    return left;
}

}  // namespace uh
