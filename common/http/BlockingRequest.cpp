#include "common/http/BlockingRequest.h"

#include <cwchar>
#include <vector>

#include "common/http/UrlParts.h"

namespace http {

namespace {

const DWORD kMaxStatusText = 255;

const wchar_t* OrNull(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

// After an abort the session's close has closed the request's handles; closing
// the value again could hit a newer handle that reuses it.
void CloseChild(HINTERNET handle, const std::atomic<bool>& abort)
{
    if (!abort)
        InternetCloseHandle(handle);
}

void ReadBlockingResponse(HINTERNET handle, const std::atomic<bool>& abort, Response& out)
{
    if (!QueryStatus(handle, out))
        return;
    out.body.reset(new CBuffer);
    // Any failure, or a stop, before the final empty read leaves the body cut.
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(handle, &available, 0, 0))
            return;
        if (available == 0)
            break;
        if (abort || !out.body->Reserve(available))
            return;
        DWORD got = 0;
        if (!InternetReadFile(handle, out.body->End(), available, &got))
            return;
        if (got == 0)
            break;
        out.body->Commit(got);
    }
    out.complete = !BodyShortOfLength(handle, out.body->Size());
}

} // namespace

bool QueryStatus(HINTERNET handle, Response& out)
{
    DWORD code = 0;
    DWORD size = sizeof code;
    DWORD index = 0;
    if (!HttpQueryInfoW(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                        &index))
        return false;
    out.status = static_cast<int>(code);

    std::vector<wchar_t> text(kMaxStatusText + 1);
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    index = 0;
    if (!HttpQueryInfoW(handle, HTTP_QUERY_STATUS_TEXT, text.data(), &size, &index) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        text.resize(size / sizeof(wchar_t) + 1);
        size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        index = 0;
        if (!HttpQueryInfoW(handle, HTTP_QUERY_STATUS_TEXT, text.data(), &size, &index))
            size = 0;
    }
    std::size_t length = size / sizeof(wchar_t);
    out.statusText.assign(text.data(), length < kMaxStatusText ? length : kMaxStatusText);
    return true;
}

bool BodyShortOfLength(HINTERNET handle, std::size_t received)
{
    wchar_t text[32];
    DWORD size = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoW(handle, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index))
        return false;
    text[size / sizeof(wchar_t) < 31 ? size / sizeof(wchar_t) : 31] = 0;
    wchar_t* end = nullptr;
    unsigned long long announced = wcstoull(text, &end, 10);
    return end != text && received < announced;
}

void RunBlockingRequest(HINTERNET session, const std::wstring& url, const std::wstring& headers,
                        const CBuffer* body, const std::atomic<bool>& abort, Response& out)
{
    DWORD headersLength = static_cast<DWORD>(headers.size());
    if (!body) {
        HINTERNET handle = InternetOpenUrlW(session, url.c_str(), OrNull(headers), headersLength,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
        if (!handle)
            return;
        ReadBlockingResponse(handle, abort, out);
        CloseChild(handle, abort);
        return;
    }

    UrlParts parts;
    if (!CrackUrl(url, parts))
        return;
    HINTERNET connection = InternetConnectW(session, parts.host.c_str(), parts.port,
                                            OrNull(parts.user), OrNull(parts.password),
                                            INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection)
        return;
    HINTERNET request = HttpOpenRequestW(connection, L"POST", OrNull(parts.path), nullptr,
                                         nullptr, nullptr,
                                         INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION,
                                         0);
    if (request) {
        if (HttpSendRequestW(request, OrNull(headers), headersLength,
                             const_cast<unsigned char*>(body->Data()),
                             static_cast<DWORD>(body->Size())))
            ReadBlockingResponse(request, abort, out);
        CloseChild(request, abort);
    }
    CloseChild(connection, abort);
}

} // namespace http
