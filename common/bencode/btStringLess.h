#pragma once

#include "common/bencode/btString.h"

// Order of dictionary keys: bytes compared as unsigned over the shorter
// length, then the shorter key first. Keys that differ only after an
// embedded NUL stay distinct.
struct btStringLess {
    bool operator()(const btString& a, const btString& b) const;
};
