#pragma once

#include <winsock2.h>
#include <windows.h>

#include <map>

class LivePeerSession;

// Closed sessions whose send timer is still being deleted: each waits here
// with the event that the deletion sets once no tick of it can run any more.
// Owned by the engine and used on its thread.
class LiveReapTable {
public:
    LiveReapTable() = default;
    // Waits for every pending deletion, then deletes the sessions; the engine
    // thread must have ended (a running tick may be sending to it).
    ~LiveReapTable();
    LiveReapTable(const LiveReapTable&) = delete;
    LiveReapTable& operator=(const LiveReapTable&) = delete;

    // Takes the session and the event.
    void Add(HANDLE event, LivePeerSession* session);
    // Deletes the sessions whose event is set; answers how many.
    std::size_t Reap();
    std::size_t Size() const { return m_entries.size(); }

private:
    std::map<HANDLE, LivePeerSession*> m_entries;
};
