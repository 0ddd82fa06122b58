#pragma once

#include <cstdint>
#include <vector>

#include "common/bencode/btObject.h"

// Values in insertion order; owns them.
class btList : public btObject {
public:
    btList() : btObject(BT_LIST) {}
    btList(const btList&) = delete;
    btList& operator=(const btList&) = delete;
    ~btList() override;

    // Takes ownership; always 0.
    int Append(btObject* object);
    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_items.size()); }
    // No range check: callers test index against GetCount().
    btObject* GetAt(std::int32_t index) const { return m_items[static_cast<std::size_t>(index)]; }

    void Dump(int indent = 0) const override;

private:
    std::vector<btObject*> m_items;
};
