#pragma once

#include <string>

// The digest under which a password travels and is kept: MD5 of its text in
// the system code page, as 32 lower-case hexadecimal digits.
std::wstring PasswordDigest(const std::wstring& password);
