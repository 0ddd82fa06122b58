#include "common/bencode/btList.h"

#include <cstdio>

btList::~btList() {
    for (btObject* item : m_items)
        delete item;
}

int btList::Append(btObject* object) {
    m_items.push_back(object);
    return 0;
}

void btList::Dump(int indent) const {
    DumpIndent(indent);
    std::printf("%p(LIST)={\n", static_cast<const void*>(this));
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        DumpIndent(indent + 1);
        std::printf("[%d]\n", static_cast<int>(i));
        if (m_items[i] != nullptr)
            m_items[i]->Dump(indent + 2);
    }
    DumpIndent(indent);
    std::fputs("}\n", stdout);
}
