#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "common/http/HttpBuffer.h"

namespace wtl_http {

// One attempt of CHttpRequest's asynchronous worker, as WinInet's callbacks
// see it.
//
// WinInet may call back, and write into the read block, after the handle was
// closed: on Wine 8 a pending call completes when the server answers, however
// late. So the context of every call is the try's id, not a pointer: the
// callback looks the id up in a process-wide registry, and a try leaves the
// registry (and is freed) only once the worker is done with it, no call of it
// is pending and each of its handles reported closing. Its owner's events are
// cleared when the worker is done, so a late callback never touches the
// request (which may be gone) or a later try of it.
//
// Every field is guarded by the registry's lock; the worker reaches them
// through the functions below, except the read buffers, which only the
// worker and (while a read is pending) WinInet use.
struct AsyncTry {
    static const DWORD kReadBlock = 1024;

    DWORD_PTR id = 0;
    bool post = false;
    HANDLE complete = nullptr;   // the owner's events, null once the worker is done
    HANDLE closing = nullptr;
    HANDLE abort = nullptr;

    // What WinInet may read or write while a call is pending.
    std::wstring headers;
    std::vector<unsigned char> body;
    INTERNET_BUFFERSA buffers = {};
    char block[kReadBlock];

    // GET: the URL handle; POST: the connection and the request handles.
    HINTERNET url = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    bool urlClosed = false;
    bool connectionClosed = false;
    bool requestClosed = false;

    int pending = 0;   // calls left pending and not completed yet
    bool closingStarted = false;
    bool ended = false;

    void Record(HINTERNET handle);
    void MarkClosed(HINTERNET handle);
    bool HandlesClosed() const;
    bool Finished() const { return ended && pending <= 0 && HandlesClosed(); }
};

// The status callback of the worker's sessions.
void CALLBACK AsyncTryCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                               DWORD infoLength);

// A registered try with a fresh id and copies of what WinInet may use late.
AsyncTry* BeginTry(bool post, const std::wstring& headers, const http::CBuffer* body,
                   HANDLE complete, HANDLE closing, HANDLE abort);
// The worker is done: from now on only WinInet's late callbacks see the try,
// and the last of them frees it (or this call, when none is due).
void EndTry(AsyncTry* attempt);

// A call of the try returned ERROR_IO_PENDING.
void MarkPending(AsyncTry& attempt);
HINTERNET RecordedHandle(AsyncTry& attempt, HINTERNET AsyncTry::*slot);
// A handle returned by a call, unless its creation was recorded already.
void RecordReturned(AsyncTry& attempt, HINTERNET AsyncTry::*slot, HINTERNET handle);
// From now on no handle is recorded; first and second are the handles to close.
void StartClosing(AsyncTry& attempt, HINTERNET& first, HINTERNET& second);
bool HandlesClosed(AsyncTry& attempt);

} // namespace wtl_http
