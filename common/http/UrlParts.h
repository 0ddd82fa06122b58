#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

namespace http {

// A URL taken apart by the platform. POST requests use host, port, user
// name, password and path; the query (extra) is never sent.
struct UrlParts {
    std::wstring scheme;
    INTERNET_SCHEME schemeNumber = INTERNET_SCHEME_UNKNOWN;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring user;
    std::wstring password;
    std::wstring path;
    std::wstring extra;
};

bool CrackUrl(const std::wstring& url, UrlParts& parts);

} // namespace http
