#include "common/bencode/btStringLess.h"

#include <cstring>

bool btStringLess::operator()(const btString& a, const btString& b) const {
    const std::int32_t n = a.GetLength() < b.GetLength() ? a.GetLength() : b.GetLength();
    const int c = n > 0 ? std::memcmp(a.GetData(), b.GetData(), static_cast<std::size_t>(n)) : 0;
    if (c != 0)
        return c < 0;
    return a.GetLength() < b.GetLength();
}
