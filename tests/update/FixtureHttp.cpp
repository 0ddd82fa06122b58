#include "tests/update/FixtureHttp.h"

#include <windows.h>
#include <wininet.h>

#include <stdlib.h>

FixtureReply FixtureRequest(const char* method, unsigned port, const std::string& path,
                            const std::string& body)
{
    FixtureReply reply;
    HINTERNET session = InternetOpenA("fixture-control", INTERNET_OPEN_TYPE_DIRECT, nullptr,
                                      nullptr, 0);
    HINTERNET connection = session ? InternetConnectA(session, "127.0.0.1",
                                                      static_cast<INTERNET_PORT>(port), nullptr,
                                                      nullptr, INTERNET_SERVICE_HTTP, 0, 0)
                                   : nullptr;
    HINTERNET request = connection
        ? HttpOpenRequestA(connection, method, path.c_str(), nullptr, nullptr, nullptr,
                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
        : nullptr;
    if (request && HttpSendRequestA(request, nullptr, 0, const_cast<char*>(body.data()),
                                    static_cast<DWORD>(body.size()))) {
        DWORD size = sizeof reply.status;
        HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &reply.status,
                       &size, nullptr);
        char buffer[4096];
        DWORD got = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &got) && got)
            reply.body.append(buffer, got);
    }
    for (HINTERNET handle : {request, connection, session})
        if (handle)
            InternetCloseHandle(handle);
    return reply;
}

unsigned FixturePort(const char* variable)
{
    const char* text = getenv(variable);
    return text ? static_cast<unsigned>(strtoul(text, nullptr, 10)) : 0;
}
