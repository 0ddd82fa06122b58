#pragma once

#include <windows.h>

#include <string>

namespace http {
class CHttpRequest;
}

// Starts one tracker POST of body to url on a request of its own. Its
// completion is posted to window as (message, kind, the request), whatever
// the outcome; the receiver owns the request from then on and deletes it.
// Null, with nothing left behind, when the request cannot be started.
http::CHttpRequest* PostTrackerRequest(HWND window, UINT message, WPARAM kind,
                                       const std::wstring& url, const std::string& body);

// The body of a completed request as the reply decoders take it: read as
// UTF-8 text and converted to the system code page. False when the transfer
// failed (no 2xx status or a body cut short).
bool ReadTrackerReply(http::CHttpRequest& request, std::string& bytes);
