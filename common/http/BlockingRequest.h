#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "common/http/HttpBuffer.h"

namespace http {

// What one response left behind.
struct Response {
    int status = 0;                  // numeric status code; 0 = no response
    std::wstring statusText;         // reason phrase, at most 255 characters
    std::unique_ptr<CBuffer> body;   // absent until a body was read
    bool complete = false;           // the body arrived whole

    bool Succeeded() const { return status >= 200 && status <= 299 && complete; }
};

// Numeric status code and reason phrase of a URL or request handle. The code
// decides: a valid status line with an empty reason phrase is a response.
bool QueryStatus(HINTERNET handle, Response& out);
// True when the response announced a Content-Length that received falls short
// of: a connection dropped mid-body reads like a normal end otherwise.
bool BodyShortOfLength(HINTERNET handle, std::size_t received);

// One request over an open session with blocking calls: a GET without body,
// else a POST to the URL's path (its query is not sent). abort is set by a
// stop from another thread, which closes the session and with it every handle
// opened here; otherwise those handles are closed before returning.
void RunBlockingRequest(HINTERNET session, const std::wstring& url, const std::wstring& headers,
                        const CBuffer* body, const std::atomic<bool>& abort, Response& out);

} // namespace http
