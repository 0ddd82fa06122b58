#pragma once

// Texts kept in fixed wide-character arrays. Header-only, so that the small
// DLLs use it without linking the shared library.
#include <wchar.h>

#include <cstddef>

// Copies the whole text with its terminator, or refuses it (and leaves the
// array as it was) when it does not fit.
template <std::size_t N>
bool CopyText(wchar_t (&to)[N], const wchar_t* from)
{
    std::size_t length = wcslen(from);
    if (length >= N)
        return false;
    wmemcpy(to, from, length + 1);
    return true;
}
