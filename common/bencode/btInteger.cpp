#include "common/bencode/btInteger.h"

#include <cinttypes>
#include <cstdio>

void btInteger::Dump(int indent) const {
    DumpIndent(indent);
    std::printf("%p(INTEGER)=%" PRId64 "\n", static_cast<const void*>(this), m_value);
}
