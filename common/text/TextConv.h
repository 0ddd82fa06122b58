#pragma once

// UTF-16 to UTF-8, as the HTTP replies read as UTF-16 text are turned back
// into bytes for the bencode decoder. Windows-free.

#include <cstddef>
#include <cwchar>
#include <string>

// Converts count UTF-16 units into dest (no terminating NUL). A valid
// surrogate pair gives four bytes; a lone surrogate is written as the
// three-byte form of its own value. With destSize 0 nothing is written and the
// number of bytes needed is returned; otherwise the number written, or 0 when
// a sequence does not fit (the bytes already written stay).
std::size_t Utf16ToUtf8(const char16_t* src, std::size_t count, char* dest, std::size_t destSize);

// The UTF-16 text up to its NUL as UTF-8 in out; 0 (out untouched) for an
// empty text or a failed conversion.
int WideToUtf8(const char16_t* text, std::string& out);

#if WCHAR_MAX <= 0xFFFF
// Where wchar_t holds UTF-16 units (Windows).
std::size_t Utf16ToUtf8(const wchar_t* src, std::size_t count, char* dest, std::size_t destSize);
int WideToUtf8(const wchar_t* text, std::string& out);
#endif
