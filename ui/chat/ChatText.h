#pragma once

#include <windows.h>

#include <string>

// A text of this module's string table; empty when it is missing.
std::wstring LoadChatText(UINT id);

// Narrow text in the ANSI code page to UTF-16, as older chat records carry it.
std::u16string AnsiToUtf16Text(const char* bytes, std::size_t length);

// A cookie value: %XX escapes (either case) become their bytes in the ANSI
// code page; everything else, "+" included, stays.
std::wstring UnescapeCookieValue(const std::wstring& value);
