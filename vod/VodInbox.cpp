#include "vod/VodInbox.h"

bool VodInbox::Push(const PeerId& peer, const char* data, std::size_t length, bool urgent, bool& wake)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    wake = false;
    if (m_items.size() >= kMostQueued)
        return false;
    m_items.push_back(Item{peer, std::string(data, length)});
    wake = !m_wakePending && (urgent || m_items.size() >= kWakeAt);
    m_wakePending = m_wakePending || wake;
    return true;
}

std::deque<VodInbox::Item> VodInbox::TakeAll()
{
    std::deque<Item> items;
    std::lock_guard<std::mutex> lock(m_mutex);
    items.swap(m_items);
    m_wakePending = false;
    return items;
}

void VodInbox::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.clear();
    m_wakePending = false;
}
