#include "net/DatagramQueue.h"

namespace uh {

void DatagramQueue::Open() {
    boost::mutex::scoped_lock lock(m_mutex);
    m_open = true;
}

void DatagramQueue::Close() {
    boost::mutex::scoped_lock lock(m_mutex);
    m_open = false;
    m_arrived.notify_all();
}

bool DatagramQueue::Push(const Datagram& datagram) {
    boost::mutex::scoped_lock lock(m_mutex);
    if (m_datagrams.size() >= m_limit)
        return false;
    m_datagrams.push_back(datagram);
    m_arrived.notify_one();
    return true;
}

bool DatagramQueue::Pop(Datagram& datagram) {
    boost::mutex::scoped_lock lock(m_mutex);
    while (m_open && m_datagrams.empty())
        m_arrived.wait(lock);
    if (!m_open)
        return false;
    datagram = m_datagrams.front();
    m_datagrams.pop_front();
    return true;
}

std::deque<DatagramQueue::Datagram> DatagramQueue::TakeAll() {
    boost::mutex::scoped_lock lock(m_mutex);
    std::deque<Datagram> left;
    left.swap(m_datagrams);
    return left;
}

}  // namespace uh
