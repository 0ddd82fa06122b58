#pragma once

#include <string>

// The automatic channel login: posts "url=<page address>" to the login URL
// and waits here for the reply. True when its "login" is "success" in any
// case; a refused URL, a failed request or any other reply is false.
bool AutoLogin(const std::wstring& loginUrl, const std::wstring& pageAddress);
