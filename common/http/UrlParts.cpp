#include "common/http/UrlParts.h"

#include <vector>

namespace http {

bool CrackUrl(const std::wstring& url, UrlParts& parts)
{
    // Every part fits in a buffer as long as the whole URL.
    DWORD size = static_cast<DWORD>(url.size() + 1);
    std::vector<wchar_t> scheme(size), host(size), user(size), password(size), path(size),
        extra(size);
    URL_COMPONENTSW c = {};
    c.dwStructSize = sizeof c;
    c.lpszScheme = scheme.data();
    c.dwSchemeLength = size;
    c.lpszHostName = host.data();
    c.dwHostNameLength = size;
    c.lpszUserName = user.data();
    c.dwUserNameLength = size;
    c.lpszPassword = password.data();
    c.dwPasswordLength = size;
    c.lpszUrlPath = path.data();
    c.dwUrlPathLength = size;
    c.lpszExtraInfo = extra.data();
    c.dwExtraInfoLength = size;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &c))
        return false;
    parts.scheme.assign(c.lpszScheme, c.dwSchemeLength);
    parts.schemeNumber = c.nScheme;
    parts.host.assign(c.lpszHostName, c.dwHostNameLength);
    parts.port = c.nPort;
    parts.user.assign(c.lpszUserName, c.dwUserNameLength);
    parts.password.assign(c.lpszPassword, c.dwPasswordLength);
    parts.path.assign(c.lpszUrlPath, c.dwUrlPathLength);
    parts.extra.assign(c.lpszExtraInfo, c.dwExtraInfoLength);
    return true;
}

} // namespace http
