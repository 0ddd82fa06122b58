#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <map>

#include "net/PeerId.h"

// The newest relay sequence taken from each origin, so that a text flooded
// back along another path is dropped. At most kMostOrigins origins are
// remembered; a new origin beyond them evicts the one seen least recently,
// so that forged origins cannot silence every later chatter.
class RelaySequences {
public:
    static constexpr std::size_t kMostOrigins = 4096;

    // True (and remembered) when sequence is newer than any taken from origin.
    bool Take(const PeerId& origin, std::uint32_t sequence)
    {
        auto seen = m_newest.find(origin);
        if (seen != m_newest.end()) {
            if (seen->second.sequence >= sequence)
                return false;
            seen->second.sequence = sequence;
            m_byAge.splice(m_byAge.end(), m_byAge, seen->second.age);
            return true;
        }
        if (m_newest.size() >= kMostOrigins) {
            m_newest.erase(m_byAge.front());
            m_byAge.pop_front();
        }
        m_byAge.push_back(origin);
        m_newest[origin] = Entry{sequence, std::prev(m_byAge.end())};
        return true;
    }

    void Clear()
    {
        m_newest.clear();
        m_byAge.clear();
    }

private:
    typedef std::list<PeerId> AgeList;   // least recently taken first
    struct Entry {
        std::uint32_t sequence;
        AgeList::iterator age;
    };
    std::map<PeerId, Entry, PeerIdLess> m_newest;
    AgeList m_byAge;
};
