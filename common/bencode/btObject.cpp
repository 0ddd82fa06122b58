#include "common/bencode/btObject.h"

#include <cstdio>

btObject::~btObject() = default;

void btObject::DumpIndent(int indent) {
    for (int i = 0; i < indent; ++i)
        std::fputs("   ", stdout);
}
