#include "platform/standins/HttpUrl.h"

#include <cstdlib>

namespace standins {

bool SplitHttpUrl(const std::wstring& url, HttpUrl* out)
{
    const std::wstring scheme = L"http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    const std::wstring rest = url.substr(scheme.size());
    const size_t slash = rest.find(L'/');
    const std::wstring authority = rest.substr(0, slash);
    const std::wstring path = slash == std::wstring::npos ? L"/" : rest.substr(slash);
    const size_t colon = authority.find(L':');
    out->authority.assign(authority.begin(), authority.end());
    out->host.assign(authority.begin(),
                     colon == std::wstring::npos ? authority.end() : authority.begin() + colon);
    out->port = colon == std::wstring::npos ? 80 : _wtoi(authority.c_str() + colon + 1);
    out->path.assign(path.begin(), path.end());
    return true;
}

}  // namespace standins
