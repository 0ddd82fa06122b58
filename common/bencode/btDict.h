#pragma once

#include <cstdint>
#include <map>

#include "common/bencode/btObject.h"
#include "common/bencode/btString.h"
#include "common/bencode/btStringLess.h"

// Keys (copies owned by the map) to values (owned), in btStringLess order,
// which is also the order in which they are encoded.
class btDict : public btObject {
public:
    using Map = std::map<btString, btObject*, btStringLess>;

    btDict() : btObject(BT_DICT), m_cursor(m_map.end()) {}
    btDict(const btDict&) = delete;
    btDict& operator=(const btDict&) = delete;
    ~btDict() override;

    // -1 when the key is present: value is then not taken and stays the
    // caller's. Otherwise copies the key, takes value and returns 0.
    int Insert(const btString& key, btObject* value);
    // The value, or null; it stays the dictionary's.
    btObject* Find(const btString& key) const;

    // Walk the keys in map order; null after the last key.
    const btString* FirstKey();
    const btString* NextKey();

    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_map.size()); }
    Map::const_iterator begin() const { return m_map.begin(); }
    Map::const_iterator end() const { return m_map.end(); }

    void Dump(int indent = 0) const override;

private:
    Map m_map;
    Map::const_iterator m_cursor;
};
