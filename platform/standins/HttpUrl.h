#pragma once
#include <string>

namespace standins {

// The parts of an "http://" address as the stand-ins read it: the
// authority (host and optional ":port"), the host, the port (80 without
// one, the digits' value otherwise, unchecked) and the path ("/" without).
struct HttpUrl {
    std::string authority;
    std::string host;
    int port = 80;
    std::string path;
};

// False for an address of any other scheme.
bool SplitHttpUrl(const std::wstring& url, HttpUrl* out);

}  // namespace standins
