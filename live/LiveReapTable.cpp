#include "live/LiveReapTable.h"

#include "live/LivePeerSession.h"

LiveReapTable::~LiveReapTable() {
    for (const auto& entry : m_entries) {
        WaitForSingleObject(entry.first, INFINITE);
        delete entry.second;
        CloseHandle(entry.first);
    }
}

void LiveReapTable::Add(HANDLE event, LivePeerSession* session) {
    m_entries[event] = session;
}

std::size_t LiveReapTable::Reap() {
    std::size_t reaped = 0;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (WaitForSingleObject(it->first, 0) != WAIT_OBJECT_0) {
            ++it;
            continue;
        }
        delete it->second;
        CloseHandle(it->first);
        it = m_entries.erase(it);
        ++reaped;
    }
    return reaped;
}
