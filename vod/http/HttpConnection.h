#pragma once

#include <winsock2.h>

#include <string>

#include "vod/http/HttpRequest.h"
#include "vod/reader/IReader.h"

// One client of the loopback server, owned by its connection thread.
struct HttpConnection {
    explicit HttpConnection(SOCKET s) : socket(s) {}

    SOCKET socket;
    // The bytes received so far; the head ends at the first empty line.
    std::string requestBytes;
    // Path, ETag text, start offset, range end and the three flags.
    HttpRequest request;
    // Obtained for this request from the reader host; not owned.
    inf::IReader* reader = nullptr;
};
