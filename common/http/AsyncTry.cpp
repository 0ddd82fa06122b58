#include "common/http/AsyncTry.h"

#include <map>

#include <boost/thread/mutex.hpp>

namespace wtl_http {

namespace {

class TryRegistry {
public:
    // Never destroyed: WinInet's threads may call back while the process exits.
    static TryRegistry& Get()
    {
        static TryRegistry* registry = new TryRegistry;
        return *registry;
    }

    boost::mutex lock;   // guards the map and every try in it
    std::map<DWORD_PTR, AsyncTry*> tries;
    DWORD_PTR nextId = 1;   // 0 is the context of the session itself
};

} // namespace

void AsyncTry::Record(HINTERNET handle)
{
    if (closingStarted)
        return;
    if (!post) {
        if (!url)
            url = handle;
    } else if (!connection) {
        connection = handle;
    } else if (!request) {
        request = handle;
    }
}

void AsyncTry::MarkClosed(HINTERNET handle)
{
    urlClosed |= handle == url;
    connectionClosed |= handle == connection;
    requestClosed |= handle == request;
}

bool AsyncTry::HandlesClosed() const
{
    return (!url || urlClosed) && (!connection || connectionClosed) &&
           (!request || requestClosed);
}

void CALLBACK AsyncTryCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                               DWORD infoLength)
{
    TryRegistry& registry = TryRegistry::Get();
    boost::mutex::scoped_lock lock(registry.lock);
    auto found = registry.tries.find(context);
    if (found == registry.tries.end())
        return;
    AsyncTry& attempt = *found->second;
    switch (status) {
    case INTERNET_STATUS_HANDLE_CREATED:
        // The new handle is the first member of the record (an HINTERNET or
        // the dwResult of an INTERNET_ASYNC_RESULT).
        if (info && infoLength >= sizeof(HINTERNET))
            attempt.Record(*static_cast<HINTERNET*>(info));
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
        --attempt.pending;
        const INTERNET_ASYNC_RESULT* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        HANDLE event = result && result->dwError ? attempt.abort : attempt.complete;
        if (event)
            SetEvent(event);
        break;
    }
    case INTERNET_STATUS_HANDLE_CLOSING:
        attempt.MarkClosed(handle);
        if (attempt.closing)
            SetEvent(attempt.closing);
        if (attempt.Finished()) {
            registry.tries.erase(found);
            delete &attempt;
        }
        break;
    default:
        break;
    }
}

AsyncTry* BeginTry(bool post, const std::wstring& headers, const http::CBuffer* body,
                   HANDLE complete, HANDLE closing, HANDLE abort)
{
    AsyncTry* attempt = new AsyncTry;
    attempt->post = post;
    attempt->headers = headers;
    if (body)
        attempt->body.assign(body->Data(), body->Data() + body->Size());
    attempt->complete = complete;
    attempt->closing = closing;
    attempt->abort = abort;
    TryRegistry& registry = TryRegistry::Get();
    boost::mutex::scoped_lock lock(registry.lock);
    attempt->id = registry.nextId++;
    if (registry.nextId == 0)
        registry.nextId = 1;
    registry.tries[attempt->id] = attempt;
    return attempt;
}

void EndTry(AsyncTry* attempt)
{
    TryRegistry& registry = TryRegistry::Get();
    boost::mutex::scoped_lock lock(registry.lock);
    attempt->complete = attempt->closing = attempt->abort = nullptr;
    attempt->ended = true;
    if (attempt->Finished()) {
        registry.tries.erase(attempt->id);
        delete attempt;
    }
}

void MarkPending(AsyncTry& attempt)
{
    boost::mutex::scoped_lock lock(TryRegistry::Get().lock);
    ++attempt.pending;
}

HINTERNET RecordedHandle(AsyncTry& attempt, HINTERNET AsyncTry::*slot)
{
    boost::mutex::scoped_lock lock(TryRegistry::Get().lock);
    return attempt.*slot;
}

void RecordReturned(AsyncTry& attempt, HINTERNET AsyncTry::*slot, HINTERNET handle)
{
    boost::mutex::scoped_lock lock(TryRegistry::Get().lock);
    if (!(attempt.*slot))
        attempt.*slot = handle;
}

void StartClosing(AsyncTry& attempt, HINTERNET& first, HINTERNET& second)
{
    boost::mutex::scoped_lock lock(TryRegistry::Get().lock);
    attempt.closingStarted = true;
    first = attempt.post ? attempt.request : attempt.url;
    second = attempt.post ? attempt.connection : nullptr;
}

bool HandlesClosed(AsyncTry& attempt)
{
    boost::mutex::scoped_lock lock(TryRegistry::Get().lock);
    return attempt.HandlesClosed();
}

} // namespace wtl_http
