#pragma once

// What the HTTP request tests share: a window on the test thread that
// records completion messages, and a plain Winsock client to ask the
// fixture (tests/fixtures/http_server.py) what it saw, independent of the
// classes under test.

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A message-only window of the test thread; messages from WM_APP up are
// recorded in arrival order.
class MessageSink {
public:
    MessageSink();
    ~MessageSink();
    HWND Handle() const { return m_window; }
    // Pumps until count messages were recorded or timeoutMs passed.
    bool WaitFor(std::size_t count, DWORD timeoutMs);
    // Handles what is queued now, without waiting.
    void Drain();
    const std::vector<Message>& Messages() const { return m_messages; }
    // Handles what is queued, then forgets every message.
    void Clear()
    {
        Drain();
        m_messages.clear();
    }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_window;
    std::vector<Message> m_messages;
};

// The fixture's port, from TOVRA_HTTP_PORT.
int FixturePort();
// "http://127.0.0.1:<port>" + path.
std::wstring FixtureUrl(const std::string& path);
// A loopback port that was bound and closed again: nothing listens there.
int ClosedPort();

struct FixtureAnswer {
    int status = 0;
    std::string body;
};
// A GET through a plain socket (HTTP/1.0, read to the end).
FixtureAnswer FixtureGet(const std::string& pathAndQuery);
// How many requests the fixture received for path.
int FixtureCount(const std::string& path);
// Waits, on the fixture's side and bounded, until path received count requests.
bool FixtureWait(const std::string& path, int count, int timeoutMs);

// The body of the fixture's /ok and /stall routes: byte i is 'a' + i % 26.
std::string PatternBody(std::size_t size);
std::wstring Widen(const std::string& ascii);

} // namespace testsupport
