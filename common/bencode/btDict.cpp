#include "common/bencode/btDict.h"

#include <cstdio>

btDict::~btDict() {
    for (auto& entry : m_map)
        delete entry.second;
}

int btDict::Insert(const btString& key, btObject* value) {
    return m_map.emplace(key, value).second ? 0 : -1;
}

btObject* btDict::Find(const btString& key) const {
    auto it = m_map.find(key);
    return it != m_map.end() ? it->second : nullptr;
}

const btString* btDict::FirstKey() {
    m_cursor = m_map.begin();
    return m_cursor != m_map.end() ? &m_cursor->first : nullptr;
}

const btString* btDict::NextKey() {
    if (m_cursor == m_map.end())
        return nullptr;
    ++m_cursor;
    return m_cursor != m_map.end() ? &m_cursor->first : nullptr;
}

void btDict::Dump(int indent) const {
    DumpIndent(indent);
    std::printf("%p(DICT)={\n", static_cast<const void*>(this));
    for (const auto& entry : m_map) {
        entry.first.Dump(indent + 1);
        DumpIndent(indent + 1);
        std::fputs("=>\n", stdout);
        if (entry.second != nullptr)
            entry.second->Dump(indent + 2);
    }
    DumpIndent(indent);
    std::fputs("}\n", stdout);
}
